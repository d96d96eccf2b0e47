// Placeholder until the headline window lands.
#include "framework/App.h"

class CVelquoraApp : public CWinApp {};
CVelquoraApp theApp;
