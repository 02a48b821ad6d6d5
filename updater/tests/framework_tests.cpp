// The window layer under Wine, on a display: message maps, the modal dialog,
// control binding, owner drawing and the application object; painting through
// a paint context is checked by the updater window's pixel tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/button.h"
#include "framework/dialog.h"
#include "framework/paint_dc.h"
#include "framework/window.h"

namespace {
constexpr UINT kTemplate = 200;
constexpr int kButtonId = 300;
constexpr COLORREF kFace = RGB(10, 200, 30);
constexpr COLORREF kPressedFace = RGB(200, 20, 40);
constexpr LRESULT kPlainResult = 77;

using Calls = std::vector<std::string>;

// A plain popup window whose own procedure records what reaches it, to see
// what the window objects pass on. Any message from WM_APP on answers 77.
class PlainWindow {
public:
  PlainWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FrameworkTestPlain";
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    RegisterClassW(&windowClass);  // fails harmlessly when registered already
    Reached().clear();
    m_window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, nullptr,
                               nullptr, windowClass.hInstance, nullptr);
  }
  ~PlainWindow() {
    if (IsWindow(m_window)) DestroyWindow(m_window);
  }
  PlainWindow(const PlainWindow&) = delete;
  PlainWindow& operator=(const PlainWindow&) = delete;

  HWND Handle() const { return m_window; }
  static std::vector<UINT>& Reached() {
    static std::vector<UINT> reached;
    return reached;
  }

private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP || message == WM_COMMAND) {
      Reached().push_back(message);
      return kPlainResult;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND m_window = nullptr;
};

class BaseWindow : public CWnd {
public:
  Calls calls;

protected:
  LRESULT OnApp(WPARAM, LPARAM) {
    calls.push_back("base app");
    return 1;
  }
  LRESULT OnAppPlusOne(WPARAM, LPARAM) {
    calls.push_back("base app+1");
    return 2;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWindow, CWnd)
  ON_MESSAGE(WM_APP, &BaseWindow::OnApp)
  ON_MESSAGE(WM_APP + 1, &BaseWindow::OnAppPlusOne)
END_MESSAGE_MAP()

class DerivedWindow : public BaseWindow {
protected:
  LRESULT OnDerivedApp(WPARAM, LPARAM) {
    calls.push_back("derived app");
    return 3;
  }
  LRESULT OnLaterApp(WPARAM, LPARAM) {
    calls.push_back("later app");
    return 4;
  }
  void OnSeven() { calls.push_back("command 7"); }
  LRESULT OnPassOn(WPARAM, LPARAM) {
    calls.push_back("pass on");
    return Default() + 1;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWindow, BaseWindow)
  ON_MESSAGE(WM_APP, &DerivedWindow::OnDerivedApp)
  ON_MESSAGE(WM_APP, &DerivedWindow::OnLaterApp)
  ON_COMMAND(7, &DerivedWindow::OnSeven)
  ON_MESSAGE(WM_APP + 2, &DerivedWindow::OnPassOn)
END_MESSAGE_MAP()

// Records the arguments each cracked handler receives.
class ArgumentWindow : public CWnd {
public:
  Calls calls;
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HCURSOR icon = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
  ~ArgumentWindow() override { DeleteObject(brush); }

protected:
  void OnMouseMove(UINT flags, POINT at) { Record("move", flags, at); }
  void OnLButtonDown(UINT flags, POINT at) { Record("down", flags, at); }
  void OnLButtonUp(UINT flags, POINT at) { Record("up", flags, at); }
  BOOL OnEraseBkgnd(CDC* dc) {
    calls.push_back("erase " + std::to_string(reinterpret_cast<uintptr_t>(dc->GetSafeHdc())));
    return TRUE;
  }
  HCURSOR OnQueryDragIcon() { return icon; }
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind) {
    dc->SetTextColor(RGB(4, 5, 6));
    calls.push_back("color " + std::to_string(kind) + " control " + std::to_string(control->GetDlgCtrlID()));
    return brush;
  }
  BOOL OnSetCursor(CWnd* under, UINT hitTest, UINT mouseMessage) {
    calls.push_back("cursor control " + std::to_string(under->GetDlgCtrlID()) + " hit " + std::to_string(hitTest) +
                    " mouse " + std::to_string(mouseMessage));
    return TRUE;
  }

