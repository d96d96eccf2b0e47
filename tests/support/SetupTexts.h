// What Setup shows and where it puts things, spelled as the tests expect them
// (independently of Setup's own sources, so that a changed text is caught).
#pragma once

#include <string>

namespace testsupport {

constexpr char kProgramDir[] = "c:\\Vantrel";
constexpr char kInstallText[] =
    "Setup complete. \r \n Please start Vantrel from Start->Programs->Vantrel->Vantrel menu. "
    "\r \n Thank you for downloading Vantrel.";
constexpr char kUninstallText[] = "Uninstall Complete. Thank you for using Vantrel.";
// The confirmation dialog before an uninstallation.
constexpr char kConfirmCaption[] = "Vantrel NEWS UnInstall";
constexpr char kConfirmQuestion[] = "Are you sure you want to Uninstall Vantrel?";
// Where Setup schedules what it cannot delete at once.
constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPending[] = "PendingFileRenameOperations";

// The Start-menu group: "Vantrel" in the current user's Programs folder.
std::string ProgramGroup();
// Removes what an installation leaves: the settings key, the program directory
// and the Start-menu group.
void RemoveInstallation();

}  // namespace testsupport
