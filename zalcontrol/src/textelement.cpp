#include "element.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextBoundaryFinder>

namespace {

// Left bearing of the first character of a grapheme cluster. Qt measures
// bearings per UTF-16 unit only; clusters starting outside the Basic
// Multilingual Plane count as non-negative, so they never hold the previous
// cluster on its line.
int leadingBearing(const QFontMetrics& fm, QStringView cluster)
{
    const QChar first = cluster.front();
    return first.isSurrogate() ? 0 : fm.leftBearing(first);
}

// Walks the grapheme clusters of a text run the way layout and drawing both
// see them, so that the two always reach the same lines.
//
// Each cluster is measured and drawn on its own (joined emoji, flags and
// combining sequences stay one piece). After a cluster is placed and x has
// moved past it, the line breaks when the cluster ends with a line feed, or
// when another cluster follows whose first character has a non-negative left
// bearing and x > width - lineStart - (width of the cluster just placed):
// the last cluster's width stands in for the next one's, and the right margin
// equals lineStart.
//
// place(cluster, x, width) is called before x advances; newLine(y) after the
// line broke, with the new line's y already advanced past the line left.
template <typename Place, typename NewLine>
void walkClusters(const QFontMetrics& fm, const QString& text, int lineStart, int areaWidth,
                  int height, int& x, int& y, Place place, NewLine newLine)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int start = 0;
    for (int end = finder.toNextBoundary(); end > start; end = finder.toNextBoundary()) {
        const QString cluster = text.mid(start, end - start);
        const int w = fm.horizontalAdvance(cluster);
        place(cluster, x, w);
        x += w;

        bool lineBreak = cluster.endsWith(QChar(QChar::LineFeed));
        if (!lineBreak && end < text.size())
            lineBreak = leadingBearing(fm, QStringView(text).mid(end)) >= 0
                        && x > areaWidth - lineStart - w;
        if (lineBreak) {
            x = lineStart;
            y += qMax(height, Element::GetMaxHeightByY(y));
            newLine(y);
        }
        start = end;
    }
}

} // namespace

TextElement::TextElement()
{
    m_qCurTextColor = QColor(255, 255, 255, 255);
}

TextElement::TextElement(const TextElement& other) = default;
TextElement& TextElement::operator=(const TextElement& other) = default;
TextElement::~TextElement() = default;

void TextElement::SetText(const QString& text)
{
    m_qText = text;
}

Element* TextElement::Clone() const
{
    return new TextElement(*this);
}

void TextElement::Layout(QPainter& painter, element_info_& info, const Element* prev)
{
    painter.setFont(m_qFont);
    const QFontMetrics fm = painter.fontMetrics();
    const int h = fm.height();
    m_iHeight = h;
    const int lineStart = m_iIndentSpace + info.edge_x;

    int x;
    int y;
    if (!prev) {
        x = lineStart;
        y = info.edge_y;
    } else if (m_bReturn) {
        x = lineStart;
        y = prev->GetEndY() + info.element_space + qMax(h, GetMaxHeightByY(GetLastY()));
    } else {
        x = prev->GetEndX();
        y = prev->GetEndY();
    }
    // No room left on this line even for a narrow character.
    if (x > info.width - fm.horizontalAdvance(QChar(1)) - lineStart) {
        x = lineStart;
        y += qMax(h, GetMaxHeightByY(GetLastY()));
    }

    m_iStartX = x;
    m_iStartY = y;
    SetMaxHeightByY(y, h);

    walkClusters(fm, m_qText, lineStart, info.width, h, x, y,
                 [](const QString&, int, int) {},
                 [h](int newY) { SetMaxHeightByY(newY, h); });

    m_iEndX = x;
    m_iEndY = y;
    info.height = fm.descent() + GetMaxHeightByY(m_iEndY) + info.edge_y + m_iEndY;
}

void TextElement::Draw(QPainter& painter, element_info_& info)
{
    m_qEventRect.clear();
    const int lineStart = m_iIndentSpace + info.edge_x;
    painter.setFont(m_qFont);
    painter.setPen(m_qCurTextColor);
    const QFontMetrics fm = painter.fontMetrics();
    const int h = m_iHeight;
    const int d = fm.descent();

    int x = m_iStartX;
    int lineY = m_iStartY;
    int offset = (GetMaxHeightByY(m_iStartY) - h) / 2;

    walkClusters(
        fm, m_qText, lineStart, info.width, h, x, lineY,
        [&](const QString& cluster, int cx, int w) {
            const QRect cell(cx, lineY + offset + d, w, h);
            m_qEventRect.append(cell);
            painter.fillRect(cell.translated(0, -s_iScrollValueV), m_qCurBackground);
            painter.drawText(QPointF(cx, lineY - s_iScrollValueV + h + offset), cluster);
        },
        [&](int newY) { offset = (qMax(h, GetMaxHeightByY(newY)) - h) / 2; });
}
