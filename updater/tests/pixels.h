// Screen captures, memory surfaces and picture files as 0xAARRGGBB values, for the window tests and the demo.
#pragma once

#include <windows.h>
#include <objidl.h>  // GDI+ needs it; the lean Windows headers leave it out
#include <gdiplus.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/gdi_objects.h"

// Starts GDI+ in the test program; it stays started until the program ends.
void StartGdiplusOnce();

// A rectangle of pixels, row by row from the top.
class Pixels {
public:
  Pixels() = default;
  Pixels(int width, int height, uint32_t fill = 0) : m_width(width), m_height(height), m_values(width * height, fill) {}
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  bool IsEmpty() const { return m_values.empty(); }
  // The pixel at (x, y); 0 outside the rectangle.
  uint32_t At(int x, int y) const;
  // The colour without alpha, 0xRRGGBB.
  uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }
  void Set(int x, int y, uint32_t value) { m_values[y * m_width + x] = value; }
  bool operator==(const Pixels& other) const {
    return m_width == other.m_width && m_height == other.m_height && m_values == other.m_values;
  }
  // How many pixels of the rectangle (right and bottom exclusive) match `predicate`.
  template <typename Predicate>
  int Count(int left, int top, int right, int bottom, Predicate predicate) const {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) count += predicate(At(x, y)) ? 1 : 0;
    }
    return count;
  }
  // Writes the pixels as a PNG file (to look at what a test saw).
  bool SavePng(const std::wstring& path) const;

private:
  int m_width = 0;
  int m_height = 0;
  std::vector<uint32_t> m_values;
};

// The screen's pixels inside `rect` (screen coordinates).
Pixels CaptureScreen(const RECT& rect);

// The pixels of a picture file; empty when it cannot be read.
Pixels LoadPicture(const std::wstring& path);

// The pixels of a GDI+ bitmap.
Pixels PixelsOf(Gdiplus::Bitmap* bitmap);

// A 32-bit memory device context filled with `fill` (0xRRGGBB), for code that draws on a device context.
class MemorySurface {
public:
  MemorySurface(int width, int height, uint32_t fill);
  MemorySurface(const MemorySurface&) = delete;
  MemorySurface& operator=(const MemorySurface&) = delete;
  HDC Dc() const { return m_dc.Get(); }
  Pixels Read() const;

private:
  int m_width;
  int m_height;
  // Declared in the order they are made: they end the other way round.
  ScopedMemoryDc m_dc;
  ScopedBitmap m_bitmap;
  ScopedSelection m_selected;
  uint32_t* m_bits = nullptr;
};
