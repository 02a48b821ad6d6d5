#include "framework/font.h"

#include <cwchar>

bool CFont::CreatePointFont(int tenthPoints, const wchar_t* face) {
  if (m_font.IsValid()) return false;
  LOGFONTW font{};
  // Points are 1/72 inch: the height in pixels of a character cell's em.
  font.lfHeight = -::MulDiv(::GetDeviceCaps(GetScopedDc(nullptr).Get().dc, LOGPIXELSY), tenthPoints, 720);
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  m_font.Reset(::CreateFontIndirectW(&font));
  return m_font.IsValid();
}
