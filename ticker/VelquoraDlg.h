// The headline window: a modeless dialog on template 102 that lists the
// headlines of one category as links, kept in the lower right corner.
#pragma once

#include "common/FeedExtract.h"
#include "framework/Dialog.h"
#include "framework/Text.h"
#include "hyperlink/HyperLink.h"

class CVelquoraDlg : public CDialog {
 public:
  // Creates the window; its start-up sequence (OnInitDialog) runs inside.
  explicit CVelquoraDlg(CWnd* parent = nullptr);
  ~CVelquoraDlg() override;

  // One download-extract-display pass for m_feedUrl.
  void GetSetURLs();
  // Reads the category again, then a pass with the captions and placement.
  void ReloadNews();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(CDataExchange* dx) override;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void PostNcDestroy() override;

  DECLARE_MESSAGE_MAP()
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnClose(WPARAM wParam, LPARAM lParam);
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
  void OnPreferencesExit();
  void OnReloadNews();
  void OnChangeCategory();
  void OnPreferences();
  void OnAbout();
  LRESULT OnVScroll(WPARAM wParam, LPARAM lParam);
  LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam);
  LRESULT OnNextDlgCtl(WPARAM wParam, LPARAM lParam);
  LRESULT OnSize(WPARAM wParam, LPARAM lParam);
  LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
  LRESULT OnCtlColorDialog(WPARAM wParam, LPARAM lParam);

 private:
  // Reads "URLCODE" and, for a code of the catalogue, sets m_feedUrl and
  // m_categoryName; otherwise both stay as they are.
  void ReadCategory();
  void SetCaption(const SYSTEMTIME& time, bool loading);
  void PlaceInCorner();
  int FullHeight() const { return m_startRect.bottom - m_startRect.top; }
  void SetScrollBar(int minimum, int maximum, int page, int position);
  // Moves the contents so that position pos is at the top.
  void ScrollToPosition(int pos);
  void MoveThumb(int pos);
  // Scrolls the panel so that the control is in view.
  void ScrollIntoView(HWND control);
  // The slot whose label is hwnd, or -1.
  int SlotOf(HWND hwnd) const;
  // After a pass: the focus that was on slot `was` goes to the headline
  // nearest to it that has a text, or to "Reload NEWS" when none has.
  void KeepFocusOnHeadline(int was);

  void ShowAboutBox();
  void AddTrayIcon();
  void DeleteTrayIcon();
  // Notification-area icon messages: show on a left click, menu on a right click.
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);

  CHyperLink m_headlineLinks[kHeadlineSlots];  // slot 0 at the top
  HICON m_hIcon;
  HBRUSH m_hWhiteBrush;
  int m_exitRequested;  // 1 only after Exit: WM_CLOSE then destroys instead of hiding
  CText m_feedUrl;
  CText m_categoryName;  // named by the captions
  RECT m_startRect;      // the template's window rectangle, before the resize at start
  int m_scrollPos;
  int m_clientHeight;
  int m_wheelRemainder;  // parts of a wheel notch not yet scrolled
};
