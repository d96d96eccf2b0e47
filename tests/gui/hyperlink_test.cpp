// The hyperlink label and the About box as a user meets them, in this
// process under Xvfb: link colours as they reach the screen, the label sized
// to its text, the tooltip, opening with the mouse and the space bar (the
// recorder program stands in for the browser), the error box of a failed
// open, and the About box's link.
#include <gtest/gtest.h>

#include <thread>

#include "framework/App.h"
#include "framework/Dialog.h"
#include "hyperlink/AboutBox.h"
#include "hyperlink/HyperLink.h"
#include "resource.h"
#include "tests/support/TestSupport.h"

#include <commctrl.h>

using namespace testsupport;

namespace {

// Template ids of hyperlink_test.rc.
constexpr UINT kLinkDialog = 9200;
constexpr UINT kSystemFontDialog = 9201;
constexpr int kLeft = 101, kRight = 102, kCentre = 103, kEmpty = 104, kRefused = 105;
constexpr int kElsewhere = 110;

// Lets the scenarios set and read a label's state directly.
class TestLink : public CHyperLink {
 public:
  using CHyperLink::active;
  using CHyperLink::linkStyle;
  using CHyperLink::mouseOver;
  using CHyperLink::visited;
  static HCURSOR HandCursor() { return handCursor; }
};

class LinkDialog : public CDialog {
 public:
  explicit LinkDialog(UINT id) : CDialog(id) {}
  TestLink left, right, centre, empty, refused;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kLeft, left);
    if (m_templateId == kSystemFontDialog) return;
    DDX_Control(dx, kRight, right);
    DDX_Control(dx, kCentre, centre);
    DDX_Control(dx, kEmpty, empty);
    DDX_Control(dx, kRefused, refused);
  }
};

// Runs queued messages as the program's loop would: pre-translation (tooltip
// relay, dialog keys) first.
void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!AfxPreTranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

// The label's rectangle in its parent's client coordinates.
RECT RectInParent(HWND hwnd) {
  RECT rect;
  GetWindowRect(hwnd, &rect);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// A template rectangle (dialog units) in pixels, as the dialog manager
// places a control: position and size converted each on its own.
RECT TemplateRect(HWND dialog, int x, int y, int width, int height) {
  RECT origin = {x, y, 0, 0}, size = {width, height, 0, 0};
  MapDialogRect(dialog, &origin);
  MapDialogRect(dialog, &size);
  return RECT{origin.left, origin.top, origin.left + size.left, origin.top + size.top};
}

SIZE TextExtent(HWND label) {
  const std::string text = WindowText(label);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return size;
}

// The colour request as the static control makes it, through its parent.
struct ColourAnswer {
  COLORREF text;
  int backgroundMode;
  HGDIOBJ brush;
};
ColourAnswer AskColour(HWND label) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 2, 3));
  SetBkMode(dc, OPAQUE);
  const LRESULT brush = SendMessageA(GetParent(label), WM_CTLCOLORSTATIC,
                                     reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
  ColourAnswer answer = {GetTextColor(dc), GetBkMode(dc), reinterpret_cast<HGDIOBJ>(brush)};
  DeleteDC(dc);
  return answer;
}

// The tooltip window that holds tool 1 of the label, and what it holds.
struct ToolTipSearch {
  HWND label, found;
};

BOOL CALLBACK CheckToolTip(HWND hwnd, LPARAM lParam) {
  ToolTipSearch* search = reinterpret_cast<ToolTipSearch*>(lParam);
  if (ClassName(hwnd) != TOOLTIPS_CLASSA) return TRUE;
  TOOLINFOA info = {};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.hwnd = search->label;
  info.uId = 1;
  if (!SendMessageA(hwnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&info))) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindToolTip(HWND label) {
  ToolTipSearch search = {label, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &CheckToolTip, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string ToolTipText(HWND label) {
  HWND tip = FindToolTip(label);
  if (tip == nullptr) return "(no tooltip)";
  char text[1024] = "";
  TOOLINFOA info = {};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.hwnd = label;
  info.uId = 1;
  info.lpszText = text;
  SendMessageA(tip, TTM_GETTEXTA, sizeof(text), reinterpret_cast<LPARAM>(&info));
  return text;
}

RECT ToolTipRect(HWND label) {
  TOOLINFOA info = {};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.hwnd = label;
  info.uId = 1;
  if (HWND tip = FindToolTip(label)) {
    SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&info));
  }
  return info.rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b) != FALSE;
}

