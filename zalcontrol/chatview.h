#pragma once

#include "element.h"
#include "zalcontrol_export.h"

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
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

    // Takes ownership of a non-null element and appends it, laid out at once
    // so that the scroll range is current when this returns. At the bottom
    // the view follows it; elsewhere what the reader sees stays still.
    // Beyond MaxElements the oldest element is dropped: sglElementDropped()
    // first, then deleted. Refused with a warning, changing nothing: null and
    // an element that already belongs to a view or a box.
    void AddElement(Element* element);
    // Removes the element without deleting it and hands it back to the
    // caller, who owns it again; null when the view does not hold it.
    Element* TakeElement(Element* element);
    // Deletes every element.
    void Clear();
    // The number of elements the view holds (counting additions that wait
    // for a running pass to end).
    int ElementCount() const;
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
    void SetBackground(const QColor& color);
    // The spacing setters ask for a relayout; values are clamped to
    // -Element::MaxSpace .. Element::MaxSpace.
    void SetEdgeSpace(int x, int y);
    void SetElementSpace(int space);
    // Off (the default): text runs wrap at the margin between any two
    // characters. On: a run wraps before a word that does not fit on the
    // rest of the line, and only a word longer than a whole line is cut
    // between characters. Asks for a relayout.
    void SetWordWrap(bool on);
    bool GetWordWrap() const { return m_bWordWrap; }
    QScrollBar* GetVerticalScrollBar();
    void test();

    // Shows the newest line; the view follows new elements again.
    void ScrollToBottom();
    // True when the last line of content is in view, or nothing scrolls.
    bool IsAtBottom() const;

    // Selection: a drag with the left button selects text across elements
    // in reading order, a double click a word, a triple click an element's
    // text; Ctrl+C and the context menu copy it, Ctrl+A selects everything.
    // A selection ends at elements, not at places, so scrolling, relayouts
    // and additions keep it; elements that leave take their part with them.

    // The selection as plain text: the texts in order, a line feed where an
    // element begins a new line (not where a line wraps at the margin), a
    // picture's accessible text in its place. Empty without a selection.
    QString SelectedText() const;
    void ClearSelection();
    void SelectAll();

    static constexpr int MaxElements = 1500;
    static constexpr int ScrollStep = 10;

signals:
    void sglElementPress(Element* element);
    // The view reached the bottom (true) or left it (false).
    void sglAtBottomChanged(bool atBottom);
    // The element limit is about to delete the element: a host that keeps a
    // pointer to it forgets it here (or takes it with TakeElement()).
    void sglElementDropped(Element* element);
    // The selected part changed (also when it shrank because selected
    // elements left the view).
    void sglSelectionChanged();

private:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private slots:
    void on_verticalScrollBar_valueChanged(int value);

private:
    class PassScope;
    class ListGuard;
    // Elements tell the view about their own changes and deletion.
    friend class Element;
    friend class ButtonElement;
    // Screen readers see the element list.
    friend struct ZALChatViewAccessible;

    // A place in the text between two units of a selectable element (a text
    // or a picture).
    struct TextPlace
    {
        Element* element = nullptr;
        int offset = 0;
    };
    // An element of the view's tree in reading order (boxes before their
    // children); selectable elements are leaves.
    struct ReadingItem
    {
        Element* element;
        bool leaf;
        // The layout begins a new line before it: a line break flag, a box,
        // or the element after a box.
        bool newLine;
    };
    QVector<ReadingItem> ReadingOrder() const;
    void CollectReading(const QList<Element*>& list, bool inBox, bool& newLine, QVector<ReadingItem>& out) const;
    static int UnitCount(const Element* element);
    // The selection's ends in reading order; false when it is empty.
    bool SelectionRange(const QVector<ReadingItem>& items, int& first, int& from, int& last, int& to) const;
    // The place nearest to pos (content coordinates) in reading order.
    TextPlace PlaceAt(const QPoint& pos) const;
    // The selectable unit under pos: a word (or the element's whole text)
    // around it; false when pos is on none.
    bool UnitAt(const QPoint& pos, bool wholeElement, TextPlace& begin, TextPlace& end) const;
    void Select(const TextPlace& anchor, const TextPlace& focus);
    // Hands every element its selected part and repaints what changed;
    // true when the selected part is another than before.
    bool ApplySelection();
    void EmitSelectionChanged();
    // element is about to leave the view: ends of the selection inside it
    // move to the nearest element that stays.
    void SelectionLeaving(Element* element);
    // The elements have left: the selection is handed out again.
    void SelectionSettled();
    void CopySelection();
    void PressElement(QMouseEvent* event);

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
    // An element the view holds is being deleted.
    void ForgetElement(Element* element);
    // Applies what waited for the passes to end: emptied entries leave the
    // list, a deferred Clear() runs, deferred additions are appended.
    void SettleList();
    // Deletes doomed and every element of the list, forgetting what pointed
    // at them.
    void ClearNow(QList<Element*> doomed);
    // Appends an element already linked to the view, dropping the oldest
    // beyond the limit.
    void AppendNow(Element* element);
    void ListChanged();
    // Unlinks and deletes elements: their destructors find nothing left to
    // forget in the view.
    void DeleteElements(const QList<Element*>& elements);
    // The element leaves the view: a screen reader's interface for it is
    // deleted.
    void ReleaseAccessible(const Element* element);
    // A screen reader pressed a box.
    void AccessiblePress(Element* element);

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

    // Inside one of the view's own passes, colour changes reported by
    // elements (a box colouring its children) need nothing done.
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
    // Passes over the element list running at the moment; while there are
    // any, removed entries are only emptied (null) and additions wait in
    // m_qPendingElements.
    int m_iListDepth = 0;
    bool m_bSettling = false;
    bool m_bClearPending = false;
    QList<Element*> m_qPendingElements;

    bool m_bWordWrap = false;
    TextPlace m_selectAnchor;
    TextPlace m_selectFocus;
    bool m_bSelectionLeft = false;
    // A left press waits for its release to report the element, unless the
    // mouse moves far enough to start a selection drag.
    Element* m_pPressElement = nullptr;
    QPoint m_pressPos;
    bool m_bSelecting = false;
    bool m_bDragging = false;
    // Where and when the last double click was, for a triple click.
    QPoint m_doubleClickPos;
    QElapsedTimer m_tripleClick;
    // Ids in QAccessible's cache of the interfaces made for elements.
    QHash<const Element*, unsigned> m_qAccessibleIds;
};
