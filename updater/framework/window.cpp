#include "framework/window.h"

#include "framework/paint_dc.h"

namespace {
// The window property that links a window to its CWnd.
constexpr wchar_t kObjectProperty[] = L"Castwright.Framework.CWnd";

// Signed client coordinates of a mouse message (negative left of or above
// the window while the mouse is captured).
POINT MousePosition(LPARAM lParam) {
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

bool IsControlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam) {
  if (entry.message != message) return false;
  return message != WM_COMMAND || (entry.code == HIWORD(wParam) && entry.id == LOWORD(wParam));
}
}  // namespace

CWnd::~CWnd() {
  if (m_superProc) Unsubclass();
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
  return window ? static_cast<CWnd*>(::GetPropW(window, kObjectProperty)) : nullptr;
}

bool CWnd::SubclassWindow(HWND window) {
  if (m_hWnd || !window || FromHandlePermanent(window)) return false;
  if (!::SetPropW(window, kObjectProperty, this)) return false;
  m_hWnd = window;
  PreSubclassWindow();
  m_superProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WindowProcThunk)));
  return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

void CWnd::Unsubclass() {
  ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
  ::RemovePropW(m_hWnd, kObjectProperty);
  m_superProc = nullptr;
  m_hWnd = nullptr;
}

bool CWnd::ModifyStyle(DWORD remove, DWORD add) {
  DWORD style = GetStyle();
  DWORD changed = (style & ~remove) | add;
  if (changed == style) return false;
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
  return true;
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags) {
  if (!insertAfter) flags |= SWP_NOZORDER;
  return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, width, height, flags);
}

BOOL CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

void CWnd::ScreenToClient(RECT* rect) const {
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rect), 2);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

const MessageMap* CWnd::GetThisMessageMap() {
  static constexpr MessageMapEntry kEntries[] = {MessageMapEntry()};
  static constexpr MessageMap kMap = {nullptr, kEntries};
  return &kMap;
}

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

LRESULT CALLBACK CWnd::WindowProcThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = FromHandlePermanent(window);
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  const CurrentMessage outer = self->m_current;
  self->m_current = {message, wParam, lParam};
  LRESULT result = self->WindowProc(message, wParam, lParam);
  self->m_current = outer;
  // The window is gone: the object lets go of it.
  if (message == WM_NCDESTROY && self->m_hWnd == window) self->Unsubclass();
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_superProc) return ::CallWindowProcW(m_superProc, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() { return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam); }

CWnd* CWnd::ObjectOrPassing(HWND window, CWnd* passing) {
  if (CWnd* object = FromHandlePermanent(window)) return object;
  passing->m_hWnd = window;  // not attached: its destructor leaves the window alone
  return passing;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  // An owner-drawn control draws itself: the parent passes the request back.
  if (message == WM_DRAWITEM && wParam != 0) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    CWnd* control = FromHandlePermanent(item->hwndItem);
    if (control && control->OnChildNotify(message, wParam, lParam, result)) return true;
  }
  const UINT key = IsControlColor(message) ? WM_CTLCOLOR : message;
  for (const MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const MessageMapEntry* entry = map->entries; entry->signature != MessageSignature::kEnd; ++entry) {
      if (Matches(*entry, key, wParam)) {
        *result = CallHandler(*entry, message, wParam, lParam);
        return true;
      }
    }
  }
  return false;
}

LRESULT CWnd::CallHandler(const MessageMapEntry& entry, UINT message, WPARAM wParam, LPARAM lParam) {
  const MessageMapEntry::Handler& handler = entry.handler;
  switch (entry.signature) {
    case MessageSignature::kVoid:
      (this->*handler.onVoid)();
      return 0;
    case MessageSignature::kMessage:
      return (this->*handler.onMessage)(wParam, lParam);
    case MessageSignature::kEraseBackground: {
      CDC dc(reinterpret_cast<HDC>(wParam));
      return (this->*handler.onEraseBackground)(&dc);
    }
    case MessageSignature::kQueryCursor:
      return reinterpret_cast<LRESULT>((this->*handler.onQueryCursor)());
    case MessageSignature::kControlColor: {
      CDC dc(reinterpret_cast<HDC>(wParam));
      CWnd passing;
      CWnd* control = ObjectOrPassing(reinterpret_cast<HWND>(lParam), &passing);
      return reinterpret_cast<LRESULT>((this->*handler.onControlColor)(&dc, control, message - WM_CTLCOLORMSGBOX));
    }
    case MessageSignature::kMouse:
      (this->*handler.onMouse)(static_cast<UINT>(wParam), MousePosition(lParam));
      return 0;
    case MessageSignature::kSetCursor: {
      CWnd passing;
      CWnd* under = ObjectOrPassing(reinterpret_cast<HWND>(wParam), &passing);
      return (this->*handler.onSetCursor)(under, LOWORD(lParam), HIWORD(lParam));
    }
    case MessageSignature::kEnd:
      break;
  }
  return 0;
}
