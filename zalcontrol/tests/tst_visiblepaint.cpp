// Painting only what can be seen: views of long histories that mix every
// element kind are rendered both ways, with everything drawn and with only
// what reaches the device, at many scroll positions, in hover and press
// colours, after relayouts and drops, side by side with a second view and
// through a host's own painters. Pictures, hit rectangles and hit tests must
// agree exactly.

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

QFont sans(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

template <typename T>
T* withFont(T* element, QFont font)
{
    element->SetFont(font);
    return element;
}

TextElement* text(const QString& content, bool lineBreak, const QFont* font = nullptr)
{
    auto* e = new TextElement;
    if (font) {
        QFont f = *font;
        e->SetFont(f);
    }
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

QString sentence(int i)
{
    // Plain and accented words, emoji (a joined family, a heart with a
    // variation selector), Greek and Chinese.
    static const QStringList words = {
        QStringLiteral("hello"),
        QStringLiteral("caf\u00e9"),
        QStringLiteral("\U0001F600"),
        QStringLiteral("\u00c5ngstr\u00f6m"),
        QStringLiteral("stream"),
        QStringLiteral("\u65e5\u672c"),
        QStringLiteral("na\u00efve"),
        QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"),
        QStringLiteral("\u0394\u03b5\u03bb\u03c4\u03b1"),
        QStringLiteral("quiz"),
        QStringLiteral("\u2764\uFE0F"),
        QStringLiteral("gold"),
    };
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
    const QFont big = sans(22);
    QFont underlined = sans(12);
    underlined.setUnderline(true);
    switch (i % 13) {
    case 0:
        return live(picture(24, 24, QColor::fromHsv(i * 37 % 360, 160, 200), true), i);
    case 1: {
        auto* gap = withFont(new SpaceElement, body);
        gap->SetSpace(6);
        return gap;
    }
    case 2: {
        const QFont bold = sans(13, true);
        return live(text(QStringLiteral("Sender %1").arg(i), false, &bold), i);
    }
    case 3: {
        TextElement* e = text(sentence(i), true, &body);
        e->SetIndentSpace(14);
        return i % 2 ? live(e, i) : e;
    }
    case 4: {
        // Marks stacked two lines high over a letter.
        const QString stacked = QStringLiteral("Z") + QString(14, QChar(0x301)) + QStringLiteral("a")
                                + QString(12, QChar(0x316)) + QStringLiteral("l\u0308\u0323 \u0e01\u0e34\u0e4c\nnext line");
        return text(stacked, true, &body);
    }
    case 5: {
        QString content = i % 39 == 5 ? QString() : sentence(i + 3);
        for (int k = 0; content.size() < 420 && i % 39 == 5; ++k)
            content += sentence(k);
        return live(text(content, true), i);
    }
    case 6:
        // Taller than the text it follows on the line: the text is centred.
        return live(picture(40, 28 + i % 23, QColor::fromHsv(i * 53 % 360, 200, 180)), i);
    case 7: {
        auto* box = withFont(new ButtonElement, body);
        box->SetEdgeSpace(8, 4);
        box->SetIndentSpace(i % 2 * 10);
        mouse_color_ back{QColor(220, 230, 250), QColor(200, 215, 245), QColor(170, 190, 235)};
        mouse_color_ ink{QColor(30, 40, 90), QColor(0, 0, 200), QColor(200, 0, 0)};
        box->SetEventBackground(back);
        box->SetEventTextColor(ink);
        box->AddElement(picture(16, 16, Qt::darkGreen));
        auto* gap = withFont(new SpaceElement, body);
        gap->SetSpace(5);
        box->AddElement(gap);
        box->AddElement(text(QStringLiteral("Join the quiz %1 \U0001F381").arg(i), false, &body));
        auto* inner = withFont(new ButtonElement, body);
        mouse_color_ innerBack{QColor(250, 250, 255), QColor(240, 240, 255), QColor(225, 225, 250)};
        inner->SetEventBackground(innerBack);
        inner->AddElement(text(sentence(i), false, &body));
        box->AddElement(inner);
        return box;
    }
    case 8:
        return live(text(QStringLiteral("inline "), true, &body), i);
    case 9:
        // Shorter than its line: centred, with a hit rectangle as tall as
        // the line.
        return live(picture(10, 10, Qt::magenta), i);
    case 10:
        return text(QStringLiteral(" BIG \u00c9g"), false, &big);
    case 11:
        return text(QStringLiteral(" underlined\n"), false, &underlined);
    default:
        // No picture at all: takes no room and is never hit.
        return live(picture(0, 0, Qt::black), i);
    }
}

// Element i of a history as long as a view keeps: every kind at both ends,
// where elements are dropped and appended, and short runs in between.
Element* fullHistoryElement(int i)
{
    if (i < 80 || i >= ZALChatView::MaxElements - 80)
        return historyElement(i);
    const QFont body = sans(13);
    return text(QString::number(i), i % 3 == 0, &body);
}

// A shown view of the test size holding elements first .. first + count - 1
// of a history, painted once.
struct HistoryView : ShownView
{
    QList<Element*> elements;

    HistoryView(int first, int count, Element* (*make)(int) = historyElement, int height = kViewSize.height())
        : ShownView(kViewSize.width(), height)
    {
        view.SetEdgeSpace(8, 6);
        view.SetElementSpace(3);
        QColor background(250, 250, 245);
        view.SetBackground(background);
        append(first, count, make);
        paint();
    }

    void append(int first, int count, Element* (*make)(int) = historyElement)
    {
        for (int i = first; i < first + count; ++i) {
            elements.append(make(i));
            view.AddElement(elements.last());
        }
    }
};

// Mouse events straight to the view, so that no repaint runs in between.
void moveTo(ZALChatView& view, const QPoint& p)
{
    QMouseEvent event(QEvent::MouseMove, p, view.mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

void press(ZALChatView& view, const QPoint& p)
{
    QMouseEvent event(QEvent::MouseButtonPress, p, view.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

struct Render
{
    QImage image;
    QVector<QVector<QRect>> rects;
    int withRects = 0;
};

// What the view shows now and the rectangles of every element, with
// everything drawn or only what reaches the widget.
Render render(ZALChatView& view, const QList<Element*>& elements, bool everything)
{
    DrawArea::SetDrawEverything(everything);
    Render r;
    r.image = view.grab().toImage();
    DrawArea::SetDrawEverything(false);
    for (const Element* e : elements) {
        r.rects.append(e->GetEventRect());
        r.withRects += !r.rects.last().isEmpty();
    }
    return r;
}

// Cursor shape and the index of the element reported by a press, for a
// move and a press at each point, inside the widget and around it.
QVector<QPair<int, int>> hitTests(ZALChatView& view, const QList<Element*>& elements)
{
    QVector<QPair<int, int>> results;
    QSignalSpy spy(&view, &ZALChatView::sglElementPress);
    const int w = view.width();
    const int h = view.height();
    for (int y = -40; y < h + 40; y += 6) {
        for (int x = 3; x < w; x += 13) {
            const QPoint p(x, y);
            moveTo(view, p);
            press(view, p);
            int pressed = -1;
            if (!spy.isEmpty())
                pressed = elements.indexOf(spy.takeFirst().at(0).value<Element*>());
            results.append({view.cursor().shape(), pressed});
        }
    }
    return results;
}

// Fails with the first pixel that differs.
bool sameImage(const QImage& a, const QImage& b, const QString& where)
{
    if (a == b)
        return true;
    if (a.size() != b.size()) {
        qWarning("%s: sizes differ", qPrintable(where));
        return false;
    }
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
    for (int i = 0; i < partial.rects.size(); ++i)
        QVERIFY2(partial.rects[i] == full.rects[i], qPrintable(where + QStringLiteral(": rectangles of element %1").arg(i)));
    // Only spacers and elements without text or picture have none.
    QVERIFY2(full.withRects >= full.rects.size() * 3 / 4, qPrintable(where + QStringLiteral(": few rectangles")));
}

// Renders the view both ways at its current state and compares.
void compareBothWays(ZALChatView& view, const QList<Element*>& elements, const QString& where)
{
    const Render partial = render(view, elements, false);
    const Render full = render(view, elements, true);
    compare(partial, full, where);
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
        HistoryView v(0, 180);
        const QList<Element*>& elements = v.elements;
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        QVERIFY(bar->maximum() > 300); // many screens of history

        int positions = 0;
        int hovered = 0;
        int relayouts = 0;
        const int step = 11 * kCoarse;
        for (int value = 0; value <= bar->maximum() + step - 1; value += step, ++positions) {
            const int at = qMin(value, bar->maximum());
            if (positions % (9 / kCoarse + 1) == 1) {
                // A relayout: every rectangle is built anew, most of them
                // without painting.
                v.view.resize(kViewSize.width() + (relayouts++ % 2 ? 0 : 3), kViewSize.height());
            }
            bar->setValue(at);
            // Over an element cut by the top or the bottom edge, now and then
            // pressed.
            const QPoint hover(20 + positions * 13 % 200, positions % 2 ? 1 : kViewSize.height() - 2);
            moveTo(v.view, hover);
            hovered += v.view.cursor().shape() == Qt::PointingHandCursor;
            if (positions % 3 == 0)
                press(v.view, hover);
            const QString where = QStringLiteral("scroll value %1").arg(at);
            const Render partial = render(v.view, elements, false);
            QVector<QPair<int, int>> partialHits;
            const bool hits = positions % (8 / kCoarse + 1) == 1;
            if (hits)
                partialHits = hitTests(v.view, elements);

            moveTo(v.view, hover);
            if (positions % 3 == 0)
                press(v.view, hover);
            const Render full = render(v.view, elements, true);
            compare(partial, full, where);
            if (QTest::currentTestFailed())
                return;
            if (hits) {
                const QVector<QPair<int, int>> fullHits = hitTests(v.view, elements);
                QCOMPARE(partialHits, fullHits);
            }
        }
        QVERIFY(positions > 40 / kCoarse);
        QVERIFY(hovered > positions / 3);
    }

    // Every scroll step of a long history shows, row for row, the part of
    // one tall picture of the whole history with everything drawn.
    void everyScrollStepIsPartOfOneTallPicture()
    {
        HistoryView v(0, 140);
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        const int contentHeight = bar->maximum() * 10 + kViewSize.height();

        HistoryView tall(0, 140, historyElement, contentHeight + 10);
        tall.view.move(v.view.geometry().topRight() + QPoint(20, 0));
        DrawArea::SetDrawEverything(true);
        QImage whole(tall.view.size(), QImage::Format_ARGB32_Premultiplied);
        tall.view.render(&whole, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        DrawArea::SetDrawEverything(false);
        QVERIFY(tall.view.GetVerticalScrollBar()->isHidden());

        QImage shown(kViewSize, QImage::Format_ARGB32_Premultiplied);
        for (int value = 0; value <= bar->maximum(); value += kCoarse) {
            bar->setValue(value);
            v.view.render(&shown, QPoint(), QRegion(), QWidget::DrawWindowBackground);
            const QImage part = whole.copy(QRect(QPoint(0, value * 10), kViewSize));
            QVERIFY(sameImage(shown, part, QStringLiteral("scroll value %1").arg(value)));
        }
    }

    // Appending, dropping the oldest beyond the limit and resizing leave the
    // same layout as a fresh view holding the same elements, and the same
    // picture.
    void layoutAfterAppendsDropsAndResizesMatchesAFreshView()
    {
        const int dropped = 7;
        const int total = ZALChatView::MaxElements;
        HistoryView grown(0, total - 40, fullHistoryElement);
        grown.view.resize(300, kViewSize.height());
        grown.paint();
        for (int i = total - 40; i < total + dropped; ++i) {
            grown.append(i, 1, fullHistoryElement);
            if (i % 9 == 0)
                grown.paint();
        }
        const QList<Element*> elements = grown.elements.mid(dropped);
        grown.view.resize(kViewSize);
        grown.paint();

        HistoryView fresh(dropped, total, fullHistoryElement);
        const QList<Element*>& freshElements = fresh.elements;

        QScrollBar* grownBar = grown.view.GetVerticalScrollBar();
        QScrollBar* freshBar = fresh.view.GetVerticalScrollBar();
        QCOMPARE(grownBar->maximum(), freshBar->maximum());
        for (int value : {0, freshBar->maximum() / 3, freshBar->maximum()}) {
            grownBar->setValue(value);
            freshBar->setValue(value);
            const Render a = render(grown.view, elements, false);
            const Render b = render(fresh.view, freshElements, false);
            QVERIFY(sameImage(a.image, b.image, QStringLiteral("scroll value %1").arg(value)));
            for (int i = 0; i < total; ++i) {
                QCOMPARE(elements[i]->GetStartX(), freshElements[i]->GetStartX());
                QCOMPARE(elements[i]->GetStartY(), freshElements[i]->GetStartY());
                QCOMPARE(elements[i]->GetEndX(), freshElements[i]->GetEndX());
                QCOMPARE(elements[i]->GetEndY(), freshElements[i]->GetEndY());
                QCOMPARE(a.rects[i], b.rects[i]);
            }
        }
    }

    // Two views scrolled and laid out at different times: each paints as it
    // would with everything drawn, whatever the other did in between.
    void twoViewsStayIndependent()
    {
        HistoryView a(0, 90);
        HistoryView b(50, 90);
        b.view.move(a.view.geometry().topRight() + QPoint(20, 0));
        b.view.resize(kViewSize.width() + 40, kViewSize.height());
        b.paint();
        QScrollBar* barA = a.view.GetVerticalScrollBar();
        QScrollBar* barB = b.view.GetVerticalScrollBar();

        for (int step = 0; step < 12; step += kCoarse) {
            barA->setValue(barA->maximum() * step / 11);
            barB->setValue(barB->maximum() * (11 - step) / 11);
            if (step % 2 == 1)
                a.view.resize(kViewSize.width() - step, kViewSize.height()); // A lays out again
            a.paint();
            b.paint();
            compareBothWays(b.view, b.elements, QStringLiteral("view B, step %1").arg(step));
            compareBothWays(a.view, a.elements, QStringLiteral("view A, step %1").arg(step));
            if (QTest::currentTestFailed())
                return;
        }
    }

    // A host drawing the view on its own painter: moved, scaled and
    // clipped, it sees what drawing everything gives; elements the device
    // cannot show leave the painter as they found it.
    void hostPaintersSeeEverythingTheyCanShow()
    {
        HistoryView v(0, 100);
        TextElement* last = text(QStringLiteral("the very last line"), true);
        QColor unique(1, 2, 3);
        last->SetTextColor(unique);
        v.view.AddElement(last);
        v.paint();

        auto drawn = [&](bool everything, const std::function<void(QPainter&)>& setUp, QColor* pen = nullptr) {
            DrawArea::SetDrawEverything(everything);
            QImage image(kViewSize.width(), 400, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            setUp(painter);
            v.view.Draw(painter);
            if (pen)
                *pen = painter.pen().color();
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
        QColor partialPen;
        QColor fullPen;
        drawn(false, [](QPainter&) {}, &partialPen);
        drawn(true, [](QPainter&) {}, &fullPen);
        QCOMPARE(fullPen, unique);
        QVERIFY(partialPen != unique);
    }

    // A layout pass leaves no rectangle of the previous layout behind, even
    // when no paint follows it.
    void layoutPassLeavesNoOldRectangles()
    {
        HistoryView v(0, 30);
        Element* target = v.elements[2];
        const QPoint on = screenCenter(target);
        QCOMPARE(static_cast<const Element*>(target)->GetEventRect().isEmpty(), false);

        QImage image(kViewSize, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        v.view.Layout(painter);
        painter.end();
        for (const Element* e : qAsConst(v.elements))
            QVERIFY(e->GetEventRect().isEmpty());
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        moveTo(v.view, on);
        press(v.view, on);
        QCOMPARE(spy.count(), 0);

        v.paint();
        moveTo(v.view, on);
        press(v.view, on);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Element*>(), target);
    }
};

QTEST_MAIN(TestVisiblePaint)
#include "tst_visiblepaint.moc"
