#include "ui/updater_dialog.h"

#include <objidl.h>  // GDI+ needs it; the lean Windows headers leave it out
#include <gdiplus.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cstdlib>

#include "app/command_line.h"
#include "app/process_control.h"
#include "app/self_update.h"
#include "base/system/log.h"
#include "framework/gdi_objects.h"
#include "framework/paint_dc.h"
#include "ui/progress_figures.h"
#include "ui/resource.h"
#include "ui/update_messages.h"

namespace {
// The skin.
constexpr COLORREF kClientFill = RGB(39, 39, 41);  // also the error text's background
constexpr COLORREF kErrorTextColor = RGB(237, 239, 244);
constexpr uint32_t kBarToDo = 0xFF373739;
constexpr uint32_t kBarDone = 0xFF38686A;
constexpr uint32_t kPercentBrush = 0xF6F6F6F6;
constexpr wchar_t kPercentFamily[] = L"\u5B8B\u4F53";
constexpr float kPercentEmSize = 15;
constexpr int kStripHeight = 80;
constexpr int kLogoTop = 70;
constexpr int kButtonLeft = 142;
constexpr int kButtonTop = 174;
constexpr int kErrorTextTop = 230;
constexpr int kButtonPoints = 110;  // tenths of a point

// The family that the font mapper takes for a proportional sans-serif font
// of no particular name: the system's default sans-serif family.
String DefaultSansSerifFace() {
  LOGFONTW request{};
  request.lfCharSet = DEFAULT_CHARSET;
  request.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  ScopedFont font(CreateFontIndirectW(&request));
  ScopedWindowDc screen = GetScopedDc(nullptr);
  ScopedSelection selected = SelectScoped(screen.Get().dc, font.Get());
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(screen.Get().dc, LF_FACESIZE, face);
  return String(face);
}

// The picture stored as resource `id` of type "PNG" in the program; none
// when there is no such resource.
std::unique_ptr<Gdiplus::Image> LoadSkinPicture(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  return found ? LoadPngFromResource(module, found) : nullptr;
}

// The reports of an update run as messages to the dialog's window, sent
// synchronously: the window and its answers decide as the dialog does. Holds
// only the window, so that it may outlive the dialog object; once the window
// is gone every message fails (a refused install pass).
class WindowReport final : public UpdateReport {
public:
  explicit WindowReport(HWND window) : m_window(window) {}

  void Progress(uint32_t done, uint32_t total) override { SendMessageW(m_window, WM_UPDATE_PROGRESS, done, total); }
  bool InstallStarting() override { return SendMessageW(m_window, WM_UPDATE_INSTALLING, 1, 0) != 0; }
  void InstallEnded() override { SendMessageW(m_window, WM_UPDATE_INSTALLING, 0, 0); }
  void Finished(const wchar_t* error) override {
    if (!error) {
      SendMessageW(m_window, WM_CLOSE, 0, 0);
      return;
    }
    // The receiver owns the text and frees it.
    SendMessageW(m_window, WM_UPDATE_FAILED, reinterpret_cast<WPARAM>(SysAllocString(error)), 0);
  }

private:
  HWND m_window;
};

// The client path from the program's command line; false when the program
// must end without a run.
bool ReadCommandLine(String* clientPath) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return false;
  ScopedLocalMemory arguments(argv);
  return ReadClientPathArgument(argc, argv, clientPath);
}
}  // namespace

BEGIN_MESSAGE_MAP(CUpdaterDlg, CDialogEx)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_CLOSE()
  ON_MESSAGE(WM_UPDATE_PROGRESS, &CUpdaterDlg::OnUpdateProgress)
  ON_MESSAGE(WM_UPDATE_FAILED, &CUpdaterDlg::OnUpdateFailed)
  ON_MESSAGE(WM_UPDATE_INSTALLING, &CUpdaterDlg::OnUpdateInstalling)
  ON_WM_ERASEBKGND()
  ON_BN_CLICKED(IDC_FINISH_BUTTON, &CUpdaterDlg::OnFinishClicked)
  ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CUpdaterDlg::CUpdaterDlg()
    : CDialogEx(IDD_UPDATER_DIALOG), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CUpdaterDlg::~CUpdaterDlg() {
  m_background.reset();
  m_logo.reset();
}

UpdateReport* CUpdaterDlg::NewUpdateReport() const { return new WindowReport(m_hWnd); }

