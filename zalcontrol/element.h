#pragma once

#include "zalcontrol_export.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QPixmap>
#include <QRect>
#include <QSharedPointer>
#include <QString>
#include <QVector>

class QPainter;
class ZALChatView;
class ButtonElement;

// Mouse state of an element, as the view reports it through OnEvent().
enum MOUSE_STATE
{
    MOUSE_NORMAL = 0,
    MOUSE_HOVER = 1,
    MOUSE_PRESS = 2,
};

// One colour for each MOUSE_STATE.
struct mouse_color_
{
    QColor normal;
    QColor hover;
    QColor press;
};

// Layout context of one pass. The owner (the view, or a box element for its
// children) fills width, edge_y, edge_x and element_space; every Layout()
// overwrites height with the content bottom it leaves behind.
struct element_info_
{
    int width;
    int height;
    int edge_y;
    int edge_x;
    int element_space;
};

// Abstract base of every item a ZALChatView lays out and paints.
//
// Positions are content coordinates (no scrolling applied); drawing subtracts
// s_iScrollValueV.
//
// Ownership: the host creates an element with new and hands it to exactly one
// container, a view (ZALChatView::AddElement) or a box (ButtonElement::
// AddElement), which then owns it and deletes it through the virtual
// destructor. Handing over an element that already belongs to a container is
// refused with a warning. Deleting an element that a container holds takes it
// out of that container first, as a QObject child leaves its parent; a copy of
// an element belongs to no container.
//
// Threading: elements are not thread-safe. Those in a view are used on the
// view's (the GUI) thread only; the statics below are shared by every view.
class ZALCONTROL_EXPORT Element
{
public:
    Element();
    Element(const Element& other);
    Element& operator=(const Element& other);
    virtual ~Element();

    // Places the element after prev (null for the first element of a list)
    // and writes the resulting content bottom into info.height. The hit
    // rectangles of the previous layout are dropped.
    virtual void Layout(QPainter& painter, element_info_& info, const Element* prev) = 0;
    // Paints the element where the last Layout() put it and keeps its hit
    // rectangles (content coordinates) those of the current layout. Pieces
    // that cannot reach the painter's device are not painted.
    virtual void Draw(QPainter& painter, element_info_& info) = 0;
    // A new element of the same kind with every field copied; the caller
    // owns it. A box's clone owns clones of its children.
    virtual Element* Clone() const = 0;

    // Identity for the receiver of the view's press signal; the library never
    // interprets it. SetUin() makes the type 1, SetGoldBoxId() makes it 2.
    int GetType();
    void SetType(int type);
    int GetUin();
    void SetUin(int uin);
    quint64 GetGoldBoxId();
    void SetGoldBoxId(quint64 id);

    // Geometry setters: effective from the owner's next layout pass; an
    // element already in a view has that view lay out again. The colour
    // setters and SetEvent() repaint it there. The indent is clamped to
    // +-MaxSpace.
    void SetFont(QFont& font);
    void SetFont(const QFont& font);
    void SetIndentSpace(int indent);
    void SetReturn(bool lineBreak);

    bool GetEvent();
    // Turning events off shows the press colours for good.
    void SetEvent(bool on);
    // Hit rectangles (content coordinates) that the last Draw() built for
    // the current layout; empty from a layout pass until the next Draw().
    // Since the caller may change them, the next Draw() builds them anew.
    QVector<QRect>& GetEventRect();
    // The same rectangles, read only.
    const QVector<QRect>& GetEventRect() const;
    void SetEventBackground(mouse_color_& colors);
    void SetEventBackground(const mouse_color_& colors);
    void SetEventTextColor(mouse_color_& colors);
    void SetEventTextColor(const mouse_color_& colors);
    // One text colour for every mouse state.
    void SetTextColor(QColor& color);
    void SetTextColor(const QColor& color);
    // Switches the current colours to those of state; ignored while events
    // are off and for values outside MOUSE_STATE.
    void OnEvent(MOUSE_STATE state);

    // What a picture stands for in text: copied in its place when it is part
    // of a view's selection (empty by default: nothing is copied for it).
    void SetAccessibleText(const QString& text);
    QString GetAccessibleText() const { return m_qAccessibleText; }

