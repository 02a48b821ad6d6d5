// The chat view: scroll range, following new elements and keeping the
// reader's place, keyboard and wheel, the layout width beside the bar,
// relayouts, hit testing, mouse colours and what they repaint, the element
// limit, and several views in one process.

#include "support.h"

#include <QScrollBar>

#include <functional>

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
QRgb shownState(ShownView& v, const Element* e)
{
    return v.grab().pixel(screenCenter(e).x(), e->GetEventRect().first().top() - Element::s_iScrollValueV);
}

// Adds count lines of their own, 17 pixels each; returns the last.
Element* addLines(ZALChatView& view, int count, int from = 0)
{
    Element* e = nullptr;
    for (int i = from; i < from + count; ++i)
        view.AddElement(e = makeLive(QStringLiteral("line %1").arg(i), true));
    return e;
}

// The region of the paints a view received since the last take().
struct PaintSpy : QObject
{
    QRegion painted;
    explicit PaintSpy(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion take()
    {
        QCoreApplication::processEvents();
        return std::exchange(painted, QRegion());
    }
};

// A direct event, so that no paint runs in between.
void send(ZALChatView& view, QEvent::Type type, const QPoint& p)
{
    QMouseEvent event(type, p, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(&view, &event);
}

int deleted = 0;

class TrackedText : public TextElement
{
public:
    ~TrackedText() override { ++deleted; }
};

using Change = std::function<void(QList<Element*>&, ZALChatView&)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestChatView : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // At the bottom the view follows one or a burst of new elements, below
    // and at the limit, right after AddElement. Scrolled up, what the reader
    // sees stays still, at the limit to within a step (the offset moves up
    // by the height that left, its remainder carried); from the very top,
    // where the dropped lines are on screen, it cannot.
    void followingAndKeepingThePlace_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<int>("burst");
        QTest::newRow("below the limit") << 40 << 1;
        QTest::newRow("burst below the limit") << 40 << 7;
        QTest::newRow("at the limit") << ZALChatView::MaxElements << 1;
        QTest::newRow("burst at the limit") << ZALChatView::MaxElements << 7;
    }
    void followingAndKeepingThePlace()
    {
        QFETCH(int, initial);
        QFETCH(int, burst);
        ShownView v(200, 100);
        QSignalSpy atBottom(&v.view, &ZALChatView::sglAtBottomChanged);
        addLines(v.view, initial);
        for (int round = 0; round < 3; ++round) {
            Element* last = addLines(v.view, burst, initial + round * burst);
            QCOMPARE(v.bar()->value(), v.bar()->maximum()); // before any paint
            v.paint();
            QVERIFY(last->GetEventRect().last().bottom() - Element::s_iScrollValueV < 100);
        }
        QCOMPARE(atBottom.count(), 0);
        v.bar()->setValue(v.bar()->maximum() - 20);
        QCOMPARE(atBottom.count(), 1);
        QCOMPARE(atBottom.at(0).at(0).toBool(), false);
        v.paint();
        const QImage before = v.grab().copy(0, 20, 100, 60);
        for (int round = 0; round < 4; ++round) {
            addLines(v.view, burst, initial + 100 + round * burst);
            v.paint();
            bool found = false;
            const int slack = initial < ZALChatView::MaxElements ? 0 : 9;
            for (int dy = -slack; dy <= slack && !found; ++dy)
                found = v.grab().copy(0, 20 + dy, 100, 60) == before;
            QVERIFY2(found, qPrintable(QStringLiteral("round %1").arg(round)));
        }
        v.bar()->setValue(0);
        addLines(v.view, burst, 9000);
        QCOMPARE(v.bar()->value(), 0);
        v.view.ScrollToBottom();
        QCOMPARE(atBottom.last().at(0).toBool(), true);
        QVERIFY(v.view.IsAtBottom());
    }

    // The range and the bar follow every layout pass: right after AddElement
    // and after a resize, setValue(maximum()) shows the end, the maximum
    // rounded up so that the last pixel shows; a short chat has nothing to
    // scroll.
    void rangeFollowsEveryLayoutPass()
    {
        ShownView v(200, 100);
        addLines(v.view, 2);
        QVERIFY(v.bar()->isHidden());
        QCOMPARE(v.bar()->maximum(), 0);
        Element* last = addLines(v.view, 20, 2);
        const int content = 22 * h + d;
        QVERIFY(!v.bar()->isHidden());
        QCOMPARE(v.bar()->maximum(), (content - 100 + 9) / 10);
        v.view.resize(200, 150);
        QCOMPARE(v.bar()->maximum(), (content - 150 + 9) / 10);
        v.bar()->setValue(0);
        v.bar()->setValue(v.bar()->maximum());
        v.paint();
        QVERIFY(last->GetEventRect().last().bottom() - Element::s_iScrollValueV < 150);
        v.view.resize(200, content);
        QVERIFY(v.bar()->isHidden());
        QCOMPARE(Element::s_iScrollValueV, 0);
    }

