// The Preferences dialog on its real template, against the registry under Wine:
// created modeless and driven with messages, and run modally while a second
// thread clicks its buttons.
#include "ticker/PreferencesDlg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "ticker/core/CategoryFeeds.h"

namespace {

const char kCaption[] = "Vantrel Preferences";

using testsupport::RawSetting;

// A value as stored: REG_DWORD "URLCODE" and REG_SZ "PROXY" with its NUL.
struct Stored {
  bool hasCode;
  DWORD code;
  bool hasProxy;
  std::string proxy;
};

Stored ReadStored() {
  Stored s{};
  s.hasCode = testsupport::GetSettingsDword(kUrlCodeValue, &s.code);
  s.hasProxy = testsupport::GetSettingsString(kProxyValue, &s.proxy);
  return s;
}

std::string ItemText(HWND combo, int index) {
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return "(none)";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string SelectedText(HWND combo) {
  const int selection = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
  return selection == CB_ERR ? "(none)" : ItemText(combo, selection);
}

// Each test starts without the settings key and leaves the key as it found it.
class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    existed_ = testsupport::ReadRawSettings(&saved_);
    testsupport::DeleteSettingsKey();
  }
  void TearDown() override { testsupport::RestoreSettings(existed_, saved_); }

  bool existed_ = false;
  std::vector<RawSetting> saved_;
};

TEST_F(PreferencesTest, TemplateMatchesTheLayout) {
  CPreferencesDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(testsupport::WindowText(dlg.m_hWnd), kCaption);
  const DWORD dialogStyle = static_cast<DWORD>(GetWindowLongA(dlg.m_hWnd, GWL_STYLE));
  for (DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{DS_MODALFRAME}}) {
    EXPECT_EQ(dialogStyle & bit, bit) << std::hex << bit;
  }
  EXPECT_EQ(dialogStyle & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  RECT size = {0, 0, 242, 95}, client;
  MapDialogRect(dlg.m_hWnd, &size);
  GetClientRect(dlg.m_hWnd, &client);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  const int kNoId = 0xFFFF;
  const struct {
    int id;
    const char* className;
    const char* text;  // null: not checked
    int x, y, cx, cy;  // dialog units; cx/cy 0: not checked
    LONG typeMask, type, styles;
  } controls[] = {
      {IDOK, "Button", "OK", 65, 78, 50, 14, 0xF, BS_DEFPUSHBUTTON, WS_TABSTOP},
      {IDCANCEL, "Button", "Cancel", 120, 78, 50, 14, 0xF, BS_PUSHBUTTON, WS_TABSTOP},
      {IDC_CATEGORY_LIST, "ComboBox", nullptr, 85, 23, 150, 0, 0x3, CBS_DROPDOWNLIST,
       CBS_SORT | WS_TABSTOP},
      {kNoId, "Static", "Select NEWS Category", 5, 24, 76, 11, SS_TYPEMASK, SS_LEFT, 0},
      {kNoId, "Static", nullptr, 5, 0, 0, 0, SS_TYPEMASK, SS_ICON, 0},
      {kNoId, "Static", "Proxy Settings ", 5, 45, 75, 10, SS_TYPEMASK, SS_LEFT, 0},
      {IDC_PROXY, "Edit", "", 85, 45, 150, 12, 0, 0, ES_AUTOHSCROLL | WS_TABSTOP},
      {kNoId, "Static", "(only if you use Netscape as default browser and Proxy server)", 40, 60,
       195, 10, SS_TYPEMASK, SS_LEFT, 0},
  };
  HWND child = GetWindow(dlg.m_hWnd, GW_CHILD);
  for (const auto& c : controls) {
    SCOPED_TRACE(c.text ? c.text : c.className);
    ASSERT_NE(child, nullptr) << "control missing";
    EXPECT_EQ(GetDlgCtrlID(child) & 0xFFFF, c.id);
    EXPECT_STRCASEEQ(testsupport::ClassName(child).c_str(), c.className);
    if (c.text != nullptr) {
      EXPECT_EQ(testsupport::WindowText(child), c.text);
    }
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    EXPECT_EQ(style & c.typeMask, c.type);
    EXPECT_EQ(style & c.styles, c.styles);
    EXPECT_TRUE(style & WS_VISIBLE);

    // Position and size are converted from dialog units separately.
    RECT place = {c.x, c.y, 0, 0}, size = {0, 0, c.cx, c.cy}, actual;
    MapDialogRect(dlg.m_hWnd, &place);
    MapDialogRect(dlg.m_hWnd, &size);
    GetWindowRect(child, &actual);
    MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, place.left);
    EXPECT_EQ(actual.top, place.top);
    if (c.cx != 0) {
      EXPECT_EQ(actual.right - actual.left, size.right);
    }
    if (c.cy != 0) {
      EXPECT_EQ(actual.bottom - actual.top, size.bottom);
    }
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr) << "more controls than expected";

  // The edit has a border (the control draws it itself and drops WS_BORDER
  // from its style), the icon shows the program icon, the drop-down list
  // scrolls.
  HWND edit = GetDlgItem(dlg.m_hWnd, IDC_PROXY);
  RECT editWindow, editClient;
  GetWindowRect(edit, &editWindow);
  GetClientRect(edit, &editClient);
  EXPECT_LT(editClient.right, editWindow.right - editWindow.left);
  HWND icon = GetWindow(GetDlgItem(dlg.m_hWnd, IDC_CATEGORY_LIST), GW_HWNDNEXT);
  icon = GetWindow(icon, GW_HWNDNEXT);
  EXPECT_NE(SendMessageA(icon, STM_GETICON, 0, 0), 0);
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(GetDlgItem(dlg.m_hWnd, IDC_CATEGORY_LIST), &info));
  EXPECT_TRUE(GetWindowLongA(info.hwndList, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(PreferencesTest, ListsEveryCategoryAlphabeticallyWithItsCode) {
  CPreferencesDlg dlg;
  ASSERT_TRUE(dlg.Create());
  HWND combo = GetDlgItem(dlg.m_hWnd, IDC_CATEGORY_LIST);
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), kCategoryCount);
  EXPECT_EQ(ItemText(combo, 0), "3M news");
  EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 0, 0), 123);

  std::vector<int> seen(kLastCategoryCode + 1, 0);
  std::string previous;
  for (int i = 0; i < kCategoryCount; ++i) {
    const std::string text = ItemText(combo, i);
    const LRESULT code = SendMessageA(combo, CB_GETITEMDATA, i, 0);
    SCOPED_TRACE(text);
    ASSERT_GE(code, kFirstCategoryCode);
    ASSERT_LE(code, kLastCategoryCode);
    EXPECT_STREQ(text.c_str(), GetCategoryName(static_cast<int>(code)));
    ++seen[code];
    if (i > 0) {
      EXPECT_LE(lstrcmpiA(previous.c_str(), text.c_str()), 0) << "after " << previous;
    }
    previous = text;
  }
  for (int code = kFirstCategoryCode; code <= kLastCategoryCode; ++code) {
    EXPECT_EQ(seen[code], 1) << code;
  }

  // "&amp;" stays five characters in the list.
  for (int code : {124, 143, 145, 148}) {
    const int index = static_cast<int>(SendMessageA(
        combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(GetCategoryName(code))));
    ASSERT_NE(index, CB_ERR) << code;
    EXPECT_NE(ItemText(combo, index).find("&amp;"), std::string::npos);
    EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, index, 0), code);
  }
}

