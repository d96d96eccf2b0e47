// The fixed names Setup installs to and removes: one program directory, one
// settings key and one Start-menu group.
#pragma once

// The settings key and the category Setup stores there are the ticker's too.
#include "common/SettingsNames.h"

// The program directory; files in it are named by appending "\<name>".
constexpr char kProgramDirectory[] = "c:\\Vantrel";
// Appended to the current user's Programs folder.
constexpr char kProgramGroupSuffix[] = "\\Vantrel";

// Where uninstallation finds the settings: the key itself and the current
// user's virtualized copies of it, which Windows keeps for a 32-bit program
// without a manifest that writes under HKEY_LOCAL_MACHINE\SOFTWARE (in the
// WOW6432Node form on 64-bit Windows) and which would otherwise override a
// later installation's settings. Each goes with everything below it; its
// parents and siblings under VirtualStore stay. Setup writes only the first.
enum class SettingsRoot { kLocalMachine, kCurrentUser };
struct SettingsKeyPlace {
  SettingsRoot root;
  const char* path;
};
constexpr SettingsKeyPlace kSettingsKeyPlaces[] = {
    {SettingsRoot::kLocalMachine, kSettingsKey},
    {SettingsRoot::kCurrentUser, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Vantrel"},
    {SettingsRoot::kCurrentUser,
     "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Vantrel"},
};
