// The updater window's parts: the progress figures, the image helpers and the
// picture button, drawn into memory surfaces.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "framework/font.h"
#include "framework/window.h"
#include "tests/child_process.h"
#include "tests/pixels.h"
#include "tests/test_support.h"
#include "ui/image_helpers.h"
#include "ui/png_button.h"
#include "ui/progress_figures.h"

namespace {
constexpr int kBarWidth = 260;
constexpr int kButtonId = 1000;
// The colours of frames 0 to 3 of the test pictures, and what lies under them.
constexpr uint32_t kFrameColours[] = {0xFFC00000, 0xFF00C000, 0xFF0000C0, 0xFFC0C000};
constexpr uint32_t kUnder = 0xFF808080;

TEST(ProgressFigures, EachTruncatedInTheOrderOfItsFormula) {
  struct Case {
    uint64_t done;
    uint64_t total;
    int32_t fill;
    uint32_t percent;
  };
  // A total whose 32-bit value has its top bit set is widened with its sign:
  // near 2 to the power 64, so nothing reads as done.
  const uint64_t signExtended = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(0x80000000u)));
  // 29 / 100 x 100 is 28.999999999999996 in doubles: the text reads 28. A
  // total of 0 is an empty bar at 0 %; more done than the total fills the bar.
  const Case cases[] = {{0, 1000, 0, 0},      {1, 1000, 0, 0},       {999, 1000, 259, 99},
                        {1000, 1000, 260, 100}, {1, 3, 86, 33},        {29, 100, 75, 28},
                        {57, 100, 148, 56},     {0xFFFFFFFFu, 0xFFFFFFFFu, 260, 100},
                        {0, 0, 0, 0},           {1, 0, 0, 0},          {5000, 0, 0, 0},
                        {0x7FFFFFFF, signExtended, 0, 0},              {2000, 1000, kBarWidth, 200}};
  for (const Case& c : cases) {
    const ProgressFigures figures = ComputeProgress(c.done, c.total, kBarWidth);
    EXPECT_EQ(figures.fill, c.fill) << c.done << " of " << c.total;
    EXPECT_EQ(figures.percent, c.percent) << c.done << " of " << c.total;
  }
  EXPECT_EQ(ComputeProgress(5, 10, 0).fill, 0);
}

TEST(ProgressFigures, BarAndLogoPlaces) {
  const ProgressRect bar = ProgressRectangle(320, 315, 235);
  EXPECT_EQ(bar.left, 30);
  EXPECT_EQ(bar.top, 250);
  EXPECT_EQ(bar.right, 290);
  EXPECT_EQ(bar.bottom, 300);
  EXPECT_EQ(CentredLeft(320, 164), 78);
  // Narrower than the bar: the halves are signed.
  const ProgressRect narrow = ProgressRectangle(200, 100, 20);
  EXPECT_EQ(narrow.left, -30);
  EXPECT_EQ(narrow.right, 230);
  EXPECT_EQ(narrow.top, 35);
  EXPECT_EQ(narrow.bottom, 85);
}

// The test program's resource `id` of type "PNG" through LoadPngFromResource.
std::unique_ptr<Gdiplus::Image> LoadTestResource(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  EXPECT_NE(found, nullptr) << id;
  return found ? LoadPngFromResource(module, found) : nullptr;
}

TEST(ImageHelpers, PictureResourcesLoadInTheirSizeAndBytesThatAreNoPictureAsNothing) {
  StartGdiplusOnce();
  std::unique_ptr<Gdiplus::Image> background = LoadTestResource(132);
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->GetWidth(), 320u);
  EXPECT_EQ(background->GetHeight(), 235u);
  EXPECT_EQ(background->GetPixelFormat(), PixelFormat24bppRGB);
  std::unique_ptr<Gdiplus::Image> logo = LoadTestResource(133);
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->GetWidth(), 164u);
  EXPECT_EQ(logo->GetHeight(), 90u);
  EXPECT_EQ(logo->GetPixelFormat(), PixelFormat32bppARGB);
  std::unique_ptr<Gdiplus::Image> bytes = LoadTestResource(134);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes->GetWidth(), 0u);
  EXPECT_EQ(bytes->GetHeight(), 0u);
}

