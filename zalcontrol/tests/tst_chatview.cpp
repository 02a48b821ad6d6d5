// The chat view: form set-up, scroll range and wheel steps, hit testing,
// mouse colours and the press signal, the element limit, relayout on resize,
// and several views in one process.

#include "support.h"

#include <QScrollBar>

namespace {

const QRgb kNormal = qRgb(255, 0, 0);
const QRgb kHover = qRgb(0, 255, 0);
const QRgb kPress = qRgb(0, 0, 255);

// A mouse-aware run whose background shows its mouse state.
TextElement* makeLive(const QString& text, int uin = 0)
{
    TextElement* e = makeText(text);
    e->SetUin(uin);
    e->SetEvent(true);
    setColors(e, {Qt::white, Qt::white, Qt::white},
              {QColor(kNormal), QColor(kHover), QColor(kPress)});
    return e;
}

// Background colour of an element's first cell as the view shows it now.
QRgb shownState(ShownView& v, Element* e)
{
    const QImage image = v.grab();
    return image.pixel(screenCenter(e).x(), e->GetEventRect().first().top() - Element::s_iScrollValueV);
}

int tracked = 0;

class TrackedText : public TextElement
{
public:
    ~TrackedText() override { ++tracked; }
};

} // namespace

class TestChatView : public QObject, private MonoCell
{
    Q_OBJECT

    // Fills a view with n lines of mouse-aware text, uin = line number.
    QList<Element*> fillLines(ZALChatView& view, int n)
    {
        QList<Element*> lines;
        for (int i = 0; i < n; ++i) {
            TextElement* e = makeLive(QStringLiteral("line %1").arg(i), i);
            e->SetReturn(true);
            view.AddElement(e);
            lines.append(e);
        }
        return lines;
    }

private slots:
    // The scroll bar is found and connected by its object name.
    void scrollBarDrivesTheOffsetByName()
    {
        ZALChatView view;
        QScrollBar* bar = view.GetVerticalScrollBar();
        QCOMPARE(view.findChild<QScrollBar*>(QStringLiteral("verticalScrollBar")), bar);
        QVERIFY(bar->isHidden());
        bar->setValue(3);
        QCOMPARE(Element::s_iScrollValueV, 30);
        bar->setValue(0);
        QCOMPARE(Element::s_iScrollValueV, 0);
    }

    // A run, a taller picture on the same line, then a run with the
    // line-break flag: where each lands, how the run is centred against the
    // picture, and the content bottom that decides the scroll range.
    void workedExampleAndScrollRange_data()
    {
        QTest::addColumn<int>("overflow");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("maximum");
        QTest::newRow("equal height") << 0 << false << 0;
        QTest::newRow("below one step") << 7 << true << 0;
        QTest::newRow("25 pixels") << 25 << true << 2;
    }
    void workedExampleAndScrollRange()
    {
        QFETCH(int, overflow);
        QFETCH(bool, shown);
        QFETCH(int, maximum);

        const int P = 24; // the picture's height, taller than the text
        QVERIFY(P > h);
        const int y3 = 5 + 4 + P;
        ShownView v(200, d + h + 5 + y3 - overflow);
        QColor black(Qt::black);
        v.view.SetBackground(black);
        v.view.SetEdgeSpace(10, 5);
        v.view.SetElementSpace(4);
        TextElement* first = makeText(QStringLiteral("ab"));
        ImageElement* picture = makeImage(30, P, Qt::yellow);
        TextElement* last = makeText(QStringLiteral("cd"));
        last->SetReturn(true);
        for (Element* e : QList<Element*>{first, picture, last})
            v.view.AddElement(e);
        v.view.GetVerticalScrollBar()->setValue(1); // from an earlier position
        v.paint();

        const int offset = (P - h) / 2;
        QCOMPARE(first->GetEventRect(),
                 QVector<QRect>({QRect(10, 5 + offset + d, w, h), QRect(10 + w, 5 + offset + d, w, h)}));
        QCOMPARE(picture->GetStartX(), 10 + 2 * w);
        QCOMPARE(picture->GetEndX(), 10 + 2 * w + 30);
        QCOMPARE(picture->GetEventRect(), QVector<QRect>({QRect(10 + 2 * w, 5 + d, 30, P)}));
        QCOMPARE(last->GetEventRect().first(), QRect(10, y3 + d, w, h));
        QCOMPARE(last->GetEndX(), 10 + 2 * w);
        if (!shown) {
            // The picture is on screen exactly where its rectangle says.
            const QImage image = v.grab();
            const QPoint corner(10 + 2 * w, 5 + d);
            QCOMPARE(image.pixel(corner), qRgb(255, 255, 0));
            QCOMPARE(image.pixel(corner + QPoint(29, P - 1)), qRgb(255, 255, 0));
            QCOMPARE(image.pixel(corner - QPoint(0, 1)), qRgb(0, 0, 0));
            QCOMPARE(image.pixel(corner + QPoint(30, 0)), qRgb(0, 0, 0));
        }

        QScrollBar* bar = v.view.GetVerticalScrollBar();
        QCOMPARE(!bar->isHidden(), shown);
        if (!shown) {
            QCOMPARE(bar->value(), 0);
            QCOMPARE(Element::s_iScrollValueV, 0);
            return;
        }
        QCOMPARE(bar->maximum(), maximum);
        for (int i = 0; i < 5; ++i)
            v.wheel(-120);
        QCOMPARE(bar->value(), maximum);
        QCOMPARE(Element::s_iScrollValueV, 10 * maximum);
    }