TEST_F(PreferencesTest, OpensWithTheStoredSettingsOrTheDefaults) {
  const struct {
    const char* what;
    bool key;
    DWORD codeType;  // REG_NONE: no "URLCODE"
    std::string code;
    DWORD proxyType;  // REG_NONE: no "PROXY"
    std::string proxy;
    const char* selected;
    std::string edit;
  } cases[] = {
      {"no key", false, REG_NONE, "", REG_NONE, "", "India news", ""},
      {"key without values", true, REG_NONE, "", REG_NONE, "", "India news", ""},
      {"code 130 and a proxy", true, REG_DWORD, std::string("\x82\0\0\0", 4), REG_SZ,
       std::string("proxy.example:3128", 19), "Coca-Cola news", "proxy.example:3128"},
      {"code 124", true, REG_DWORD, std::string("\x7C\0\0\0", 4), REG_NONE, "", "AT&amp;T news",
       ""},
      {"code 426", true, REG_DWORD, std::string("\xAA\x01\0\0", 4), REG_NONE, "",
       "Tampa-St Petersburg news", ""},
      {"code 282 is not confused with 283", true, REG_DWORD, std::string("\x1A\x01\0\0", 4),
       REG_NONE, "", "India news", ""},
      {"code 283", true, REG_DWORD, std::string("\x1B\x01\0\0", 4), REG_NONE, "",
       "Indian subcontinent news", ""},
      {"unknown code 999", true, REG_DWORD, std::string("\xE7\x03\0\0", 4), REG_NONE, "",
       "India news", ""},
      {"code 0", true, REG_DWORD, std::string("\0\0\0\0", 4), REG_NONE, "", "India news", ""},
      {"code as text", true, REG_SZ, std::string("130", 4), REG_NONE, "", "India news", ""},
      {"254-character proxy", true, REG_NONE, "", REG_SZ, std::string(254, 'p') + '\0',
       "India news", std::string(254, 'p')},
      {"255-character proxy", true, REG_NONE, "", REG_SZ, std::string(255, 'p') + '\0',
       "India news", ""},
      {"proxy without NUL", true, REG_NONE, "", REG_BINARY, "proxy", "India news", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::DeleteSettingsKey();
    if (c.key) testsupport::CreateSettingsKey();
    if (c.codeType != REG_NONE) {
      ASSERT_TRUE(testsupport::SetRawSetting(kUrlCodeValue, c.codeType, c.code));
    }
    if (c.proxyType != REG_NONE) {
      ASSERT_TRUE(testsupport::SetRawSetting(kProxyValue, c.proxyType, c.proxy));
    }

    CPreferencesDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(SelectedText(GetDlgItem(dlg.m_hWnd, IDC_CATEGORY_LIST)), c.selected);
    EXPECT_EQ(testsupport::WindowText(GetDlgItem(dlg.m_hWnd, IDC_PROXY)), c.edit);
    EXPECT_EQ(dlg.m_proxyText.c_str(), c.edit);
  }
}

TEST_F(PreferencesTest, OkStoresProxyAndSelectedCode) {
  const struct {
    const char* what;
    bool key;
    bool storeCode;
    DWORD code;
    const char* proxy;   // null: no "PROXY" stored
    const char* select;  // null: unchanged; "": no selection
    const char* typed;   // null: edit unchanged
    bool written;        // the key exists, so OK writes
    DWORD expectedCode;
    const char* expectedProxy;
  } cases[] = {
      {"unchanged", true, true, 130, "proxy.example:3128", nullptr, nullptr, true, 130,
       "proxy.example:3128"},
      {"nothing stored", true, false, 0, nullptr, nullptr, nullptr, true, 282, ""},
      {"edit emptied", true, true, 130, "proxy.example:3128", nullptr, "", true, 130, ""},
      {"other category and proxy", true, true, 130, "", "Jokes", "cache:8080", true, 159,
       "cache:8080"},
      {"unknown code stored", true, true, 999, "", nullptr, nullptr, true, 282, ""},
      {"no selection", true, true, 130, "", "", nullptr, true, 0, ""},
      {"no key: nothing written", false, false, 0, nullptr, "Jokes", "cache:8080", false, 0,
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::DeleteSettingsKey();
    if (c.key) testsupport::CreateSettingsKey();
    if (c.storeCode) {
      ASSERT_TRUE(testsupport::SetSettingsDword(kUrlCodeValue, c.code));
    }
    if (c.proxy) {
      ASSERT_TRUE(testsupport::SetSettingsString(kProxyValue, c.proxy));
    }

    CPreferencesDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND combo = GetDlgItem(dlg.m_hWnd, IDC_CATEGORY_LIST);
    if (c.select != nullptr && c.select[0] == '\0') SendMessageA(combo, CB_SETCURSEL, -1, 0);
    if (c.select != nullptr && c.select[0] != '\0') {
      ASSERT_NE(SendMessageA(combo, CB_SELECTSTRING, -1, reinterpret_cast<LPARAM>(c.select)),
                CB_ERR);
    }
    if (c.typed != nullptr) SetDlgItemTextA(dlg.m_hWnd, IDC_PROXY, c.typed);

    SendMessageA(dlg.m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindowVisible(dlg.m_hWnd));

    if (!c.written) {
      EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
      continue;
    }
    const Stored stored = ReadStored();
    EXPECT_TRUE(stored.hasCode);
    EXPECT_EQ(stored.code, c.expectedCode);
    EXPECT_TRUE(stored.hasProxy);
    EXPECT_EQ(stored.proxy, c.expectedProxy);
  }
}

TEST_F(PreferencesTest, CancelWritesNothing) {
  testsupport::CreateSettingsKey();
  ASSERT_TRUE(testsupport::SetSettingsDword(kUrlCodeValue, 130));
  ASSERT_TRUE(testsupport::SetSettingsString(kProxyValue, "proxy.example:3128"));
  std::vector<RawSetting> before, after;
  ASSERT_TRUE(testsupport::ReadRawSettings(&before));

  CPreferencesDlg dlg;
  ASSERT_TRUE(dlg.Create());
  SendMessageA(GetDlgItem(dlg.m_hWnd, IDC_CATEGORY_LIST), CB_SELECTSTRING, -1,
               reinterpret_cast<LPARAM>("Jokes"));
  SetDlgItemTextA(dlg.m_hWnd, IDC_PROXY, "");
  SendMessageA(dlg.m_hWnd, WM_COMMAND, IDCANCEL, 0);

  ASSERT_TRUE(testsupport::ReadRawSettings(&after));
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].name, before[i].name);
    EXPECT_EQ(after[i].type, before[i].type);
    EXPECT_EQ(after[i].data, before[i].data);
  }
}

