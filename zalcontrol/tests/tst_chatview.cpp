// The chat view: following, keys, wheel, width, relayouts, mouse, the limit, ownership, host code in passes.

#include "support.h"

#include <climits>
#include <functional>

namespace {

const QRgb kNormal = qRgb(255, 0, 0);
const QRgb kHover = qRgb(0, 255, 0);
const QRgb kPress = qRgb(0, 0, 255);

// A mouse-aware run whose background shows its mouse state.
TextElement* makeLive(const QString& text, bool lineBreak = false)
{
    TextElement* e = makeText(text, lineBreak);
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

// An empty run of a host's kind that runs a host's code from inside its drawing.
struct Hook : HostText
{
    std::function<void()> onDraw;
    void Draw(QPainter&, element_info_&) override
    {
        // A copy: the code may delete this element, and its own copy with it.
        if (const std::function<void()> code = onDraw)
            code();
    }
};

// The warning of a refused AddElement() must come (the test fails without it).
void expectRefusal(const char* who, const char* reason = "the element already belongs to a view or a box")
{
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("%1::AddElement: refused, %2")
                                                      .arg(QLatin1String(who), QLatin1String(reason))));
}

// Keys (key | modifiers), wheel turns (angle deltas, pixel deltas when pixels), the value expected (-1: the maximum).
using ScrollRow = std::tuple<QVector<int>, QVector<int>, bool, int>;

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(ScrollRow)