void Click(HWND label) {
  SendMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// The recorder program registered as the browser for http addresses, for
// the life of the fixture; the registry value is put back afterwards.
class BrowserRecorder {
 public:
  BrowserRecorder() {
    char value[1024];
    LONG size = sizeof(value);
    hadKey_ = RegQueryValueA(HKEY_CLASSES_ROOT, kKey, value, &size) == ERROR_SUCCESS;
    if (hadKey_) saved_.assign(value);
    hadHttp_ = RegOpenKeyExA(HKEY_CLASSES_ROOT, "http", 0, KEY_READ, &http_) == ERROR_SUCCESS;
    if (hadHttp_) RegCloseKey(http_);
    dir_ = MakeTempDir("hyperlink");
    log_ = dir_ + "\\browser.log";
    SetEnvironmentVariableA("VANTREL_RECORDER_LOG", log_.c_str());
    const std::string command = "\"" + BinPath("recorder.exe") + "\" \"%1\"";
    RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, command.c_str(),
                 static_cast<DWORD>(command.size()));
  }
  ~BrowserRecorder() {
    if (hadKey_) {
      RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, saved_.c_str(),
                   static_cast<DWORD>(saved_.size()));
    } else if (!hadHttp_) {
      RegDeleteKeyA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command");
      RegDeleteKeyA(HKEY_CLASSES_ROOT, "http\\shell\\open");
      RegDeleteKeyA(HKEY_CLASSES_ROOT, "http\\shell");
      RegDeleteKeyA(HKEY_CLASSES_ROOT, "http");
    }
    SetEnvironmentVariableA("VANTREL_RECORDER_LOG", nullptr);
    RemoveTree(dir_);
  }
  // The addresses the browser was started with so far.
  std::vector<std::string> Opened() const {
    std::string text;
    std::vector<std::string> addresses;
    if (!ReadFileText(log_, &text)) return addresses;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = text.substr(start, end - start);
      const size_t open = line.rfind(" \"");
      const size_t close = line.rfind('"');
      if (open != std::string::npos && close > open + 2) {
        addresses.push_back(line.substr(open + 2, close - open - 2));
      }
    }
    return addresses;
  }
  std::vector<std::string> WaitForOpened(size_t count) const {
    WaitUntil([&] { return Opened().size() >= count; });
    return Opened();
  }

 private:
  static constexpr const char* kKey = "http\\shell\\open\\command";
  bool hadKey_ = false, hadHttp_ = false;
  HKEY http_ = nullptr;
  std::string saved_, dir_, log_;
};

class HyperLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_.empty.SetLinkTarget("http://127.0.0.1/preset");  // before binding: address only
    ASSERT_TRUE(dialog_.Create());
    ShowWindow(dialog_.m_hWnd, SW_SHOW);
    UpdateWindow(dialog_.m_hWnd);
    Pump();
  }
  void TearDown() override { dialog_.DestroyWindow(); }

  HWND Item(int id) const { return GetDlgItem(dialog_.m_hWnd, id); }
  void FocusElsewhere() { SetFocus(Item(kElsewhere)); }

  BrowserRecorder browser_;
  LinkDialog dialog_{kLinkDialog};
};

TEST_F(HyperLinkTest, ColourFollowsTheLabelState) {
  const UINT kDefault = CHyperLink::DefaultLinkStyle;
  const struct {
    const char* name;
    UINT style;
    BOOL active, mouseOver, visited;
    COLORREF expected;
  } cases[] = {
      {"fresh link", kDefault, FALSE, FALSE, FALSE, CHyperLink::LinkColour},
      {"focused", kDefault, TRUE, FALSE, FALSE, CHyperLink::ActiveColour},
      {"visited", kDefault, FALSE, FALSE, TRUE, CHyperLink::VisitedColour},
      {"focused wins over visited", kDefault, TRUE, FALSE, TRUE, CHyperLink::ActiveColour},
      {"no hover colour by default", kDefault, FALSE, TRUE, FALSE, CHyperLink::LinkColour},
      {"hover style under the pointer", kDefault | CHyperLink::LinkHoverColour, TRUE, TRUE, TRUE,
       CHyperLink::HoverColour},
      {"hover style, pointer away", kDefault | CHyperLink::LinkHoverColour, FALSE, FALSE, TRUE,
       CHyperLink::VisitedColour},
      {"no active colour, visited", kDefault | CHyperLink::LinkNoActiveColour, TRUE, FALSE, TRUE,
       CHyperLink::VisitedColour},
      {"no active colour, fresh", kDefault | CHyperLink::LinkNoActiveColour, TRUE, FALSE, FALSE,
       CHyperLink::LinkColour},
  };
  TestLink& link = dialog_.left;
  for (const auto& c : cases) {
    link.linkStyle = c.style;
    link.active = c.active;
    link.mouseOver = c.mouseOver;
    link.visited = c.visited;
    const ColourAnswer answer = AskColour(link.m_hWnd);
    EXPECT_EQ(answer.text, c.expected) << c.name;
    EXPECT_EQ(answer.backgroundMode, TRANSPARENT) << c.name;
    EXPECT_EQ(answer.brush, GetStockObject(NULL_BRUSH)) << c.name;
  }
}

