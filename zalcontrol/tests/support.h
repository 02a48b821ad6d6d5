#pragma once

#include <chatview.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtTest>

// The library leaves the pointer type of its press signal unregistered;
// QSignalSpy needs it.
Q_DECLARE_METATYPE(Element*)

// A monospaced font whose metrics the tests read back instead of assuming.
inline QFont monoFont(int pixelSize = 13)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(pixelSize);
    return font;
}

inline QFontMetrics monoMetrics(int pixelSize = 13)
{
    return QFontMetrics(monoFont(pixelSize));
}

// The mono font's cell: every character w wide, lines h high, descent d.
struct MonoCell
{
    QFontMetrics fm = monoMetrics();
    int h = fm.height();
    int d = fm.descent();
    int w = fm.horizontalAdvance(QLatin1Char('a'));
};

// Number of fixed-width characters that fit on a line before the margin rule
// breaks it: the break comes after the first character that ends beyond
// width - lineStart - w.
inline int charsPerLine(int width, int lineStart, int w)
{
    int n = 1;
    while (lineStart + n * w <= width - lineStart - w)
        ++n;
    return n;
}

// A text run in the mono font with visible colours.
inline TextElement* makeText(const QString& text, int pixelSize = 13)
{
    auto* element = new TextElement;
    QFont font = monoFont(pixelSize);
    element->SetFont(font);
    element->SetText(text);
    return element;
}

inline QPixmap solidPixmap(int w, int h, const QColor& color)
{
    QPixmap pixmap(w, h);
    pixmap.fill(color);
    return pixmap;
}

// A picture of one colour at its own size, in the mono font (whose descent
// moves it down when drawn).
inline ImageElement* makeImage(int w, int h, const QColor& color = Qt::yellow)
{
    auto* element = new ImageElement;
    QFont font = monoFont();
    element->SetFont(font);
    QPixmap pixmap = solidPixmap(w, h, color);
    element->SetPixmap(pixmap, 0, 0);
    return element;
}

inline void setColors(Element* element, const mouse_color_& text, const mouse_color_& back)
{
    mouse_color_ t = text;
    mouse_color_ b = back;
    element->SetEventTextColor(t);
    element->SetEventBackground(b);
}

// Lays out a list of elements the way a view does, on an image painter, and
// draws them; returns the layout context the last element left behind.
struct ListPass
{
    element_info_ info{0, 0, 0, 0, 0};
    QImage image;

    ListPass(int width, int edgeX, int edgeY, int elementSpace = 0)
        : image(width, 400, QImage::Format_ARGB32_Premultiplied)
    {
        info = {width, edgeY, edgeY, edgeX, elementSpace};
        image.fill(Qt::black);
    }

    void run(const QList<Element*>& elements)
    {
        QPainter painter(&image);
        Element::ClearMaxHeightByY();
        const Element* prev = nullptr;
        for (Element* element : elements) {
            element->Layout(painter, info, prev);
            prev = element;
        }
        for (Element* element : elements)
            element->Draw(painter, info);
    }
};

// A shown view of the given size, already painted once.
struct ShownView
{
    ZALChatView view;

    explicit ShownView(int width = 200, int height = 100)
    {
        qRegisterMetaType<Element*>(); // for QSignalSpy on the press signal
        view.resize(width, height);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("view was not exposed");
        paint();
    }

    void paint() { view.repaint(); }

    QImage grab() { return view.grab().toImage(); }

    void move(const QPoint& pos) { QTest::mouseMove(&view, pos); }
    void press(const QPoint& pos, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(&view, b, {}, pos); }
    void release(const QPoint& pos, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(&view, b, {}, pos); }
    void click(const QPoint& pos, Qt::MouseButton b = Qt::LeftButton)
    {
        press(pos, b);
        release(pos, b);
    }

    void wheel(int delta, const QPoint& pos = QPoint(5, 5))
    {
        QWheelEvent event(QPointF(pos), QPointF(view.mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    }
};

// Screen position of the centre of an element's i-th hit rectangle.
inline QPoint screenCenter(Element* element, int i = 0)
{
    const QPoint c = element->GetEventRect().at(i).center();
    return QPoint(c.x(), c.y() - Element::s_iScrollValueV);
}
