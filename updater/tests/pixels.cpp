#include "tests/pixels.h"

namespace {
// GDI+'s PNG encoder.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
}  // namespace

void StartGdiplusOnce() {
  static ULONG_PTR token = 0;
  if (token) return;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
}

uint32_t Pixels::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
  return m_values[y * m_width + x];
}

bool Pixels::SavePng(const std::wstring& path) const {
  StartGdiplusOnce();
  if (IsEmpty()) return false;
  Gdiplus::Bitmap bitmap(m_width, m_height, m_width * 4, PixelFormat32bppARGB,
                         reinterpret_cast<BYTE*>(const_cast<uint32_t*>(m_values.data())));
  return bitmap.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

Pixels CaptureScreen(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  MemorySurface copy(width, height, 0);
  BitBlt(copy.Dc(), 0, 0, width, height, GetScopedDc(nullptr).Get().dc, rect.left, rect.top, SRCCOPY);
  return copy.Read();
}

Pixels LoadPicture(const std::wstring& path) {
  StartGdiplusOnce();
  Gdiplus::Bitmap bitmap(path.c_str());
  return bitmap.GetLastStatus() == Gdiplus::Ok ? PixelsOf(&bitmap) : Pixels();
}

Pixels PixelsOf(Gdiplus::Bitmap* bitmap) {
  const int width = static_cast<int>(bitmap->GetWidth());
  const int height = static_cast<int>(bitmap->GetHeight());
  Pixels pixels(width, height);
  Gdiplus::Rect all(0, 0, width, height);
  Gdiplus::BitmapData data{};
  if (bitmap->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return Pixels();
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const unsigned char*>(data.Scan0) + y * data.Stride);
    for (int x = 0; x < width; ++x) pixels.Set(x, y, row[x]);
  }
  bitmap->UnlockBits(&data);
  return pixels;
}

MemorySurface::MemorySurface(int width, int height, uint32_t fill) : m_width(width), m_height(height) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  m_dc.Reset(CreateCompatibleDC(nullptr));
  m_bitmap.Reset(CreateDIBSection(m_dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  m_bits = static_cast<uint32_t*>(bits);
  m_selected = SelectScoped(m_dc.Get(), m_bitmap.Get());
  for (int i = 0; m_bits && i < width * height; ++i) m_bits[i] = fill;
}

Pixels MemorySurface::Read() const {
  GdiFlush();
  Pixels pixels(m_width, m_height);
  for (int y = 0; y < m_height; ++y) {
    for (int x = 0; x < m_width; ++x) pixels.Set(x, y, 0xFF000000 | (m_bits[y * m_width + x] & 0xFFFFFF));
  }
  return pixels;
}
