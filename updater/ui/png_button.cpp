#include "ui/png_button.h"

#include <commctrl.h>
#include <objidl.h>  // GDI+ needs it; the lean Windows headers leave it out
#include <gdiplus.h>

#include "framework/paint_dc.h"

namespace {
// The caption's bottom edge lies this far above the button's bottom.
constexpr int kCaptionLift = 10;
}  // namespace

BEGIN_MESSAGE_MAP(CPngButton, CButton)
  ON_WM_MOUSEMOVE()
  ON_MESSAGE(WM_MOUSEHOVER, &CPngButton::OnMouseHover)
  ON_MESSAGE(WM_MOUSELEAVE, &CPngButton::OnMouseLeave)
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONUP()
  ON_WM_SETCURSOR()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CPngButton::CPngButton() = default;

CPngButton::~CPngButton() = default;

void CPngButton::PreSubclassWindow() {
  ModifyStyle(0, BS_OWNERDRAW);
  CButton::PreSubclassWindow();
}

LRESULT CPngButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDBLCLK) message = WM_LBUTTONDOWN;
  return CButton::DefWindowProc(message, wParam, lParam);
}

void CPngButton::SetImage(const wchar_t* path, bool vertical, bool fourState) {
  m_image.reset();
  m_fourState = fourState;
  m_vertical = vertical;
  // GDI+ gives an image object for a missing or undecodable file too; it
  // reads as 0 x 0.
  m_image.reset(new Gdiplus::Image(path));
  m_imageWidth = static_cast<int32_t>(m_image->GetWidth());
  m_imageHeight = static_cast<int32_t>(m_image->GetHeight());

  RECT rect;
  GetWindowRect(&rect);
  ::MapWindowPoints(nullptr, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&rect), 2);
  int width = 0;
  int height = 0;
  if (vertical) {
    m_frameHeight = fourState ? m_imageHeight / 4 : m_imageHeight;
    width = m_imageWidth;
    height = m_frameHeight;
  } else {
    m_frameWidth = fourState ? m_imageWidth / 4 : m_imageWidth;
    width = m_frameWidth;
    height = m_imageHeight;
  }
  MoveWindow(rect.left, rect.top, width, height, TRUE);
  SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE);
  m_graphics.Create(m_hWnd);
}

int CPngButton::FrameIndex(UINT itemState) const {
  if (!m_fourState) return 0;
  if (itemState & ODS_SELECTED) return 2;
  return m_hover ? 1 : 0;
}

void CPngButton::DrawFrame(Gdiplus::Graphics* target, UINT itemState) const {
  if (!m_image) return;
  const int index = FrameIndex(itemState);
  if (m_vertical) {
    target->DrawImage(m_image.get(), Gdiplus::Rect(0, 0, m_imageWidth, m_frameHeight), 0, index * m_frameHeight,
                      m_imageWidth, m_frameHeight, Gdiplus::UnitPixel);
  } else {
    target->DrawImage(m_image.get(), Gdiplus::Rect(0, 0, m_frameWidth, m_imageHeight), index * m_frameWidth, 0,
                      m_frameWidth, m_imageHeight, Gdiplus::UnitPixel);
  }
}

void CPngButton::DrawCaption(HDC dc, const RECT& item, UINT itemState) const {
  if (!m_showText || m_text.IsEmpty()) return;
  SIZE size{};
  ::GetTextExtentPoint32W(dc, m_text, static_cast<int>(m_text.Length()), &size);
  const int x = (item.left + item.right) / 2 - size.cx / 2;
  const int y = (item.bottom - item.top) - size.cy - kCaptionLift;
  CDC caption(dc);
  const int previousMode = caption.SetBkMode(TRANSPARENT);
  caption.SetTextColor(m_textColor);
  if (itemState & ODS_DISABLED) {
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_text.Text()), 0, x, y, size.cx, size.cy,
                 DST_PREFIXTEXT | DSS_DISABLED);
  } else {
    RECT where{x, y, x + size.cx, y + size.cy};
    ::DrawTextW(dc, m_text, -1, &where, DT_CENTER);
  }
  caption.SetBkMode(previousMode);
}

void CPngButton::DrawItem(DRAWITEMSTRUCT* item) {
  if (!m_graphics || !m_image) return;
  DrawFrame(m_graphics.Get(), item->itemState);
  DrawCaption(item->hDC, item->rcItem, item->itemState);
}

void CPngButton::OnMouseMove(UINT flags, POINT point) {
  if (!m_tracking) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = m_hWnd;
    track.dwHoverTime = 1;
    m_tracking = _TrackMouseEvent(&track) != FALSE;
  }
  CButton::OnMouseMove(flags, point);
}

LRESULT CPngButton::OnMouseHover(WPARAM, LPARAM) {
  m_hover = true;
  if (m_fourState) InvalidateOwnArea();
  return 0;
}

LRESULT CPngButton::OnMouseLeave(WPARAM, LPARAM) {
  m_tracking = false;
  m_hover = false;
  if (m_fourState) InvalidateOwnArea();
  return 0;
}

void CPngButton::OnLButtonDown(UINT flags, POINT point) {
  if (m_fourState) InvalidateOwnArea();
  CButton::OnLButtonDown(flags, point);
}

void CPngButton::OnLButtonUp(UINT flags, POINT point) {
  if (m_fourState) InvalidateOwnArea();
  CButton::OnLButtonUp(flags, point);
}

BOOL CPngButton::OnSetCursor(CWnd*, UINT, UINT) {
  ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
  return TRUE;
}

BOOL CPngButton::OnEraseBkgnd(CDC*) { return TRUE; }

void CPngButton::InvalidateOwnArea() {
  HWND parent = ::GetParent(m_hWnd);
  RECT rect;
  GetWindowRect(&rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  ::InvalidateRect(parent, &rect, TRUE);
}
