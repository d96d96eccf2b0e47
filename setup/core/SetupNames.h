// The fixed names Setup installs to and removes: one program directory, one
// settings key and one Start-menu group.
#pragma once

// The program directory; files in it are named by appending "\<name>".
constexpr char kProgramDirectory[] = "c:\\Vantrel";
// Under HKEY_LOCAL_MACHINE; the ticker reads the same key.
constexpr char kSettingsKey[] = "Software\\Vantrel";
// Appended to the current user's Programs folder.
constexpr char kProgramGroupSuffix[] = "\\Vantrel";

constexpr unsigned long kDefaultCategoryCode = 282;