    void wheelMovesOneStepAndRunsTheHitTest()
    {
        ShownView v(200, 60);
        QList<Element*> lines = fillLines(v.view, 20);
        v.paint();
        QScrollBar* bar = v.view.GetVerticalScrollBar();
        QVERIFY(!bar->isHidden());

        // Up at the top stays at 0 but still tests the point.
        v.move(QPoint(190, 50));
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
        v.wheel(120, screenCenter(lines[0]));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);

        v.wheel(-1200);
        QCOMPARE(bar->value(), 1);
        QCOMPARE(Element::s_iScrollValueV, 10);
        v.wheel(0);
        QCOMPARE(bar->value(), 2);
        v.wheel(240);
        QCOMPARE(bar->value(), 1);
        // A point at widget y is tested at content y + the offset (10).
        const QRect second = lines[1]->GetEventRect().first();
        const QPoint p(second.left() + 1, second.top() + 1 - 10);
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        v.move(p);
        v.click(p);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Element*>(), lines[1]);
    }

    void wheelDoesNothingWithTheBarHidden()
    {
        ShownView v(200, 100);
        TextElement* e = makeLive(QStringLiteral("hello"));
        v.view.AddElement(e);
        v.paint();
        QVERIFY(v.view.GetVerticalScrollBar()->isHidden());
        v.move(screenCenter(e));
        QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);
        // Had it run, the hit test at an empty point would reset the cursor.
        v.wheel(-120, QPoint(190, 90));
        QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(v.view.GetVerticalScrollBar()->value(), 0);
        QCOMPARE(Element::s_iScrollValueV, 0);
    }

    void hoverPressAndReleaseColours()
    {
        ShownView v(200, 100);
        TextElement* e = makeLive(QStringLiteral("name"), 77);
        TextElement* other = makeLive(QStringLiteral("other"), 78);
        other->SetReturn(true);
        v.view.AddElement(e);
        v.view.AddElement(other);
        v.paint();
        QCOMPARE(shownState(v, e), kNormal);

        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        const QPoint on = screenCenter(e, 1);
        v.move(on);
        QCOMPARE(shownState(v, e), kHover);
        QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);

        v.press(on);
        QCOMPARE(shownState(v, e), kPress);
        QCOMPARE(shownState(v, other), kNormal);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Element*>(), static_cast<Element*>(e));
        QCOMPARE(spy.at(0).at(0).value<Element*>()->GetUin(), 77);

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
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
        v.click(QPoint(195, 95));
        QCOMPARE(spy.count(), 2);
    }

    void earliestElementWinsAndEdgesCountAsInside()
    {
        ShownView v(200, 100);
        TextElement* first = makeLive(QStringLiteral("a"), 1);
        TextElement* second = makeLive(QStringLiteral("b"), 2);
        TextElement* deaf = makeText(QStringLiteral("c"));
        v.view.AddElement(first);
        v.view.AddElement(second);
        v.view.AddElement(deaf);
        v.paint();
        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);

        // Rectangle edges, right and bottom included.
        const QRect a = first->GetEventRect().first();
        for (const QPoint& p : {a.topLeft(), a.bottomRight(), a.topRight(), a.bottomLeft()}) {
            v.move(p);
            QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);
        }
        v.move(QPoint(a.left(), a.bottom() + 1));
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);

        // Overlapping rectangles: the earlier element in the list is hit and
        // the later one is set back to normal.
        v.move(second->GetEventRect().first().center());
        second->GetEventRect() = first->GetEventRect();
        v.move(a.center());
        v.click(a.center());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Element*>(), static_cast<Element*>(first));
        QCOMPARE(shownState(v, second), kNormal);

        // An element with events off is never hit.
        const QPoint c = screenCenter(deaf);
        v.move(c);
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
        v.click(c);
        QCOMPARE(spy.count(), 1);
    }

    // Spacing setters lay the view out again at the next paint.
    void edgeAndElementSpaceRelayout()
    {
        ShownView v(200, 100);
        TextElement* first = makeText(QStringLiteral("ab"));
        first->SetIndentSpace(3);
        TextElement* next = makeText(QStringLiteral("cd"));
        next->SetReturn(true);
        v.view.AddElement(first);
        v.view.AddElement(next);
        v.paint();
        QCOMPARE(first->GetEventRect().first().topLeft(), QPoint(3, d));

        v.view.SetEdgeSpace(8, 4);
        v.paint();
        QCOMPARE(first->GetEventRect().first().topLeft(), QPoint(8 + 3, 4 + d));
        QCOMPARE(next->GetStartY(), 4 + h);
        v.view.SetElementSpace(6);
        v.paint();
        QCOMPARE(next->GetStartY(), 4 + 6 + h);
        QCOMPARE(next->GetStartX(), 8);
    }

    void resizeLaysOutWithTheNewWidth()
    {
        ShownView v(100, 100);
        const QString text(20, QLatin1Char('z'));
        TextElement* e = makeText(text);
        v.view.AddElement(e);
        v.paint();
        const int wrappedTop = e->GetEventRect().last().top();
        QVERIFY(wrappedTop > d);

        v.view.resize(400, 100);
        QCOMPARE(e->GetEventRect().last().top(), wrappedTop); // not before the paint
        v.paint();
        QCOMPARE(e->GetEventRect().last().top(), d);
        QCOMPARE(e->GetEndX(), 20 * w);
    }

    void the1501stElementDropsTheOldest()
    {
        tracked = 0;
        ShownView v(200, 100);
        QList<Element*> added;
        for (int i = 0; i < ZALChatView::MaxElements + 1; ++i) {
            auto* e = new TrackedText;
            QFont font = monoFont();
            e->SetFont(font);
            e->SetText(QString::number(i));
            e->SetReturn(true);
            v.view.AddElement(e);
            added.append(e);
            QCOMPARE(tracked, 0 + (i == ZALChatView::MaxElements ? 1 : 0));
        }
        v.paint();
        // The former second element now leads, the rest follow in order.
        QCOMPARE(added[1]->GetStartY(), 0);
        QCOMPARE(added[2]->GetStartY(), h);
        QCOMPARE(added.last()->GetStartY(), (ZALChatView::MaxElements - 1) * h);
        QCOMPARE(v.view.GetVerticalScrollBar()->maximum(),
                 ((ZALChatView::MaxElements - 1) * h + h + d - 100) / 10);
    }

    // The element under the mouse is dropped by the limit: a press right
    // afterwards must neither touch it nor report anything.
    void droppedElementUnderTheMouseIsForgotten()
    {
        ShownView v(200, 100);
        TextElement* victim = makeLive(QStringLiteral("first"), 5);
        v.view.AddElement(victim);
        v.paint();
        const QPoint on = screenCenter(victim);
        v.move(on);
        QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);

        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        for (int i = 0; i < ZALChatView::MaxElements; ++i)
            v.view.AddElement(makeText(QStringLiteral("x")));
        // Pressed where the mouse already is: no move, no new hit test.
        v.click(on);
        QCOMPARE(spy.count(), 0);
    }

    // Two views scrolled differently paint and react as each would alone.
    void viewsKeepTheirOwnLinesAndScrollOffsets()
    {
        auto fill = [](ZALChatView& view, int tallSize) {
            QList<Element*> rows;
            for (int i = 0; i < 12; ++i) {
                TextElement* e = makeLive(QStringLiteral("row%1").arg(i), i);
                e->SetReturn(true);
                view.AddElement(e);
                view.AddElement(makeText(QStringLiteral("T"), tallSize)); // a taller neighbour
                rows.append(e);
            }
            return rows;
        };

        ShownView a(160, 90);
        const QList<Element*> rowsA = fill(a.view, 22);
        a.paint();
        a.view.GetVerticalScrollBar()->setValue(3);
        const QImage aloneA = a.grab();

        ShownView b(160, 90);
        b.view.move(a.view.geometry().topRight() + QPoint(20, 0)); // side by side
        const QList<Element*> rowsB = fill(b.view, 30);
        b.paint();
        b.view.GetVerticalScrollBar()->setValue(7);
        const QImage aloneB = b.grab();

        QCOMPARE(a.grab(), aloneA);
        QCOMPARE(b.grab(), aloneB);
        a.view.resize(160, 91); // A lays out again, B must not notice
        a.paint();
        QCOMPARE(b.grab(), aloneB);

        // The same screen point hits each view's own row.
        auto rowAt = [](const QList<Element*>& rows, const QPoint& content) -> Element* {
            for (Element* e : rows)
                if (e->GetEventRect().first().contains(content))
                    return e;
            return nullptr;
        };
        QPoint p;
        Element* expectA = nullptr;
        Element* expectB = nullptr;
        for (int y = 0; y < 90 && !(expectA && expectB); ++y) {
            p = QPoint(4, y);
            expectA = rowAt(rowsA, p + QPoint(0, 30));
            expectB = rowAt(rowsB, p + QPoint(0, 70));
        }
        QVERIFY(expectA && expectB && expectA->GetUin() != expectB->GetUin());
        QSignalSpy spyA(&a.view, &ZALChatView::sglElementPress);
        QSignalSpy spyB(&b.view, &ZALChatView::sglElementPress);
        for (ShownView* v : {&a, &b}) {
            v->move(p);
            v->click(p);
        }
        QCOMPARE(spyA.count(), 1);
        QCOMPARE(spyB.count(), 1);
        QCOMPARE(spyA.at(0).at(0).value<Element*>(), expectA);
        QCOMPARE(spyB.at(0).at(0).value<Element*>(), expectB);
    }
};

QTEST_MAIN(TestChatView)
#include "tst_chatview.moc"
