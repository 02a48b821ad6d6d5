// CWnd: a window object over an HWND, with the message-map dispatch.
#pragma once

#include <windows.h>

#include "framework/message_map.h"

class CDC;

// A window object attached to at most one window. Attaching subclasses the
// window: its messages then go through the object's message map, and what the
// map does not handle goes to the window's previous procedure (DefWindowProc).
// The window-to-object link is a window property, so any code can find the
// object of a window it meets (FromHandlePermanent). When the window is
// destroyed the object lets go of it; the object itself lives on. One
// user-interface thread at a time.
class CWnd {
public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The object attached to `window` by SubclassWindow, or none.
  static CWnd* FromHandlePermanent(HWND window);

  // Attaches the object to `window` and routes its messages through the
  // message map; runs PreSubclassWindow first. False when the object is
  // attached already or the window is none or attached to another object.
  bool SubclassWindow(HWND window);
  // SubclassWindow on the child `id` of `parent`.
  bool SubclassDlgItem(UINT id, CWnd* parent);

  HWND GetSafeHwnd() const { return m_hWnd; }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  // Removes the `remove` style bits and adds `add`; true when the style changed.
  bool ModifyStyle(DWORD remove, DWORD add);
  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  // Moves and sizes the window; `insertAfter` none keeps the z-order place.
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags);
  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  void ScreenToClient(RECT* rect) const;
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void InvalidateRect(const RECT* rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
  void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  HICON SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }

  // Called for each message that a modal loop takes for this window or one of
  // its children, before translation and dispatch; true when the message was
  // handled and must go nowhere else. The base handles nothing.
  virtual BOOL PreTranslateMessage(MSG* message);

  // Message-map plumbing, for the macros of message_map.h.
  static const MessageMap* GetThisMessageMap();
  virtual const MessageMap* GetMessageMap() const;

protected:
  // Runs right before the object takes the window's messages over (styles set
  // here apply from the first message on).
  virtual void PreSubclassWindow() {}
  // Handles one message: the message map first, DefWindowProc for the rest.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The handling the window had before it was attached.
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // DefWindowProc of the message being handled.
  LRESULT Default();
  // A notification (WM_DRAWITEM) that the parent passes back to its control;
  // true, with `*result` set, when the control handled it. The base handles none.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Default handlers that derived handlers pass on to.
  void OnClose() { Default(); }
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT controlKind);
  BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
  void OnMouseMove(UINT, POINT) { Default(); }
  void OnLButtonDown(UINT, POINT) { Default(); }
  void OnLButtonUp(UINT, POINT) { Default(); }

  HWND m_hWnd = nullptr;

private:
  static LRESULT CALLBACK WindowProcThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Looks the message up in the map chain and calls the handler.
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  LRESULT CallHandler(const MessageMapEntry& entry, UINT message, WPARAM wParam, LPARAM lParam);
  // The object of `window`; for a window without one, `passing` pointed at it
  // for the length of a handler call.
  static CWnd* ObjectOrPassing(HWND window, CWnd* passing);
  // Restores the window's previous procedure and forgets the window.
  void Unsubclass();

  WNDPROC m_superProc = nullptr;
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } m_current = {};
};
