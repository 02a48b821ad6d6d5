#include "drawarea.h"

#include <QPaintDevice>
#include <QPainter>
#include <QtMath>

#include <climits>

namespace {

bool g_drawEverything = false;
bool g_drawClustersAlone = false;

} // namespace

void DrawArea::SetDrawEverything(bool on)
{
    g_drawEverything = on;
}

void DrawArea::SetDrawClustersAlone(bool on)
{
    g_drawClustersAlone = on;
}

bool DrawArea::DrawClustersAlone()
{
    return g_drawClustersAlone;
}

DrawArea::DrawArea(const QPainter& painter)
    : m_iTop(INT_MIN)
    , m_iBottom(INT_MAX)
{
    const QPaintDevice* device = painter.device();
    if (g_drawEverything || !device)
        return;
    const int type = device->devType();
    if (type != QInternal::Widget && type != QInternal::Image && type != QInternal::Pixmap)
        return;
    const QTransform transform = painter.combinedTransform();
    if (transform.type() > QTransform::TxTranslate)
        return;

    // One row of slack on either side covers pieces placed at fractional
    // offsets, whose antialiased edges spread into the next row. A device
    // with a pixel ratio above 1 reports more rows than it has logical ones,
    // which only widens the area.
    const qreal dy = transform.dy();
    m_iTop = qFloor(-dy) - 1;
    m_iBottom = qCeil(device->height() - dy) + 1;
    if (painter.hasClipping()) {
        const QRectF clip = painter.clipBoundingRect();
        if (clip.isEmpty()) {
            m_iTop = 1;
            m_iBottom = 0;
            return;
        }
        m_iTop = qMax(m_iTop, qFloor(clip.top()) - 1);
        m_iBottom = qMin(m_iBottom, qCeil(clip.bottom()) + 1);
    }
}
