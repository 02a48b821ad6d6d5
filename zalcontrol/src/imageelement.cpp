#include "element.h"

#include "drawarea.h"

#include <QFontMetrics>
#include <QPainter>

ImageElement::ImageElement() = default;
ImageElement::ImageElement(const ImageElement& other) = default;
ImageElement& ImageElement::operator=(const ImageElement& other) = default;
ImageElement::~ImageElement() = default;

void ImageElement::SetPixmap(QPixmap& pixmap, int w, int h)
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
    if (w == 0 || h == 0)
        return;
    // Qt scales an empty target size (a negative side) to a null pixmap; a
    // null pixmap stays null without Qt's warning about scaling it.
    if (m_qPixmap.isNull() || w < 0 || h < 0) {
        m_qPixmap = QPixmap();
        return;
    }
    m_qPixmap = m_qPixmap.scaled(w, h, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
    if (DrawArea(painter).Reaches(top + d, top + d + ph - 1))
        painter.drawPixmap(QPointF(m_iStartX, top + d), m_qPixmap);
    // As tall as the line, from the picture's top down.
    m_qEventRect.append(QRect(m_iStartX, top + s_iScrollValueV + d, m_qPixmap.width(), qMax(lineH, ph)));
    SetPaintedRows(top + s_iScrollValueV + d, top + s_iScrollValueV + d + ph - 1);
}
