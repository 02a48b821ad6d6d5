// Owners of GDI objects and device contexts: fonts, bitmaps and other objects
// that DeleteObject gives back, memory device contexts, the device contexts of
// windows (GetDC, GetWindowDC) and an object selected into a device context,
// whose owner selects the previous object back.
#pragma once

#include <windows.h>

#include "base/system/scoped_object.h"

// A GDI object of type `Object` (HFONT, HBITMAP, HBRUSH, ...).
template <typename Object>
struct GdiObjectTraits : ZeroIsEmpty<Object> {
  static void Free(Object object) { ::DeleteObject(object); }
};
using ScopedFont = ScopedObject<GdiObjectTraits<HFONT>>;
using ScopedBitmap = ScopedObject<GdiObjectTraits<HBITMAP>>;

// A memory device context of CreateCompatibleDC.
struct MemoryDcTraits : ZeroIsEmpty<HDC> {
  static void Free(Type dc) { ::DeleteDC(dc); }
};
using ScopedMemoryDc = ScopedObject<MemoryDcTraits>;

// The device context of a window (none: the screen), from GetDC or
// GetWindowDC, given back with ReleaseDC.
struct WindowDc {
  HWND window;
  HDC dc;
};
struct WindowDcTraits {
  using Type = WindowDc;
  static Type Empty() { return WindowDc{nullptr, nullptr}; }
  static bool IsValid(Type held) { return held.dc != nullptr; }
  static void Free(Type held) { ::ReleaseDC(held.window, held.dc); }
};
using ScopedWindowDc = ScopedObject<WindowDcTraits>;

// The client-area device context of `window` (none: the whole screen).
inline ScopedWindowDc GetScopedDc(HWND window) { return ScopedWindowDc(WindowDc{window, ::GetDC(window)}); }
// The device context of the whole of `window`, frame included.
inline ScopedWindowDc GetScopedWindowDc(HWND window) {
  return ScopedWindowDc(WindowDc{window, ::GetWindowDC(window)});
}

// An object selected into a device context: the owner selects the object
// that it replaced back in.
struct Selection {
  HDC dc;
  HGDIOBJ previous;
};
struct SelectionTraits {
  using Type = Selection;
  static Type Empty() { return Selection{nullptr, nullptr}; }
  static bool IsValid(Type held) { return held.dc != nullptr && held.previous != nullptr; }
  static void Free(Type held) { ::SelectObject(held.dc, held.previous); }
};
using ScopedSelection = ScopedObject<SelectionTraits>;

// Selects `object` into `dc` until the result ends.
inline ScopedSelection SelectScoped(HDC dc, HGDIOBJ object) {
  return ScopedSelection(Selection{dc, ::SelectObject(dc, object)});
}
