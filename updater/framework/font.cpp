#include "framework/font.h"

#include <cwchar>

CFont::~CFont() {
  if (m_font) ::DeleteObject(m_font);
}

bool CFont::CreatePointFont(int tenthPoints, const wchar_t* face) {
  if (m_font) return false;
  LOGFONTW font{};
  HDC screen = ::GetDC(nullptr);
  // Points are 1/72 inch: the height in pixels of a character cell's em.
  font.lfHeight = -::MulDiv(::GetDeviceCaps(screen, LOGPIXELSY), tenthPoints, 720);
  ::ReleaseDC(nullptr, screen);
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  m_font = ::CreateFontIndirectW(&font);
  return m_font != nullptr;
}