    // Results of the last layout pass: where the element starts, where a
    // following element continues (the top y of the element's last line),
    // and its own height.
    int GetStartX() const { return m_iStartX; }
    int GetStartY() const { return m_iStartY; }
    int GetEndX() const { return m_iEndX; }
    int GetEndY() const { return m_iEndY; }
    int GetHeight() const { return m_iHeight; }

    // Line-height table of the running pass: line top y -> tallest height
    // registered on that line (0 when the line has no entry).
    static int GetMaxHeightByY(int y);
    // Keeps the larger of the stored and the given height; always remembers y
    // as the line written last.
    static void SetMaxHeightByY(int y, int height);
    static void ClearMaxHeightByY();

    // Vertical scroll offset in pixels of the view whose pass is running.
    static int s_iScrollValueV;

    // Largest distance in pixels a spacing or size setter keeps (larger
    // values, INT_MAX included, are clamped to it), so that sums over a full
    // view never overflow.
    static constexpr int MaxSpace = 1 << 16;

protected:
    // The line passed to the most recent SetMaxHeightByY().
    static int GetLastY() { return s_lastY; }

    // Drawing only what can be seen. Draw() builds the hit rectangles anew
    // whenever the layout, the content or the rectangles changed since it
    // last built them. Otherwise, when nothing that it paints can reach the
    // painter's device, it may return at once: its rectangles are still
    // those it would build.

    // True when Draw() may return at once.
    bool CanSkipDraw(const QPainter& painter) const;
    // Draw() calls this once the rectangles are built: they belong to the
    // current layout, and the content rows top .. bottom (inclusive) hold
    // everything Draw() paints (bottom < top: nothing).
    void SetPaintedRows(int top, int bottom);
    // The next Draw() must build the rectangles anew.
    void InvalidateDraw();
    // Tells the view that shows the element, through the boxes holding it,
    // that it changed: it lays out again when geometry is true, and repaints
    // the element otherwise. Nothing happens outside a view.
    void Changed(bool geometry);
    // Layout() calls this first: rectangles of the previous layout describe
    // nothing any more, so none are left for a press to hit.
    void ResetEventRect();
    // The content rows that element paints, when its rectangles are current;
    // false when they are not (or the element never reports them).
    static bool GetPaintedRows(const Element* element, int& top, int& bottom);

    // The part of the element that its view's selection covers, from and to
    // in the element's own units (characters of a text, 0 .. 1 for a
    // picture); empty (from == to) outside a view. Selected parts are drawn
    // in the selection colours, which the view sets for its paints.
    int GetSelectedFrom() const { return m_selection.from; }
    int GetSelectedTo() const { return m_selection.to; }
    static QColor SelectionBackground() { return s_qSelectionBackground; }
    static QColor SelectionText() { return s_qSelectionText; }

    int m_iType;
    int m_iUin;
    quint64 m_uGoldBoxId;
    QFont m_qFont;
    int m_iStartX;
    int m_iStartY;
    int m_iEndX;
    int m_iEndY;
    int m_iHeight;
    int m_iWidth;
    bool m_bReturn;
    QVector<QRect> m_qEventRect;
    bool m_bEvent;
    mouse_color_ m_background;
    mouse_color_ m_textColor;
    QColor m_qCurBackground;
    QColor m_qCurTextColor;
    int m_iIndentSpace;

private:
    // The view swaps its own line table in and out around each of its passes;
    // containers keep the element's link to them.
    friend class ZALChatView;
    friend class ButtonElement;
    friend class TextElement;

    // The view showing the element, through the boxes holding it; null
    // outside a view.
    ZALChatView* HoldingView() const;

    // The container an element was handed to: the box holding it, or the
    // view for an element of the view's own list; at most one of the two is
    // set. A copy belongs to no container, and an assignment keeps the
    // target's own.
    struct Container
    {
        ButtonElement* box = nullptr;
        ZALChatView* view = nullptr;
        Container() = default;
        Container(const Container&) {}
        Container& operator=(const Container&) { return *this; }
        bool IsSet() const { return box || view; }
    };

