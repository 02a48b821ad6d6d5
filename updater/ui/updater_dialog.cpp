#include "ui/updater_dialog.h"

#include <oleauto.h>
#include <shellapi.h>

#include <cstdlib>

#include "app/command_line.h"
#include "app/process_control.h"
#include "app/self_update.h"
#include "base/log.h"
#include "ui/resource.h"

namespace {
// The client executable that is ended before the run, whatever "-path" names.
constexpr wchar_t kClientName[] = L"Castwright PC.exe";

// The client path from the program's command line; false when the program
// must end without a run.
bool ReadCommandLine(String* clientPath) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return false;
  bool accepted = ReadClientPathArgument(argc, argv, clientPath);
  LocalFree(argv);
  return accepted;
}
}  // namespace

BEGIN_MESSAGE_MAP(CUpdaterDlg, CDialogEx)
  ON_WM_QUERYDRAGICON()
  ON_WM_CLOSE()
  ON_MESSAGE(WM_UPDATE_PROGRESS, &CUpdaterDlg::OnUpdateProgress)
  ON_MESSAGE(WM_UPDATE_FAILED, &CUpdaterDlg::OnUpdateFailed)
  ON_MESSAGE(WM_UPDATE_INSTALLING, &CUpdaterDlg::OnUpdateInstalling)
  ON_BN_CLICKED(IDC_FINISH_BUTTON, &CUpdaterDlg::OnFinishClicked)
END_MESSAGE_MAP()

CUpdaterDlg::CUpdaterDlg()
    : CDialogEx(IDD_UPDATER_DIALOG), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

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

  if (!ReadCommandLine(&m_clientPath)) std::exit(0);
  GetProductVersionText(m_clientPath, &m_clientVersion);

  TerminateProcessByName(kClientName);
  // The handle stays open only so that the end can tell whether the worker is
  // still running; nothing waits for it.
  m_worker.Reset(CreateThread(nullptr, 0, UpdateThreadProc, static_cast<UpdateWorkerHost*>(this), 0, nullptr));
  if (!m_worker.IsValid()) {
    FatalError(L"CreateThread 0x%p failed: %d", reinterpret_cast<void*>(&UpdateThreadProc),
               static_cast<int>(GetLastError()));
  }
  return TRUE;
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
  m_showProgress = true;
  return 0;
}

LRESULT CUpdaterDlg::OnUpdateFailed(WPARAM text, LPARAM) {
  BSTR message = reinterpret_cast<BSTR>(text);
  m_errorText = String(message, SysStringLen(message));
  SysFreeString(message);
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
