#include "element.h"

#include <QFontMetrics>
#include <QPainter>

SpaceElement::SpaceElement()
    : m_iSpace(0)
{
}

SpaceElement::SpaceElement(const SpaceElement& other) = default;
SpaceElement& SpaceElement::operator=(const SpaceElement& other) = default;
SpaceElement::~SpaceElement() = default;

void SpaceElement::SetSpace(int space)
{
    m_iSpace = qMin(space, MaxSpace);
    Changed(true);
}

Element* SpaceElement::Clone() const
{
    return new SpaceElement(*this);
}

void SpaceElement::Layout(QPainter& painter, element_info_& info, const Element* prev)
{
    ResetEventRect();
    painter.setFont(m_qFont);
    const int h = painter.fontMetrics().height();
    m_iHeight = h;
    // The last x a pixel of the gap may reach on a line.
    const int right = info.width - info.edge_x - 1;

    int x = info.edge_x;
    int y = info.edge_y;
    if (prev) {
        x = prev->GetEndX();
        y = prev->GetEndY();
        if (x > right) {
            x = info.edge_x;
            y += qMax(h, GetMaxHeightByY(GetLastY()));
        }
    }
    m_iStartX = x;
    m_iStartY = y;
    SetMaxHeightByY(y, h);

    // The gap advances one pixel at a time and wraps as soon as x passes
    // right; whole runs of pixels are taken at once, so that a wide gap
    // costs one step per line instead of one per pixel. A gap at least a
    // whole line wide that does not fit on the rest of its line only ends
    // the line, so no gap costs more than a line break.
    int remaining = qMax(0, m_iSpace);
    const int lineWidth = qMax(1, right - info.edge_x + 1);
    if (remaining >= lineWidth && remaining > right - x + 1)
        remaining = qMax(1, right - x + 1);
    while (remaining > 0) {
        const int toWrap = qMax(1, right - x + 1);
        if (remaining < toWrap) {
            x += remaining;
            break;
        }
        remaining -= toWrap;
        x = info.edge_x;
        y += qMax(h, GetMaxHeightByY(y));
        SetMaxHeightByY(y, h);
    }

    m_iEndX = x;
    m_iEndY = y;
    // The start line's height, even when the gap wrapped.
    info.height = GetMaxHeightByY(m_iStartY) + info.edge_y + m_iEndY;
}

void SpaceElement::Draw(QPainter&, element_info_&)
{
    // Nothing to paint and nothing to hit.
    m_qEventRect.clear();
    SetPaintedRows(0, -1);
}
