#include "ui/image_helpers.h"

#include <objidl.h>  // GDI+ needs it; the lean Windows headers leave it out
#include <gdiplus.h>

#include <cstring>

#include "app/self_update.h"
#include "app/update_rules.h"

std::unique_ptr<Gdiplus::Image> LoadPngFromResource(HMODULE module, HRSRC resource) {
  const DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return nullptr;
  void* copy = GlobalLock(block);
  if (!copy) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(copy, bytes, size);
  GlobalUnlock(block);
  // The stream owns the block from here on and frees it when the image lets
  // the stream go.
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return nullptr;
  }
  std::unique_ptr<Gdiplus::Image> image(new Gdiplus::Image(stream));
  stream->Release();
  return image;
}

void FillBar(Gdiplus::Graphics* graphics, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb) {
  if (width <= 0 || height <= 0) return;
  Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
  graphics->FillRectangle(&brush, x, y, width, height);
}

String GetModuleFolder() {
  return GetDirectoryOfPath(MainProgramPath());
}

String ButtonImagePath(const String& folder) { return folder + L"\\res\\login_normal.png"; }

WindowSurface::WindowSurface() = default;

WindowSurface::~WindowSurface() = default;

void WindowSurface::Create(HWND window) {
  if (m_graphics) return;
  m_dc = GetScopedWindowDc(window);
  m_graphics.reset(new Gdiplus::Graphics(m_dc.Get().dc));
}
