// The chat view: layout and scroll range, wheel steps, hit testing, mouse
// colours and the press signal, relayouts, the element limit, and several
// views in one process.

#include "support.h"

#include <QScrollBar>

namespace {

const QRgb kNormal = qRgb(255, 0, 0);
const QRgb kHover = qRgb(0, 255, 0);
const QRgb kPress = qRgb(0, 0, 255);

// A mouse-aware run whose background shows its mouse state.
TextElement* makeLive(const QString& text, bool lineBreak = false)
{
    TextElement* e = makeText(text);
    e->SetEvent(true);
    e->SetReturn(lineBreak);
    setColors(e, {Qt::white, Qt::white, Qt::white}, {QColor(kNormal), QColor(kHover), QColor(kPress)});
    return e;
}

// Background colour of an element's first cell as the view shows it now.
QRgb shownState(ShownView& v, Element* e)
{
    return v.grab().pixel(screenCenter(e).x(), e->GetEventRect().first().top() - Element::s_iScrollValueV);
}

int deleted = 0;

class TrackedText : public TextElement
{
public:
    ~TrackedText() override { ++deleted; }
};

} // namespace

class TestChatView : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    // A run, a taller picture on the same line, then a run with the
    // line-break flag: where each lands, how the run is centred against the
    // picture, and the content bottom that decides the scroll range, which
    // the wheel cannot pass.
    void workedExampleAndScrollRange_data()
    {
        QTest::addColumn<int>("overflow");
        QTest::addColumn<int>("maximum"); // -1: the bar is hidden
        QTest::newRow("equal height") << 0 << -1;
        QTest::newRow("below one step") << 7 << 0;
        QTest::newRow("25 pixels") << 25 << 2;
    }
    void workedExampleAndScrollRange()
    {
        QFETCH(int, overflow);
        QFETCH(int, maximum);
        const int P = 24; // the picture's height, taller than the text
        QVERIFY(P > h);
        const int y3 = 5 + 4 + P;
        TextElement* first = makeText(QStringLiteral("ab"));
        ImageElement* picture = makeImage(30, P, Qt::yellow);
        TextElement* last = makeText(QStringLiteral("cd"));
        last->SetReturn(true);
        ShownView v(200, d + h + 5 + y3 - overflow);
        for (Element* e : QList<Element*>{first, picture, last})
            v.view.AddElement(e);
        QColor black(Qt::black);
        v.view.SetBackground(black);
        v.view.SetEdgeSpace(10, 5);
        v.view.SetElementSpace(4);
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        bar->setValue(1); // from an earlier position
        v.paint();

        const int offset = (P - h) / 2;
        QCOMPARE(first->GetEventRect(),
                 QVector<QRect>({QRect(10, 5 + offset + d, w, h), QRect(10 + w, 5 + offset + d, w, h)}));
        QCOMPARE(picture->GetEndX(), 10 + 2 * w + 30);
        QCOMPARE(picture->GetEventRect(), QVector<QRect>({QRect(10 + 2 * w, 5 + d, 30, P)}));
        QCOMPARE(last->GetEventRect().first(), QRect(10, y3 + d, w, h));
        QCOMPARE(last->GetEndX(), 10 + 2 * w);

        QCOMPARE(bar->isHidden(), maximum < 0);
        if (maximum < 0) {
            QCOMPARE(bar->value(), 0);
            QCOMPARE(Element::s_iScrollValueV, 0);
            // The picture is on screen exactly where its rectangle says.
            const QImage image = v.grab();
            const QPoint corner(10 + 2 * w, 5 + d);
            QCOMPARE(image.pixel(corner), qRgb(255, 255, 0));
            QCOMPARE(image.pixel(corner + QPoint(29, P - 1)), qRgb(255, 255, 0));
            QCOMPARE(image.pixel(corner - QPoint(0, 1)), kBlack);
            QCOMPARE(image.pixel(corner + QPoint(30, 0)), kBlack);
            return;
        }
        QCOMPARE(bar->maximum(), maximum);
        for (int i = 0; i < 5; ++i)
            v.wheel(-120);
        QCOMPARE(bar->value(), maximum);
        QCOMPARE(Element::s_iScrollValueV, 10 * maximum);
    }

    // One step per wheel event whatever its size, never past the top, and a
    // hit test of the point afterwards; with the bar hidden, nothing at all.
    void wheelStepsAndHitTests()
    {
        QList<Element*> lines{makeLive(QStringLiteral("line 0"))};
        ShownView v(200, 60, lines);
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        QVERIFY(bar->isHidden());
        v.move(screenCenter(lines[0]));
        v.wheel(-120, QPoint(150, 50)); // had it run, the hit test would reset the cursor
        QCOMPARE(v.cursor(), Qt::PointingHandCursor);
        QCOMPARE(Element::s_iScrollValueV, 0);

        for (int i = 1; i < 20; ++i) {
            lines.append(makeLive(QStringLiteral("line %1").arg(i), true));
            v.view.AddElement(lines.last());
        }
        v.paint();
        QVERIFY(!bar->isHidden());
        v.move(QPoint(150, 50));
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
        v.wheel(120, screenCenter(lines[0]));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(v.cursor(), Qt::PointingHandCursor);

        v.wheel(-1200);
        QCOMPARE(bar->value(), 1);
        QCOMPARE(Element::s_iScrollValueV, 10);
        v.wheel(0);
        QCOMPARE(bar->value(), 2);
        v.wheel(240);
        QCOMPARE(bar->value(), 1);
    }

    // Hover, press and release colours, the cursor, and one press signal per
    // press naming the element hit; rectangle edges count as inside, the
    // earlier of two overlapping elements wins, and an element with events
    // off is never hit.
    void mouseOverElements()
    {
        TextElement* e = makeLive(QStringLiteral("name"));
        TextElement* other = makeLive(QStringLiteral("other"), true);
        TextElement* deaf = makeText(QStringLiteral("c"));
        ShownView v(200, 100, {e, other, deaf});
        QCOMPARE(shownState(v, e), kNormal);

        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        const QPoint on = screenCenter(e, 1);
        v.move(on);
        QCOMPARE(shownState(v, e), kHover);
        QCOMPARE(v.cursor(), Qt::PointingHandCursor);
        v.press(on);
        QCOMPARE(shownState(v, e), kPress);
        QCOMPARE(shownState(v, other), kNormal);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(pressed(spy), e);
        // Moving within the element while the button is held shows hover.
        v.move(screenCenter(e, 2));
        QCOMPARE(shownState(v, e), kHover);
        v.release(screenCenter(e, 2));
        QCOMPARE(shownState(v, e), kHover);
        QCOMPARE(spy.count(), 1);
        // Any button presses; moving away returns to normal.
        v.click(screenCenter(e, 2), Qt::RightButton);
        QCOMPARE(spy.count(), 2);
        v.move(screenCenter(other));
        QCOMPARE(shownState(v, e), kNormal);
        QCOMPARE(shownState(v, other), kHover);
        v.move(QPoint(195, 95));
        QCOMPARE(shownState(v, other), kNormal);
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
        v.click(QPoint(195, 95));
        QCOMPARE(spy.count(), 2);

        const QRect cell = e->GetEventRect().last();
        for (const QPoint& p : {cell.topLeft(), cell.bottomRight(), cell.topRight(), cell.bottomLeft()}) {
            v.move(p);
            QCOMPARE(v.cursor(), Qt::PointingHandCursor);
        }
        v.move(cell.topRight() + QPoint(1, 0));
        QCOMPARE(v.cursor(), Qt::ArrowCursor);

        other->GetEventRect() = e->GetEventRect();
        v.move(cell.center());
        v.click(cell.center());
        QCOMPARE(spy.count(), 3);
        QCOMPARE(pressed(spy, 2), e);
        QCOMPARE(shownState(v, other), kNormal);

        v.move(screenCenter(deaf));
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
        v.click(screenCenter(deaf));
        QCOMPARE(spy.count(), 3);
    }

    // Spacing setters and a resize lay the view out again, at the next paint.
    void spacingAndResizeRelayout()
    {
        TextElement* first = makeText(QString(20, QLatin1Char('z')));
        first->SetIndentSpace(3);
        TextElement* next = makeText(QStringLiteral("cd"));
        next->SetReturn(true);
        ShownView v(100, 100, {first, next});
        QCOMPARE(first->GetEventRect().first().topLeft(), QPoint(3, d));

        v.view.SetEdgeSpace(8, 4);
        v.paint();
        QCOMPARE(first->GetEventRect().first().topLeft(), QPoint(8 + 3, 4 + d));
        v.view.SetElementSpace(6);
        v.paint();
        QCOMPARE(QPoint(next->GetStartX(), next->GetStartY()), QPoint(8, first->GetEndY() + 6 + h));

        const int wrappedTop = first->GetEventRect().last().top();
        QVERIFY(wrappedTop > 4 + d);
        v.view.resize(400, 100);
        QCOMPARE(first->GetEventRect().last().top(), wrappedTop); // not before the paint
        v.paint();
        QCOMPARE(first->GetEventRect().last().top(), 4 + d);
        QCOMPARE(first->GetEndX(), 8 + 3 + 20 * w);
    }

    // The 1501st element drops the oldest, here the one under the mouse: a
    // press right afterwards (no move, so no new hit test) must neither touch
    // it nor report anything, and the rest move up in order.
    void the1501stElementDropsTheOldest()
    {
        deleted = 0;
        auto* oldest = withMono(new TrackedText);
        oldest->SetText(QStringLiteral("first"));
        oldest->SetEvent(true);
        ShownView v(200, 100, {oldest});
        const QPoint on = screenCenter(oldest);
        v.move(on);
        QCOMPARE(v.cursor(), Qt::PointingHandCursor);

        QList<Element*> added;
        for (int i = 1; i <= ZALChatView::MaxElements; ++i) {
            QCOMPARE(deleted, 0);
            added.append(makeText(QString::number(i)));
            added.last()->SetReturn(true);
            v.view.AddElement(added.last());
        }
        QCOMPARE(deleted, 1);
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        v.click(on);
        QCOMPARE(spy.count(), 0);

        v.paint();
        QCOMPARE(added[0]->GetStartY(), 0);
        QCOMPARE(added[1]->GetStartY(), h);
        QCOMPARE(added.last()->GetStartY(), (ZALChatView::MaxElements - 1) * h);
        QCOMPARE(v.view.GetVerticalScrollBar()->maximum(), ((ZALChatView::MaxElements - 1) * h + h + d - 100) / 10);
    }

    // Two views scrolled differently paint and react as each would alone.
    void viewsKeepTheirOwnLinesAndScrollOffsets()
    {
        auto fill = [](ShownView& v, int tallSize, int scroll) {
            QList<Element*> rows;
            for (int i = 0; i < 12; ++i) {
                rows.append(makeLive(QStringLiteral("row%1").arg(i), true));
                v.view.AddElement(rows.last());
                v.view.AddElement(makeText(QStringLiteral("T"), tallSize)); // a taller neighbour
            }
            v.paint();
            v.view.GetVerticalScrollBar()->setValue(scroll);
            return rows;
        };
        ShownView a(160, 90);
        const QList<Element*> rowsA = fill(a, 22, 3);
        const QImage aloneA = a.grab();
        ShownView b(160, 90);
        b.view.move(a.view.geometry().topRight() + QPoint(20, 0)); // side by side
        const QList<Element*> rowsB = fill(b, 30, 7);
        const QImage aloneB = b.grab();
        QCOMPARE(a.grab(), aloneA);
        QCOMPARE(b.grab(), aloneB);
        a.view.resize(160, 91); // A lays out again, B must not notice
        a.paint();
        QCOMPARE(b.grab(), aloneB);

        // Each view hit-tests with its own offset.
        QSignalSpy spyA(&a.view, &ZALChatView::sglElementPress);
        QSignalSpy spyB(&b.view, &ZALChatView::sglElementPress);
        const QPoint pA = rowsA[3]->GetEventRect().first().center() - QPoint(0, 30);
        const QPoint pB = rowsB[3]->GetEventRect().first().center() - QPoint(0, 70);
        a.move(pA);
        a.click(pA);
        b.move(pB);
        b.click(pB);
        QCOMPARE(spyA.count(), 1);
        QCOMPARE(spyB.count(), 1);
        QCOMPARE(pressed(spyA), rowsA[3]);
        QCOMPARE(pressed(spyB), rowsB[3]);
    }
};

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