    // Each key from the same place: Page keys move a view height less a line
    // of the view's font (17 pixels: 2 steps), arrows a line; End follows
    // new elements again.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("expected"); // -1: the maximum
        QTest::newRow("page down") << int(Qt::Key_PageDown) << 0 << 28;
        QTest::newRow("page up") << int(Qt::Key_PageUp) << 0 << 12;
        QTest::newRow("down") << int(Qt::Key_Down) << 0 << 22;
        QTest::newRow("up") << int(Qt::Key_Up) << 0 << 18;
        QTest::newRow("home") << int(Qt::Key_Home) << 0 << 0;
        QTest::newRow("end") << int(Qt::Key_End) << 0 << -1;
        QTest::newRow("ctrl home") << int(Qt::Key_Home) << int(Qt::ControlModifier) << 0;
        QTest::newRow("ctrl end") << int(Qt::Key_End) << int(Qt::ControlModifier) << -1;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, expected);
        ShownView v(200, 100);
        QCOMPARE(v.view.focusPolicy(), Qt::StrongFocus);
        v.view.setFont(monoFont());
        addLines(v.view, 60);
        v.bar()->setValue(20);
        QTest::keyClick(&v.view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(v.bar()->value(), expected < 0 ? v.bar()->maximum() : expected);
        addLines(v.view, 1, 60);
        QCOMPARE(v.bar()->value() == v.bar()->maximum(), expected < 0);
    }

    // A notch scrolls 3 lines of 2 steps; small deltas add up, their
    // remainder kept until the direction turns; pixel deltas move by pixels.
    void wheel_data()
    {
        QTest::addColumn<QVector<int>>("deltas");
        QTest::addColumn<bool>("pixels");
        QTest::addColumn<int>("steps");
        QTest::newRow("notch down") << QVector<int>{-120} << false << 6;
        QTest::newRow("two notches up") << QVector<int>{120, 120} << false << -12;
        QTest::newRow("small deltas add up") << QVector<int>{-30, -30, -30, -30} << false << 6;
        QTest::newRow("remainder kept") << QVector<int>{-50, -50, -20} << false << 6;
        QTest::newRow("turn drops it") << QVector<int>{-70, 20} << false << 2;
        QTest::newRow("pixels") << QVector<int>{-25, -25, -4} << true << 5;
    }
    void wheel()
    {
        QFETCH(QVector<int>, deltas);
        QFETCH(bool, pixels);
        QFETCH(int, steps);
        QApplication::setWheelScrollLines(3);
        ShownView v(200, 100);
        v.view.setFont(monoFont());
        addLines(v.view, 80);
        v.bar()->setValue(40);
        for (int delta : deltas)
            v.wheel(delta, QPoint(5, 5), pixels);
        QCOMPARE(v.bar()->value(), 40 + steps);
    }

    // With the bar hidden the wheel does nothing, not even a hit test; with
    // the bar shown it hit-tests where it turned.
    void wheelHitTests()
    {
        QList<Element*> lines{makeLive(QStringLiteral("line 0"))};
        ShownView v(200, 60, lines);
        v.move(screenCenter(lines[0]));
        v.wheel(-120, QPoint(150, 50)); // had it run, the hit test would reset the cursor
        QCOMPARE(v.cursor(), Qt::PointingHandCursor);
        addLines(v.view, 19, 1);
        v.bar()->setValue(1);
        v.paint();
        v.wheel(-120, QPoint(190, 50));
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
    }

    // Content is laid out left of a shown bar; growing the view a pixel at a
    // time never swings the bar: it stays while the content fits only
    // without it.
    void layoutWidthBesideTheBar()
    {
        TextElement* run = makeText(QString(60, QLatin1Char('m')));
        ShownView v(120, 60, {run});
        QVERIFY(!v.bar()->isHidden());
        const int left = 120 - v.bar()->sizeHint().width();
        auto rightmost = [&] {
            int r = 0;
            for (const QRect& cell : qAsConst(*run).GetEventRect())
                r = qMax(r, cell.right());
            return r;
        };
        const int narrowHeight = run->GetEndY() + h + d;
        for (int height = 60; height <= narrowHeight + 2; ++height) {
            v.view.resize(120, height);
            v.paint();
            v.paint();
            QCOMPARE(v.bar()->isHidden(), height >= narrowHeight);
            QCOMPARE(rightmost() < left, !v.bar()->isHidden());
        }
        ShownView fresh(120, narrowHeight - 1, {makeText(QString(60, QLatin1Char('m')))});
        QVERIFY(fresh.bar()->isHidden());
    }

    // Changes to the view and to elements already shown take effect at the
    // next paint, without anything else from the host.
    void changesShowAtTheNextPaint_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("moves"); // some element's geometry changes
        QTest::newRow("text") << Change([](auto& e, auto&) { static_cast<TextElement*>(e[0])->SetText("abcdefg"); }) << true;
        QTest::newRow("font") << Change([](auto& e, auto&) { QFont f = monoFont(20); e[0]->SetFont(f); }) << true;
        QTest::newRow("picture") << Change([](auto& e, auto&) {
            QPixmap p = solidPixmap(50, 5, Qt::red);
            static_cast<ImageElement*>(e[1])->SetPixmap(p, 0, 0);
        }) << true;
        QTest::newRow("space") << Change([](auto& e, auto&) { static_cast<SpaceElement*>(e[2])->SetSpace(30); }) << true;
        QTest::newRow("child text") << Change([](auto& e, auto&) { static_cast<TextElement*>(e[5])->SetText("x\ny"); }) << true;
        QTest::newRow("box edge") << Change([](auto& e, auto&) { static_cast<ButtonElement*>(e[3])->SetEdgeSpace(0, 9); }) << true;
        QTest::newRow("view font") << Change([](auto&, auto& view) { view.setFont(monoFont(30)); }) << true;
        QTest::newRow("view edge space") << Change([](auto&, auto& view) { view.SetEdgeSpace(8, 4); }) << true;
        QTest::newRow("element space") << Change([](auto&, auto& view) { view.SetElementSpace(6); }) << true;
        QTest::newRow("colour") << Change([](auto& e, auto&) {
            mouse_color_ c{Qt::blue, Qt::blue, Qt::blue};
            e[0]->SetEventBackground(c);
        }) << false;
    }
    void changesShowAtTheNextPaint()
    {
        QFETCH(Change, change);
        QFETCH(bool, moves);
        TextElement* child = makeText(QStringLiteral("in"));
        auto* box = withMono(new ButtonElement);
        box->AddElement(child);
        auto* plain = new TextElement; // in the view's font
        plain->SetText(QStringLiteral("mm"));
        plain->SetReturn(true);
        QList<Element*> elements{makeText(QStringLiteral("ab")), makeImage(10, 5), withMono(new SpaceElement), box,
                                 plain, child};
        ShownView v(300, 200, elements.mid(0, 5));
        auto geometry = [&] {
            QVector<int> g;
            for (const Element* e : elements)
                g << e->GetStartX() << e->GetStartY() << e->GetEndX() << e->GetEndY();
            return g;
        };
        const QVector<int> before = geometry();
        const QImage shown = v.grab();
        change(elements, v.view);
        v.paint();
        QCOMPARE(geometry() != before, moves);
        QVERIFY(moves || v.grab() != shown);
    }

    // Hover, press and release colours, the cursor, and one press signal per
    // press naming the element hit; edges count as inside, the earlier of two
    // overlapping elements wins, one with events off is never hit, a box is
    // hit over its children. A move repaints only the elements whose colours
    // changed, a move within one element nothing.
    void mouseOverElements()
    {
        TextElement* e = makeLive(QStringLiteral("name"));
        TextElement* other = makeLive(QStringLiteral("other"), true);
        TextElement* deaf = makeText(QStringLiteral("c"));
        ShownView v(200, 100, {e, other, deaf, makeLive(QStringLiteral("far"), true)});
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        PaintSpy paints(&v.view);
        v.move(QPoint(195, 95));
        paints.take();
        auto rows = [&](const Element* x) {
            return QRegion(QRect(0, x->GetEventRect().first().top() - h, 200, 3 * h) & QRect(0, 0, 200, 100));
        };
        v.move(screenCenter(e, 1));
        QCOMPARE(paints.take(), rows(e));
        v.move(screenCenter(e, 2));
        QCOMPARE(paints.take(), QRegion());
        QCOMPARE(v.cursor(), Qt::PointingHandCursor);
        v.press(screenCenter(e, 2));
        QCOMPARE(paints.take(), rows(e));
        QCOMPARE(shownState(v, e), kPress);
        v.release(screenCenter(e, 2));
        QCOMPARE(pressed(spy), e);
        QCOMPARE(shownState(v, e), kHover);
        paints.take();
        v.move(screenCenter(other));
        QCOMPARE(paints.take(), rows(e) + rows(other));
        QCOMPARE(shownState(v, e), kNormal);
        QCOMPARE(shownState(v, other), kHover);
        v.move(QPoint(195, 95));
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
        v.click(QPoint(195, 95));
        QCOMPARE(spy.count(), 1);

        const QRect cell = e->GetEventRect().last();
        for (const QPoint& p : {cell.topLeft(), cell.bottomRight(), cell.topRight() + QPoint(1, 0)}) {
            v.move(p);
            QCOMPARE(v.cursor(), p.x() > cell.right() ? Qt::ArrowCursor : Qt::PointingHandCursor);
        }
        other->GetEventRect() = e->GetEventRect();
        v.click(cell.center());
        QCOMPARE(pressed(spy, 1), e);
        v.move(screenCenter(deaf));
        v.click(screenCenter(deaf));
        QCOMPARE(spy.count(), 2);

        TextElement* label = makeLive(QString(QChar(0x2588)));
        auto* box = withMono(new ButtonElement);
        box->AddElement(label);
        setColors(box, {QColor(kNormal), QColor(kHover), QColor(kPress)}, {Qt::black, Qt::black, Qt::black});
        v.view.AddElement(box);
        v.paint();
        v.move(screenCenter(label));
        v.click(screenCenter(label));
        QCOMPARE(pressed(spy, 2), box);
        QCOMPARE(v.grab().pixel(screenCenter(label)), kHover);
    }

    // The 1501st element drops the oldest, here the one under the mouse: a press right
    // afterwards (no move, no hit test) reports nothing; the rest move up in order, with
    // rectangles after a whole pass (a host's kind) only from the next paint, else moved.
    void the1501stElementDropsTheOldest_data()
    {
        QTest::addColumn<bool>("hostKind");
        QTest::newRow("whole pass") << true;
        QTest::newRow("moved up") << false;
    }
    void the1501stElementDropsTheOldest()
    {
        QFETCH(bool, hostKind);
        deleted = 0;
        TextElement* oldest = withMono(hostKind ? new TrackedText : new TextElement);
        oldest->SetText(QStringLiteral("first"));
        oldest->SetEvent(true);
        ShownView v(200, 100, {oldest});
        const QPoint on = screenCenter(oldest);
        v.move(on);
        Element* second = addLines(v.view, 1);
        Element* third = addLines(v.view, 1, 1);
        Element* last = addLines(v.view, ZALChatView::MaxElements - 3, 2);
        v.bar()->setValue(0);
        v.paint();
        const QPoint onSecond = screenCenter(second);
        addLines(v.view, 1);
        QCOMPARE(deleted, int(hostKind));
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        send(v.view, QEvent::MouseButtonPress, on);
        send(v.view, QEvent::MouseButtonRelease, on);
        send(v.view, QEvent::MouseMove, onSecond);
        send(v.view, QEvent::MouseButtonPress, onSecond);
        send(v.view, QEvent::MouseButtonRelease, onSecond);
        QCOMPARE(spy.count(), int(!hostKind));
        QVERIFY(hostKind || pressed(spy) == third);
        QCOMPARE(second->GetStartY(), 0);
        QCOMPARE(last->GetStartY(), (ZALChatView::MaxElements - 2) * h);
    }

    // Two views scrolled differently paint and hit-test as each would alone.
    void viewsKeepTheirOwnLinesAndScrollOffsets()
    {
        auto fill = [](ShownView& v, int tallSize, int scroll) {
            QList<Element*> rows;
            for (int i = 0; i < 12; ++i) {
                rows.append(makeLive(QStringLiteral("row%1").arg(i), true));
                v.view.AddElement(rows.last());
                v.view.AddElement(makeText(QStringLiteral("T"), tallSize)); // a taller neighbour
            }
            v.bar()->setValue(scroll);
            v.paint();
            return rows;
        };
        ShownView a(160, 90);
        const QList<Element*> rowsA = fill(a, 22, 3);
        ShownView b(160, 90);
        const QList<Element*> rowsB = fill(b, 30, 7);
        const QImage aloneB = b.grab();
        a.view.resize(160, 91); // A lays out again, B must not notice
        a.paint();
        QCOMPARE(b.grab(), aloneB);
        QSignalSpy spyA(&a.view, &ZALChatView::sglElementPress);
        QSignalSpy spyB(&b.view, &ZALChatView::sglElementPress);
        const QPoint pA = rowsA[3]->GetEventRect().first().center() - QPoint(0, 30);
        const QPoint pB = rowsB[3]->GetEventRect().first().center() - QPoint(0, 70);
        a.move(pA);
        a.click(pA);
        b.move(pB);
        b.click(pB);
        QCOMPARE(pressed(spyA), rowsA[3]);
        QCOMPARE(pressed(spyB), rowsB[3]);
    }
};

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
