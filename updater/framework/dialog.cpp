#include "framework/dialog.h"

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (!control.GetSafeHwnd()) control.SubclassDlgItem(static_cast<UINT>(id), exchange->m_pDlgWnd);
}

BEGIN_MESSAGE_MAP(CDialogEx, CWnd)
  ON_COMMAND(IDCANCEL, &ThisClass::OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialogEx::DoModal() {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(m_templateId), RT_DIALOG);
  HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const auto* dialogTemplate = loaded ? static_cast<const DLGTEMPLATE*>(::LockResource(loaded)) : nullptr;
  if (!dialogTemplate) return -1;
  m_endModal = false;
  m_result = -1;
  HWND window = ::CreateDialogIndirectParamW(module, dialogTemplate, nullptr, &CDialogEx::DialogProc,
                                             reinterpret_cast<LPARAM>(this));
  if (!window) return -1;
  RunModalLoop();
  ::DestroyWindow(window);
  return m_result;
}

void CDialogEx::EndDialog(int result) {
  m_result = result;
  m_endModal = true;
  ::ShowWindow(m_hWnd, SW_HIDE);
  // Wakes the loop, which may be waiting for a message.
  ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CDialogEx::RunModalLoop() {
  while (!m_endModal) {
    MSG message;
    BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // A quit request ends the program's loops one after another.
      if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (PreTranslateTree(&message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

bool CDialogEx::PreTranslateTree(MSG* message) {
  for (HWND window = message->hwnd; window; window = ::GetParent(window)) {
    CWnd* object = FromHandlePermanent(window);
    if (object && object->PreTranslateMessage(message)) return true;
    if (window == m_hWnd) break;
  }
  return false;
}

BOOL CDialogEx::PreTranslateMessage(MSG* message) {
  const UINT kind = message->message;
  bool input = (kind >= WM_KEYFIRST && kind <= WM_KEYLAST) || (kind >= WM_MOUSEFIRST && kind <= WM_MOUSELAST);
  return input && ::IsDialogMessageW(m_hWnd, message);
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  // Everything but the start goes through the window object, which the start
  // attaches; the dialog manager handles what its map leaves over.
  if (message != WM_INITDIALOG) return FALSE;
  auto* dialog = reinterpret_cast<CDialogEx*>(lParam);
  if (!dialog->SubclassWindow(window)) return FALSE;
  return dialog->HandleInitDialog();
}

BOOL CDialogEx::HandleInitDialog() {
  RECT before;
  GetWindowRect(&before);
  const DWORD styleBefore = GetStyle();
  BOOL result = OnInitDialog();
  if (!m_hWnd || m_endModal) return result;
  RECT after;
  GetWindowRect(&after);
  const DWORD style = GetStyle();
  const bool placed = (styleBefore & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) != 0;
  const bool moved = before.left != after.left || before.top != after.top;
  if (!placed && !moved && !(styleBefore & WS_VISIBLE) && !(style & (WS_VISIBLE | WS_CHILD))) CenterInWorkArea();
  return result;
}

void CDialogEx::CenterInWorkArea() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& work = monitor.rcWork;
  RECT rect;
  GetWindowRect(&rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int x = (work.left + work.right) / 2 - width / 2;
  int y = (work.top + work.bottom) / 2 - height / 2;
  // A window larger than the work area keeps its top-left corner inside it.
  if (x + width > work.right) x = work.right - width;
  if (x < work.left) x = work.left;
  if (y + height > work.bottom) y = work.bottom - height;
  if (y < work.top) y = work.top;
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

BOOL CDialogEx::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

BOOL CDialogEx::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialogEx::OnCancel() { EndDialog(IDCANCEL); }
