// Placeholder until Setup lands.
#include "framework/App.h"

class CSetupApp : public CWinApp {};
CSetupApp theApp;
