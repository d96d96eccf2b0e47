// The fixed names Setup installs to and removes: one program directory, one
// settings key and one Start-menu group.
#pragma once

// The settings key and the category Setup stores there are the ticker's too.
#include "common/SettingsNames.h"

// The program directory; files in it are named by appending "\<name>".
constexpr char kProgramDirectory[] = "c:\\Vantrel";
// Appended to the current user's Programs folder.
constexpr char kProgramGroupSuffix[] = "\\Vantrel";
