// The element model: identity, mouse colours, the line-height table, copying.

#include "support.h"

namespace {

// The smallest concrete element, exposing what the view would show.
class Probe : public Element
{
public:
    void Layout(QPainter&, element_info_&, const Element*) override {}
    void Draw(QPainter&, element_info_&) override {}

    QColor background() const { return m_qCurBackground; }
    QColor text() const { return m_qCurTextColor; }
    static int lastY() { return GetLastY(); }
};

const QColor red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255);
const QColor cyan(0, 255, 255), magenta(255, 0, 255), yellow(255, 255, 0);

void colourProbe(Probe& p, bool events)
{
    p.SetEvent(events);
    mouse_color_ back{red, green, blue};
    mouse_color_ text{cyan, magenta, yellow};
    p.SetEventBackground(back);
    p.SetEventTextColor(text);
}

} // namespace

class TestElement : public QObject
{
    Q_OBJECT

private slots:
    void newElementsStartEmptyAndTransparent()
    {
        Probe p;
        QCOMPARE(p.GetType(), 0);
        QCOMPARE(p.GetUin(), 0);
        QCOMPARE(p.GetGoldBoxId(), quint64(0));
        QVERIFY(!p.GetEvent());
        QVERIFY(p.GetEventRect().isEmpty());
        QCOMPARE(p.background(), QColor(Qt::transparent));
        QCOMPARE(p.text(), QColor(Qt::transparent));
        // Events off shows the press colours, which are transparent too.
        p.SetEvent(false);
        QCOMPARE(p.background(), QColor(Qt::transparent));
        QCOMPARE(p.text(), QColor(Qt::transparent));
    }

    void identitySettersSetTheTypeCode()
    {
        Probe p;
        p.SetUin(42);
        QCOMPARE(p.GetType(), 1);
        p.SetGoldBoxId(Q_UINT64_C(0x1234567890));
        QCOMPARE(p.GetType(), 2);
        QCOMPARE(p.GetUin(), 42);
        QCOMPARE(p.GetGoldBoxId(), Q_UINT64_C(0x1234567890));
        p.SetType(7);
        QCOMPARE(p.GetType(), 7);
    }

    void onEventFollowsTheMouseStateWhileEventsAreOn()
    {
        Probe p;
        colourProbe(p, true);
        QCOMPARE(p.background(), red);
        QCOMPARE(p.text(), cyan);
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.background(), green);
        QCOMPARE(p.text(), magenta);
        p.OnEvent(MOUSE_PRESS);
        QCOMPARE(p.background(), blue);
        QCOMPARE(p.text(), yellow);
        p.OnEvent(static_cast<MOUSE_STATE>(3));
        QCOMPARE(p.background(), blue);
        QCOMPARE(p.text(), yellow);
        p.OnEvent(MOUSE_NORMAL);
        QCOMPARE(p.background(), red);
        QCOMPARE(p.text(), cyan);
    }

    void eventsOffShowThePressColoursForGood()
    {
        Probe p;
        colourProbe(p, false);
        QCOMPARE(p.background(), blue);
        QCOMPARE(p.text(), yellow);
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.background(), blue);

        Probe q;
        colourProbe(q, true);
        q.OnEvent(MOUSE_HOVER);
        q.SetEvent(false);
        QCOMPARE(q.background(), blue);
        QCOMPARE(q.text(), yellow);
        // Turning events back on changes no colour until the next state.
        q.SetEvent(true);
        QCOMPARE(q.background(), blue);
        q.OnEvent(MOUSE_NORMAL);
        QCOMPARE(q.background(), red);
    }

    void setTextColorPinsTheTextColourInEveryState()
    {
        Probe p;
        colourProbe(p, true);
        QColor ink(10, 20, 30);
        p.SetTextColor(ink);
        for (MOUSE_STATE s : {MOUSE_HOVER, MOUSE_PRESS, MOUSE_NORMAL}) {
            p.OnEvent(s);
            QCOMPARE(p.text(), ink);
        }
        QCOMPARE(p.background(), red);
    }

    void lineTableKeepsTheTallestHeightPerLine()
    {
        Element::ClearMaxHeightByY();
        QCOMPARE(Element::GetMaxHeightByY(5), 0);
        Element::SetMaxHeightByY(5, 10);
        Element::SetMaxHeightByY(5, 4);
        QCOMPARE(Element::GetMaxHeightByY(5), 10);
        QCOMPARE(Probe::lastY(), 5);
        Element::SetMaxHeightByY(5, 12);
        QCOMPARE(Element::GetMaxHeightByY(5), 12);

        Element::SetMaxHeightByY(-20, 7);
        QCOMPARE(Element::GetMaxHeightByY(-20), 7);
        QCOMPARE(Probe::lastY(), -20);

        // A negative height counts as a missing entry: 0, never lowering.
        Element::SetMaxHeightByY(30, -3);
        QCOMPARE(Element::GetMaxHeightByY(30), 0);
        Element::SetMaxHeightByY(5, -3);
        QCOMPARE(Element::GetMaxHeightByY(5), 12);
        QCOMPARE(Probe::lastY(), 5);

        Element::ClearMaxHeightByY();
        QCOMPARE(Element::GetMaxHeightByY(5), 0);
        QCOMPARE(Element::GetMaxHeightByY(-20), 0);
        QCOMPARE(Probe::lastY(), 5);
    }

    void copiesCarryLayoutResultsRectanglesAndText()
    {
        TextElement* original = makeText(QStringLiteral("abc"));
        original->SetUin(9);
        original->SetIndentSpace(3);
        ListPass pass(200, 10, 5);
        pass.run({original});

        TextElement copy(*original);
        QCOMPARE(copy.GetEventRect(), original->GetEventRect());
        QCOMPARE(copy.GetStartX(), original->GetStartX());
        QCOMPARE(copy.GetEndX(), original->GetEndX());
        QCOMPARE(copy.GetUin(), 9);

        // The copy lays out on its own: same text, same font, same indent.
        TextElement assigned;
        assigned = *original;
        ListPass again(200, 10, 5);
        again.run({&assigned});
        QCOMPARE(assigned.GetEventRect(), original->GetEventRect());
        QCOMPARE(again.info.height, pass.info.height);
        delete original;
    }
};

QTEST_MAIN(TestElement)
#include "tst_element.moc"