bool CUpdaterDlg::IsWorkerRunning() const {
  return m_worker.IsValid() && WaitForSingleObject(m_worker.Get(), 0) == WAIT_TIMEOUT;
}

void CUpdaterDlg::DoDataExchange(CDataExchange* exchange) {
  CDialogEx::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_FINISH_BUTTON, m_finishButton);
}

BOOL CUpdaterDlg::PreTranslateMessage(MSG* message) {
  // Neither Escape nor Enter may end the run or press the button.
  if (message->message == WM_KEYDOWN && (message->wParam == VK_ESCAPE || message->wParam == VK_RETURN)) return TRUE;
  return CDialogEx::PreTranslateMessage(message);
}

BOOL CUpdaterDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  LoadSkin();

  if (!ReadCommandLine(&m_clientPath)) std::exit(0);
  GetProductVersionText(m_clientPath, &m_clientVersion);
  SetUpFinishButton();

  TerminateClientProcess(m_clientPath);
  // The handle stays open only so that the end can tell whether the worker is
  // still running; nothing waits for it.
  m_worker.Reset(CreateThread(nullptr, 0, UpdateThreadProc, static_cast<UpdateWorkerHost*>(this), 0, nullptr));
  if (!m_worker.IsValid()) {
    FatalError(L"CreateThread 0x%p failed: %d", reinterpret_cast<void*>(&UpdateThreadProc),
               static_cast<int>(GetLastError()));
  }
  return TRUE;
}

void CUpdaterDlg::LoadSkin() {
  if (!m_background) m_background = LoadSkinPicture(IDB_BACKGROUND);
  if (!m_logo) m_logo = LoadSkinPicture(IDB_LOGO);
  m_graphics.Create(m_hWnd);
  // The window stays where the template put it, so the dialog is centred in
  // the work area once initialisation is over.
  SizeToBackground(0, 0);
}

void CUpdaterDlg::SizeToBackground(int left, int top) {
  // The picture is built in; without it the template's size stays.
  if (!m_background) return;
  MoveWindow(left, top, static_cast<int>(m_background->GetWidth()),
             static_cast<int>(m_background->GetHeight()) + kStripHeight, TRUE);
}

void CUpdaterDlg::SetUpFinishButton() {
  const String path = ButtonImagePath(GetModuleFolder());
  m_buttonFont.CreatePointFont(kButtonPoints, L"Arial");
  m_finishButton.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_buttonFont.GetSafeHandle()), TRUE);
  m_finishButton.SetImage(path, false, false);
  m_finishButton.m_showText = true;
  m_finishButton.m_text = L"Finish";
  m_finishButton.m_textColor = RGB(255, 255, 255);
  m_finishButton.SetWindowPos(nullptr, kButtonLeft, kButtonTop, 0, 0, SWP_NOSIZE);
}

void CUpdaterDlg::OnPaint() {
  if (IsIconic(m_hWnd)) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
    return;
  }
  CPaintDC dc(this);
  RECT client;
  GetClientRect(&client);
  dc.FillSolidRect(client, kClientFill);
  const uint32_t pictureHeight = m_background ? m_background->GetHeight() : 0;
  const ProgressRect bar = ProgressRectangle(client.right, client.bottom, pictureHeight);
  m_progressRect = RECT{bar.left, bar.top, bar.right, bar.bottom};
  if (!m_graphics || !m_background) return;

  Gdiplus::Graphics* graphics = m_graphics.Get();
  const int width = static_cast<int>(m_background->GetWidth());
  const int height = static_cast<int>(pictureHeight);
  graphics->DrawImage(m_background.get(), Gdiplus::Rect(0, 0, width, height), 0, 0, width, height,
                      Gdiplus::UnitPixel);
  if (m_logo) {
    const int logoWidth = static_cast<int>(m_logo->GetWidth());
    const int logoHeight = static_cast<int>(m_logo->GetHeight());
    graphics->DrawImage(m_logo.get(),
                        Gdiplus::Rect(CentredLeft(client.right, m_logo->GetWidth()), kLogoTop, logoWidth, logoHeight),
                        0, 0, logoWidth, logoHeight, Gdiplus::UnitPixel);
  }
  if (m_showProgress) DrawProgress();
  if (m_showError) LayoutErrorText();
}