class TestChatView : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = g_deleted = 0; }

    // Following single and burst appends, below and at the limit; scrolled up, the place holds (within a step).
    void followingAndKeepingThePlace()
    {
        for (const auto& [initial, burst] : {std::pair{40, 1}, {40, 7}, {int(ZALChatView::MaxElements), 7}}) {
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
            QVERIFY(!atBottom.at(0).at(0).toBool());
            v.paint();
            const QImage before = v.grab().copy(0, 20, 100, 60);
            for (int round = 0; round < 4; ++round) {
                addLines(v.view, burst, initial + 100 + round * burst);
                v.paint();
                bool found = false;
                const int slack = initial < ZALChatView::MaxElements ? 0 : 9;
                for (int dy = -slack; dy <= slack && !found; ++dy)
                    found = v.grab().copy(0, 20 + dy, 100, 60) == before;
                QVERIFY2(found, qPrintable(QStringLiteral("%1 + %2, round %3").arg(initial).arg(burst).arg(round)));
            }
            v.bar()->setValue(0);
            addLines(v.view, burst, 9000);
            QCOMPARE(v.bar()->value(), 0);
            v.view.ScrollToBottom();
            QCOMPARE(atBottom.last().at(0).toBool(), true);
            QVERIFY(v.view.IsAtBottom());
        }
    }

    // From 40, 2 steps a line: keys (a page is a view less a line) and the wheel (a notch is 3 lines, remainders kept).
    void scrollInput_data()
    {
        QTest::addColumn<ScrollRow>("row");
        const QVector<int> none;
        QTest::newRow("page down") << ScrollRow{{Qt::Key_PageDown}, none, false, 48};
        QTest::newRow("down, up, up") << ScrollRow{{Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}, none, false, 38};
        QTest::newRow("home") << ScrollRow{{Qt::Key_Home}, none, false, 0};
        QTest::newRow("end") << ScrollRow{{Qt::Key_End}, none, false, -1};
        QTest::newRow("two notches up") << ScrollRow{none, {120, 120}, false, 28};
        QTest::newRow("remainder kept") << ScrollRow{none, {-50, -50, -20}, false, 46};
        QTest::newRow("turn drops it") << ScrollRow{none, {-70, 20}, false, 42};
        QTest::newRow("pixels") << ScrollRow{none, {-25, -25, -4}, true, 45};
    }
    void scrollInput()
    {
        QFETCH(ScrollRow, row);
        const auto& [keys, wheel, pixels, expected] = row;
        QApplication::setWheelScrollLines(3);
        ShownView v(200, 100);
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
        QTest::newRow("child text") << Change([](auto& e, auto&) { static_cast<TextElement*>(e[5])->SetText("x\ny"); }) << true;
        QTest::newRow("view font") << Change([](auto&, auto& view) { view.setFont(monoFont(30)); }) << true;
        QTest::newRow("colour") << Change([](auto& e, auto&) { e[0]->SetEventBackground({Qt::blue, Qt::blue, Qt::blue}); })
                                << false;
    }
    void changesShowAtTheNextPaint()
    {
        QFETCH(Change, change);
        QFETCH(bool, moves);
        TextElement* child = makeText(QStringLiteral("in"));
        ButtonElement* box = makeBox({child});
        TextElement* plain = makeText(QStringLiteral("mm"), true, QFont()); // in the view's font
        QList<Element*> elements{makeText(QStringLiteral("ab")), makeImage(10, 5), makeGap(0), box,
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

    // Dropping the hovered oldest of a host's kind (a whole pass), then plain ones moved up, then one sharing a line.
    void theLimitDropsTheOldest()
    {
        HostText* oldest = hostText(QStringLiteral("first"));
        oldest->SetEvent(true);
        ShownView v(200, 100, {oldest});
        const QPoint on = screenCenter(oldest);
        v.move(on);
        Element* second = addLines(v.view, 1);
        Element* third = addLines(v.view, 1, 1);
        Element* fourth = addLines(v.view, 1, 2);
        v.view.AddElement(makeText(QStringLiteral("tall\n"), true, monoFont(30)));
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

    // Two views scrolled differently: one laying out again leaves the other's lines alone.
    void viewsKeepTheirOwnLinesAndScrollOffsets()
    {
        ShownView views[2];
        for (int k = 0; k < 2; ++k) {
            for (int i = 0; i < 12; ++i) {
                views[k].view.AddElement(makeLive(QStringLiteral("row%1").arg(i), true));
                views[k].view.AddElement(makeText(QStringLiteral("T"), false, monoFont(22 + 8 * k))); // a taller neighbour
            }
            views[k].bar()->setValue(3 + 4 * k);
            views[k].paint();
        }
        const QImage aloneB = views[1].grab();
        views[0].view.resize(200, 101);
        views[0].paint();
        QCOMPARE(views[1].grab(), aloneB);
    }

    // One element in two containers or a box in itself is refused; a deleted one leaves, a taken one is free again.
    void oneContainerPerElement()
    {
        ShownView a, b;
        HostText* text = hostText(QStringLiteral("once"));
        a.view.AddElement(text);
        expectRefusal("ZALChatView");
        a.view.AddElement(text);
        expectRefusal("ZALChatView");
        b.view.AddElement(text);
        expectRefusal("ButtonElement");
        ButtonElement* box = makeBox({});
        box->AddElement(text);
        expectRefusal("ZALChatView", "a null element");
        a.view.AddElement(nullptr);
        QCOMPARE(a.view.ElementCount(), 1);
        QCOMPARE(b.view.ElementCount(), 0);

        // Boxes: itself, a box holding it, and a box further out.
        ButtonElement* innermost = makeBox({});
        ButtonElement* inner = makeBox({innermost});
        box->AddElement(inner);
        expectRefusal("ButtonElement", "a box cannot hold itself");
        box->AddElement(box);
        expectRefusal("ButtonElement", "the box holds this box, which would then hold itself");
        innermost->AddElement(box);
        expectRefusal("ButtonElement");
        innermost->AddElement(inner);
        HostText* child = hostText(QStringLiteral("child"));
        innermost->AddElement(makeText(QStringLiteral("stays")));
        innermost->AddElement(child);
        expectRefusal("ZALChatView");
        b.view.AddElement(child);
        a.view.AddElement(box);
        a.paint();
        const int boxHeight = box->GetHeight();

        // Deleting held elements: a child deep in a box, then a top-level one.
        delete child;
        a.paint();
        QCOMPARE(box->GetHeight(), boxHeight - h);
        delete text;
        QCOMPARE(a.view.ElementCount(), 1);
        a.paint();
        QCOMPARE(box->GetStartY(), 0);
        QCOMPARE(g_deleted, 2);

        QVERIFY(!b.view.TakeElement(box));
        QCOMPARE(a.view.TakeElement(box), box);
        QCOMPARE(a.view.ElementCount(), 0);
        b.view.AddElement(box);
        b.paint();
        QCOMPARE(b.view.ElementCount(), 1);
        b.view.Clear();
        b.paint();
    }

    // Host code in a paint or a slot adds, takes, deletes, clears: nothing freed is touched, nothing is lost.
    void listChangesDuringPasses()
    {
        const struct { QString action; int countAfter, deletedAfter; } cases[] = {
            {"add", 5, 0}, {"delete next", 3, 1}, {"delete self", 3, 1}, {"take next", 3, 0}, {"clear add", 1, 4}};
        for (const auto& c : cases) {
            for (const bool fromSlot : {false, true}) {
                g_deleted = 0;
                auto* hook = new Hook;
                QList<Element*> rows{hostText(QStringLiteral("a")), hostText(QStringLiteral("b")), hook,
                                     hostText(QStringLiteral("c"))};
                for (Element* row : rows)
                    row->SetEvent(true);
                ShownView v(200, 100, rows);
                Element* actor = fromSlot ? rows[1] : hook;
                HostText* added = c.action.contains("add") ? hostText(QStringLiteral("added")) : nullptr;
                std::unique_ptr<Element> taken;
                bool done = false;
                const std::function<void()> act = [&] {
                    if (std::exchange(done, true))
                        return;
                    if (c.action.contains("clear"))
                        v.view.Clear();
                    if (added)
                        v.view.AddElement(added);
                    if (c.action == "delete next" || c.action == "delete self")
                        delete (c.action == "delete next" ? rows[3] : actor);
                    if (c.action == "take next")
                        taken.reset(v.view.TakeElement(rows[3]));
                };
                if (fromSlot) {
                    connect(&v.view, &ZALChatView::sglElementPress, act);
                    v.hoverClick(screenCenter(actor));
                } else {
                    hook->onDraw = act;
                    v.paint();
                }
                QVERIFY(done);
                // Not drawn by the pass it was added in, which had laid out without it.
                if (c.action == "add" && !fromSlot)
                    QVERIFY(static_cast<const Element*>(added)->GetEventRect().isEmpty());
                v.paint();
                QCOMPARE(v.view.ElementCount(), c.countAfter);
                QCOMPARE(g_deleted, c.deletedAfter);
                if (added)
                    QCOMPARE(added->GetStartY(), c.countAfter > 1 ? 3 * h : 0);
                v.hoverClick(QPoint(5, 5)); // hits only what is still there
            }
        }
    }

    // The limit announces the oldest while alive; the slot may leave, take or delete it, or add more.
    void droppedElementsAreAnnouncedFirst()
    {
        ShownView v;
        HostText* oldest = hostText(QStringLiteral("oldest"));
        oldest->SetUin(7);
        v.view.AddElement(oldest);
        for (int i = 1; i < ZALChatView::MaxElements; ++i)
            v.view.AddElement(hostText(QString::number(i)));
        QList<int> uins, deletedBefore;
        Element* keep = nullptr;
        connect(&v.view, &ZALChatView::sglElementDropped, [&](Element* e) {
            uins.append(e->GetUin());
            deletedBefore.append(g_deleted);
            if (uins.size() == 2)
                keep = v.view.TakeElement(e);
            if (uins.size() == 3) {
                delete e;
                v.view.AddElement(hostText(QStringLiteral("from the slot")));
            }
        });
        for (int i = 0; i < 3; ++i)
            v.view.AddElement(hostText(QStringLiteral("new")));
        QCOMPARE(uins, QList<int>({7, 0, 0, 0}));
        QCOMPARE(deletedBefore, QList<int>({0, 1, 1, 2}));
        QCOMPARE(g_deleted, 3); // the first, the third (by the slot) and the fourth
        QVERIFY(keep);
        QCOMPARE(v.view.ElementCount(), ZALChatView::MaxElements);
        v.paint();
        delete keep;
    }

    // Spacings of INT_MAX are clamped (UBSan reports overflows); a gap wider than the line ends it.
    void hugeSpacingsStayFinite()
    {
        Element* gap = makeGap(INT_MAX);
        ButtonElement* box = makeBox({makeText(QStringLiteral("in"))}, 0, INT_MAX);
        TextElement* indented = makeText(QStringLiteral("x"));
        indented->SetIndentSpace(INT_MAX);
        auto* image = new ImageElement;
        image->SetPixmap(solidPixmap(4, 2, Qt::red), INT_MAX, 3);
        TextElement* first = makeText(QStringLiteral("ab"));
        TextElement* after = makeText(QStringLiteral("c"));
        ShownView v(200, 100, {first, gap, after, box, indented, image});
        v.view.SetElementSpace(INT_MAX);
        v.paint();
        QCOMPARE(QPoint(after->GetStartX(), after->GetStartY()), QPoint(0, h));
        QCOMPARE(box->GetStartY() - after->GetEndY(), Element::MaxSpace + h);
        QCOMPARE(box->GetHeight(), 2 * Element::MaxSpace + h + d);
        QCOMPARE(image->GetEventRect().first().size(), QSize(6, 3));
        QVERIFY(v.view.GetVerticalScrollBar()->maximum() > 2 * Element::MaxSpace / ZALChatView::ScrollStep);
    }
};

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
