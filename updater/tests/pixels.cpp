#include "tests/pixels.h"

#include <cstring>

namespace {
// The PNG encoder's class id; false when GDI+ has none.
bool PngEncoder(CLSID* encoder) {
  UINT count = 0;
  UINT size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<unsigned char> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *encoder = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}
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
  CLSID encoder;
  if (IsEmpty() || !PngEncoder(&encoder)) return false;
  Gdiplus::Bitmap bitmap(m_width, m_height, m_width * 4, PixelFormat32bppARGB,
                         reinterpret_cast<BYTE*>(const_cast<uint32_t*>(m_values.data())));
  return bitmap.Save(path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
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
  BITMAPINFO info = TopDownInfo(width, height);
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
