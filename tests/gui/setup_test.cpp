// Setup as a user meets it: installation shows nothing but its completion
// box; uninstallation shows the confirmation dialog, then its completion box.
// Every visible window of the process is watched for the whole run.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/SetupTexts.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

struct SeenWindow {
  HWND hwnd;
  std::string className, caption;
};

// Runs the child to its end, calling onWindow once for each visible top-level
// window it shows (the handler answers it). Returns every window seen, or
// stops early when the child outlives the time limit.
std::vector<SeenWindow> Watch(Child& child, const std::function<void(const SeenWindow&)>& onWindow,
                              DWORD timeoutMs = 30000) {
  std::vector<SeenWindow> seen;
  WaitUntil(
      [&] {
        for (HWND hwnd : TopLevelWindows(child.info.dwProcessId)) {
          if (!IsWindowVisible(hwnd)) continue;
          bool known = false;
          for (const SeenWindow& s : seen) known = known || s.hwnd == hwnd;
          if (known) continue;
          seen.push_back({hwnd, ClassName(hwnd), WindowText(hwnd)});
          onWindow(seen.back());
        }
        return WaitForSingleObject(child.info.hProcess, 0) == WAIT_OBJECT_0;
      },
      timeoutMs);
  return seen;
}

// Whether the dialog shows an icon (a visible static control holding one).
bool ShowsIcon(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    DWORD_PTR icon = 0;
    if (ClassName(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child) &&
        SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon) && icon != 0) {
      return true;
    }
  }
  return false;
}

class SetupGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pending_ = PendingOperations(&pendingPresent_);
    RemoveInstallation();
    download_ = MakeTempDir("vsetupgui");
    ASSERT_FALSE(download_.empty());
    setup_ = download_ + "\\Setup.exe";
    ASSERT_TRUE(CopyFileA(BinPath("Setup.exe").c_str(), setup_.c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA(BinPath("Vantrel.exe").c_str(), (download_ + "\\Vantrel.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteFileText(download_ + "\\Readme.txt", "Read me.\r\n"));
  }

  void TearDown() override {
    Stop(child_);
    RemoveInstallation();
    RestorePendingOperations();
    RemoveTree(download_);
  }

  // The pending delete operations, saved and put back as they were.
  static std::string PendingOperations(bool* present) {
    char data[65536];
    DWORD size = sizeof data;
    *present = RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ,
                            nullptr, data, &size) == ERROR_SUCCESS;
    return *present ? std::string(data, size) : std::string();
  }
  void RestorePendingOperations() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
      return;
    }
    if (pendingPresent_) {
      RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pending_.data()),
                     static_cast<DWORD>(pending_.size()));
    } else {
      RegDeleteValueA(key, kPending);
    }
    RegCloseKey(key);
  }

  void Install() {
    child_ = StartProgram(setup_, "/install", download_);
    ASSERT_TRUE(child_.Started());
    const std::vector<SeenWindow> seen = Watch(child_, [](const SeenWindow& w) {
      if (w.className == "#32770" && w.caption == "Setup") CloseMessageBox(w.hwnd);
    });
    ASSERT_EQ(WaitForExit(child_, 1000), 0u);
    Stop(child_);
    ASSERT_EQ(seen.size(), 1u);
  }

  std::string download_, setup_;
  Child child_;
  std::string pending_;
  bool pendingPresent_ = false;
};

TEST_F(SetupGuiTest, InstallationShowsOnlyItsCompletionBox) {
  child_ = StartProgram(setup_, "/install", download_);
  ASSERT_TRUE(child_.Started());
  std::string boxText;
  const std::vector<SeenWindow> seen = Watch(child_, [&](const SeenWindow& w) {
    if (w.className != "#32770" || w.caption != "Setup") return;
    boxText = MessageBoxText(w.hwnd);
    // Three lines of text and an "OK" button only.
    EXPECT_EQ(WindowText(GetDlgItem(w.hwnd, IDOK)), "OK");
    EXPECT_EQ(GetDlgItem(w.hwnd, IDCANCEL), nullptr);
    EXPECT_FALSE(ShowsIcon(w.hwnd));
    EXPECT_TRUE(SaveWindowPng(w.hwnd, ShotPath("setup-install-complete")));
    CloseMessageBox(w.hwnd);
  });
  EXPECT_EQ(WaitForExit(child_, 1000), 0u);

  ASSERT_EQ(seen.size(), 1u) << "first extra window: " << seen.back().className << " \""
                             << seen.back().caption << "\"";
  EXPECT_EQ(seen[0].className, "#32770");
  EXPECT_EQ(seen[0].caption, "Setup");
  EXPECT_EQ(boxText, kInstallText);
}

TEST_F(SetupGuiTest, UninstallationAsksThenReportsAndShowsNothingElse) {
  Install();
  child_ = StartProgram("c:\\Vantrel\\Setup.exe", "", download_);
  ASSERT_TRUE(child_.Started());
  std::string boxText;
  const std::vector<SeenWindow> seen = Watch(child_, [&](const SeenWindow& w) {
    if (w.className != "#32770") return;
    if (w.caption == kConfirmCaption) {
      // Template 132: the program icon, the question, "OK" (default) and "Cancel".
      EXPECT_TRUE(ShowsIcon(w.hwnd));
      bool question = false;
      for (HWND c = GetWindow(w.hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        question = question || WindowText(c) == kConfirmQuestion;
      }
      EXPECT_TRUE(question);
      EXPECT_EQ(WindowText(GetDlgItem(w.hwnd, IDOK)), "OK");
      EXPECT_EQ(WindowText(GetDlgItem(w.hwnd, IDCANCEL)), "Cancel");
      EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(GetDlgItem(w.hwnd, IDOK), GWL_STYLE)) & 0x0F,
                static_cast<DWORD>(BS_DEFPUSHBUTTON));
      // Its owner is hidden: centred on the work area.
      RECT rect, work;
      GetWindowRect(w.hwnd, &rect);
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
      EXPECT_LE(std::abs((rect.left + rect.right) - (work.left + work.right)), 2);
      EXPECT_LE(std::abs((rect.top + rect.bottom) - (work.top + work.bottom)), 2);
      EXPECT_TRUE(SaveWindowPng(w.hwnd, ShotPath("setup-uninstall-confirm")));
      PostMessageA(GetDlgItem(w.hwnd, IDOK), BM_CLICK, 0, 0);
    } else if (w.caption == "Setup") {
      boxText = MessageBoxText(w.hwnd);
      EXPECT_EQ(GetWindow(w.hwnd, GW_OWNER), nullptr);
      EXPECT_TRUE(SaveWindowPng(w.hwnd, ShotPath("setup-uninstall-complete")));
      CloseMessageBox(w.hwnd);
    }
  });
  EXPECT_EQ(WaitForExit(child_, 1000), 0u);

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].caption, kConfirmCaption);
  EXPECT_EQ(seen[1].caption, "Setup");
  EXPECT_EQ(boxText, kUninstallText);
  EXPECT_FALSE(FileExists(ProgramGroup()));
}

}  // namespace