TEST_F(PreferencesTest, LookupsWorkWithoutADialog) {
  CPreferencesDlg dlg;
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_STREQ(dlg.GetCategoryName(282), "India news");
  EXPECT_STREQ(dlg.GetCategoryFeedUrl(282), GetCategoryFeedUrl(282));
  EXPECT_EQ(dlg.GetCategoryName(999), nullptr);
  EXPECT_EQ(dlg.GetCategoryFeedUrl(0), nullptr);
  EXPECT_TRUE(dlg.m_proxyText.empty());
}

// ---- modal runs, driven from a second thread

struct Driver {
  std::function<void(HWND)> act;  // runs on the driver thread once the dialog shows
  DWORD mainThread = 0;
  bool found = false;
  bool ended = false;
};

// The visible Preferences dialog of this process, or null.
HWND FindOurDialog() {
  for (HWND hwnd : testsupport::TopLevelWindows(GetCurrentProcessId(), "#32770")) {
    if (IsWindowVisible(hwnd) && testsupport::WindowText(hwnd) == kCaption) return hwnd;
  }
  return nullptr;
}

DWORD WINAPI Drive(void* param) {
  Driver* driver = static_cast<Driver*>(param);
  HWND dialog = nullptr;
  driver->found = testsupport::WaitUntil([&] { return (dialog = FindOurDialog()) != nullptr; });
  if (driver->found) {
    // Answered only once the dialog's thread is back in its message loop,
    // with the dialog painted.
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    driver->act(dialog);
    driver->ended = testsupport::WaitUntil([&] { return !IsWindow(dialog); });
  }
  // Never leave the modal run waiting: end it from outside.
  if (!driver->ended) PostThreadMessageA(driver->mainThread, WM_QUIT, 0, 0);
  return 0;
}

