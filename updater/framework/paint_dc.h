// Device contexts for painting: CDC over a context someone else owns, and
// CPaintDC, the context of one WM_PAINT.
#pragma once

#include <windows.h>

class CWnd;

// A device context that the object does not own (the one a message carries,
// or one a derived class manages). Painting code takes a CDC so that it can
// draw into a window's context or a memory context alike.
class CDC {
public:
  CDC() = default;
  explicit CDC(HDC dc) : m_hDC(dc) {}
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC GetSafeHdc() const { return m_hDC; }
  // The previous colour or mode.
  COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
  COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  // Fills `rect` with `color`; leaves the background colour set to it.
  void FillSolidRect(const RECT& rect, COLORREF color);

protected:
  HDC m_hDC = nullptr;
};

// The context of one WM_PAINT of `window`, from BeginPaint to EndPaint: made
// in the paint handler, it validates the update region when it ends.
class CPaintDC : public CDC {
public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC();

  PAINTSTRUCT m_ps = {};

private:
  HWND m_window;
};
