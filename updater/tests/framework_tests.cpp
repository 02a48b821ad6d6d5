// The window layer under Wine: message maps and the application (the modal dialog runs in the window tests).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/paint_dc.h"
#include "framework/window.h"

namespace {
using Calls = std::vector<std::string>;

// What the window's own procedure received (messages from WM_APP on and commands, answered with 77): what is
// passed on.
std::vector<UINT> reached;

LRESULT CALLBACK PlainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < WM_APP && message != WM_COMMAND) return DefWindowProcW(window, message, wParam, lParam);
  reached.push_back(message);
  return 77;
}

class BaseWindow : public CWnd {
public:
  Calls calls;

protected:
  LRESULT OnApp(WPARAM, LPARAM) { return Call("base app", 1); }
  LRESULT OnAppPlusOne(WPARAM, LPARAM) { return Call("base app+1", 2); }
  LRESULT Call(const std::string& what, LRESULT result) {
    calls.push_back(what);
    return result;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWindow, CWnd)
  ON_MESSAGE(WM_APP, &BaseWindow::OnApp)
  ON_MESSAGE(WM_APP + 1, &BaseWindow::OnAppPlusOne)
END_MESSAGE_MAP()

// Its own entries, and the handlers of cracked messages recording their arguments.
class DerivedWindow : public BaseWindow {
public:
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  ~DerivedWindow() override { DeleteObject(brush); }

protected:
  LRESULT OnDerivedApp(WPARAM, LPARAM) { return Call("derived app", 3); }
  LRESULT OnLaterApp(WPARAM, LPARAM) { return Call("later app", 4); }
  void OnSeven() { Call("command 7", 0); }
  LRESULT OnPassOn(WPARAM, LPARAM) { return Call("pass on", Default() + 1); }
  void OnLButtonDown(UINT flags, POINT at) {
    Call("down " + std::to_string(flags) + " " + std::to_string(at.x) + "," + std::to_string(at.y), 0);
  }
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind) {
    dc->SetTextColor(RGB(4, 5, 6));
    Call("color " + std::to_string(kind) + " control " + std::to_string(control->GetDlgCtrlID()), 0);
    return brush;
  }
  BOOL OnSetCursor(CWnd* under, UINT hitTest, UINT mouse) {
    return static_cast<BOOL>(Call("cursor control " + std::to_string(under->GetDlgCtrlID()) + " hit " +
                                      std::to_string(hitTest) + " mouse " + std::to_string(mouse),
                                  TRUE));
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWindow, BaseWindow)
  ON_MESSAGE(WM_APP, &DerivedWindow::OnDerivedApp)
  ON_MESSAGE(WM_APP, &DerivedWindow::OnLaterApp)
  ON_COMMAND(7, &DerivedWindow::OnSeven)
  ON_MESSAGE(WM_APP + 2, &DerivedWindow::OnPassOn)
  ON_WM_LBUTTONDOWN()
  ON_WM_CTLCOLOR()
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()
}  // namespace

TEST(MessageMap, ClassEntriesFirstInMapOrderThenTheBaseAndArgumentsCracked) {
  // Hidden: destroying a shown window takes Wine seconds.
  HWND plain = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 120, 80, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(plain, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainProcedure));
  HWND edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, plain,
                              reinterpret_cast<HMENU>(301), nullptr, nullptr);
  auto send = [plain](UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(plain, message, wParam, lParam);
  };
  DerivedWindow window;
  ASSERT_TRUE(window.SubclassWindow(plain));
  EXPECT_EQ(CWnd::FromHandlePermanent(plain), &window);
  EXPECT_EQ(send(WM_APP), 3);
  EXPECT_EQ(send(WM_APP + 1), 2);
  send(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED));
  EXPECT_TRUE(reached.empty());
  // Unmapped commands and messages reach the window's own procedure; a handler passes on through Default.
  send(WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED));
  send(WM_COMMAND, MAKEWPARAM(8, BN_CLICKED));
  EXPECT_EQ(send(WM_APP + 3), 77);
  EXPECT_EQ(send(WM_APP + 2), 78);
  EXPECT_EQ(reached, (std::vector<UINT>{WM_COMMAND, WM_COMMAND, WM_APP + 3, WM_APP + 2}));
  send(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(3, -2));  // signed coordinates
  // Every control-colour message reaches the one entry with its kind; its brush answers, its colours hold.
  HDC dc = GetDC(edit);
  EXPECT_EQ(send(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit)),
            reinterpret_cast<LRESULT>(window.brush));
  EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
  send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit));
  ReleaseDC(edit, dc);
  EXPECT_EQ(send(WM_SETCURSOR, reinterpret_cast<WPARAM>(edit), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
  EXPECT_EQ(window.calls, (Calls{"derived app", "base app+1", "command 7", "pass on", "down 5 3,-2",
                                 "color " + std::to_string(CTLCOLOR_EDIT) + " control 301",
                                 "color " + std::to_string(CTLCOLOR_STATIC) + " control 301",
                                 "cursor control 301 hit 1 mouse 512"}));
  // The passing object for the unbound control did not attach to it.
  EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
  // One object per window, one window per object; the object lets go of a destroyed window.
  DerivedWindow other;
  EXPECT_FALSE(other.SubclassWindow(plain));
  DestroyWindow(plain);
  EXPECT_EQ(window.GetSafeHwnd(), nullptr);
}

// The program's exit code is ExitInstance's answer; the application is current only while it lives.
TEST(Application, ExitInstanceGivesTheExitCode) {
  struct TestApp : CWinApp {
    BOOL InitInstance() override { return FALSE; }
    int ExitInstance() override { return 7; }
  };
  {
    TestApp app;
    EXPECT_EQ(CWinApp::Current(), &app);
    EXPECT_EQ(app.Run(), 7);
  }
  EXPECT_EQ(CWinApp::Current(), nullptr);
}
