#pragma once

#include "element.h"
#include "zalcontrol_export.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QMap>
#include <QWidget>

#include <climits>

class QHBoxLayout;
class QScrollBar;

namespace Ui {
class ZALChatView;
}

// Custom-painted, vertically scrollable chat view. It owns the elements handed
// to AddElement(), keeps at most 1500 of them (dropping the oldest), lays them
// out in wrapped lines across its width (left of the scroll bar while the bar
// shows), scrolls in steps of 10 pixels, shows hover and press colours and
// reports a press on a mouse-aware element through sglElementPress().
//
// Reading a live chat: while the view is at the bottom it follows new
// elements; scrolled up, what the reader sees stays where it is, also when
// the limit drops the oldest elements (unless those were on screen). It
// scrolls by keyboard (Page Up/Down, arrows, Home/End) and wheel.
//
// Several views may live in one process: each keeps its own line heights and
// scroll offset and loads them into Element's statics for the time of its own
// layout pass, paint and hit test.
class ZALCONTROL_EXPORT ZALChatView : public QWidget
{
    Q_OBJECT

public:
    explicit ZALChatView(QWidget* parent = nullptr);
    ~ZALChatView() override;

    // Takes ownership of a non-null element and appends it, laid out at once
    // so that the scroll range is current when this returns. At the bottom
    // the view follows it; elsewhere what the reader sees stays still.
    void AddElement(Element* element);
    // One layout pass over every element, then fits the scroll range and
    // shows or hides the scroll bar, laying out once more for the width that
    // leaves.
    void Layout(QPainter& painter);
    // Draws the elements where the last layout pass put them. What cannot
    // reach the painter's device (elements above or below the widget, lines
    // of a long run outside it) is skipped; the picture is the same as if
    // everything were drawn.
    void Draw(QPainter& painter);
    // Fill colour of the whole widget; asks for a repaint.
    void SetBackground(QColor& color);
    // The spacing setters ask for a relayout.
    void SetEdgeSpace(int x, int y);
    void SetElementSpace(int space);
    QScrollBar* GetVerticalScrollBar();
    void test();

    // Shows the newest line; the view follows new elements again.
    void ScrollToBottom();
    // True when the last line of content is in view, or nothing scrolls.
    bool IsAtBottom() const;

    static constexpr int MaxElements = 1500;
    static constexpr int ScrollStep = 10;

signals:
    void sglElementPress(Element* element);
    // The view reached the bottom (true) or left it (false).
    void sglAtBottomChanged(bool atBottom);

private:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void on_verticalScrollBar_valueChanged(int value);

private:
    class PassScope;
    // Elements tell the view about their own changes.
    friend class Element;

    // Fits the range to the last layout pass: its maximum reaches the
    // content's last pixel.
    void ChangeScrollBarHeight();
    // Hit test at pos; returns the part of the widget whose colours changed.
    QRegion ElementEvent(const QPoint& pos);
    // A layout pass outside a paint, on a painter that measures as the
    // widget's own does; appended: only the newest element is new;
    // droppedBottom: the last row of the oldest element, which the limit
    // has just dropped (NoDrop when none was).
    void LayoutNow(bool appended = false, int droppedBottom = NoDrop);
    // Places the newest element after the others; false when the bar must
    // appear or go, which takes a whole pass.
    bool LayoutLast(QPainter& painter, int droppedBottom);
    // Moves everything up by the height the dropped element left, where a
    // whole pass would put it; false when only a whole pass can tell.
    bool MoveUpAfterDrop(QPainter& painter, int droppedBottom);
    static constexpr int NoDrop = INT_MIN;
    void BeginLayoutPainter(QPainter& painter);
    // Lays every element out for the given width.
    void LayoutElements(QPainter& painter, int width);
    int LayoutWidth(bool barShown) const;
    // Puts the bar where the reader expects it after a layout pass.
    void PlaceScrollValue(bool follow);
    void UpdateAtBottom();
    // Scroll steps of one line of the view's font.
    int LineSteps() const;
    void ScrollTo(int value);
    // The part of the widget that element paints (all of it when unknown).
    QRect ShownRect(const Element* element) const;
    void ElementChanged(const Element* element, bool geometry);

    Ui::ZALChatView* ui;
    QHBoxLayout* m_pLayout;
    QColor m_qBackground;
    bool m_bNeedLayout;
    QList<Element*> m_qListElement;
    element_info_ m_elementInfo;
    Element* m_pEventElement;
    int m_iEdgeY;
    int m_iEdgeX;

    // This view's share of Element's statics, kept between its passes.
    QMap<int, int> m_qLineHeights;
    int m_iLastLineY;
    int m_iScrollValue;

    // Inside one of the view's own passes, changes reported by elements (a
    // box colouring its children) need nothing done.
    bool m_bInPass;
    bool m_bLayingOut;
    bool m_bAtBottom;
    // The element that is first after the limit dropped the oldest, and its
    // top before the drop: the reader's place moves up by what left.
    const Element* m_pDropAnchor;
    int m_iDropAnchorY;
    // What moved less than a step so far: drops, wheel turns (in 1/120 of a
    // step) and pixel deltas.
    int m_iDropCarry;
    int m_iWheelRemainder;
    int m_iPixelRemainder;
    // The layout painter's device, at the widget's resolution.
    QImage m_layoutDevice;
};
