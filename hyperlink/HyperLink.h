// A static-text control of a dialog that looks and behaves like a web link:
// link colours and an underlined font, a hand pointer, the address as a
// tooltip, and a click or the space bar opens the address in the browser.
// The owner binds it to an existing static control (DDX_Control); binding
// runs OnAttach.
#pragma once

#include "framework/Controls.h"
#include "framework/Text.h"

class CLinkAccessible;

class CHyperLink : public CStatic {
 public:
  // Style bits of linkStyle.
  static constexpr UINT LinkUnderline = 0x01;       // underlined font
  static constexpr UINT LinkHoverColour = 0x02;     // HoverColour under the pointer
  static constexpr UINT LinkFitText = 0x04;         // window sized to its text
  static constexpr UINT LinkOpenOnPress = 0x08;     // open on the press, not the release
  static constexpr UINT LinkTakeFocus = 0x10;       // a press gives the label the focus
  static constexpr UINT LinkNoHandCursor = 0x20;    // no hand pointer
  static constexpr UINT LinkNoActiveColour = 0x40;  // ActiveColour never used
  static constexpr UINT DefaultLinkStyle = LinkUnderline | LinkFitText | LinkTakeFocus;

  // Colours shared by every label.
  static const COLORREF LinkColour;     // blue
  static const COLORREF ActiveColour;   // teal: focused or pressed
  static const COLORREF VisitedColour;  // purple: opened
  static const COLORREF HoverColour;    // red: under the pointer

  CHyperLink();
  ~CHyperLink() override;

  // New address: refits the label and updates the tooltip text.
  void SetLinkTarget(const char* text);
  // New shown text: refits the label; the tooltip stays.
  void SetLinkText(const char* text);
  // Sets or clears the visited state; the colour changes at the next repaint.
  void MarkVisited(BOOL flag);
  // Resizes the window to its text (when LinkFitText is set).
  void FitToText();
  // Opens the address; marks the label visited, or beeps and reports.
  void OpenLink();
  // Loads the shared hand pointer once.
  static void LoadHandCursor();

  // What the label's accessible object reports: the address and whether it
  // was opened; OpenLater opens the link from the label's own queue.
  const char* LinkTarget() const { return url.c_str(); }
  BOOL IsVisited() const { return visited; }
  bool OpenLater();

  // Relays the label's messages to its tooltip, then the default.
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  void OnAttach() override;

  LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);
  LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);
  LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
  LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam);
  LRESULT OnSetFocus(WPARAM wParam, LPARAM lParam);
  LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam);
  LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);
  LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
  LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);
  LRESULT OnOpenLater(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()

  void Redraw();
  void LeaveToolTip();  // removes the label's tool from the shared tooltip
  void Show();          // shows the label unless it is shown already
  // Disconnects and releases the accessible object.
  void LetAccessibleGo();

  BOOL active;     // focused, or pressed; a release opens only while set
  BOOL mouseOver;  // the pointer is over the label (mouse captured meanwhile)
  BOOL visited;    // opened successfully
  UINT linkStyle;
  CText url;       // opened on activation and shown as the tooltip
  HFONT linkFont;  // underlined copy of the control's font, owned
  HWND toolTip;    // shared by the labels of one dialog, which owns it
  // Made at a screen reader's first question; one reference held.
  CLinkAccessible* accessible;

  static HCURSOR handCursor;  // shared, loaded once, never released
};
