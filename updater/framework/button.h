// CButton: a push button control bound to a window object.
#pragma once

#include <windows.h>

#include "framework/window.h"

// A button made by a dialog template and bound with DDX_Control. An
// owner-drawn button (BS_OWNERDRAW) is drawn by DrawItem, with the record its
// parent received in WM_DRAWITEM.
class CButton : public CWnd {
public:
  // Draws the button into item->hDC within item->rcItem, in the state
  // item->itemState (ODS_SELECTED while pressed, ODS_DISABLED, ...). The base
  // draws nothing.
  virtual void DrawItem(DRAWITEMSTRUCT* item);

protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
