// Setup's command-line scan and mode choice.
#include <gtest/gtest.h>

#include "setup/core/CommandLine.h"

namespace {

struct CommandLineCase {
  const char* commandLine;
  const char* optionText;
  SetupMode mode;
};

const CommandLineCase kCases[] = {
    // As the "Uninstall.lnk" shortcut starts it.
    {"C:\\dl\\Setup.exe", "", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe /UnInstall", "UnInstall", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe -UnInstall", "UnInstall", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe /install", "install", SetupMode::kInstall},
    // Case counts.
    {"C:\\dl\\Setup.exe /uninstall", "uninstall", SetupMode::kInstall},
    {"C:\\dl\\Setup.exe /UNINSTALL", "UNINSTALL", SetupMode::kInstall},
    // The option runs to the end of the line, spaces and words included.
    {"C:\\dl\\Setup.exe /UnInstall now", "UnInstall now", SetupMode::kInstall},
    {"C:\\dl\\Setup.exe /UnInstall ", "UnInstall ", SetupMode::kInstall},
    // The last switch that begins a word wins.
    {"C:\\dl\\Setup.exe /x /UnInstall", "UnInstall", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe /UnInstall /x", "x", SetupMode::kInstall},
    {"C:\\dl\\Setup.exe /install -UnInstall", "UnInstall", SetupMode::kUninstall},
    // A switch character inside a word is an ordinary character.
    {"C:\\dl\\Setup.exe a/b", "", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe /UnInstall a-b", "UnInstall a-b", SetupMode::kInstall},
    // A switch at the end of the line leaves an empty option.
    {"C:\\dl\\Setup.exe /", "", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe /install /", "", SetupMode::kUninstall},
    // A program path with a space before a dash.
    {"C:\\my -dir\\Setup.exe", "dir\\Setup.exe", SetupMode::kInstall},
    // A quoted program path behaves the same: the quote is an ordinary character.
    {"\"C:\\dl\\Setup.exe\"", "", SetupMode::kUninstall},
    {"\"C:\\dl\\Setup.exe\" /UnInstall", "UnInstall", SetupMode::kUninstall},
    {"\"C:\\dl\\Setup.exe\" /install", "install", SetupMode::kInstall},
    {"\"C:\\my -dir\\Setup.exe\"", "dir\\Setup.exe\"", SetupMode::kInstall},
    {"\"C:\\dl\\Setup.exe\" \"/UnInstall\"", "", SetupMode::kUninstall},
    // Only a space starts a word: not a tab, not a quotation mark.
    {"C:\\dl\\Setup.exe\t/install", "", SetupMode::kUninstall},
    {"C:\\dl\\Setup.exe  /install", "install", SetupMode::kInstall},
    // A switch at the very start of the line begins a word.
    {"/install", "install", SetupMode::kInstall},
    {"-UnInstall", "UnInstall", SetupMode::kUninstall},
    {"", "", SetupMode::kUninstall},
    // Several switch characters in a row: the first begins the option.
    {"C:\\dl\\Setup.exe //UnInstall", "/UnInstall", SetupMode::kInstall},
    {"C:\\dl\\Setup.exe -/x", "/x", SetupMode::kInstall},
};

TEST(SetupCommandLine, OptionTextAndModeFollowTheTable) {
  for (const CommandLineCase& c : kCases) {
    SCOPED_TRACE(c.commandLine);
    const char* option = ScanOptionText(c.commandLine);
    EXPECT_STREQ(option, c.optionText);
    EXPECT_EQ(ChooseSetupMode(option), c.mode);
  }
}

TEST(SetupCommandLine, NullCommandLineGivesNoOption) {
  EXPECT_STREQ(ScanOptionText(nullptr), "");
  EXPECT_EQ(ChooseSetupMode(nullptr), SetupMode::kUninstall);
}

TEST(SetupCommandLine, OnlyExactUnInstallOrNothingUninstalls) {
  const struct {
    const char* option;
    SetupMode mode;
  } cases[] = {
      {"", SetupMode::kUninstall},         {"UnInstall", SetupMode::kUninstall},
      {"Uninstall", SetupMode::kInstall},  {"unInstall", SetupMode::kInstall},
      {"UnInstal", SetupMode::kInstall},   {"UnInstalll", SetupMode::kInstall},
      {" UnInstall", SetupMode::kInstall}, {"UnInstall\t", SetupMode::kInstall},
      {" ", SetupMode::kInstall},          {"install", SetupMode::kInstall},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(ChooseSetupMode(c.option), c.mode);
  }
}

}  // namespace
