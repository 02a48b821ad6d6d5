// The updater's window read from the screen; progress is sent by the test while the server holds the download.
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "ui/update_messages.h"
#include "tests/pixels.h"
#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace {
constexpr uint32_t kClientFill = 0x272729;  // red 39, green 39, blue 41
constexpr uint32_t kBarDone = 0x38686A;
constexpr uint32_t kBarToDo = 0x373739;
// The bar: 260 x 50, centred in the strip below the 235-pixel picture.
constexpr RECT kBar = {30, 250, 290, 300};
// The logo's box: 164 x 90, centred, 70 pixels from the top.
constexpr RECT kLogo = {78, 70, 242, 160};

std::string TextOf(const RECT& rect) {
  return std::to_string(rect.left) + ", " + std::to_string(rect.top) + " to " + std::to_string(rect.right) + ", " +
         std::to_string(rect.bottom);
}

// A window's client area on the screen (from null), or a child's place in its parent's client coordinates.
RECT MappedRect(HWND window, HWND from, HWND to) {
  RECT rect;
  from ? GetClientRect(window, &rect) : GetWindowRect(window, &rect);
  MapWindowPoints(from, to, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Bright pixels: the percentage text over the bar, the caption, the error text.
bool Bright(uint32_t pixel) {
  return ((pixel >> 16) & 0xFF) > 140 && ((pixel >> 8) & 0xFF) > 140 && (pixel & 0xFF) > 140;
}

// The progress notification the worker sends, from the test.
void SendProgress(HWND dialog, uint32_t done, uint32_t total) {
  DWORD_PTR ignored = 0;
  EXPECT_TRUE(SendMessageTimeoutW(dialog, WM_UPDATE_PROGRESS, done, total, SMTO_ABORTIFHUNG, 10000, &ignored));
}

// The dialog's client area once `ready` holds (the display lags the drawing) or after 10 s; saved as window-NAME.png.
Pixels Capture(HWND dialog, const std::string& name, const std::function<bool(const Pixels&)>& ready) {
  Pixels pixels;
  const bool held = WaitFor([&] {
    pixels = CaptureScreen(MappedRect(dialog, dialog, nullptr));
    return ready(pixels);
  }, 10000);
  pixels.SavePng(Wide("window-" + name + ".png"));
  EXPECT_TRUE(held) << "the window did not show " << name;
  return pixels;
}

// Expects the bar to show `fill` done pixels at the rows the text leaves free, and the window's fill around it.
void ExpectBar(const Pixels& pixels, int fill, const std::string& what) {
  auto is = [](uint32_t colour) { return [colour](uint32_t pixel) { return (pixel & 0xFFFFFF) == colour; }; };
  const int split = kBar.left + fill;
  for (int y : {kBar.top, kBar.top + 5, kBar.bottom - 1}) {
    EXPECT_EQ(pixels.Count(kBar.left, y, split, y + 1, is(kBarDone)) +
                  pixels.Count(split, y, kBar.right, y + 1, is(kBarToDo)),
              kBar.right - kBar.left)
        << what << ", row " << y;
  }
  EXPECT_EQ(pixels.Count(kBar.left - 1, kBar.top - 1, kBar.right + 1, kBar.bottom + 1, is(kClientFill)),
            2 * (kBar.bottom - kBar.top) + 2 * (kBar.right - kBar.left) + 4)
      << what;
}

// The shape of the percentage text in the bar from x `left` on, as 0 and 1.
std::string TextShape(const Pixels& pixels, int left = kBar.left) {
  std::string shape;
  for (int y = kBar.top; y < kBar.bottom; ++y) {
    for (int x = left; x < kBar.right; ++x) shape += Bright(pixels.At(x, y)) ? '1' : '0';
  }
  return shape;
}

class UpdaterWindow : public ProgramTest {
protected:
  UpdaterWindow() {
    Install(UPDATER_EXE, L"Updater.exe");
    Install(OLD_CLIENT_EXE);
  }
};
}  // namespace

// One held run: the window's place, picture and logo, its size restored once, the bar, and a close request.
TEST_F(UpdaterWindow, HeldRunShowsThePictureTheLogoAndTheProgressAndEndsOnACloseRequest) {
  ScopedHandle updater;
  HWND dialog = StartHeldRun(&updater);
  ASSERT_NE(dialog, nullptr);
  RECT window;
  GetWindowRect(dialog, &window);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int left = (work.left + work.right) / 2 - 160;
  const int top = (work.top + work.bottom) / 2 - 315 / 2;
  EXPECT_EQ(TextOf(window), TextOf(RECT{left, top, left + 320, top + 315}));
  const Pixels background = LoadPicture(Built(UPDATER_PICTURES "/background.png"));
  const Pixels logo = LoadPicture(Built(UPDATER_PICTURES "/logo.png"));
  ASSERT_FALSE(background.IsEmpty() || logo.IsEmpty());
  const Pixels start =
      Capture(dialog, "start", [](const Pixels& p) { return p.Rgb(0, 0) == 0x533E79 && p.Rgb(0, 314) == kClientFill; });
  EXPECT_EQ(start.Rgb(319, 234), 0x5A628Bu);
  // The picture outside the logo's box, the logo's opaque pixels in it, only the fill in the strip.
  int wrong = 0;
  int logoPixels = 0;
  for (int y = 0; y < 315; ++y) {
    for (int x = 0; x < 320; ++x) {
      uint32_t expected = y < 235 ? background.Rgb(x, y) : kClientFill;
      if (x >= kLogo.left && x < kLogo.right && y >= kLogo.top && y < kLogo.bottom) {
        const uint32_t art = logo.At(x - kLogo.left, y - kLogo.top);
        if ((art >> 24) != 0xFF) continue;  // blended with the picture
        expected = art & 0xFFFFFF;
        ++logoPixels;
      }
      if (start.Rgb(x, y) != expected && wrong++ == 0) {
        ADD_FAILURE() << "pixel " << x << ", " << y << " is " << std::hex << start.Rgb(x, y) << ", not " << expected;
      }
    }
  }
  EXPECT_GT(logoPixels, 1000);
  EXPECT_GT(logo.Count(0, 0, 164, 90, [](uint32_t pixel) { return (pixel >> 24) == 0; }), 164 * 90 / 3);
  // The first notification gives the window its size back where it stands; later ones leave it alone.
  auto placeAfterProgress = [dialog](int x, int y, uint32_t done) {
    SetWindowPos(dialog, nullptr, x, y, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE);
    SendProgress(dialog, done, 1000);
    RECT rect;
    GetWindowRect(dialog, &rect);
    return TextOf(rect);
  };
  EXPECT_EQ(placeAfterProgress(20, 30, 0), TextOf(RECT{20, 30, 340, 345}));
  EXPECT_EQ(placeAfterProgress(40, 50, 500), TextOf(RECT{40, 50, 240, 200}));
  SetWindowPos(dialog, nullptr, 20, 30, 320, 315, SWP_NOZORDER | SWP_NOACTIVATE);
  struct Case {
    uint32_t done;
    uint32_t total;
    int fill;
    const char* name;
  };
  // A total of 0 reads as an empty bar at 0%.
  const Case cases[] = {{1, 1000, 0, "1-of-1000"},          {999, 1000, 259, "999-of-1000"},
                        {1000, 1000, 260, "1000-of-1000"}, {0, 0, 0, "0-of-0"},
                        {28, 100, 72, "28-of-100"},        {29, 100, 75, "29-of-100"}};
  std::map<std::string, Pixels> shown;
  for (const Case& c : cases) {
    SendProgress(dialog, c.done, c.total);
    const int last = kBar.left + c.fill;  // the first column still to do
    // Drawn when the boundary and the text show: the window may be caught between the fill and the text.
    shown[c.name] = Capture(dialog, c.name, [&](const Pixels& p) {
      return (c.fill == 0 || p.Rgb(last - 1, kBar.top) == kBarDone) &&
             (c.fill == 260 || p.Rgb(last, kBar.top) == kBarToDo) &&
             p.Count(kBar.left, kBar.top + 10, kBar.right, kBar.bottom - 10, Bright) > 40;
    });
    ExpectBar(shown[c.name], c.fill, c.name);
    // The text lies in the bar's middle rows.
    EXPECT_EQ(shown[c.name].Count(kBar.left, kBar.top, kBar.right, kBar.top + 6, Bright), 0) << c.name;
  }
  // The same text where the counts give the same percentage, another one where not.
  EXPECT_TRUE(TextShape(shown["0-of-0"]) == TextShape(shown["1-of-1000"]));
  EXPECT_TRUE(TextShape(shown["999-of-1000"]) != TextShape(shown["1-of-1000"]));
  EXPECT_TRUE(TextShape(shown["1000-of-1000"]) != TextShape(shown["999-of-1000"]));
  // 29 of 100 reads 28, as the division comes before the multiplication.
  EXPECT_TRUE(TextShape(shown["29-of-100"], 110) == TextShape(shown["28-of-100"], 110));
  // Long before the held file comes; the library left running for the worker: no leak report.
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(ExitCodeOf(updater, 20000), 0u);
  ExpectClientRestarted(0);
  EXPECT_EQ(Content(L"a.txt"), "old a");
  EXPECT_FALSE(Exists(L"XT.log")) << Content(L"XT.log");
}

// The failed look: error text and Finish button, whose click ends the program without restarting the client.
TEST_F(UpdaterWindow, FailedLookShowsTheErrorTextAndTheFinishButtonThatEndsTheProgram) {
  Install(UPDATER_PICTURES "/res/login_normal.png", L"res\\login_normal.png");
  ScopedHandle updater;
  ScopedHandle client;
  HWND dialog = RunIntoAFailure(&updater, &client);
  ASSERT_NE(dialog, nullptr);
  const Pixels picture = LoadPicture(Installed(L"res\\login_normal.png"));
  ASSERT_FALSE(picture.IsEmpty());
  EXPECT_EQ(TextOf(MappedRect(GetDlgItem(dialog, kFinishButton), nullptr, dialog)),
            TextOf(RECT{142, 174, 142 + picture.Width(), 174 + picture.Height()}));
  EXPECT_EQ(TextOf(MappedRect(GetDlgItem(dialog, kErrorText), nullptr, dialog)), TextOf(RECT{0, 230, 320, 315}));
  const int middle = picture.Width() / 2;
  const Pixels failed = Capture(dialog, "failed", [&](const Pixels& p) {
    return p.Rgb(142 + middle, 174 + 3) == picture.Rgb(middle, 3) &&
           p.Count(142, 174, 142 + picture.Width(), 174 + picture.Height(), Bright) > 10 &&
           p.Count(0, 230, 320, 260, Bright) > 10;
  });
  // The button: its picture, with the caption in white above its lowest 10 rows.
  int wrong = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const bool caption = y >= 3 && y < picture.Height() - 10;
      if ((picture.At(x, y) >> 24) == 0xFF && !caption && failed.Rgb(142 + x, 174 + y) != picture.Rgb(x, y)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0) << "pixels of the button's picture not shown";
  auto white = [](uint32_t pixel) { return (pixel & 0xFFFFFF) == 0xFFFFFF; };
  EXPECT_GT(failed.Count(142, 174, 142 + picture.Width(), 174 + picture.Height() - 10, white), 10) << "caption";
  // From y 230 only the fill and the error text, grey: a disabled edit draws in the system's grey.
  auto fill = [](uint32_t pixel) { return (pixel & 0xFFFFFF) == kClientFill; };
  auto grey = [](uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF;
    return std::abs(r - static_cast<int>(pixel & 0xFF)) <= 4 && r > 0x30;
  };
  EXPECT_GT(failed.Count(0, 230, 320, 250, grey), 100) << "the error text";
  EXPECT_EQ(failed.Count(0, 235, 320, 315, [&](uint32_t pixel) { return !fill(pixel) && !grey(pixel); }), 0);
  EXPECT_GT(failed.Count(0, 290, 320, 315, fill), 320 * 24);
  EXPECT_EQ(failed.Rgb(0, 0), 0x533E79u);
  PostMessageW(GetDlgItem(dialog, kFinishButton), BM_CLICK, 0, 0);
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  EXPECT_EQ(ExitCodeOf(client, 0), 0u);
  EXPECT_EQ(ClientStarts().size(), 1u);
}
