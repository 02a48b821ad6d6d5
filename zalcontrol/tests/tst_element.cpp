// The element model: identity, mouse colours, the line-height table, copying.

#include "support.h"

namespace {

// The smallest concrete element, exposing what the view would show.
class Probe : public Element
{
public:
    void Layout(QPainter&, element_info_&, const Element*) override {}
    void Draw(QPainter&, element_info_&) override {}
    Element* Clone() const override { return new Probe(*this); }

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
    void identitySettersSetTheTypeCode()
    {
        Probe p;
        QCOMPARE(p.GetType(), 0);
        p.SetUin(42);
        QCOMPARE(p.GetType(), 1);
        p.SetGoldBoxId(Q_UINT64_C(0x1234567890));
        QCOMPARE(p.GetType(), 2);
        QCOMPARE(p.GetUin(), 42);
        p.SetType(7);
        QCOMPARE(p.GetType(), 7);
    }

    void mouseStatesPickTheirColours()
    {
        Probe p;
        QCOMPARE(p.background(), QColor(Qt::transparent));
        colourProbe(p, true);
        QCOMPARE(p.background(), red);
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.text(), magenta);
        p.OnEvent(MOUSE_PRESS);
        QCOMPARE(p.background(), blue);
        p.OnEvent(static_cast<MOUSE_STATE>(3)); // not a state: ignored
        QCOMPARE(p.background(), blue);
        p.OnEvent(MOUSE_NORMAL);
        QCOMPARE(p.text(), cyan);

        // A pinned text colour survives every state.
        QColor ink(10, 20, 30);
        p.SetTextColor(ink);
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.text(), ink);
        QCOMPARE(p.background(), green);
    }

    // An element that ignores the mouse shows its press colours; turning
    // events back on changes nothing until the next state.
    void eventsOffShowThePressColours()
    {
        Probe p;
        colourProbe(p, false);
        QCOMPARE(p.background(), blue);
        QCOMPARE(p.text(), yellow);
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.background(), blue);
        p.SetEvent(true);
        QCOMPARE(p.background(), blue);
        p.OnEvent(MOUSE_HOVER);
        p.SetEvent(false);
        QCOMPARE(p.background(), blue);
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
