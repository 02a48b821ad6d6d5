// The window layer under Wine: message maps and the application (the modal dialog runs in the window tests).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/paint_dc.h"
#include "framework/window.h"

namespace {
constexpr LRESULT kPlainResult = 77;

using Calls = std::vector<std::string>;

// A popup whose own procedure records messages from WM_APP on and commands (answering 77): what is passed on.
class PlainWindow {
public:
  PlainWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FrameworkTestPlain";
    RegisterClassW(&windowClass);  // fails harmlessly when registered already
    Reached().clear();
    m_window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, nullptr,
                               nullptr, windowClass.hInstance, nullptr);
    m_edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, m_window,
                             reinterpret_cast<HMENU>(301), GetModuleHandleW(nullptr), nullptr);
  }
  ~PlainWindow() {
    if (IsWindow(m_window)) DestroyWindow(m_window);
  }
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendMessageW(m_window, message, wParam, lParam);
  }
  static std::vector<UINT>& Reached() {
    static std::vector<UINT> reached;
    return reached;
  }
  HWND m_window;
  HWND m_edit;

private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message < WM_APP && message != WM_COMMAND) return DefWindowProcW(window, message, wParam, lParam);
    Reached().push_back(message);
    return kPlainResult;
  }
};

class BaseWindow : public CWnd {
public:
  Calls calls;

protected:
  LRESULT OnApp(WPARAM, LPARAM) { return Call("base app", 1); }
  LRESULT OnAppPlusOne(WPARAM, LPARAM) { return Call("base app+1", 2); }
  LRESULT Call(const char* what, LRESULT result) {
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
  void OnSeven() { calls.push_back("command 7"); }
  LRESULT OnPassOn(WPARAM, LPARAM) { return Call("pass on", Default() + 1); }
  void OnLButtonDown(UINT flags, POINT at) {
    calls.push_back("down " + std::to_string(flags) + " " + std::to_string(at.x) + "," + std::to_string(at.y));
  }
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
  PlainWindow plain;
  DerivedWindow window;
  ASSERT_TRUE(window.SubclassWindow(plain.m_window));
  EXPECT_EQ(CWnd::FromHandlePermanent(plain.m_window), &window);
  EXPECT_EQ(plain.Send(WM_APP), 3);
  EXPECT_EQ(plain.Send(WM_APP + 1), 2);
  plain.Send(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED));
  EXPECT_TRUE(PlainWindow::Reached().empty());
  // Unmapped commands and messages reach the window's own procedure; a handler passes on through Default.
  plain.Send(WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED));
  plain.Send(WM_COMMAND, MAKEWPARAM(8, BN_CLICKED));
  EXPECT_EQ(plain.Send(WM_APP + 3), kPlainResult);
  EXPECT_EQ(plain.Send(WM_APP + 2), kPlainResult + 1);
  EXPECT_EQ(PlainWindow::Reached(), (std::vector<UINT>{WM_COMMAND, WM_COMMAND, WM_APP + 3, WM_APP + 2}));
  plain.Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(3, -2));  // signed coordinates
  // Every control-colour message reaches the one entry with its kind; its brush answers, its colours hold.
  HDC dc = GetDC(plain.m_edit);
  const WPARAM dcArgument = reinterpret_cast<WPARAM>(dc);
  const LPARAM edit = reinterpret_cast<LPARAM>(plain.m_edit);
  EXPECT_EQ(plain.Send(WM_CTLCOLOREDIT, dcArgument, edit), reinterpret_cast<LRESULT>(window.brush));
  EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
  plain.Send(WM_CTLCOLORSTATIC, dcArgument, edit);
  ReleaseDC(plain.m_edit, dc);
  EXPECT_EQ(plain.Send(WM_SETCURSOR, static_cast<WPARAM>(edit), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
  EXPECT_EQ(window.calls, (Calls{"derived app", "base app+1", "command 7", "pass on", "down 5 3,-2",
                                 "color " + std::to_string(CTLCOLOR_EDIT) + " control 301",
                                 "color " + std::to_string(CTLCOLOR_STATIC) + " control 301",
                                 "cursor control 301 hit 1 mouse 512"}));
  // The passing object for the unbound control did not attach to it.
  EXPECT_EQ(CWnd::FromHandlePermanent(plain.m_edit), nullptr);
  // One object per window, one window per object; the object lets go of a destroyed window.
  DerivedWindow other;
  EXPECT_FALSE(other.SubclassWindow(plain.m_window));
  DestroyWindow(plain.m_window);
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
