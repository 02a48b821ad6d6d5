// CUpdaterDlg: the updater's only window, the driver of one update run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "app/update_worker.h"
#include "base/system/scoped_handle.h"
#include "base/text/wide_string.h"
#include "framework/dialog.h"
#include "framework/font.h"
#include "ui/image_helpers.h"
#include "ui/png_button.h"

// A borderless window sized from its background picture plus an 80-pixel
// strip below it, centred in the work area: the picture with the logo, then
// in the strip a progress bar with the text "updating N%" while the worker
// runs, or after a failure the error text from y 230 and the "Finish" button.
// The skin is drawn with GDI+ on the window's own surface.
//
// Opens with the command line's client path and that client's product
// version, ends the running client and starts the update worker, whose
// reports reach it as window messages (ui/update_messages.h); a successful end (or the user's close
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
  ~CUpdaterDlg() override;

  // Whether the worker thread was started and has not ended yet.
  bool IsWorkerRunning() const;

  // UpdateWorkerHost: the texts are fixed before the worker starts; the
  // reports become messages to this dialog's window.
  const String& ClientPath() const override { return m_clientPath; }
  const String& ClientVersion() const override { return m_clientVersion; }
  UpdateReport* NewUpdateReport() const override;

  BOOL PreTranslateMessage(MSG* message) override;

protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnClose();
  LRESULT OnUpdateProgress(WPARAM done, LPARAM total);
  LRESULT OnUpdateFailed(WPARAM text, LPARAM);
  LRESULT OnUpdateInstalling(WPARAM starting, LPARAM);
  BOOL OnEraseBkgnd(CDC*);
  void OnFinishClicked();
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT controlKind);

  DECLARE_MESSAGE_MAP()

private:
  // The pictures, the drawing surface and the window's size (each made
  // only once).
  void LoadSkin();
  // The window's size for the background picture: its width, and its height
  // plus the strip below it.
  void SizeToBackground(int left, int top);
  // The font, picture, caption and place of the "Finish" button.
  void SetUpFinishButton();
  // The bar and its text in m_progressRect, drawn at once on the surface.
  void DrawProgress();
  // Places the error text below the picture and fills it in.
  void LayoutErrorText();

  HICON m_hIcon;
  std::unique_ptr<Gdiplus::Image> m_background;
  std::unique_ptr<Gdiplus::Image> m_logo;
  WindowSurface m_graphics;
  RECT m_progressRect = {};  // where the bar goes, as the last paint found it
  CFont m_buttonFont;        // the button's font: declared first, so it outlives it
  CPngButton m_finishButton;
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
