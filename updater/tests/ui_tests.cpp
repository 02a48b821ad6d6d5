// The updater window's parts: progress figures and the picture button, in memory surfaces.
#include <windows.h>

#include <gtest/gtest.h>

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
constexpr int kButtonId = 1000;
// The colours of frames 0 to 3 of the test pictures, and what lies under them.
constexpr uint32_t kFrameColours[] = {0xFFC00000, 0xFF00C000, 0xFF0000C0, 0xFFC0C000};
constexpr uint32_t kUnder = 0xFF808080;

TEST(ProgressFigures, EachTruncatedInTheOrderOfItsFormulaAndPlaced) {
  struct Case {
    uint64_t done;
    uint64_t total;
    int32_t fill;
    uint32_t percent;
  };
  // A total with its 32-bit top bit set is widened with its sign: near 2^64, nothing reads as done.
  const uint64_t signExtended = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(0x80000000u)));
  // 29 / 100 x 100 is 28.999999999999996 in doubles; a total of 0 is an empty bar; more done fills the bar.
  const Case cases[] = {{1, 1000, 0, 0},         {999, 1000, 259, 99}, {1, 3, 86, 33},
                        {29, 100, 75, 28},       {0xFFFFFFFFu, 0xFFFFFFFFu, 260, 100},
                        {5000, 0, 0, 0},         {0x7FFFFFFF, signExtended, 0, 0}, {2000, 1000, 260, 200}};
  for (const Case& c : cases) {
    const ProgressFigures figures = ComputeProgress(c.done, c.total, 260);
    EXPECT_EQ(figures.fill, c.fill) << c.done << " of " << c.total;
    EXPECT_EQ(figures.percent, c.percent) << c.done << " of " << c.total;
  }
  auto corners = [](const ProgressRect& r) { return std::vector<int>{r.left, r.top, r.right, r.bottom}; };
  EXPECT_EQ(corners(ProgressRectangle(320, 315, 235)), (std::vector<int>{30, 250, 290, 300}));
  EXPECT_EQ(corners(ProgressRectangle(200, 100, 20)), (std::vector<int>{-30, 35, 230, 85}));  // halves are signed
}

// The parent of the button under test counts the button's clicks.
int clicks = 0;
LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  clicks += message == WM_COMMAND && wParam == MAKEWPARAM(kButtonId, BN_CLICKED);
  return DefWindowProcW(window, message, wParam, lParam);
}

class PictureButton : public ::testing::Test {
protected:
  PictureButton() {
    StartGdiplusOnce();
    // Hidden: destroying a shown window takes Wine seconds.
    m_parentWindow = CreateWindowExW(0, L"Static", L"", WS_POPUP, 100, 100, 300, 200, nullptr, nullptr, nullptr,
                                     nullptr);
    SetWindowLongPtrW(m_parentWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ParentProcedure));
    HWND button = CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 20, 80, 30,
                                  m_parentWindow, reinterpret_cast<HMENU>(kButtonId), nullptr, nullptr);
    EXPECT_TRUE(m_button.SubclassWindow(button));
  }
  ~PictureButton() override { DestroyWindow(m_parentWindow); }
  // Gives the button a picture of `frames` frames side by side or stacked, each of its colour of kFrameColours.
  void SetStrip(int width, int height, bool vertical, int frames) {
    Gdiplus::Bitmap bitmap(width, height, PixelFormat32bppARGB);
    {
      Gdiplus::Graphics graphics(&bitmap);
      for (int i = 0; i < frames; ++i) {
        Gdiplus::SolidBrush brush{Gdiplus::Color(kFrameColours[i])};
        const int along = vertical ? height / frames : width / frames;
        graphics.FillRectangle(&brush, vertical ? 0 : i * along, vertical ? i * along : 0, vertical ? width : along,
                               vertical ? along : height);
      }
    }
    const std::wstring path = m_folder.File((L"strip" + std::to_wstring(width) + L".png").c_str());
    EXPECT_TRUE(PixelsOf(&bitmap).SavePng(path));
    m_button.SetImage(path.c_str(), vertical, frames == 4);
  }
  // Expects the face for `itemState` to fill `width` x `height` in `colour` only, the button that size in its place.
  void ExpectFace(UINT itemState, int width, int height, uint32_t colour, const char* what) {
    Gdiplus::Bitmap surface(120, 80, PixelFormat32bppARGB);
    {
      Gdiplus::Graphics graphics(&surface);
      graphics.Clear(Gdiplus::Color(kUnder));
      m_button.DrawFrame(&graphics, itemState);
    }
    const Pixels face = PixelsOf(&surface);
    EXPECT_EQ(face.Count(0, 0, width, height, [colour](uint32_t pixel) { return pixel == colour; }), width * height)
        << what;
    EXPECT_EQ(face.Count(0, 0, 120, 80, [](uint32_t pixel) { return pixel == kUnder; }), 120 * 80 - width * height)
        << what;
    RECT rect;
    GetWindowRect(m_button.GetSafeHwnd(), &rect);
    MapWindowPoints(nullptr, m_parentWindow, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ((std::vector<LONG>{rect.left, rect.top, rect.right, rect.bottom}),
              (std::vector<LONG>{10, 20, 10 + width, 20 + height})) << what;
  }
  TempFolder m_folder;
  HWND m_parentWindow = nullptr;
  CPngButton m_button;
};

