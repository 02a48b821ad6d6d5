// CUpdaterDlg: the updater's only window, the driver of one update run.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/update_worker.h"
#include "base/scoped_handle.h"
#include "base/wide_string.h"
#include "framework/button.h"
#include "framework/dialog.h"

// Opens with the command line's client path and that client's product
// version, ends the running client and starts the update worker, which
// reports back by window messages; a successful end (or the user's close
// request) restarts the client and closes the dialog. After a failure the
// dialog shows the error text and its button, which ends the program.
//
// A close request while the worker is in its install pass is kept until the
// pass has ended (every file in place, or every changed file restored): the
// installation is never left half replaced. The dialog never waits for the
// worker: the pass's end arrives as a message.
class CUpdaterDlg : public CDialogEx, public UpdateWorkerHost {
public:
  CUpdaterDlg();

  // Whether the worker thread was started and has not ended yet.
  bool IsWorkerRunning() const;

  // UpdateWorkerHost: fixed before the worker starts.
  const String& ClientPath() const override { return m_clientPath; }
  const String& ClientVersion() const override { return m_clientVersion; }
  HWND UpdateWindow() const override { return m_hWnd; }

  BOOL PreTranslateMessage(MSG* message) override;

protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;

  HCURSOR OnQueryDragIcon();
  void OnClose();
  LRESULT OnUpdateProgress(WPARAM done, LPARAM total);
  LRESULT OnUpdateFailed(WPARAM text, LPARAM);
  LRESULT OnUpdateInstalling(WPARAM starting, LPARAM);
  void OnFinishClicked();

  DECLARE_MESSAGE_MAP()

private:
  HICON m_hIcon;
  CButton m_finishButton;
  String m_clientPath;
  String m_clientVersion;
  String m_errorText;
  bool m_showProgress = false;
  bool m_showError = false;
  uint64_t m_bytesDone = 0;
  uint64_t m_bytesTotal = 0;

  ScopedHandle m_worker;
  bool m_installing = false;    // between the worker's two WM_UPDATE_INSTALLING
  bool m_closePending = false;  // a close request arrived during the install pass
  bool m_closed = false;        // the close handler has run: the dialog is ending
};
