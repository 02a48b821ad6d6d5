// The updater's window as the screen shows it: Updater.exe runs under Wine on
// the virtual display and the test reads the screen's pixels. Progress counts
// are sent by the test itself while the worker waits on a download that the
// local update server holds back, so nothing else draws meanwhile. Every
// capture is also saved beside the test program ("window-*.png").
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
const std::string kNewVersion = NEW_CLIENT_VERSION;
constexpr int kFinishButton = 1000;
constexpr int kErrorText = 1001;
constexpr uint32_t kClientFill = 0x272729;  // red 39, green 39, blue 41
constexpr uint32_t kBarDone = 0x38686A;
constexpr uint32_t kBarToDo = 0x373739;
// The bar's rectangle in the window: 260 x 50, centred in the strip below
// the 235-pixel picture.
constexpr RECT kBar = {30, 250, 290, 300};
// The logo's box: 164 x 90, centred, 70 pixels from the top.
constexpr RECT kLogo = {78, 70, 242, 160};

std::string TextOf(const RECT& rect) {
  return std::to_string(rect.left) + ", " + std::to_string(rect.top) + " to " + std::to_string(rect.right) + ", " +
         std::to_string(rect.bottom);
}

bool Inside(const RECT& rect, int x, int y) { return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom; }

RECT ClientRectOnScreen(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// A child's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Bright pixels: the percentage text over the bar, the caption, the error text.
bool Bright(uint32_t pixel) {
  const uint32_t r = (pixel >> 16) & 0xFF;
  const uint32_t g = (pixel >> 8) & 0xFF;
  const uint32_t b = pixel & 0xFF;
  return r > 140 && g > 140 && b > 140;
}

class UpdaterWindow : public ProgramTest {
protected:
  UpdaterWindow() {
    Install(UpdaterProgram(), L"Updater.exe");
    Install(OldClientProgram());
  }
  ~UpdaterWindow() override {
    if (m_updater.IsValid()) TerminateProcess(m_updater.Get(), 0);
  }

  HWND StartUpdater() {
    m_updater = Start(L"Updater.exe", L"-path \"" + Installed(kClientName) + L"\"");
    return DialogOf(m_updater);
  }

  // Starts a run whose only file cannot be fetched and returns the dialog
  // once it shows the failed look.
  HWND StartFailingRun() {
    Publish({{"a.txt", "new a", ""}}, kNewVersion);
    m_server.AddFault("files/a.txt status 404");
    HWND dialog = StartUpdater();
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(GetDlgItem(dialog, kFinishButton)) != FALSE; })) << "no failed look";
    return dialog;
  }

  // The progress notification the worker sends, from the test.
  static void SendProgress(HWND dialog, uint32_t done, uint32_t total) {
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutW(dialog, WM_UPDATE_PROGRESS, done, static_cast<LPARAM>(static_cast<int32_t>(total)),
                                    SMTO_ABORTIFHUNG, 10000, &ignored));
  }

  // The dialog's client area as the screen shows it, once `ready` holds for
  // it (the display catches up with the program's drawing a moment later);
  // the last capture when it does not within 10 s. Saved as window-NAME.png.
  Pixels Capture(HWND dialog, const std::string& name, const std::function<bool(const Pixels&)>& ready) const {
    Pixels pixels;
    const bool held = WaitFor([&] {
      pixels = CaptureScreen(ClientRectOnScreen(dialog));
      return ready(pixels);
    }, 10000);
    pixels.SavePng(Wide("window-" + name + ".png"));
    EXPECT_TRUE(held) << "the window did not show " << name;
    return pixels;
  }

  ScopedHandle m_updater;
};