    // Moves what the last layout and drawing placed dy pixels down, as a pass
    // that began dy lower would place it.
    void ShiftY(int dy);
    // Whether ShiftY() reaches everything the element placed: true for the
    // library's own kinds holding only such children.
    bool Shiftable() const;

    Container m_container;
    // Set by the view that holds the element; a copy is not selected.
    struct Selection
    {
        int from = 0;
        int to = 0;
        Selection() = default;
        Selection(const Selection&) {}
        Selection& operator=(const Selection&) { return *this; }
    };
    Selection m_selection;
    QString m_qAccessibleText;
    bool m_bDrawCurrent;
    // A text run drawn while it could not reach the device keeps the top of
    // each line's cells instead of its rectangles, which GetEventRect()
    // builds when asked.
    bool m_bRectsPending;
    int m_iPaintTop;
    int m_iPaintBottom;

    static QMap<int, int> s_qMaxHeight;
    static int s_lastY;
    static QColor s_qSelectionBackground;
    static QColor s_qSelectionText;
    // Text runs of the running pass wrap before words (the view's setting).
    static bool s_bWordWrap;
};

// A run of text: continues where the previous element ended, wraps at the
// right margin (between characters, or before words in a view set to word
// wrap) and at line feeds, and draws each grapheme cluster in its own
// background cell with its own hit rectangle. A run holding characters that
// are shaped with their neighbours or run right to left is laid out and
// drawn as a whole, in the order of the bidirectional algorithm; its cells
// lie where its cursor positions put each cluster.
class ZALCONTROL_EXPORT TextElement : public Element
{
public:
    TextElement();
    TextElement(const TextElement& other);
    TextElement& operator=(const TextElement& other);
    ~TextElement() override;

    // Effective from the owner's next layout pass; a view showing the
    // element lays out again.
    void SetText(const QString& text);
    const QString& GetText() const { return m_qText; }
    Element* Clone() const override;

private:
    friend class Element;
    friend class ZALChatView;

    void Layout(QPainter& painter, element_info_& info, const Element* prev) override;
    void Draw(QPainter& painter, element_info_& info) override;
    // The rectangles of a run whose drawing kept only its cell tops.
    void BuildEventRect();
    // Lays out a run that needs shaping or runs right to left, beginning at
    // x on the first line; Draw() places its lines.
    void LayoutShaped(const element_info_& info, int lineStart, int& x, int& y);
    void DrawShaped(QPainter& painter);
    // Whether grapheme cluster i of the last layout runs right to left.
    bool ClusterRightToLeft(int i) const;

public:
    // Widths and break points of the text's grapheme clusters in one font,
    // measured once and kept until the text or the font changes.
    struct Measure;

private:
    // Sets the painter's font to the element's font and returns the measure
    // for it, taken anew when the text or the resolved font changed.
    const Measure& Measured(QPainter& painter);

    QString m_qText;
    QSharedPointer<const Measure> m_pMeasure;
    // Lines and cluster cells of a shaped run, for the position and width it
    // was last laid out at.
    struct Shaped;
    QSharedPointer<Shaped> m_pShaped;
    // Whether the last layout wrapped before words.
    bool m_bWordWrap = false;
    // Where the last Draw() wrapped: the line start and the area width.
    int m_iLineStart = 0;
    int m_iAreaWidth = 0;
    // Top of the cells of each line, while the rectangles are pending.
    QVector<int> m_qCellTops;
};

// A picture in a chat line: continues where the previous element ended,
// moves to a new line when it does not fit, raises its line to its own
// height and is centred in a taller line. It draws no background and uses
// no colours; it reacts to the mouse only once events are turned on.
class ZALCONTROL_EXPORT ImageElement : public Element
{
public:
    ImageElement();
    ImageElement(const ImageElement& other);
    ImageElement& operator=(const ImageElement& other);
    ~ImageElement() override;