INT_PTR RunDriven(CPreferencesDlg& dlg, Driver& driver) {
  driver.mainThread = GetCurrentThreadId();
  HANDLE thread = CreateThread(nullptr, 0, &Drive, &driver, 0, nullptr);
  if (thread == nullptr) return -2;
  const INT_PTR result = dlg.DoModal();
  WaitForSingleObject(thread, 60000);
  CloseHandle(thread);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  return result;
}

TEST_F(PreferencesTest, ModalRunEndsWithItsButtons) {
  const struct {
    const char* what;
    std::function<void(HWND)> act;
    INT_PTR result;
    DWORD code;
    const char* proxy;
  } cases[] = {
      {"OK after choosing",
       [](HWND dialog) {
         testsupport::SaveWindowPng(dialog, testsupport::ShotPath("preferences_open"));
         SendDlgItemMessageA(dialog, IDC_CATEGORY_LIST, CB_SELECTSTRING, -1,
                             reinterpret_cast<LPARAM>("Jokes"));
         SetDlgItemTextA(dialog, IDC_PROXY, "cache:8080");
         PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
       },
       IDOK, 159, "cache:8080"},
      {"Cancel after choosing",
       [](HWND dialog) {
         SendDlgItemMessageA(dialog, IDC_CATEGORY_LIST, CB_SELECTSTRING, -1,
                             reinterpret_cast<LPARAM>("Jokes"));
         SetDlgItemTextA(dialog, IDC_PROXY, "cache:8080");
         PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
       },
       IDCANCEL, 130, "proxy.example:3128"},
      {"closed", [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }, IDCANCEL, 130,
       "proxy.example:3128"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::DeleteSettingsKey();
    ASSERT_TRUE(testsupport::SetSettingsDword(kUrlCodeValue, 130));
    ASSERT_TRUE(testsupport::SetSettingsString(kProxyValue, "proxy.example:3128"));

    CPreferencesDlg dlg;
    Driver driver;
    driver.act = c.act;
    EXPECT_EQ(RunDriven(dlg, driver), c.result);
    EXPECT_TRUE(driver.found) << "the dialog never showed";
    EXPECT_TRUE(driver.ended) << "the dialog did not end";
    const Stored stored = ReadStored();
    EXPECT_EQ(stored.code, c.code);
    EXPECT_EQ(stored.proxy, c.proxy);
  }
}

}  // namespace