// Expects the bar of `pixels` to show `fill` done pixels: exact colours at
// the boundary columns and along the rows the text leaves free, and the
// window's fill around the bar.
void ExpectBar(const Pixels& pixels, int fill, const std::string& what) {
  for (int y : {kBar.top, kBar.top + 5, kBar.bottom - 1}) {
    for (int x = kBar.left; x < kBar.right; ++x) {
      const uint32_t expected = x < kBar.left + fill ? kBarDone : kBarToDo;
      if (pixels.Rgb(x, y) != expected) {
        ADD_FAILURE() << what << ": pixel " << x << ", " << y << " is " << std::hex << pixels.Rgb(x, y);
        return;
      }
    }
  }
  for (int y = kBar.top; y < kBar.bottom; ++y) {
    EXPECT_EQ(pixels.Rgb(kBar.left - 1, y), kClientFill) << what << ", left of the bar, row " << y;
    EXPECT_EQ(pixels.Rgb(kBar.right, y), kClientFill) << what << ", right of the bar, row " << y;
  }
  EXPECT_EQ(pixels.Rgb(kBar.left, kBar.top - 1), kClientFill) << what;
  EXPECT_EQ(pixels.Rgb(kBar.left, kBar.bottom), kClientFill) << what;
}

// Where the percentage text lies in the bar from x `left` on, as a text of
// 0 and 1: the text's shape, for comparing two read-outs.
std::string TextShape(const Pixels& pixels, int left = kBar.left) {
  std::string shape;
  for (int y = kBar.top; y < kBar.bottom; ++y) {
    for (int x = left; x < kBar.right; ++x) shape += Bright(pixels.At(x, y)) ? '1' : '0';
  }
  return shape;
}

