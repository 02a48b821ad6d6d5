// The chat view: following and keeping the place, keys, wheel, width, relayouts, mouse, limit.

#include "support.h"

#include <functional>

namespace {

const QRgb kNormal = qRgb(255, 0, 0);
const QRgb kHover = qRgb(0, 255, 0);
const QRgb kPress = qRgb(0, 0, 255);

// A mouse-aware run whose background shows its mouse state.
TextElement* makeLive(const QString& text, bool lineBreak = false)
{
    TextElement* e = makeText(text, 13, lineBreak);
    e->SetEvent(true);
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

using Change = std::function<void(QList<Element*>&, ZALChatView&)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestChatView : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // Following single and burst appends; scrolled up the place holds (at the limit within a step).
    void followingAndKeepingThePlace_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<int>("burst");
        QTest::newRow("below the limit") << 40 << 1;
        QTest::newRow("burst below the limit") << 40 << 7;
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

    // From value 40, 2 steps a line: keys (a page is a view height less a line; End follows
    // again) and the wheel (a notch is 3 lines; remainders kept until the direction turns).
    void scrollInput_data()
    {
        QTest::addColumn<QVector<int>>("keys"); // key | modifiers
        QTest::addColumn<QVector<int>>("wheel"); // angle deltas, or pixel deltas when pixels
        QTest::addColumn<bool>("pixels");
        QTest::addColumn<int>("expected"); // -1: the maximum
        const QVector<int> none;
        QTest::newRow("page down") << QVector<int>{Qt::Key_PageDown} << none << false << 48;
        QTest::newRow("page up") << QVector<int>{Qt::Key_PageUp} << none << false << 32;
        QTest::newRow("down, up, up") << QVector<int>{Qt::Key_Down, Qt::Key_Up, Qt::Key_Up} << none << false << 38;
        QTest::newRow("home") << QVector<int>{Qt::Key_Home} << none << false << 0;
        QTest::newRow("end") << QVector<int>{Qt::Key_End} << none << false << -1;
        QTest::newRow("ctrl home") << QVector<int>{Qt::Key_Home | Qt::ControlModifier} << none << false << 0;
        QTest::newRow("ctrl end") << QVector<int>{Qt::Key_End | Qt::ControlModifier} << none << false << -1;
        QTest::newRow("notch down") << none << QVector<int>{-120} << false << 46;
        QTest::newRow("two notches up") << none << QVector<int>{120, 120} << false << 28;
        QTest::newRow("small deltas add up") << none << QVector<int>{-30, -30, -30, -30} << false << 46;
        QTest::newRow("remainder kept") << none << QVector<int>{-50, -50, -20} << false << 46;
        QTest::newRow("turn drops it") << none << QVector<int>{-70, 20} << false << 42;
        QTest::newRow("pixels") << none << QVector<int>{-25, -25, -4} << true << 45;
    }
    void scrollInput()
    {
        QFETCH(QVector<int>, keys);
        QFETCH(QVector<int>, wheel);
        QFETCH(bool, pixels);
        QFETCH(int, expected);
        QApplication::setWheelScrollLines(3);
        ShownView v(200, 100);
        QCOMPARE(v.view.focusPolicy(), Qt::StrongFocus);
        v.view.setFont(monoFont());
        addLines(v.view, 80);
        v.bar()->setValue(40);
        v.paint(); // lines far from the view keep no rectangles until a hit test needs them
        for (int key : keys)
            QTest::keyClick(&v.view, Qt::Key(key & ~Qt::KeyboardModifierMask), Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        for (int delta : wheel)
            v.wheel(delta, QPoint(5, 5), pixels);
        QCOMPARE(v.bar()->value(), expected < 0 ? v.bar()->maximum() : expected);
        QCOMPARE(v.cursor() == Qt::PointingHandCursor, !wheel.isEmpty()); // the wheel hit-tests
        addLines(v.view, 1, 80);
        QCOMPARE(v.bar()->value() == v.bar()->maximum(), expected < 0);
    }

    // Content stays left of a shown bar, which never swings as the view grows.
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

    // Changes to the view and to shown elements take effect at the next paint.
    void changesShowAtTheNextPaint_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("moves"); // some element's geometry changes
        QTest::newRow("text") << Change([](auto& e, auto&) { static_cast<TextElement*>(e[0])->SetText("abcdefg"); }) << true;
        QTest::newRow("picture") << Change([](auto& e, auto&) {
            QPixmap p = solidPixmap(50, 5, Qt::red);
            static_cast<ImageElement*>(e[1])->SetPixmap(p, 0, 0);
        }) << true;
        QTest::newRow("child text") << Change([](auto& e, auto&) { static_cast<TextElement*>(e[5])->SetText("x\ny"); }) << true;
        QTest::newRow("box edge") << Change([](auto& e, auto&) { static_cast<ButtonElement*>(e[3])->SetEdgeSpace(0, 9); }) << true;
        QTest::newRow("view font") << Change([](auto&, auto& view) { view.setFont(monoFont(30)); }) << true;
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
        ButtonElement* box = makeBox({child});
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

    // Colours, cursor, press signals, edges, overlaps, boxes, and what each move repaints.
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
        v.wheel(-120, QPoint(195, 95)); // the bar is hidden: no hit test
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
        v.hoverClick(screenCenter(deaf));
        QCOMPARE(spy.count(), 2);

        TextElement* label = makeLive(QString(QChar(0x2588)));
        ButtonElement* box = makeBox({label});
        setColors(box, {QColor(kNormal), QColor(kHover), QColor(kPress)}, {Qt::black, Qt::black, Qt::black});
        v.view.AddElement(box);
        v.paint();
        v.hoverClick(screenCenter(label));
        QCOMPARE(pressed(spy, 2), box);
        QCOMPARE(v.grab().pixel(screenCenter(label)), kHover);
    }

    // Dropping the hovered oldest (a host's kind: a whole pass, rectangles from the next paint),
    // then plain ones (the rest moved up, as a whole pass would place them), then one sharing a line.
    void theLimitDropsTheOldest()
    {
        g_deleted = 0;
        HostText* oldest = hostText(QStringLiteral("first"));
        oldest->SetEvent(true);
        ShownView v(200, 100, {oldest});
        const QPoint on = screenCenter(oldest);
        v.move(on);
        Element* second = addLines(v.view, 1);
        Element* third = addLines(v.view, 1, 1);
        Element* fourth = addLines(v.view, 1, 2);
        v.view.AddElement(makeText(QStringLiteral("tall\n"), 30, true));
        v.view.AddElement(makeText(QStringLiteral("x"))); // on the line the tall one's line feed began
        addLines(v.view, ZALChatView::MaxElements - 6, 3);
        v.bar()->setValue(0);
        v.paint();
        const QPoint onSecond = screenCenter(second);
        addLines(v.view, 1);
        QCOMPARE(g_deleted, 1);
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        mouse(v.view, QEvent::MouseButtonPress, on);
        mouse(v.view, QEvent::MouseButtonRelease, on);
        mouseClick(v.view, onSecond);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(second->GetStartY(), 0);
        v.paint();
        const QPoint onThird = screenCenter(third);
        addLines(v.view, 1);
        mouseClick(v.view, onThird);
        QCOMPARE(pressed(spy), fourth);
        QCOMPARE(third->GetStartY(), 0);
        for (int drops : {2, 1}) {
            addLines(v.view, drops, 9000);
            v.paint();
            const QImage moved = v.grab();
            v.view.SetElementSpace(0); // a whole pass
            v.paint();
            QCOMPARE(v.grab(), moved);
        }
    }

    // Two views scrolled differently paint and hit-test as each would alone.
    void viewsKeepTheirOwnLinesAndScrollOffsets()
    {
        ShownView a(160, 90), b(160, 90);
        ShownView* views[2] = {&a, &b};
        const int tall[2] = {22, 30}, scroll[2] = {3, 7};
        QList<Element*> rows[2];
        for (int k = 0; k < 2; ++k) {
            for (int i = 0; i < 12; ++i) {
                rows[k].append(makeLive(QStringLiteral("row%1").arg(i), true));
                views[k]->view.AddElement(rows[k].last());
                views[k]->view.AddElement(makeText(QStringLiteral("T"), tall[k])); // a taller neighbour
            }
            views[k]->bar()->setValue(scroll[k]);
            views[k]->paint();
        }
        const QImage aloneB = b.grab();
        a.view.resize(160, 91); // A lays out again, B must not notice
        a.paint();
        QCOMPARE(b.grab(), aloneB);
        for (int k = 0; k < 2; ++k) {
            QSignalSpy spy(&views[k]->view, &ZALChatView::sglElementPress);
            views[k]->hoverClick(rows[k][3]->GetEventRect().first().center() - QPoint(0, 10 * scroll[k]));
            QCOMPARE(pressed(spy), rows[k][3]);
        }
    }
};

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
