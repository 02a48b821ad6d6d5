// CDialogEx: a modal dialog made from a dialog template resource, and the
// binding of its controls to window objects.
#pragma once

#include <windows.h>

#include "framework/window.h"

// The context of one control exchange (DoDataExchange): the dialog whose
// controls are bound.
class CDataExchange {
public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// Binds the dialog's control `id` to `control` (subclassing it, which runs the
// control's PreSubclassWindow), unless `control` is bound already.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

// A dialog run modally by DoModal from its template. The modal loop offers
// every message for the dialog or its controls to PreTranslateMessage first
// (from the target window up to the dialog); the dialog's own version gives
// keyboard and mouse input to the dialog manager (Tab, Escape, Enter, ...).
// When OnInitDialog leaves the window where it was created, does not show it
// and the template asks for no placement of its own (DS_CENTER,
// DS_CENTERMOUSE, DS_ABSALIGN), the window is centred in the work area of its
// monitor once OnInitDialog has returned.
class CDialogEx : public CWnd {
public:
  explicit CDialogEx(UINT templateId) : m_templateId(templateId) {}

  // Makes the dialog from template `templateId` of the program's resources,
  // runs it until EndDialog, destroys the window and returns EndDialog's
  // result; -1 when the template is missing or the window cannot be made.
  virtual INT_PTR DoModal();
  // Ends the modal loop with `result` and hides the window at once.
  void EndDialog(int result);

  BOOL PreTranslateMessage(MSG* message) override;

protected:
  // Binds the controls (UpdateData(FALSE)); true lets the dialog manager set
  // the focus.
  virtual BOOL OnInitDialog();
  // Binds controls with DDX_Control; the base binds none.
  virtual void DoDataExchange(CDataExchange*) {}
  // Runs DoDataExchange.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  // The Cancel command (Escape, and the default close): EndDialog(IDCANCEL).
  virtual void OnCancel();

  DECLARE_MESSAGE_MAP()

private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL HandleInitDialog();
  void CenterInWorkArea();
  void RunModalLoop();
  // PreTranslateMessage of every window object from the message's target up
  // to the dialog.
  bool PreTranslateTree(MSG* message);

  UINT m_templateId;
  bool m_endModal = false;
  INT_PTR m_result = -1;
};