// Frames normal, hover, pressed (the fourth never shows), side by side or stacked; one frame; no picture; clicks.
TEST_F(PictureButton, FramesForEachState) {
  SetStrip(200, 40, false, 4);
  ExpectFace(0, 50, 40, kFrameColours[0], "normal");
  m_button.SendMessage(WM_MOUSEHOVER, 0, 0);
  ExpectFace(0, 50, 40, kFrameColours[1], "hover: x 50 to 99");
  ExpectFace(ODS_SELECTED, 50, 40, kFrameColours[2], "pressed while hovering: x 100 to 149");
  m_button.SendMessage(WM_MOUSELEAVE, 0, 0);
  ExpectFace(0, 50, 40, kFrameColours[0], "after leaving");
  SetStrip(40, 120, true, 4);
  ExpectFace(ODS_SELECTED, 40, 30, kFrameColours[2], "pressed: rows 60 to 89");
  SetStrip(60, 30, false, 1);
  m_button.SendMessage(WM_MOUSEHOVER, 0, 0);
  ExpectFace(ODS_SELECTED, 60, 30, kFrameColours[0], "one frame");
  // Owner-drawn, the hand over it, and a double click counts as a second click.
  EXPECT_EQ(m_button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
  EXPECT_TRUE(m_button.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(m_button.GetSafeHwnd()),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  for (UINT down : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
    m_button.SendMessage(down, MK_LBUTTON, MAKELPARAM(5, 5));
    m_button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  EXPECT_EQ(clicks, 2);
  m_button.SetImage(m_folder.File(L"missing.png").c_str(), false, false);
  ExpectFace(ODS_SELECTED, 0, 0, 0, "no picture");
}

// The caption on a black 80 x 40 surface in the dialog's font; `height` receives the text's height.
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

TEST_F(PictureButton, CaptionSitsTenPixelsAboveTheBottomCentredAndIsEmbossedWhenDisabled) {
  auto lit = [](uint32_t pixel) { return (pixel & 0xFFFFFF) != 0; };
  auto red = [](uint32_t pixel) { return ((pixel >> 16) & 0xFF) > ((pixel >> 8) & 0xFF) + 60; };
  int height = 0;
  m_button.m_text = L"Finish";
  m_button.m_textColor = RGB(255, 0, 0);
  EXPECT_EQ(Caption(m_button, 0, &height).Count(0, 0, 80, 40, lit), 0) << "caption not shown";
  m_button.m_showText = true;
  const Pixels normal = Caption(m_button, 0, &height);
  const int top = 40 - height - 10;
  ASSERT_GT(top, 0);
  EXPECT_GT(normal.Count(0, top, 80, 30, red), 10);
  EXPECT_EQ(normal.Count(0, 0, 80, top, lit), 0) << "above the caption's top, " << top;
  EXPECT_EQ(normal.Count(0, 30, 80, 40, lit), 0) << "in the 10 rows at the bottom";
  int left = 0;
  int right = 79;
  while (left < 80 && !normal.Count(left, 0, left + 1, 40, lit)) ++left;
  while (right > 0 && !normal.Count(right, 0, right + 1, 40, lit)) --right;
  EXPECT_LE(std::abs(left - (79 - right)), 3) << left << " to " << right;
  const Pixels disabled = Caption(m_button, ODS_DISABLED, &height);
  EXPECT_GT(disabled.Count(0, 0, 80, 40, lit), 10);
  EXPECT_EQ(disabled.Count(0, 0, 80, 40, red), 0) << "the disabled caption is embossed, not in its colour";
}
}  // namespace