    // Both forms scale the picture to the largest size that fits w x h with
    // its proportions kept, when w and h are both non-zero; with either 0
    // the picture keeps its own size, and a negative size gives no picture.
    // Sizes are device-independent pixels (each side at most MaxSpace); on a
    // device with a higher pixel ratio the picture is drawn from the source
    // at that ratio, scaled once per ratio and kept.
    // Effective from the owner's next layout pass; a view showing the
    // element lays out again.
    void SetPixmap(QPixmap& pixmap, int w, int h);
    void SetPixmap(const QPixmap& pixmap, int w, int h);
    // A file that cannot be read leaves no picture (0 x 0).
    void SetPixmap(const QString& path, int w, int h);
    Element* Clone() const override;

private:
    void Layout(QPainter& painter, element_info_& info, const Element* prev) override;
    void Draw(QPainter& painter, element_info_& info) override;
    void ScalePixmap(int w, int h);
    // The picture for a device of the given pixel ratio.
    QPixmap PixmapFor(qreal ratio);

    // The picture at its layout size, as drawn at pixel ratio 1.
    QPixmap m_qPixmap;
    // What m_qPixmap was scaled from (null when it was not scaled), kept for
    // devices of a higher pixel ratio, and the pictures made from it for
    // them, one per ratio.
    QPixmap m_qSource;
    QVector<QPixmap> m_qRatioPixmaps;
};

// A clickable rounded box on a line of its own, spanning the width between
// the two margins, that holds further elements laid out inside it. Its
// events are on from the start; hovering or pressing it recolours the box
// and, through its current text colour, every child. The view hit-tests the
// box only, never its children.
class ZALCONTROL_EXPORT ButtonElement : public Element
{
public:
    ButtonElement();
    // Copies own clones of the other box's children, so that each box
    // deletes only its own.
    ButtonElement(const ButtonElement& other);
    ButtonElement& operator=(const ButtonElement& other);
    // Deletes every child.
    ~ButtonElement() override;

    // Takes ownership of a child and appends it; a view showing the box lays
    // out again. Refused with a warning, changing nothing: null, an element
    // that already belongs to a view or a box, the box itself and any box
    // that holds this one (directly or further out).
    void AddElement(Element* child);
    // Space between the box edge and its content: x before the children's
    // line start, y above and below them (at least 1); both at most MaxSpace.
    void SetEdgeSpace(int x, int y);
    Element* Clone() const override;

private:
    friend class Element;

    void Layout(QPainter& painter, element_info_& info, const Element* prev) override;
    void Draw(QPainter& painter, element_info_& info) override;
    friend class Element;
    // The view walks the children in reading order for its selection.
    friend class ZALChatView;
    // A box reads as its children's texts.
    friend struct ZALChatViewAccessible;

    // Clones of other's children, held by this box.
    QList<Element*> CloneChildren(const ButtonElement& other);
    // A child is being deleted: it leaves the list (while the box is laying
    // out or drawing, its entry is only emptied until the pass ends).
    void ForgetChild(Element* child);
    // Drops the children of the list without deleting them.
    void ReleaseChildren();

    QList<Element*> m_qListElement;
    element_info_ m_elementInfo;
    int m_iEdgeY;
    int m_iEdgeX;
    // Layout or drawing passes of this box running at the moment.
    int m_iPassDepth = 0;
};

// An invisible horizontal gap of a given number of pixels that wraps at the
// right margin like text. It is never drawn and never hit.
class ZALCONTROL_EXPORT SpaceElement : public Element
{
public:
    SpaceElement();
    SpaceElement(const SpaceElement& other);
    SpaceElement& operator=(const SpaceElement& other);
    ~SpaceElement() override;

    // Width of the gap in pixels; 0 or less takes no room. A gap that does
    // not fit on the rest of its line and is at least a whole line wide ends
    // that line like a line break: it stops at the start of the next line.
    void SetSpace(int space);
    Element* Clone() const override;

private:
    void Layout(QPainter& painter, element_info_& info, const Element* prev) override;
    void Draw(QPainter& painter, element_info_& info) override;

    int m_iSpace;
};

// Lets Element* travel through queued connections, QVariant and QSignalSpy
// (the view registers it at run time under the name "Element*"). A host
// must not declare it a second time.
Q_DECLARE_METATYPE(Element*)