TEST_F(HyperLinkTest, AttachTakesTextAsAddressUnderlinesAndLoadsTheHand) {
  EXPECT_EQ(ToolTipText(Item(kLeft)), "http://127.0.0.1/left");
  // An address set before binding becomes the text of an empty control.
  EXPECT_EQ(WindowText(Item(kEmpty)), "http://127.0.0.1/preset");
  EXPECT_EQ(ToolTipText(Item(kEmpty)), "http://127.0.0.1/preset");

  LOGFONTA font = {};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Item(kLeft), WM_GETFONT, 0, 0)), sizeof(font),
             &font);
  EXPECT_EQ(font.lfUnderline, 1);

  ASSERT_NE(TestLink::HandCursor(), nullptr);
  EXPECT_EQ(SendMessageA(Item(kLeft), WM_SETCURSOR, reinterpret_cast<WPARAM>(Item(kLeft)),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), TestLink::HandCursor());
  EXPECT_EQ(SendMessageA(Item(kLeft), WM_NCHITTEST, 0, 0), HTCLIENT);
}

TEST_F(HyperLinkTest, LabelsFitTheirTextKeepingTheirAlignedEdge) {
  const struct {
    const char* name;
    int id;
    int templateY;
  } cases[] = {{"left", kLeft, 10}, {"right", kRight, 26}, {"centre", kCentre, 42}};
  for (const auto& c : cases) {
    HWND label = Item(c.id);
    CHyperLink* link = static_cast<CHyperLink*>(CWnd::FromHandle(label));
    const RECT area = TemplateRect(dialog_.m_hWnd, 10, c.templateY, 150, 10);
    for (const char* text :
         {"short", "a much longer text, wider than the template gives it", "mid"}) {
      link->SetLinkText(text);
      const RECT rect = RectInParent(label);
      const SIZE extent = TextExtent(label);
      EXPECT_EQ(rect.right - rect.left, extent.cx) << c.name << " " << text;
      EXPECT_EQ(rect.bottom - rect.top, extent.cy) << c.name << " " << text;
      EXPECT_EQ(rect.top, area.top) << c.name << " " << text;
      if (c.id == kLeft) {
        EXPECT_EQ(rect.left, area.left) << text;
      } else if (c.id == kRight) {
        EXPECT_EQ(rect.right, area.right) << text;
      } else {
        EXPECT_LE(abs((rect.left + rect.right) - (area.left + area.right)), 1) << text;
      }
      EXPECT_TRUE(IsWindowVisible(label)) << c.name << " " << text;
    }
  }
}

TEST_F(HyperLinkTest, WithoutADialogFontTheLabelKeepsItsTemplateSize) {
  LinkDialog plain(kSystemFontDialog);
  ASSERT_TRUE(plain.Create());
  HWND label = GetDlgItem(plain.m_hWnd, kLeft);
  const RECT area = TemplateRect(plain.m_hWnd, 10, 10, 150, 10);
  EXPECT_TRUE(SameRect(RectInParent(label), area));
  plain.left.SetLinkText("short");
  EXPECT_TRUE(SameRect(RectInParent(label), area));
  EXPECT_EQ(plain.left.linkStyle & CHyperLink::LinkFitText, 0u);
  EXPECT_EQ(ToolTipText(label), "http://127.0.0.1/plain");
  plain.DestroyWindow();
}

TEST_F(HyperLinkTest, ToolTipKeepsTheRectangleOfAttachAndFollowsTheTarget) {
  HWND label = Item(kLeft);
  RECT client;
  GetClientRect(label, &client);
  EXPECT_TRUE(SameRect(ToolTipRect(label), client));

  dialog_.left.SetLinkTarget("http://127.0.0.1/new-target");
  dialog_.left.SetLinkText("a text much longer than the address it had at first");
  EXPECT_EQ(ToolTipText(label), "http://127.0.0.1/new-target");
  EXPECT_TRUE(SameRect(ToolTipRect(label), client));
  RECT now;
  GetClientRect(label, &now);
  EXPECT_GT(now.right, client.right);

  // The text alone does not change the tip.
  dialog_.left.SetLinkText("other");
  EXPECT_EQ(ToolTipText(label), "http://127.0.0.1/new-target");
}

