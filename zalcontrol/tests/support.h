#pragma once

#include <chatview.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QtTest>

// Margins of the lists laid out without a view.
const int kEdgeX = 10;
const int kEdgeY = 5;
const QRgb kBlack = qRgb(0, 0, 0);

inline QFont sansFont(int pixelSize = 16, bool bold = false, bool underline = false, const char* family = "DejaVu Sans")
{
    QFont font{QString::fromLatin1(family)};
    font.setPixelSize(pixelSize), font.setBold(bold), font.setUnderline(underline);
    return font;
}
inline QFont monoFont(int pixelSize = 13) { return sansFont(pixelSize, false, false, "DejaVu Sans Mono"); }

// The mono font's cell: every character w wide, lines h high.
struct MonoCell
{
    QFontMetrics fm{monoFont()};
    int h = fm.height();
    int d = fm.descent();
    int w = fm.horizontalAdvance(QLatin1Char('a'));
};

// Fixed-width characters on a line: it breaks after the first ending beyond width - lineStart - w.
inline int charsPerLine(int width, int lineStart, int w) { return qMax(1, (width - 2 * lineStart) / w); }

template <typename T>
T* withMono(T* element, int pixelSize = 13)
{
    element->SetFont(monoFont(pixelSize));
    return element;
}

template <typename T = TextElement>
T* makeText(const QString& text, bool lineBreak = false, const QFont& font = monoFont())
{
    auto* element = new T;
    element->SetFont(font);
    element->SetText(text);
    element->SetReturn(lineBreak);
    return element;
}

// A host's own kind of element (so the view cannot just move it), counting its deletions.
inline int g_deleted = 0;
struct HostText : TextElement
{
    ~HostText() override { ++g_deleted; }
};

// A host's run on a line of its own.
inline HostText* hostText(const QString& text) { return makeText<HostText>(text, true); }

inline QPixmap solidPixmap(int w, int h, const QColor& color)
{
    QPixmap pixmap(w, h);
    pixmap.fill(color);
    return pixmap;
}

// A one-colour picture in the mono font (whose descent moves it down).
inline ImageElement* makeImage(int w, int h, const QColor& color = Qt::yellow)
{
    auto* element = withMono(new ImageElement);
    element->SetPixmap(solidPixmap(w, h, color), 0, 0);
    return element;
}

inline Element* makeGap(int space)
{
    auto* gap = withMono(new SpaceElement);
    gap->SetSpace(space);
    return gap;
}

// A box (its edge spaces default to a new box's) holding the children.
inline ButtonElement* makeBox(const QList<Element*>& children, int edgeX = 0, int edgeY = 1)
{
    auto* box = withMono(new ButtonElement);
    box->SetEdgeSpace(edgeX, edgeY);
    for (Element* child : children)
        box->AddElement(child);
    return box;
}

inline void setColors(Element* element, mouse_color_ text, mouse_color_ back)
{
    element->SetEventTextColor(text);
    element->SetEventBackground(back);
}

// Owns a list of elements and lays it out and draws it on a black image as a view does.
struct ListPass
{
    QList<Element*> elements;
    element_info_ info;
    QImage image;

    explicit ListPass(const QList<Element*>& list, int width = 200, int edgeX = kEdgeX, int edgeY = kEdgeY,
                      int elementSpace = 0)
        : elements(list)
        , info{width, edgeY, edgeY, edgeX, elementSpace}
        , image(width, 400, QImage::Format_ARGB32_Premultiplied)
    {
        run();
    }
    ~ListPass() { qDeleteAll(elements); }

    void run()
    {
        info.height = info.edge_y;
        image.fill(Qt::black);
        QPainter painter(&image);
        Element::ClearMaxHeightByY();
        const Element* prev = nullptr;
        for (Element* element : qAsConst(elements)) {
            element->Layout(painter, info, prev);
            prev = element;
        }
        for (Element* element : qAsConst(elements))
            element->Draw(painter, info);
    }
};

// A shown view of the given size holding the given elements, painted once.
struct ShownView
{
    ZALChatView view;

    explicit ShownView(int width = 200, int height = 100, const QList<Element*>& elements = {})
    {
        view.resize(width, height);
        for (Element* element : elements)
            view.AddElement(element);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("view was not exposed");
        paint();
    }

    void paint() { view.repaint(); }
    QImage grab() { return view.grab().toImage(); }
    Qt::CursorShape cursor() const { return view.cursor().shape(); }
    QScrollBar* bar() { return view.GetVerticalScrollBar(); }
    QString selected() const { return view.SelectedText(); }

    void move(const QPoint& pos) { QTest::mouseMove(&view, pos); }
    void press(const QPoint& pos) { QTest::mousePress(&view, Qt::LeftButton, {}, pos); }
    void release(const QPoint& pos) { QTest::mouseRelease(&view, Qt::LeftButton, {}, pos); }
    void click(const QPoint& pos) { press(pos), release(pos); }
    void hoverClick(const QPoint& pos) { move(pos), click(pos); }
    void drag(const QPoint& from, const QPoint& to)
    {
        press(from);
        move((from + to) / 2);
        move(to);
        release(to);
    }

    // A vertical wheel turn, or a platform's pixel delta.
    void wheel(int delta, const QPoint& pos = QPoint(5, 5), bool pixels = false)
    {
        QWheelEvent event(QPointF(pos), QPointF(view.mapToGlobal(pos)), QPoint(0, pixels ? delta : 0),
                          QPoint(0, pixels ? delta / 10 : delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&view, &event);
    }
};

// A mouse event straight to the view, so that no repaint runs in between.
inline void mouse(ZALChatView& view, QEvent::Type type, const QPoint& p)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, p, view.mapToGlobal(p), button, button, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

// Move, press and release straight to the view.
inline void mouseClick(ZALChatView& view, const QPoint& p)
{
    for (QEvent::Type type : {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        mouse(view, type, p);
}

inline Element* pressed(const QSignalSpy& spy, int i = 0) { return spy.at(i).at(0).value<Element*>(); }

// Screen position of the centre of an element's i-th hit rectangle.
inline QPoint screenCenter(const Element* element, int i = 0)
{
    const QPoint c = element->GetEventRect().at(i).center();
    return QPoint(c.x(), c.y() - Element::s_iScrollValueV);
}
