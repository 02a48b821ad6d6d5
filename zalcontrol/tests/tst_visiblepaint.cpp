// Painting only what can be seen: views of long histories that mix every
// element kind, rendered with everything drawn and with only what reaches the
// device, must give the same pictures, hit rectangles and hit tests.

#include "support.h"

#include <src/drawarea.h>

#include <QScrollBar>

#include <functional>

// Sanitizer builds record a stack for every allocation, which makes text
// drawing many times slower: there the tests walk the same histories in
// coarser steps.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZAL_SANITIZED
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZAL_SANITIZED
#endif

namespace {

#ifdef ZAL_SANITIZED
const int kCoarse = 5;
#else
const int kCoarse = 1;
#endif

const QSize kViewSize(260, 180);

QFont sans(int pixelSize, bool bold = false, bool underline = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

// A run in the given font; a default QFont leaves the view's font in force.
TextElement* text(const QString& content, bool lineBreak, QFont font = QFont())
{
    auto* e = new TextElement;
    e->SetFont(font);
    e->SetText(content);
    e->SetReturn(lineBreak);
    return e;
}

// Mouse-aware, so that hover and press show in text and background.
template <typename T>
T* live(T* element, int shade)
{
    element->SetEvent(true);
    setColors(element, {QColor(20, 20, 20), QColor(0, 0, 160), QColor(160, 0, 0)},
              {QColor(255, 255, 255, 0), QColor(255, 240, 150 + shade % 100), QColor(255, 180, 90)});
    return element;
}

ImageElement* picture(int w, int h, const QColor& color, bool lineBreak = false)
{
    auto* e = new ImageElement;
    QFont font = sans(13);
    e->SetFont(font);
    if (w > 0) {
        QPixmap pixmap = solidPixmap(w, h, color);
        e->SetPixmap(pixmap, 0, 0);
    }
    e->SetReturn(lineBreak);
    return e;
}

SpaceElement* gap(int space)
{
    auto* e = new SpaceElement;
    QFont font = sans(13);
    e->SetFont(font);
    e->SetSpace(space);
    return e;
}

// Plain and accented words, emoji (a joined family, a heart with a variation
// selector), Greek and Chinese.
QString sentence(int i)
{
    static const QStringList words = QStringLiteral(
        "hello caf\u00e9 \U0001F600 \u00c5ngstr\u00f6m stream \u65e5\u672c na\u00efve "
        "\U0001F468\u200D\U0001F469\u200D\U0001F467 \u0394\u03b5\u03bb\u03c4\u03b1 quiz \u2764\uFE0F gold")
                                         .split(QLatin1Char(' '));
    QString s;
    for (int k = 0; k < 6 + i % 17; ++k)
        s += words[(i * 7 + k * 5) % words.size()] + QLatin1Char(' ');
    return s;
}

// Element i of a long chat of every kind; the same i always gives the same
// element. Marks stacked two lines above their letter, a long run of many
// lines every 39 elements, pictures taller and shorter than the text beside
// them, boxes holding pictures, spacers, text and further boxes, fonts of
// several sizes, and the view's own font.
Element* historyElement(int i)
{
    const QFont body = sans(13);
    switch (i % 13) {
    case 0:
        return live(picture(24, 24, QColor::fromHsv(i * 37 % 360, 160, 200), true), i);
    case 1:
        return gap(6);
    case 2:
        return live(text(QStringLiteral("Sender %1").arg(i), false, sans(13, true)), i);
    case 3: {
        TextElement* e = text(sentence(i), true, body);
        e->SetIndentSpace(14);
        return i % 2 ? live(e, i) : e;
    }
    case 4:
        return text(QStringLiteral("Z") + QString(14, QChar(0x301)) + QStringLiteral("a") + QString(12, QChar(0x316))
                        + QStringLiteral("l\u0308\u0323 \u0e01\u0e34\u0e4c\nnext line"),
                    true, body);
    case 5: {
        QString content = i % 39 == 5 ? QString() : sentence(i + 3);
        for (int k = 0; content.size() < 420 && i % 39 == 5; ++k)
            content += sentence(k);
        return live(text(content, true), i);
    }
    case 6: // taller than the text it follows on the line: the text is centred
        return live(picture(40, 28 + i % 23, QColor::fromHsv(i * 53 % 360, 200, 180)), i);
    case 7: {
        auto* box = new ButtonElement;
        QFont font = body;
        box->SetFont(font);
        box->SetEdgeSpace(8, 4);
        box->SetIndentSpace(i % 2 * 10);
        setColors(box, {QColor(30, 40, 90), QColor(0, 0, 200), QColor(200, 0, 0)},
                  {QColor(220, 230, 250), QColor(200, 215, 245), QColor(170, 190, 235)});
        box->AddElement(picture(16, 16, Qt::darkGreen));
        box->AddElement(gap(5));
        box->AddElement(text(QStringLiteral("Join the quiz %1 \U0001F381").arg(i), false, body));
        auto* inner = new ButtonElement;
        inner->SetFont(font);
        mouse_color_ innerBack{QColor(250, 250, 255), QColor(240, 240, 255), QColor(225, 225, 250)};
        inner->SetEventBackground(innerBack);
        inner->AddElement(text(sentence(i), false, body));
        box->AddElement(inner);
        return box;
    }
    case 8:
        return live(text(QStringLiteral("inline "), true, body), i);
    case 9: // shorter than its line: centred, its hit rectangle as tall as the line
        return live(picture(10, 10, Qt::magenta), i);
    case 10:
        return text(QStringLiteral(" BIG \u00c9g"), false, sans(22));
    case 11:
        return text(QStringLiteral(" underlined\n"), false, sans(12, false, true));
    default: // no picture at all: takes no room and is never hit
        return live(picture(0, 0, Qt::black), i);
    }
}

// A shown view holding the first count elements of the history.
struct HistoryView : ShownView
{
    QList<Element*> elements;

    HistoryView(int count, int height = kViewSize.height(), int width = kViewSize.width())
        : ShownView(width, height)
    {
        view.SetEdgeSpace(8, 6);
        view.SetElementSpace(3);
        QColor background(250, 250, 245);
        view.SetBackground(background);
        for (int i = 0; i < count; ++i) {
            elements.append(historyElement(i));
            view.AddElement(elements.last());
        }
        view.GetVerticalScrollBar()->setValue(0);
        paint();
    }
};

// A mouse event straight to the view, so that no repaint runs in between.
void mouse(ZALChatView& view, QEvent::Type type, const QPoint& p)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, p, view.mapToGlobal(p), button, button, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

struct Render
{
    QImage image;
    QVector<QVector<QRect>> rects;
};

// What the view shows now and every element's rectangles, with everything
// drawn or only what reaches the widget.
Render render(ZALChatView& view, const QList<Element*>& elements, bool everything)
{
    DrawArea::SetDrawEverything(everything);
    Render r{view.grab().toImage(), {}};
    DrawArea::SetDrawEverything(false);
    for (const Element* e : elements)
        r.rects.append(e->GetEventRect());
    return r;
}

// Cursor shape and the index of the element a press reports, for a move and
// a press at points inside the widget and around it.
QVector<QPair<int, int>> hitTests(ZALChatView& view, const QList<Element*>& elements)
{
    QVector<QPair<int, int>> results;
    QSignalSpy spy(&view, &ZALChatView::sglElementPress);
    for (int y = -40; y < view.height() + 40; y += 6) {
        for (int x = 3; x < view.width(); x += 13) {
            mouse(view, QEvent::MouseMove, QPoint(x, y));
            mouse(view, QEvent::MouseButtonPress, QPoint(x, y));
            results.append({view.cursor().shape(), spy.isEmpty() ? -1 : elements.indexOf(pressed(spy))});
            spy.clear();
        }
    }
    return results;
}

// Reports the first pixel that differs.
bool sameImage(const QImage& a, const QImage& b, const QString& where)
{
    if (a.size() != b.size() || a == b)
        return a == b;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                qWarning("%s: pixel (%d, %d) is %08x instead of %08x", qPrintable(where), x, y, a.pixel(x, y),
                         b.pixel(x, y));
                return false;
            }
        }
    }
    return true;
}

