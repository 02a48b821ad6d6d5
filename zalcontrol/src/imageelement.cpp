#include "element.h"

#include "drawarea.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QtMath>

ImageElement::ImageElement() = default;
ImageElement::ImageElement(const ImageElement& other) = default;
ImageElement& ImageElement::operator=(const ImageElement& other) = default;
ImageElement::~ImageElement() = default;

void ImageElement::SetPixmap(QPixmap& pixmap, int w, int h)
{
    SetPixmap(static_cast<const QPixmap&>(pixmap), w, h);
}

void ImageElement::SetPixmap(const QPixmap& pixmap, int w, int h)
{
    m_qPixmap = pixmap;
    ScalePixmap(w, h);
    InvalidateDraw();
    Changed(true);
}

void ImageElement::SetPixmap(const QString& path, int w, int h)
{
    // A failed load leaves a null pixmap behind.
    m_qPixmap.load(path);
    ScalePixmap(w, h);
    InvalidateDraw();
    Changed(true);
}

Element* ImageElement::Clone() const
{
    return new ImageElement(*this);
}

void ImageElement::ScalePixmap(int w, int h)
{
    m_qSource = QPixmap();
    m_qRatioPixmaps.clear();
    if (w == 0 || h == 0)
        return;
    // Qt scales an empty target size (a negative side) to a null pixmap; a
    // null pixmap stays null without Qt's warning about scaling it.
    if (m_qPixmap.isNull() || w < 0 || h < 0) {
        m_qPixmap = QPixmap();
        return;
    }
    const QSize size = m_qPixmap.size().scaled(qMin(w, MaxSpace), qMin(h, MaxSpace), Qt::KeepAspectRatio);
    // Kept for sharper devices, but never more than four times the layout
    // size on a side: no screen has a higher pixel ratio.
    const QSize keep = size * 4;
    m_qSource = m_qPixmap.width() > keep.width() && m_qPixmap.height() > keep.height()
                    ? m_qPixmap.scaled(keep, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                    : m_qPixmap;
    m_qPixmap = m_qPixmap.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QPixmap ImageElement::PixmapFor(qreal ratio)
{
    if (ratio <= 1.0 || m_qSource.isNull() || m_qPixmap.isNull())
        return m_qPixmap;
    for (const QPixmap& made : qAsConst(m_qRatioPixmaps)) {
        if (made.devicePixelRatio() == ratio)
            return made;
    }
    const QSize pixels(qCeil(m_qPixmap.width() * ratio), qCeil(m_qPixmap.height() * ratio));
    QPixmap made = m_qSource.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    made.setDevicePixelRatio(ratio);
    m_qRatioPixmaps.append(made);
    return made;
}

void ImageElement::Layout(QPainter& painter, element_info_& info, const Element* prev)
{
    ResetEventRect();
    painter.setFont(m_qFont);
    const QFontMetrics fm = painter.fontMetrics();
    const int pw = m_qPixmap.width();
    const int ph = m_qPixmap.height();
    m_iHeight = ph;

    int x;
    int y;
    if (!prev) {
        // The first element stays on the first line, however wide it is.
        x = info.edge_x;
        y = info.edge_y;
    } else {
        if (m_bReturn) {
            x = info.edge_x;
            y = prev->GetEndY() + info.element_space + qMax(ph, GetMaxHeightByY(GetLastY()));
        } else {
            x = prev->GetEndX();
            y = prev->GetEndY();
        }
        // One move only: a picture wider than the line stays on its new line.
        if (x > info.width - info.edge_x - pw) {
            x = info.edge_x;
            y += qMax(fm.height(), GetMaxHeightByY(GetLastY()));
        }
    }

    m_iStartX = x;
    m_iStartY = y;
    m_iEndX = x + pw;
    m_iEndY = y;
    SetMaxHeightByY(m_iStartY, ph);
    info.height = GetMaxHeightByY(m_iStartY) + info.edge_y + m_iEndY;
}

void ImageElement::Draw(QPainter& painter, element_info_&)
{
    if (CanSkipDraw(painter))
        return;
    m_qEventRect.clear();
    painter.setFont(m_qFont);
    const int d = painter.fontMetrics().descent();
    const int ph = m_qPixmap.height();
    const int lineH = GetMaxHeightByY(m_iStartY);

    int top = m_iStartY - s_iScrollValueV;
    if (lineH > ph)
        top += (lineH - ph) / 2;
    if (DrawArea(painter).Reaches(top + d, top + d + ph - 1)) {
        const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QPixmap pixmap = PixmapFor(ratio);
        // Pixels of a sharper picture drawn into exactly the layout size.
        if (pixmap.devicePixelRatio() != 1.0)
            painter.drawPixmap(QRectF(m_iStartX, top + d, m_qPixmap.width(), ph), pixmap, QRectF(pixmap.rect()));
        else
            painter.drawPixmap(QPointF(m_iStartX, top + d), pixmap);
        if (GetSelectedFrom() < GetSelectedTo()) {
            // Tinted, so that the picture still shows through.
            QColor tint = SelectionBackground();
            tint.setAlpha(tint.alpha() / 2);
            painter.fillRect(QRect(m_iStartX, top + d, m_qPixmap.width(), ph), tint);
        }
    }
    // As tall as the line, from the picture's top down.
    m_qEventRect.append(QRect(m_iStartX, top + s_iScrollValueV + d, m_qPixmap.width(), qMax(lineH, ph)));
    SetPaintedRows(top + s_iScrollValueV + d, top + s_iScrollValueV + d + ph - 1);
}
