// CFont: an owned GDI font, such as the one a dialog gives a control with
// WM_SETFONT (which must outlive the control).
#pragma once

#include <windows.h>

#include "framework/gdi_objects.h"

class CFont {
public:
  CFont() = default;
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // Makes the font `face` of `tenthPoints` tenths of a point, its pixel height
  // taken from the screen's vertical resolution. False when a font is held
  // already or none can be made.
  bool CreatePointFont(int tenthPoints, const wchar_t* face);

  HFONT GetSafeHandle() const { return m_font.Get(); }

private:
  ScopedFont m_font;
};