void compare(const Render& partial, const Render& full, const QString& where)
{
    QVERIFY2(sameImage(partial.image, full.image, where), qPrintable(where));
    QVERIFY2(partial.rects == full.rects, qPrintable(where + QStringLiteral(": rectangles")));
    // Only spacers and elements without text or picture have none.
    const int empty = std::count_if(full.rects.begin(), full.rects.end(), [](auto& r) { return r.isEmpty(); });
    QVERIFY2(empty <= full.rects.size() / 4, qPrintable(where + QStringLiteral(": few rectangles")));
}

} // namespace

class TestVisiblePaint : public QObject
{
    Q_OBJECT

private slots:
    void init() { DrawArea::SetDrawEverything(false); }

    // At scroll positions all through a long history, with elements at the
    // edges hovered or pressed and now and then a relayout, the view paints
    // what drawing everything paints, every element (drawn or not) keeps the
    // rectangles drawing everything builds, and hit tests inside and around
    // the widget agree.
    void everyScrollPositionPaintsAsEverythingDrawn()
    {
        HistoryView v(180);
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        QVERIFY(bar->maximum() > 300); // many screens of history

        int positions = 0;
        int hovered = 0;
        int relayouts = 0;
        const int step = 11 * kCoarse;
        for (int value = 0; value <= bar->maximum() + step - 1; value += step, ++positions) {
            const int at = qMin(value, bar->maximum());
            // Now and then a relayout: every rectangle is built anew, most of
            // them without painting.
            if (positions % (9 / kCoarse + 1) == 1)
                v.view.resize(kViewSize.width() + (relayouts++ % 2 ? 0 : 3), kViewSize.height());
            bar->setValue(at);
            v.paint(); // a layout pass leaves no rectangles for the hit test
            // Over an element cut by the top or the bottom edge, now and then
            // pressed; the same again before drawing everything.
            const QPoint hover(20 + positions * 13 % 200, positions % 2 ? 1 : kViewSize.height() - 2);
            auto touch = [&] {
                mouse(v.view, QEvent::MouseMove, hover);
                if (positions % 3 == 0)
                    mouse(v.view, QEvent::MouseButtonPress, hover);
            };
            touch();
            hovered += v.view.cursor().shape() == Qt::PointingHandCursor;
            const QString where = QStringLiteral("scroll value %1").arg(at);
            const Render partial = render(v.view, v.elements, false);
            const bool hits = positions % (8 / kCoarse + 1) == 1;
            const QVector<QPair<int, int>> partialHits = hits ? hitTests(v.view, v.elements) : QVector<QPair<int, int>>();
            touch();
            compare(partial, render(v.view, v.elements, true), where);
            if (QTest::currentTestFailed())
                return;
            if (hits)
                QCOMPARE(partialHits, hitTests(v.view, v.elements));
        }
        QVERIFY(positions > 40 / kCoarse);
        QVERIFY(hovered > positions / 3);
    }

