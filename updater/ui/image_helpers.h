// Small helpers of the updater window: pictures from the program's
// resources, solid bars, and the path of the button picture beside the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/text/wide_string.h"
#include "framework/gdi_objects.h"

namespace Gdiplus {
class Graphics;
class Image;
}  // namespace Gdiplus

// The picture stored in `resource` of `module` (found by the caller, e.g. with
// FindResourceW). The image keeps a memory stream holding a copy of the
// resource's bytes for its lifetime. None when the resource cannot be loaded
// or no stream can be made; bytes that are no picture give an image of size
// 0 x 0.
std::unique_ptr<Gdiplus::Image> LoadPngFromResource(HMODULE module, HRSRC resource);

// Fills the rectangle (x, y, width, height) on `graphics` with the opaque or
// translucent colour `argb` (0xAARRGGBB). A width or height of 0 or less draws
// nothing.
void FillBar(Gdiplus::Graphics* graphics, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb);

// The folder of the running program, without a final backslash; empty when
// its path holds no backslash.
String GetModuleFolder();

// `folder` followed by "\res\login_normal.png": the button picture installed
// beside the program.
String ButtonImagePath(const String& folder);

// A GDI+ drawing surface on a window's whole-window device context, which
// stays acquired for the surface's lifetime and is given back with it.
class WindowSurface {
public:
  WindowSurface();
  ~WindowSurface();
  WindowSurface(const WindowSurface&) = delete;
  WindowSurface& operator=(const WindowSurface&) = delete;

  // Makes the surface on `window` unless one is made already.
  void Create(HWND window);
  // The surface; none before Create.
  Gdiplus::Graphics* Get() const { return m_graphics.get(); }
  explicit operator bool() const { return m_graphics != nullptr; }

private:
  ScopedWindowDc m_dc;  // declared first: the surface ends before it
  std::unique_ptr<Gdiplus::Graphics> m_graphics;
};