void CUpdaterDlg::DrawProgress() {
  if (!m_graphics) return;
  Gdiplus::Graphics* graphics = m_graphics.Get();
  const RECT& bar = m_progressRect;
  const int width = bar.right - bar.left;
  const int height = bar.bottom - bar.top;
  const ProgressFigures figures = ComputeProgress(m_bytesDone, m_bytesTotal, width);
  FillBar(graphics, bar.left + figures.fill, bar.top, width - figures.fill, height, kBarToDo);
  FillBar(graphics, bar.left, bar.top, figures.fill, height, kBarDone);

  // Where the family is not installed the text still shows, in the system's
  // sans-serif family.
  Gdiplus::FontFamily preferred(kPercentFamily);
  std::unique_ptr<Gdiplus::FontFamily> fallback;
  const Gdiplus::FontFamily* family = &preferred;
  if (!preferred.IsAvailable()) {
    fallback.reset(new Gdiplus::FontFamily(DefaultSansSerifFace()));
    family = fallback.get();
  }
  if (!family->IsAvailable()) return;
  Gdiplus::Font font(family, kPercentEmSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::StringFormat format;
  format.SetAlignment(Gdiplus::StringAlignmentCenter);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  const String text = String::Format(L"updating %u%%", figures.percent);
  Gdiplus::SolidBrush brush{Gdiplus::Color(kPercentBrush)};
  graphics->DrawString(text, static_cast<INT>(text.Length()), &font,
                       Gdiplus::RectF(static_cast<Gdiplus::REAL>(bar.left), static_cast<Gdiplus::REAL>(bar.top),
                                      static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height)),
                       &format, &brush);
}

void CUpdaterDlg::LayoutErrorText() {
  HWND text = GetDlgItem(m_hWnd, IDC_ERROR_TEXT);
  RECT client;
  GetClientRect(&client);
  ::MoveWindow(text, 0, kErrorTextTop, client.right, client.bottom - kErrorTextTop, TRUE);
  ::SetWindowTextW(text, m_errorText);
}

BOOL CUpdaterDlg::OnEraseBkgnd(CDC*) { return TRUE; }

HBRUSH CUpdaterDlg::OnCtlColor(CDC* dc, CWnd* control, UINT controlKind) {
  HBRUSH brush = CDialogEx::OnCtlColor(dc, control, controlKind);
  if (control->GetDlgCtrlID() != IDC_ERROR_TEXT) return brush;
  dc->SetBkColor(kClientFill);
  dc->SetTextColor(kErrorTextColor);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

HCURSOR CUpdaterDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CUpdaterDlg::OnClose() {
  if (m_closed) return;
  if (m_installing) {
    if (!m_closePending) WriteLog(L"Close requested during the install pass: closing when the pass has ended");
    m_closePending = true;
    return;
  }
  m_closed = true;
  if (!m_clientPath.IsEmpty() && GetFileAttributesW(m_clientPath) != INVALID_FILE_ATTRIBUTES) {
    LaunchClient(m_clientPath);
  }
  CDialogEx::OnClose();
}

LRESULT CUpdaterDlg::OnUpdateProgress(WPARAM done, LPARAM total) {
  m_bytesDone = static_cast<uint32_t>(done);
  m_bytesTotal = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(total)));
  if (!m_showProgress) {
    RECT window;
    GetWindowRect(&window);
    SizeToBackground(window.left, window.top);
    Invalidate(TRUE);
  }
  m_showProgress = true;
  // From the second notification on only the bar is drawn again.
  DrawProgress();
  return 0;
}

LRESULT CUpdaterDlg::OnUpdateFailed(WPARAM text, LPARAM) {
  ScopedBstr message(reinterpret_cast<BSTR>(text));
  m_errorText = String(message.Get(), SysStringLen(message.Get()));
  // A close request is pending (it was kept through the install pass): it
  // ends the program instead of the failed look.
  if (m_closePending || m_closed) return 0;
  m_showProgress = false;
  m_showError = true;
  SetDlgItemTextW(m_hWnd, IDC_ERROR_TEXT, m_errorText);
  m_finishButton.ShowWindow(SW_SHOW);
  Invalidate(TRUE);
  return 0;
}

LRESULT CUpdaterDlg::OnUpdateInstalling(WPARAM starting, LPARAM) {
  if (starting) {
    if (m_closed) return 0;
    m_installing = true;
    return 1;
  }
  m_installing = false;
  // The kept close request goes through the close handler now; the worker's
  // final message, sent meanwhile, is handled first.
  if (m_closePending) PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
  return 0;
}

void CUpdaterDlg::OnFinishClicked() { std::exit(0); }
