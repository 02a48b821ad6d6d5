#include "framework/paint_dc.h"

#include "framework/window.h"

void CDC::FillSolidRect(const RECT& rect, COLORREF color) {
  ::SetBkColor(m_hDC, color);
  ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

CPaintDC::CPaintDC(CWnd* window) : m_window(window->GetSafeHwnd()) { m_hDC = ::BeginPaint(m_window, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_window, &m_ps); }