// The labels of one dialog are tools of one tooltip window, which a label
// that goes before the dialog leaves to the others, and which goes with the
// dialog.
TEST_F(HyperLinkTest, TheLabelsOfADialogShareOneTooltipThatOutlivesEachLabel) {
  HWND tip = FindToolTip(Item(kLeft));
  ASSERT_NE(tip, nullptr);
  for (int id : {kRight, kCentre, kEmpty, kRefused}) EXPECT_EQ(FindToolTip(Item(id)), tip) << id;
  {
    HWND control = CreateWindowExA(0, "STATIC", "http://127.0.0.1/brief", WS_CHILD | SS_NOTIFY, 0,
                                   0, 10, 10, dialog_.m_hWnd, nullptr, nullptr, nullptr);
    TestLink brief;
    ASSERT_TRUE(brief.SubclassWindow(control));
    EXPECT_EQ(FindToolTip(control), tip);
    DestroyWindow(control);
  }
  EXPECT_TRUE(IsWindow(tip));
  EXPECT_EQ(ToolTipText(Item(kLeft)), "http://127.0.0.1/left");

  dialog_.DestroyWindow();
  EXPECT_FALSE(IsWindow(tip));
}

TEST_F(HyperLinkTest, PressThenReleaseOpensAndTheLinkTurnsVisited) {
  TestLink& link = dialog_.left;
  SendMessageA(link.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(GetFocus(), link.m_hWnd);
  EXPECT_FALSE(link.visited) << "the press alone opens nothing";
  EXPECT_EQ(AskColour(link.m_hWnd).text, CHyperLink::ActiveColour);
  SendMessageA(link.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(link.visited);
  EXPECT_EQ(browser_.WaitForOpened(1), std::vector<std::string>{"http://127.0.0.1/left"});
  EXPECT_EQ(AskColour(link.m_hWnd).text, CHyperLink::ActiveColour) << "while it keeps the focus";
  FocusElsewhere();
  EXPECT_EQ(AskColour(link.m_hWnd).text, CHyperLink::VisitedColour);

  // A release without a press or the focus opens nothing.
  SendMessageA(dialog_.right.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_FALSE(dialog_.right.visited);
  // Nor does one after the focus has gone.
  SendMessageA(dialog_.centre.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  FocusElsewhere();
  SendMessageA(dialog_.centre.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_FALSE(dialog_.centre.visited);

  // A new address starts unvisited once the owner says so.
  link.MarkVisited(FALSE);
  EXPECT_EQ(AskColour(link.m_hWnd).text, CHyperLink::LinkColour);
  EXPECT_EQ(browser_.Opened().size(), 1u);
}

TEST_F(HyperLinkTest, SpaceBarOpensTheFocusedLink) {
  HWND label = Item(kCentre);
  SetFocus(label);
  ASSERT_EQ(GetFocus(), label);
  // Through the dialog's own key handling, as typed.
  PostMessageA(label, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageA(label, WM_KEYDOWN, 'A', 0);
  Pump();
  EXPECT_FALSE(dialog_.centre.visited) << "other keys open nothing";
  PostMessageA(label, WM_KEYDOWN, VK_SPACE, 0);
  Pump();
  EXPECT_TRUE(dialog_.centre.visited);
  EXPECT_EQ(browser_.WaitForOpened(1), std::vector<std::string>{"http://127.0.0.1/centre"});
}

TEST_F(HyperLinkTest, FailedOpenShowsTheErrorBoxAndKeepsTheColour) {
  // The refused label's address is a local file: it is not opened.
  std::string text, caption;
  HWND owner = nullptr;
  std::thread closer([&] {
    HWND box = WaitForWindow(GetCurrentProcessId(), "#32770",
                             [](const std::string& c) { return c == "gui_hyperlink_test"; });
    if (box == nullptr) return;
    text = MessageBoxText(box);
    caption = WindowText(box);
    owner = GetWindow(box, GW_OWNER);
    CloseMessageBox(box);
  });
  Click(Item(kRefused));  // returns once the box is closed
  closer.join();
  EXPECT_EQ(caption, "gui_hyperlink_test");
  EXPECT_EQ(text, "Can't open link:\n\nThe operating system denied\naccess to the specified file.");
  EXPECT_EQ(owner, dialog_.m_hWnd) << "the box is modal to the dialog";
  EXPECT_FALSE(dialog_.refused.visited);
  FocusElsewhere();
  EXPECT_EQ(AskColour(Item(kRefused)).text, CHyperLink::LinkColour);
  EXPECT_TRUE(browser_.Opened().empty());
}

TEST_F(HyperLinkTest, PointerTrackingHoldsTheCaptureOnlyWhileOverTheLabel) {
  HWND label = Item(kLeft);
  TestLink& link = dialog_.left;
  SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_TRUE(link.mouseOver);
  EXPECT_EQ(GetCapture(), label);
  SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(4, 3));
  EXPECT_EQ(GetCapture(), label);
  SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(-5, 3));  // the first move outside
  EXPECT_FALSE(link.mouseOver);
  EXPECT_NE(GetCapture(), label);

  // Losing the focus while over the label keeps the capture until the
  // pointer is seen outside.
  SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  SetFocus(label);
  FocusElsewhere();
  EXPECT_FALSE(link.mouseOver);
  EXPECT_EQ(GetCapture(), label);
  SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));  // counts as entering again
  EXPECT_TRUE(link.mouseOver);
  SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(3, -20));
  EXPECT_FALSE(link.mouseOver);
  EXPECT_NE(GetCapture(), label);
}

// ---- the About box

HWND AboutLink(CAboutBox& box) {
  return GetDlgItem(box.m_hWnd, IDC_WEB_LINK);
}

TEST(AboutBox, LinkLineFitsItsAddressAndShowsItAsTip) {
  BrowserRecorder browser;
  CAboutBox box;
  ASSERT_TRUE(box.Create());
  ShowWindow(box.m_hWnd, SW_SHOW);
  Pump();
  EXPECT_EQ(WindowText(box.m_hWnd), "About Vantrel");
  HWND link = AboutLink(box);
  const std::string address = WindowText(link);
  EXPECT_EQ(address, "http://www.example.com/vantrel/");
  EXPECT_EQ(ToolTipText(link), address);

  const RECT area = TemplateRect(box.m_hWnd, 103, 40, 128, 9);
  const RECT rect = RectInParent(link);
  EXPECT_EQ(rect.left, area.left);
  EXPECT_EQ(rect.top, area.top);
  EXPECT_EQ(rect.right - rect.left, TextExtent(link).cx);
  EXPECT_EQ(AskColour(link).text, CHyperLink::LinkColour);

  // Every line of text fits its control: nothing is cut off or wrapped away.
  for (HWND item = GetWindow(box.m_hWnd, GW_CHILD); item != nullptr;
       item = GetWindow(item, GW_HWNDNEXT)) {
    if (ClassName(item) != "Static" || WindowText(item).empty()) continue;
    RECT client;
    GetClientRect(item, &client);
    const SIZE extent = TextExtent(item);
    EXPECT_LE(extent.cx, client.right) << WindowText(item);
    EXPECT_LE(extent.cy, client.bottom) << WindowText(item);
  }

  // Open it: the box's link turns visited ...
  Click(link);
  EXPECT_EQ(browser.WaitForOpened(1), std::vector<std::string>{address});
  SetFocus(GetDlgItem(box.m_hWnd, IDOK));
  EXPECT_EQ(AskColour(link).text, CHyperLink::VisitedColour);
  box.DestroyWindow();

  // ... and the next box starts afresh.
  CAboutBox second;
  ASSERT_TRUE(second.Create());
  EXPECT_EQ(AskColour(AboutLink(second)).text, CHyperLink::LinkColour);
  second.DestroyWindow();
}

// Runs inside the modal loop of the About box: once the box is up and
// painted, takes its picture and presses OK. Gives up (Cancel) after about
// ten seconds.
struct ModalProbe {
  HWND shown = nullptr;
  int ticks = 0;
  bool saved = false;
} g_probe;

void CALLBACK ProbeAboutBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowA("#32770", "About Vantrel");
  if (box != nullptr && IsWindowVisible(box) && !GetQueueStatus(QS_PAINT)) {
    if (g_probe.shown == nullptr) {
      g_probe.shown = box;
      g_probe.saved = SaveWindowPng(box, ShotPath("about-box"));
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  } else if (++g_probe.ticks > 200 && box != nullptr) {
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
  } else if (g_probe.ticks > 400) {
    PostQuitMessage(0);  // the box never came: end the modal loop
  }
}

TEST(AboutBox, ModalRunEndsWithOkAndLeavesAScreenshot) {
  g_probe = ModalProbe();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &ProbeAboutBox);
  CAboutBox box;
  const INT_PTR result = box.DoModal();
  KillTimer(nullptr, timer);
  EXPECT_EQ(result, IDOK);
  EXPECT_NE(g_probe.shown, nullptr);
  EXPECT_TRUE(g_probe.saved);
  EXPECT_EQ(box.m_hWnd, nullptr);
}

}  // namespace