// The background's colours are checked on screen by the updater window's tests.
TEST(ImageHelpers, TheLogoIsTransparentAroundItsArt) {
  StartGdiplusOnce();
  std::unique_ptr<Gdiplus::Image> logo = LoadTestResource(133);
  ASSERT_NE(logo, nullptr);
  Gdiplus::Bitmap art(164, 90, PixelFormat32bppARGB);
  {
    Gdiplus::Graphics graphics(&art);
    graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
    graphics.DrawImage(logo.get(), Gdiplus::Rect(0, 0, 164, 90), 0, 0, 164, 90, Gdiplus::UnitPixel);
  }
  const Pixels logoPixels = PixelsOf(&art);
  auto opaque = [](uint32_t pixel) { return (pixel >> 24) == 0xFF; };
  auto clear = [](uint32_t pixel) { return (pixel >> 24) == 0; };
  EXPECT_GT(logoPixels.Count(0, 0, 164, 90, opaque), 164 * 90 / 10);
  EXPECT_GT(logoPixels.Count(0, 0, 164, 90, clear), 164 * 90 / 3);
  EXPECT_TRUE(clear(logoPixels.At(0, 0)));
}

TEST(ImageHelpers, FillBarFillsExactlyItsRectangle) {
  StartGdiplusOnce();
  Gdiplus::Bitmap surface(12, 10, PixelFormat32bppARGB);
  {
    Gdiplus::Graphics graphics(&surface);
    graphics.Clear(Gdiplus::Color(kUnder));
    FillBar(&graphics, 2, 3, 5, 4, 0xFF38686A);
    // Nothing for an empty or negative width or height.
    FillBar(&graphics, 0, 0, 0, 10, 0xFFFFFFFF);
    FillBar(&graphics, 8, 0, -3, 10, 0xFFFFFFFF);
    FillBar(&graphics, 0, 9, 12, 0, 0xFFFFFFFF);
  }
  const Pixels pixels = PixelsOf(&surface);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 2 && x < 7 && y >= 3 && y < 7;
      EXPECT_EQ(pixels.At(x, y), inside ? 0xFF38686Au : kUnder) << x << ", " << y;
    }
  }
}

// The parent of the button under test; counts the button's clicks.
class ButtonParent : public CWnd {
public:
  int m_clicks = 0;

protected:
  void OnClicked() { ++m_clicks; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ButtonParent, CWnd)
  ON_BN_CLICKED(kButtonId, &ButtonParent::OnClicked)
END_MESSAGE_MAP()

class PictureButton : public ::testing::Test {
protected:
  PictureButton() {
    StartGdiplusOnce();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PictureButtonParent";
    RegisterClassW(&windowClass);
    // Hidden unless a test needs the screen: destroying a shown window takes
    // Wine seconds.
    m_parentWindow = CreateWindowExW(0, L"PictureButtonParent", L"", WS_POPUP, 100, 100, 300, 200, nullptr,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND button = CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 20, 80, 30,
                                  m_parentWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)),
                                  GetModuleHandleW(nullptr), nullptr);
    EXPECT_TRUE(m_parent.SubclassWindow(m_parentWindow));
    EXPECT_TRUE(m_button.SubclassWindow(button));
  }
  ~PictureButton() override { DestroyWindow(m_parentWindow); }

  // Writes a picture `width` x `height` of `frames` frames, side by side or
  // stacked, each filled with its colour of kFrameColours; returns its path.
  std::wstring WriteStrip(int width, int height, bool vertical, int frames) const {
    Gdiplus::Bitmap bitmap(width, height, PixelFormat32bppARGB);
    {
      Gdiplus::Graphics graphics(&bitmap);
      for (int i = 0; i < frames; ++i) {
        Gdiplus::SolidBrush brush{Gdiplus::Color(kFrameColours[i])};
        if (vertical) {
          graphics.FillRectangle(&brush, 0, i * height / frames, width, height / frames);
        } else {
          graphics.FillRectangle(&brush, i * width / frames, 0, width / frames, height);
        }
      }
    }
    Pixels pixels = PixelsOf(&bitmap);
    const std::wstring path = m_folder.File((L"strip" + std::to_wstring(++m_pictures) + L".png").c_str());
    EXPECT_TRUE(pixels.SavePng(path));
    return path;
  }

  // The button's face for the owner-draw state `itemState`, drawn on a
  // surface larger than the button.
  Pixels Face(UINT itemState) {
    Gdiplus::Bitmap surface(120, 80, PixelFormat32bppARGB);
    {
      Gdiplus::Graphics graphics(&surface);
      graphics.Clear(Gdiplus::Color(kUnder));
      m_button.DrawFrame(&graphics, itemState);
    }
    return PixelsOf(&surface);
  }

  // Expects the rectangle (0, 0, width, height) of `face` in `colour` and
  // the column and row beside it untouched.
  static void ExpectFrame(const Pixels& face, int width, int height, uint32_t colour, const char* what) {
    auto is = [colour](uint32_t pixel) { return pixel == colour; };
    EXPECT_EQ(face.Count(0, 0, width, height, is), width * height) << what;
    EXPECT_EQ(face.At(width, 0), kUnder) << what;
    EXPECT_EQ(face.At(0, height), kUnder) << what;
  }

  SIZE ButtonSize() const {
    RECT rect;
    GetWindowRect(m_button.GetSafeHwnd(), &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
  }
  POINT ButtonPlace() const {
    RECT rect;
    GetWindowRect(m_button.GetSafeHwnd(), &rect);
    MapWindowPoints(nullptr, m_parentWindow, reinterpret_cast<POINT*>(&rect), 2);
    return POINT{rect.left, rect.top};
  }

  TempFolder m_folder;
  mutable int m_pictures = 0;
  HWND m_parentWindow = nullptr;
  ButtonParent m_parent;
  CPngButton m_button;
};