  DECLARE_MESSAGE_MAP()

private:
  void Record(const char* what, UINT flags, POINT at) {
    calls.push_back(std::string(what) + " " + std::to_string(flags) + " " + std::to_string(at.x) + "," +
                    std::to_string(at.y));
  }
};

BEGIN_MESSAGE_MAP(ArgumentWindow, CWnd)
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONUP()
  ON_WM_ERASEBKGND()
  ON_WM_QUERYDRAGICON()
  ON_WM_CTLCOLOR()
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()

// An owner-drawn button that fills its face and records each state it drew.
class FaceButton : public CButton {
public:
  Calls drawn;

  void DrawItem(DRAWITEMSTRUCT* item) override {
    drawn.push_back("type " + std::to_string(item->CtlType) + " id " + std::to_string(item->CtlID) +
                    (item->itemState & ODS_SELECTED ? " pressed" : ""));
    CDC dc(item->hDC);
    dc.FillSolidRect(item->rcItem, item->itemState & ODS_SELECTED ? kPressedFace : kFace);
  }

protected:
  void PreSubclassWindow() override { ModifyStyle(0, BS_OWNERDRAW); }
};

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF color = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return color;
}

// The test dialog (template 200). OnInitDialog calls `atInit`; a WM_APP
// message ends the dialog with its wParam after calling `atEnd`.
class TestDialog : public CDialogEx {
public:
  TestDialog() : CDialogEx(kTemplate) {}

  std::function<void(TestDialog&)> atInit;
  std::function<void(TestDialog&)> atEnd;
  bool boundAtInit = false;
  RECT endRect = {};
  FaceButton button;

protected:
  void DoDataExchange(CDataExchange* exchange) override { DDX_Control(exchange, kButtonId, button); }
  BOOL OnInitDialog() override {
    CDialogEx::OnInitDialog();
    boundAtInit = button.GetSafeHwnd() != nullptr;
    if (atInit) atInit(*this);
    return TRUE;
  }
  LRESULT OnEnd(WPARAM result, LPARAM) {
    GetWindowRect(&endRect);
    if (atEnd) atEnd(*this);
    EndDialog(static_cast<int>(result));
    return 0;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialogEx)
  ON_MESSAGE(WM_APP, &TestDialog::OnEnd)
END_MESSAGE_MAP()

void PostEnd(TestDialog& dialog, int result) { PostMessageW(dialog.GetSafeHwnd(), WM_APP, result, 0); }

RECT WorkArea() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return monitor.rcWork;
}
}  // namespace

TEST(MessageMap, ClassEntriesFirstInMapOrderThenTheBase) {
  PlainWindow plain;
  DerivedWindow window;
  ASSERT_TRUE(window.SubclassWindow(plain.Handle()));
  EXPECT_EQ(CWnd::FromHandlePermanent(plain.Handle()), &window);
  EXPECT_EQ(SendMessageW(plain.Handle(), WM_APP, 0, 0), 3);
  EXPECT_EQ(SendMessageW(plain.Handle(), WM_APP + 1, 0, 0), 2);
  SendMessageW(plain.Handle(), WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0);
  EXPECT_EQ(window.calls, (Calls{"derived app", "base app+1", "command 7"}));
  EXPECT_TRUE(PlainWindow::Reached().empty());

  // Commands of another control or notification, and messages no map has,
  // reach the window's own procedure; a handler passes on through Default.
  SendMessageW(plain.Handle(), WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED), 0);
  SendMessageW(plain.Handle(), WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0);
  EXPECT_EQ(SendMessageW(plain.Handle(), WM_APP + 3, 0, 0), kPlainResult);
  EXPECT_EQ(SendMessageW(plain.Handle(), WM_APP + 2, 0, 0), kPlainResult + 1);
  EXPECT_EQ(PlainWindow::Reached(), (std::vector<UINT>{WM_COMMAND, WM_COMMAND, WM_APP + 3, WM_APP + 2}));
  EXPECT_EQ(window.calls.back(), "pass on");

  // One object per window, one window per object; the object lets go of a
  // destroyed window.
  DerivedWindow other;
  EXPECT_FALSE(other.SubclassWindow(plain.Handle()));
  EXPECT_FALSE(window.SubclassWindow(plain.Handle()));
  DestroyWindow(plain.Handle());
  EXPECT_EQ(window.GetSafeHwnd(), nullptr);
}