    // Every scroll step of a long history shows, row for row, the part of
    // one tall picture of the whole history with everything drawn.
    void everyScrollStepIsPartOfOneTallPicture()
    {
        HistoryView v(140);
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        // As wide as the scrolled view's content, left of its bar.
        const int width = kViewSize.width() - bar->width();
        HistoryView tall(140, bar->maximum() * 10 + kViewSize.height() + 10, width);
        tall.view.move(v.view.geometry().topRight() + QPoint(20, 0));
        QVERIFY(tall.view.GetVerticalScrollBar()->isHidden());
        DrawArea::SetDrawEverything(true);
        QImage whole(tall.view.size(), QImage::Format_ARGB32_Premultiplied);
        tall.view.render(&whole, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        DrawArea::SetDrawEverything(false);

        QImage shown(kViewSize, QImage::Format_ARGB32_Premultiplied);
        for (int value = 0; value <= bar->maximum(); value += kCoarse) {
            bar->setValue(value);
            v.view.render(&shown, QPoint(), QRegion(), QWidget::DrawWindowBackground);
            const QImage part = whole.copy(QRect(0, value * 10, width, kViewSize.height()));
            QVERIFY(sameImage(shown.copy(0, 0, width, kViewSize.height()), part, QStringLiteral("scroll value %1").arg(value)));
        }
    }

    // A host drawing the view on its own painter, moved, scaled or clipped,
    // sees what drawing everything gives; elements the device cannot show
    // leave the painter as they found it.
    void hostPaintersSeeEverythingTheyCanShow()
    {
        HistoryView v(100);
        TextElement* last = text(QStringLiteral("the very last line"), true);
        QColor unique(1, 2, 3);
        last->SetTextColor(unique);
        v.view.AddElement(last);
        v.paint();

        QColor pen;
        auto drawn = [&](bool everything, const std::function<void(QPainter&)>& setUp) {
            DrawArea::SetDrawEverything(everything);
            QImage image(kViewSize.width(), 400, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            setUp(painter);
            v.view.Draw(painter);
            pen = painter.pen().color();
            painter.end();
            DrawArea::SetDrawEverything(false);
            return image;
        };
        QList<QPair<QString, std::function<void(QPainter&)>>> painters = {
            {QStringLiteral("moved"), [](QPainter& p) { p.translate(0, -1234); }},
            {QStringLiteral("moved by a fraction"), [](QPainter& p) { p.translate(3.5, -801.5); }},
            {QStringLiteral("scaled"), [](QPainter& p) { p.scale(0.25, 0.25); }},
        };
        for (int top = 640; top < 760; top += 30) {
            painters.append({QStringLiteral("clipped to rows %1").arg(top), [top](QPainter& p) {
                                 p.translate(0, -600);
                                 p.setClipRect(QRect(0, top, 200, 6));
                             }});
        }
        for (const auto& entry : painters)
            QVERIFY(sameImage(drawn(false, entry.second), drawn(true, entry.second), entry.first));

        // At the top of the history the last line is far below the image.
        drawn(true, [](QPainter&) {});
        QCOMPARE(pen, unique);
        drawn(false, [](QPainter&) {});
        QVERIFY(pen != unique);
    }

    // A layout pass leaves no rectangle of the previous layout behind, even
    // when no paint follows it.
    void layoutPassLeavesNoOldRectangles()
    {
        HistoryView v(30);
        Element* target = v.elements[2];
        const QPoint on = screenCenter(target);
        QImage image(kViewSize, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        v.view.Layout(painter);
        painter.end();
        for (const Element* e : qAsConst(v.elements))
            QVERIFY(e->GetEventRect().isEmpty());
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        mouse(v.view, QEvent::MouseMove, on);
        mouse(v.view, QEvent::MouseButtonPress, on);
        QCOMPARE(spy.count(), 0);

        v.paint();
        mouse(v.view, QEvent::MouseMove, on);
        mouse(v.view, QEvent::MouseButtonPress, on);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(pressed(spy), target);
    }
};

QTEST_MAIN(TestVisiblePaint)
#include "tst_visiblepaint.moc"