TEST_F(PictureButton, FourFramesSideBySideShowNormalHoverAndPressed) {
  m_button.SetImage(WriteStrip(200, 40, false, 4).c_str(), false, true);
  EXPECT_EQ(ButtonSize().cx, 50);
  EXPECT_EQ(ButtonSize().cy, 40);
  EXPECT_EQ(ButtonPlace().x, 10);
  EXPECT_EQ(ButtonPlace().y, 20);
  ExpectFrame(Face(0), 50, 40, kFrameColours[0], "normal");
  m_button.SendMessage(WM_MOUSEHOVER, 0, 0);
  ExpectFrame(Face(0), 50, 40, kFrameColours[1], "hover: x 50 to 99");
  // Pressed while hovering shows the pressed frame.
  ExpectFrame(Face(ODS_SELECTED), 50, 40, kFrameColours[2], "pressed: x 100 to 149");
  m_button.SendMessage(WM_MOUSELEAVE, 0, 0);
  ExpectFrame(Face(0), 50, 40, kFrameColours[0], "after leaving");
  ExpectFrame(Face(ODS_SELECTED), 50, 40, kFrameColours[2], "pressed");

  // A width that four does not divide: the last columns are never shown.
  m_button.SetImage(WriteStrip(202, 40, false, 4).c_str(), false, true);
  EXPECT_EQ(ButtonSize().cx, 50);
}

TEST_F(PictureButton, FourFramesStackedAndASingleFrame) {
  m_button.SetImage(WriteStrip(40, 120, true, 4).c_str(), true, true);
  EXPECT_EQ(ButtonSize().cx, 40);
  EXPECT_EQ(ButtonSize().cy, 30);
  ExpectFrame(Face(0), 40, 30, kFrameColours[0], "normal");
  ExpectFrame(Face(ODS_SELECTED), 40, 30, kFrameColours[2], "pressed: rows 60 to 89");

  // One frame: the whole picture, whatever the state.
  m_button.SetImage(WriteStrip(60, 30, false, 1).c_str(), false, false);
  EXPECT_EQ(ButtonSize().cx, 60);
  EXPECT_EQ(ButtonSize().cy, 30);
  m_button.SendMessage(WM_MOUSEHOVER, 0, 0);
  ExpectFrame(Face(0), 60, 30, kFrameColours[0], "hover");
  ExpectFrame(Face(ODS_SELECTED), 60, 30, kFrameColours[0], "pressed");
}

TEST_F(PictureButton, MissingPictureGivesAnEmptyButtonThatDrawsNothing) {
  m_button.SetImage(m_folder.File(L"missing.png").c_str(), false, false);
  EXPECT_EQ(ButtonSize().cx, 0);
  EXPECT_EQ(ButtonSize().cy, 0);
  const Pixels face = Face(ODS_SELECTED);
  EXPECT_EQ(face.Count(0, 0, face.Width(), face.Height(), [](uint32_t pixel) { return pixel == kUnder; }),
            face.Width() * face.Height());
}

