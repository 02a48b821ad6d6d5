#include "element.h"

#include "chatview.h"

#include "drawarea.h"
#include "elementlist.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {

const qreal kCornerRadius = 6.0;

// Counts a pass of a box over its children; when the outermost pass ends,
// the entries of children deleted meanwhile leave the list.
class BoxPass
{
public:
    BoxPass(int& depth, QList<Element*>& list)
        : m_depth(depth)
        , m_list(list)
    {
        ++m_depth;
    }
    ~BoxPass()
    {
        if (--m_depth == 0)
            m_list.removeAll(nullptr);
    }
    BoxPass(const BoxPass&) = delete;
    BoxPass& operator=(const BoxPass&) = delete;

private:
    int& m_depth;
    QList<Element*>& m_list;
};

} // namespace

QList<Element*> ButtonElement::CloneChildren(const ButtonElement& other)
{
    QList<Element*> clones;
    clones.reserve(other.m_qListElement.size());
    for (const Element* element : other.m_qListElement) {
        if (element) {
            clones.append(element->Clone());
            clones.last()->m_container.box = this;
        }
    }
    return clones;
}

ButtonElement::ButtonElement()
    : m_elementInfo{0, 0, 0, 0, 0}
    , m_iEdgeY(1)
    , m_iEdgeX(0)
{
    // Only the flag: the current colours stay the normal ones.
    m_bEvent = true;
}

ButtonElement::ButtonElement(const ButtonElement& other)
    : Element(other)
    , m_qListElement(CloneChildren(other))
    , m_elementInfo(other.m_elementInfo)
    , m_iEdgeY(other.m_iEdgeY)
    , m_iEdgeX(other.m_iEdgeX)
{
}

ButtonElement& ButtonElement::operator=(const ButtonElement& other)
{
    if (this == &other)
        return *this;
    // Everything is taken from other before the old children go: other may
    // be one of them, or lie inside one.
    const QList<Element*> clones = CloneChildren(other);
    Element::operator=(other);
    m_elementInfo = other.m_elementInfo;
    m_iEdgeY = other.m_iEdgeY;
    m_iEdgeX = other.m_iEdgeX;
    ReleaseChildren();
    m_qListElement = clones;
    Changed(true);
    return *this;
}

ButtonElement::~ButtonElement()
{
    ReleaseChildren();
}

void ButtonElement::ReleaseChildren()
{
    // Taken out of the list first, so that the children's destructors find
    // nothing left to forget here.
    // The view's selection may end inside a child: it moves out first.
    ZALChatView* view = HoldingView();
    if (view) {
        for (Element* child : qAsConst(m_qListElement)) {
            if (child)
                view->SelectionLeaving(child);
        }
    }
    const QList<Element*> children = m_qListElement;
    m_qListElement.clear();
    for (Element* child : children) {
        if (child) {
            child->m_container.box = nullptr;
            delete child;
        }
    }
    if (view)
        view->SelectionSettled();
}

void ButtonElement::AddElement(Element* child)
{
    const char* refusal = nullptr;
    if (!child)
        refusal = "a null element";
    else if (child == this)
        refusal = "a box cannot hold itself";
    else if (child->m_container.IsSet())
        refusal = "the element already belongs to a view or a box";
    for (const ButtonElement* outer = m_container.box; !refusal && outer; outer = outer->m_container.box) {
        if (outer == child)
            refusal = "the box holds this box, which would then hold itself";
    }
    if (refusal) {
        qWarning("ButtonElement::AddElement: refused, %s", refusal);
        return;
    }
    child->m_container.box = this;
    m_qListElement.append(child);
    InvalidateDraw();
    Changed(true);
}

void ButtonElement::ForgetChild(Element* child)
{
    if (!m_qListElement.contains(child))
        return;
    ZALChatView* view = HoldingView();
    if (view)
        view->SelectionLeaving(child);
    DetachFromList(m_qListElement, child, m_iPassDepth > 0);
    InvalidateDraw();
    Changed(true);
    if (view)
        view->SelectionSettled();
}

void ButtonElement::SetEdgeSpace(int x, int y)
{
    m_iEdgeX = qBound(-MaxSpace, x, MaxSpace);
    // At least 1, so the first child line never shares the box line's key
    // in the line-height table.
    m_iEdgeY = qBound(1, y, MaxSpace);
    Changed(true);
}

