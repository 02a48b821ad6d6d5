// CPngButton: an owner-drawn push button whose face is a picture file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/text/wide_string.h"
#include "framework/button.h"
#include "ui/image_helpers.h"

// The face is one frame of a strip of one or four equal frames laid side by
// side or stacked: frame 0 normal, 1 under the mouse, 2 pressed (a fourth
// frame is never shown). The button takes the size of one frame, shows the
// hand cursor, tracks the mouse to know when it hovers, and draws its caption
// (when shown) centred, its bottom 10 pixels above the button's bottom, in the
// font the control was given. A double click counts as a second press.
class CPngButton : public CButton {
public:
  CPngButton();
  ~CPngButton() override;

  // Loads the picture at `path` (replacing any earlier one), records the frame
  // size and resizes the button to one frame, keeping its top-left corner. A
  // missing or undecodable file gives a 0 x 0 button that draws nothing.
  void SetImage(const wchar_t* path, bool vertical, bool fourState);

  // Draws the frame for the record's state on the button's own window
  // surface and the caption on the record's context; nothing at all before a
  // picture was set.
  void DrawItem(DRAWITEMSTRUCT* item) override;

  // The frame that the owner-draw state `itemState` shows: 2 pressed
  // (ODS_SELECTED), else 1 while the mouse hovers, else 0; always 0 for a
  // single-frame picture.
  int FrameIndex(UINT itemState) const;
  // Draws that frame at (0, 0) on `target`; nothing without a picture.
  void DrawFrame(Gdiplus::Graphics* target, UINT itemState) const;
  // Draws the caption on `dc` for the item rectangle `item`: embossed when
  // the state has ODS_DISABLED, else in m_textColor. Nothing when the caption
  // is hidden or empty.
  void DrawCaption(HDC dc, const RECT& item, UINT itemState) const;

  // The caption; the owner sets these directly.
  bool m_showText = false;
  String m_text;
  COLORREF m_textColor = 0;

protected:
  // Makes the button owner-drawn.
  void PreSubclassWindow() override;
  // A double click goes on as a press.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  void OnMouseMove(UINT flags, POINT point);
  LRESULT OnMouseHover(WPARAM, LPARAM);
  LRESULT OnMouseLeave(WPARAM, LPARAM);
  void OnLButtonDown(UINT flags, POINT point);
  void OnLButtonUp(UINT flags, POINT point);
  BOOL OnSetCursor(CWnd* window, UINT hitTest, UINT message);
  BOOL OnEraseBkgnd(CDC*);

  DECLARE_MESSAGE_MAP()

private:
  // Has the parent repaint the area under the button (and so the button).
  void InvalidateOwnArea();

  std::unique_ptr<Gdiplus::Image> m_image;
  WindowSurface m_graphics;
  bool m_tracking = false;
  bool m_hover = false;
  bool m_fourState = true;
  bool m_vertical = false;
  int32_t m_imageWidth = 0;
  int32_t m_imageHeight = 0;
  int32_t m_frameWidth = 0;   // side-by-side strips only
  int32_t m_frameHeight = 0;  // stacked strips only
};