TEST(MessageMap, HandlersReceiveTheirArgumentsCracked) {
  PlainWindow plain;
  HWND edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, plain.Handle(),
                              reinterpret_cast<HMENU>(301), GetModuleHandleW(nullptr), nullptr);
  ArgumentWindow window;
  ASSERT_TRUE(window.SubclassWindow(plain.Handle()));
  HWND handle = plain.Handle();
  SendMessageW(handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-5, 7));
  SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(3, -2));
  SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(30000, 4));
  HDC dc = GetDC(edit);
  EXPECT_EQ(SendMessageW(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), TRUE);
  EXPECT_EQ(SendMessageW(handle, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(window.icon));
  // Every control-colour message reaches the one entry, with its kind; the
  // handler's brush is the answer and it works on the given context.
  EXPECT_EQ(SendMessageW(handle, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit)),
            reinterpret_cast<LRESULT>(window.brush));
  EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
  SendMessageW(handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit));
  ReleaseDC(edit, dc);
  EXPECT_EQ(SendMessageW(handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(edit), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(window.calls, (Calls{"move 1 -5,7", "down 5 3,-2", "up 0 30000,4",
                                 "erase " + std::to_string(reinterpret_cast<uintptr_t>(dc)),
                                 "color " + std::to_string(CTLCOLOR_EDIT) + " control 301",
                                 "color " + std::to_string(CTLCOLOR_STATIC) + " control 301",
                                 "cursor control 301 hit 1 mouse 512"}));
  // The passing object for the unbound control did not attach to it.
  EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
}

TEST(Dialog, RunsModallyFromItsTemplateWithBoundControls) {
  TestDialog dialog;
  HWND seen = nullptr;
  int buttonId = 0;
  dialog.atInit = [&](TestDialog& d) {
    seen = d.GetSafeHwnd();
    buttonId = d.button.GetDlgCtrlID();
    PostEnd(d, 42);
  };
  EXPECT_EQ(dialog.DoModal(), 42);
  EXPECT_TRUE(dialog.boundAtInit);
  EXPECT_EQ(buttonId, kButtonId);
  // The window is gone and its objects let go of it.
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
  EXPECT_EQ(dialog.button.GetSafeHwnd(), nullptr);

  CDialogEx missing(999);
  EXPECT_EQ(missing.DoModal(), -1);
}

TEST(Dialog, CentredInTheWorkAreaUnlessInitialisationMovedIt) {
  const RECT work = WorkArea();
  // Resized only: still where it was made, so it is centred with its new size.
  TestDialog resized;
  resized.atInit = [](TestDialog& d) {
    d.MoveWindow(0, 0, 300, 200, TRUE);
    PostEnd(d, 1);
  };
  resized.DoModal();
  EXPECT_EQ(resized.endRect.right - resized.endRect.left, 300);
  EXPECT_EQ(resized.endRect.left, (work.left + work.right) / 2 - 150);
  EXPECT_EQ(resized.endRect.top, (work.top + work.bottom) / 2 - 100);

  TestDialog moved;
  moved.atInit = [](TestDialog& d) {
    d.SetWindowPos(nullptr, 10, 20, 0, 0, SWP_NOSIZE);
    PostEnd(d, 1);
  };
  moved.DoModal();
  EXPECT_EQ(moved.endRect.left, 10);
  EXPECT_EQ(moved.endRect.top, 20);
}

TEST(Button, OwnerDrawnButtonDrawsItselfThroughItsParent) {
  TestDialog dialog;
  COLORREF normal = 0;
  COLORREF pressed = 0;
  dialog.atInit = [](TestDialog& d) { PostEnd(d, 1); };
  dialog.atEnd = [&](TestDialog& d) {
    HWND button = d.button.GetSafeHwnd();
    UpdateWindow(button);
    normal = PixelOf(button, 3, 3);
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    UpdateWindow(button);
    pressed = PixelOf(button, 3, 3);
  };
  dialog.DoModal();
  EXPECT_EQ(normal, kFace);
  EXPECT_EQ(pressed, kPressedFace);
  ASSERT_GE(dialog.button.drawn.size(), 2u);
  EXPECT_EQ(dialog.button.drawn.front(), "type " + std::to_string(ODT_BUTTON) + " id 300");
  EXPECT_EQ(dialog.button.drawn.back(), "type " + std::to_string(ODT_BUTTON) + " id 300 pressed");
}

TEST(Application, ExitInstanceGivesTheExitCode) {
  struct TestApp : CWinApp {
    std::string order;
    BOOL InitInstance() override {
      order += "init ";
      return FALSE;
    }
    int ExitInstance() override {
      order += "exit";
      return 7;
    }
  };
  {
    TestApp app;
    EXPECT_EQ(CWinApp::Current(), &app);
    EXPECT_EQ(app.Run(), 7);
    EXPECT_EQ(app.order, "init exit");
  }
  EXPECT_EQ(CWinApp::Current(), nullptr);
}
