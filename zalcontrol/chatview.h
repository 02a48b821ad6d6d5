#pragma once

#include "element.h"
#include "zalcontrol_export.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QWidget>

class QHBoxLayout;
class QScrollBar;

namespace Ui {
class ZALChatView;
}

// Custom-painted, vertically scrollable chat view. It owns the elements handed
// to AddElement(), keeps at most 1500 of them (dropping the oldest), lays them
// out in wrapped lines across its width, scrolls in steps of 10 pixels, shows
// hover and press colours and reports a press on a mouse-aware element through
// sglElementPress().
//
// Several views may live in one process: each keeps its own line heights and
// scroll offset and loads them into Element's statics for the time of its own
// layout pass, paint and hit test.
//
// Ownership: the view owns every element it holds (see Element). A pointer
// the host keeps stays valid until the element leaves the view: by
// TakeElement(), Clear(), the host deleting it, the element limit (announced
// by sglElementDropped() first) or the view's destruction.
//
// Re-entrancy: AddElement() and Clear() called while the view is painting,
// laying out, hit testing or emitting one of its signals (from an element's
// Draw() or from a connected slot) take effect when that pass has ended.
// TakeElement() and deleting an element take effect at once.
//
// Threading: a widget; every call, AddElement() included, belongs on the GUI
// thread. The signals are emitted there; Element* is a registered meta type,
// so queued connections may carry it to other threads (the element itself
// must still only be used on the GUI thread).
class ZALCONTROL_EXPORT ZALChatView : public QWidget
{
    Q_OBJECT

public:
    explicit ZALChatView(QWidget* parent = nullptr);
    ~ZALChatView() override;

    // Takes ownership of a non-null element and appends it; schedules a
    // relayout. The scroll position stays where it is. Beyond MaxElements the
    // oldest element is dropped: sglElementDropped() first, then deleted.
    // Refused with a warning, changing nothing: null and an element that
    // already belongs to a view or a box.
    void AddElement(Element* element);
    // Removes the element without deleting it and hands it back to the
    // caller, who owns it again; null when the view does not hold it.
    Element* TakeElement(Element* element);
    // Deletes every element.
    void Clear();
    // The number of elements the view holds (counting additions that wait
    // for a running pass to end).
    int ElementCount() const;
    // One layout pass over every element, then fits the scroll range.
    void Layout(QPainter& painter);
    // Draws the elements where the last layout pass put them. What cannot
    // reach the painter's device (elements above or below the widget, lines
    // of a long run outside it) is skipped; the picture is the same as if
    // everything were drawn.
    void Draw(QPainter& painter);
    // Fill colour of the whole widget; asks for a repaint.
    void SetBackground(QColor& color);
    void SetBackground(const QColor& color);
    // The spacing setters ask for a relayout; values are clamped to
    // -Element::MaxSpace .. Element::MaxSpace.
    void SetEdgeSpace(int x, int y);
    void SetElementSpace(int space);
    QScrollBar* GetVerticalScrollBar();
    void test();

    static constexpr int MaxElements = 1500;
    static constexpr int ScrollStep = 10;

signals:
    void sglElementPress(Element* element);
    // The element limit is about to delete the element: a host that keeps a
    // pointer to it forgets it here (or takes it with TakeElement()).
    void sglElementDropped(Element* element);

private:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private slots:
    void on_verticalScrollBar_valueChanged(int value);

private:
    class PassScope;
    class ListGuard;
    friend class Element;

    void ChangeScrollBarHeight();
    void ElementEvent(const QPoint& pos);
    // An element the view holds is being deleted.
    void ForgetElement(Element* element);
    // Applies what waited for the passes to end: emptied entries leave the
    // list, a deferred Clear() runs, deferred additions are appended.
    void SettleList();
    // Appends an element already linked to the view, dropping the oldest
    // beyond the limit.
    void AppendNow(Element* element);
    void ListChanged();
    static void DeleteElements(const QList<Element*>& elements);

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

    // Passes over the element list running at the moment; while there are
    // any, removed entries are only emptied (null) and additions wait in
    // m_qPendingElements.
    int m_iListDepth = 0;
    bool m_bSettling = false;
    bool m_bClearPending = false;
    QList<Element*> m_qPendingElements;
};