TEST_F(PictureButton, MouseOverTheButtonIsTrackedIntoTheHoverFrame) {
  m_button.SetImage(WriteStrip(200, 40, false, 4).c_str(), false, true);
  ShowWindow(m_parentWindow, SW_SHOW);
  SetForegroundWindow(m_parentWindow);
  RECT rect;
  GetWindowRect(m_button.GetSafeHwnd(), &rect);
  SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  // The move arms the tracking; the hover notification then comes by itself.
  m_button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(25, 20));
  const DWORD start = GetTickCount();
  while (m_button.FrameIndex(0) != 1 && GetTickCount() - start < 10000) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  ExpectFrame(Face(0), 50, 40, kFrameColours[1], "hover");
}

TEST_F(PictureButton, OwnerDrawnWithTheHandCursorAndADoubleClickIsASecondClick) {
  EXPECT_EQ(m_button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
  m_button.SetImage(WriteStrip(60, 30, false, 1).c_str(), false, false);
  EXPECT_TRUE(m_button.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(m_button.GetSafeHwnd()),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));

  const LPARAM inside = MAKELPARAM(5, 5);
  m_button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, inside);
  m_button.SendMessage(WM_LBUTTONUP, 0, inside);
  m_button.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
  m_button.SendMessage(WM_LBUTTONUP, 0, inside);
  EXPECT_EQ(m_parent.m_clicks, 2);
}

// The caption drawn by the button on a black 80 x 40 surface in the font the
// dialog gives it; `height` receives the text's height.
Pixels Caption(const CPngButton& button, UINT itemState, int* height) {
  MemorySurface surface(80, 40, 0);
  CFont font;
  font.CreatePointFont(110, L"Arial");
  HGDIOBJ previous = SelectObject(surface.Dc(), font.GetSafeHandle());
  SIZE size{};
  GetTextExtentPoint32W(surface.Dc(), L"Finish", 6, &size);
  *height = size.cy;
  button.DrawCaption(surface.Dc(), RECT{0, 0, 80, 40}, itemState);
  SelectObject(surface.Dc(), previous);
  return surface.Read();
}

TEST_F(PictureButton, CaptionSitsTenPixelsAboveTheBottomAndIsEmbossedWhenDisabled) {
  auto lit = [](uint32_t pixel) { return (pixel & 0xFFFFFF) != 0; };
  auto red = [](uint32_t pixel) { return ((pixel >> 16) & 0xFF) > ((pixel >> 8) & 0xFF) + 60; };
  int height = 0;
  EXPECT_EQ(Caption(m_button, 0, &height).Count(0, 0, 80, 40, lit), 0) << "caption not shown";
  m_button.m_showText = true;
  EXPECT_EQ(Caption(m_button, 0, &height).Count(0, 0, 80, 40, lit), 0) << "empty caption";

  m_button.m_text = L"Finish";
  m_button.m_textColor = RGB(255, 0, 0);
  const Pixels normal = Caption(m_button, 0, &height);
  const int top = 40 - height - 10;
  ASSERT_GT(top, 0);
  EXPECT_GT(normal.Count(0, top, 80, 30, red), 10);
  EXPECT_EQ(normal.Count(0, 0, 80, top, lit), 0) << "above the caption's top, " << top;
  EXPECT_EQ(normal.Count(0, 30, 80, 40, lit), 0) << "in the 10 rows at the bottom";
  // Centred: as much room on either side.
  int left = 80;
  int right = -1;
  for (int x = 0; x < 80; ++x) {
    if (normal.Count(x, 0, x + 1, 40, lit) > 0) {
      left = std::min(left, x);
      right = x;
    }
  }
  EXPECT_LE(std::abs(left - (79 - right)), 3) << left << " to " << right;

  const Pixels disabled = Caption(m_button, ODS_DISABLED, &height);
  EXPECT_GT(disabled.Count(0, 0, 80, 40, lit), 10);
  EXPECT_EQ(disabled.Count(0, 0, 80, 40, red), 0) << "the disabled caption is embossed, not in its colour";
}
}  // namespace