Element* ButtonElement::Clone() const
{
    return new ButtonElement(*this);
}

void ButtonElement::Layout(QPainter& painter, element_info_& info, const Element* prev)
{
    ResetEventRect();
    painter.setFont(m_qFont);
    m_iHeight = painter.fontMetrics().height();
    const int lineStart = m_iIndentSpace + info.edge_x;

    // Always a line of its own, whatever the line-break flag says.
    const int y = prev ? prev->GetEndY() + info.element_space + qMax(m_iHeight, GetMaxHeightByY(GetLastY()))
                       : info.edge_y;
    m_iStartX = lineStart;
    m_iStartY = y;

    // For the time of the children's layout the box's end is where its
    // content begins, so that a first child without a line break starts
    // there.
    m_iEndX = lineStart + m_iEdgeX;
    m_iEndY = y + m_iEdgeY;
    m_elementInfo.edge_x = lineStart + m_iEdgeX;
    m_elementInfo.edge_y = info.edge_y + m_iEdgeY;
    m_elementInfo.width = info.width;
    m_elementInfo.height = 0;

    bool hasChildren = false;
    {
        BoxPass pass(m_iPassDepth, m_qListElement);
        const Element* before = this;
        for (int i = 0; i < m_qListElement.size(); ++i) {
            Element* child = m_qListElement.at(i);
            if (!child)
                continue;
            child->Layout(painter, m_elementInfo, before);
            // A child deleted during its own layout leaves nothing to follow.
            if (m_qListElement.at(i) == child) {
                before = child;
                hasChildren = true;
            }
        }
    }

    // The children's content bottom less the box top, plus the bottom edge
    // space. Without children there is no content bottom: the box is as tall
    // as its two edge spaces.
    m_iHeight = !hasChildren
                    ? 2 * m_iEdgeY
                    : m_elementInfo.height - m_iStartY - m_elementInfo.edge_y + m_iEdgeY;
    m_iWidth = info.width - 2 * lineStart;
    m_iEndX = info.width - lineStart;
    m_iEndY = y;

    SetMaxHeightByY(m_iStartY, m_iHeight);
    info.height = GetMaxHeightByY(m_iStartY) + info.edge_y + m_iEndY;
}

void ButtonElement::Draw(QPainter& painter, element_info_&)
{
    // Antialiasing stays on for everything drawn later in the same paint,
    // whether or not this box reaches the device.
    painter.setRenderHint(QPainter::Antialiasing);
    if (CanSkipDraw(painter))
        return;
    m_qEventRect.clear();
    painter.setFont(m_qFont);
    const int d = painter.fontMetrics().descent();
    const QRect box(m_iStartX, m_iStartY + d, m_iWidth, m_iHeight);
    m_qEventRect.append(box);

    // A box of negative width or height is drawn over its normalised
    // rectangle, one row of slack around it for antialiased edges.
    const int boxTop = qMin(box.top(), box.top() + m_iHeight) - 1;
    const int boxBottom = qMax(box.top(), box.top() + m_iHeight) + 1;
    if (DrawArea(painter).Reaches(boxTop - s_iScrollValueV, boxBottom - s_iScrollValueV)) {
        painter.setPen(QColor(Qt::transparent));
        painter.setBrush(QBrush(m_qCurBackground));
        QPainterPath path;
        path.addRoundedRect(QRectF(box.translated(0, -s_iScrollValueV)), kCornerRadius, kCornerRadius,
                            Qt::AbsoluteSize);
        painter.drawPath(path);
    }

    // The box may be skipped later only while every child reports what it
    // paints.
    int paintTop = boxTop;
    int paintBottom = boxBottom;
    bool known = true;
    BoxPass pass(m_iPassDepth, m_qListElement);
    for (int i = 0; i < m_qListElement.size(); ++i) {
        Element* child = m_qListElement.at(i);
        if (!child)
            continue;
        child->SetTextColor(m_qCurTextColor);
        child->Draw(painter, m_elementInfo);
        if (m_qListElement.at(i) != child) {
            known = false;
            continue;
        }
        int top = 0;
        int bottom = -1;
        known = known && GetPaintedRows(child, top, bottom);
        if (top <= bottom) {
            paintTop = qMin(paintTop, top);
            paintBottom = qMax(paintBottom, bottom);
        }
    }
    if (known)
        SetPaintedRows(paintTop, paintBottom);
    else
        InvalidateDraw();
}
