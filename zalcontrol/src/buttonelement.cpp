#include "element.h"

#include "drawarea.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {

const qreal kCornerRadius = 6.0;

} // namespace

QList<Element*> ButtonElement::CloneChildren(const ButtonElement& other)
{
    QList<Element*> clones;
    clones.reserve(other.m_qListElement.size());
    for (const Element* element : other.m_qListElement) {
        clones.append(element->Clone());
        clones.last()->m_container.box = this;
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
    const QList<Element*> old = m_qListElement;
    m_qListElement = CloneChildren(other);
    Element::operator=(other);
    m_elementInfo = other.m_elementInfo;
    m_iEdgeY = other.m_iEdgeY;
    m_iEdgeX = other.m_iEdgeX;
    qDeleteAll(old);
    return *this;
}

ButtonElement::~ButtonElement()
{
    qDeleteAll(m_qListElement);
}

void ButtonElement::AddElement(Element* child)
{
    // A box inside itself would lay itself out without end and be deleted
    // twice.
    if (!child || child == this)
        return;
    m_qListElement.append(child);
    child->m_container.box = this;
    InvalidateDraw();
    Changed(true);
}

void ButtonElement::SetEdgeSpace(int x, int y)
{
    m_iEdgeX = x;
    // At least 1, so the first child line never shares the box line's key
    // in the line-height table.
    m_iEdgeY = qMax(1, y);
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

    const Element* before = this;
    for (Element* child : qAsConst(m_qListElement)) {
        child->Layout(painter, m_elementInfo, before);
        before = child;
    }

    // The children's content bottom less the box top, plus the bottom edge
    // space. Without children there is no content bottom: the box is as tall
    // as its two edge spaces.
    m_iHeight = m_qListElement.isEmpty()
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
    for (Element* child : qAsConst(m_qListElement)) {
        QColor ink = m_qCurTextColor;
        child->SetTextColor(ink);
        child->Draw(painter, m_elementInfo);
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