TEST_F(UpdaterWindow, StartsCentredWithItsBackgroundAndLogoAndOnlyTheFirstProgressSizesIt) {
  HWND dialog = StartHeldRun(&m_updater);
  ASSERT_NE(dialog, nullptr);
  RECT window;
  GetWindowRect(dialog, &window);
  EXPECT_EQ(window.right - window.left, 320);
  EXPECT_EQ(window.bottom - window.top, 315);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(window.left, (work.left + work.right) / 2 - 160);
  EXPECT_EQ(window.top, (work.top + work.bottom) / 2 - 315 / 2);

  const Pixels background = LoadPicture(BuiltPicture(L"background.png"));
  const Pixels logo = LoadPicture(BuiltPicture(L"logo.png"));
  ASSERT_FALSE(background.IsEmpty());
  ASSERT_FALSE(logo.IsEmpty());
  const Pixels start =
      Capture(dialog, "start", [](const Pixels& p) { return p.Rgb(0, 0) == 0x533E79 && p.Rgb(0, 314) == kClientFill; });
  EXPECT_EQ(start.Rgb(0, 0), 0x533E79u);
  EXPECT_EQ(start.Rgb(319, 0), 0x66A0ABu);
  EXPECT_EQ(start.Rgb(0, 234), 0x470059u);
  EXPECT_EQ(start.Rgb(319, 234), 0x5A628Bu);
  // The picture outside the logo's box, the logo's opaque pixels inside it,
  // and nothing but the fill in the strip until the first progress.
  int wrong = 0;
  int logoPixels = 0;
  for (int y = 0; y < 315; ++y) {
    for (int x = 0; x < 320; ++x) {
      uint32_t expected = y < 235 ? background.Rgb(x, y) : kClientFill;
      if (Inside(kLogo, x, y)) {
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
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(logoPixels, 1000);

  // The first notification gives the window its size back where it stands;
  // later ones leave it alone.
  auto placeAfterProgress = [dialog](int x, int y, uint32_t done) {
    SetWindowPos(dialog, nullptr, x, y, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE);
    SendProgress(dialog, done, 1000);
    RECT rect;
    GetWindowRect(dialog, &rect);
    return TextOf(rect);
  };
  EXPECT_EQ(placeAfterProgress(20, 30, 0), TextOf(RECT{20, 30, 340, 345}));
  EXPECT_EQ(placeAfterProgress(40, 50, 500), TextOf(RECT{40, 50, 240, 200}));
}

TEST_F(UpdaterWindow, ProgressBarFillsItsShareAndShowsThePercentage) {
  HWND dialog = StartHeldRun(&m_updater);
  ASSERT_NE(dialog, nullptr);
  struct Case {
    uint32_t done;
    uint32_t total;
    int fill;
    const char* name;
  };
  // A total of 0 reads as an empty bar at 0%.
  const Case cases[] = {{0, 1000, 0, "0-of-1000"},        {1, 1000, 0, "1-of-1000"},   {999, 1000, 259, "999-of-1000"},
                        {1000, 1000, 260, "1000-of-1000"}, {1, 3, 86, "1-of-3"},        {0, 0, 0, "0-of-0"},
                        {28, 100, 72, "28-of-100"},        {29, 100, 75, "29-of-100"}, {30, 100, 78, "30-of-100"}};
  std::map<std::string, Pixels> shown;
  for (const Case& c : cases) {
    SendProgress(dialog, c.done, c.total);
    const int last = kBar.left + c.fill;  // the first column still to do
    // Drawn when the boundary and the text show: the window may be caught
    // between the bar's fill and the text.
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
  EXPECT_TRUE(TextShape(shown["0-of-0"]) == TextShape(shown["0-of-1000"]));
  EXPECT_TRUE(TextShape(shown["1-of-1000"]) == TextShape(shown["0-of-1000"]));
  EXPECT_TRUE(TextShape(shown["999-of-1000"]) != TextShape(shown["0-of-1000"]));
  EXPECT_TRUE(TextShape(shown["1000-of-1000"]) != TextShape(shown["999-of-1000"]));
  // 29 of 100 reads 28, as the division comes before the multiplication.
  EXPECT_TRUE(TextShape(shown["29-of-100"], 110) == TextShape(shown["28-of-100"], 110));
  EXPECT_TRUE(TextShape(shown["30-of-100"], 110) != TextShape(shown["28-of-100"], 110));
}

TEST_F(UpdaterWindow, FailedLookShowsTheErrorTextBelowThePictureAndTheFinishButton) {
  InstallButtonPicture();
  HWND dialog = StartFailingRun();
  ASSERT_NE(dialog, nullptr);
  const Pixels picture = LoadPicture(BuiltPicture(L"res\\login_normal.png"));
  ASSERT_FALSE(picture.IsEmpty());
  const RECT button = PlaceOf(GetDlgItem(dialog, kFinishButton));
  EXPECT_EQ(button.left, 142);
  EXPECT_EQ(button.top, 174);
  EXPECT_EQ(button.right - button.left, picture.Width());
  EXPECT_EQ(button.bottom - button.top, picture.Height());
  EXPECT_EQ(TextOf(PlaceOf(GetDlgItem(dialog, kErrorText))), TextOf(RECT{0, 230, 320, 315}));

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
  // The error text on the window's fill from y 230, where the bar was: only
  // the fill and the text's pixels there. The edit control is disabled, and a
  // disabled edit draws its text in the system's grey whatever colour its
  // parent sets.
  auto fill = [](uint32_t pixel) { return (pixel & 0xFFFFFF) == kClientFill; };
  auto grey = [](uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF;
    const int b = pixel & 0xFF;
    return std::abs(r - b) <= 4 && r > 0x30;
  };
  EXPECT_GT(failed.Count(0, 230, 320, 250, grey), 100) << "the error text";
  EXPECT_EQ(failed.Count(0, 235, 320, 315, [&](uint32_t pixel) { return !fill(pixel) && !grey(pixel); }), 0);
  EXPECT_GT(failed.Count(0, 290, 320, 315, fill), 320 * 24);
  EXPECT_EQ(failed.Rgb(0, 0), 0x533E79u);
}

TEST_F(UpdaterWindow, MissingButtonPictureLeavesAnEmptyButton) {
  HWND dialog = StartFailingRun();
  ASSERT_NE(dialog, nullptr);
  const RECT button = PlaceOf(GetDlgItem(dialog, kFinishButton));
  EXPECT_EQ(button.left, 142);
  EXPECT_EQ(button.top, 174);
  EXPECT_EQ(button.right - button.left, 0);
  EXPECT_EQ(button.bottom - button.top, 0);
}
}  // namespace
