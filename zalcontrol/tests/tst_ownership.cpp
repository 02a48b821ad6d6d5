// Who owns an element: a host's pointer mistakes refused or made safe (ASan turns slips into
// failures), list changes from a pass or a slot, the limit's announcements, huge spacings.

#include "support.h"

#include <climits>
#include <functional>

namespace {

// An empty element that runs a host's code from inside its drawing.
class Hook : public Element
{
public:
    std::function<void()> onDraw;
    ~Hook() override { ++g_deleted; }

private:
    void Layout(QPainter&, element_info_&, const Element* prev) override
    {
        ResetEventRect();
        m_iStartX = m_iEndX = prev->GetEndX();
        m_iStartY = m_iEndY = prev->GetEndY();
    }
    void Draw(QPainter&, element_info_&) override
    {
        // A copy: the code may delete this element, and its own copy with it.
        if (const std::function<void()> code = onDraw)
            code();
    }
    Element* Clone() const override { return nullptr; }
};

// The warning of a refused AddElement() must come (the test fails without it).
void expectRefusal(const char* who, const char* reason = "the element already belongs to a view or a box")
{
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("%1::AddElement: refused, %2")
                                                      .arg(QLatin1String(who), QLatin1String(reason))));
}

} // namespace

class TestOwnership : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { g_deleted = 0; }

    // One element in two containers or a box in itself is refused; deleting a held element
    // takes it out of its container; a taken one is free again.
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

    // Host code in a paint (an element's Draw) or a slot adds, takes, deletes, clears:
    // additions and Clear() wait for the pass, nothing freed is touched, nothing lost.
    void listChangesDuringPasses_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("countAfter");
        QTest::addColumn<int>("deletedAfter");
        QTest::newRow("add") << "add" << 5 << 0;
        QTest::newRow("delete a later element") << "delete next" << 3 << 1;
        QTest::newRow("delete itself") << "delete self" << 3 << 1;
        QTest::newRow("take a later element") << "take next" << 3 << 0;
        QTest::newRow("clear, then add") << "clear add" << 1 << 4;
    }
    void listChangesDuringPasses()
    {
        QFETCH(QString, action);
        QFETCH(int, countAfter);
        QFETCH(int, deletedAfter);
        for (const bool fromSlot : {false, true}) {
            g_deleted = 0;
            ShownView v;
            auto* hook = new Hook;
            QList<Element*> rows{hostText(QStringLiteral("a")), hostText(QStringLiteral("b")), hook,
                                 hostText(QStringLiteral("c"))};
            for (Element* row : rows) {
                row->SetEvent(true);
                v.view.AddElement(row);
            }
            v.paint();
            Element* actor = fromSlot ? rows[1] : hook;
            HostText* added = action.contains("add") ? hostText(QStringLiteral("added")) : nullptr;
            std::unique_ptr<Element> taken;
            bool done = false;
            const std::function<void()> act = [&] {
                if (std::exchange(done, true))
                    return;
                if (action.contains("clear"))
                    v.view.Clear();
                if (added)
                    v.view.AddElement(added);
                if (action == "delete next" || action == "delete self")
                    delete (action == "delete next" ? rows[3] : actor);
                if (action == "take next")
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
            if (action == "add" && !fromSlot)
                QVERIFY(static_cast<const Element*>(added)->GetEventRect().isEmpty());
            v.paint();
            QCOMPARE(v.view.ElementCount(), countAfter);
            QCOMPARE(g_deleted, deletedAfter);
            if (added)
                QCOMPARE(added->GetStartY(), countAfter > 1 ? 3 * h : 0);
            v.hoverClick(QPoint(5, 5)); // hits only what is still there
        }
    }

    // The limit announces the oldest while alive; the host forgets it (the view deletes it),
    // takes it or deletes it; a slot adding more is served after the drop.
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

    // Spacings of INT_MAX are clamped (UBSan reports overflows); a gap wider than the line
    // ends the line like a line break.
    void hugeSpacingsStayFinite()
    {
        ShownView v;
        v.view.SetElementSpace(INT_MAX);
        auto* gap = withMono(new SpaceElement);
        gap->SetSpace(INT_MAX);
        ButtonElement* box = makeBox({makeText(QStringLiteral("in"))}, 0, INT_MAX);
        TextElement* indented = makeText(QStringLiteral("x"));
        indented->SetIndentSpace(INT_MAX);
        auto* image = new ImageElement;
        image->SetPixmap(solidPixmap(4, 2, Qt::red), INT_MAX, 3);
        TextElement* first = makeText(QStringLiteral("ab"));
        TextElement* after = makeText(QStringLiteral("c"));
        for (Element* e : QList<Element*>{first, gap, after, box, indented, image})
            v.view.AddElement(e);
        v.paint();
        QCOMPARE(QPoint(after->GetStartX(), after->GetStartY()), QPoint(0, h));
        QCOMPARE(box->GetStartY() - after->GetEndY(), Element::MaxSpace + h);
        QCOMPARE(box->GetHeight(), 2 * Element::MaxSpace + h + d);
        QCOMPARE(image->GetEventRect().first().size(), QSize(6, 3));
        QVERIFY(v.view.GetVerticalScrollBar()->maximum() > 2 * Element::MaxSpace / ZALChatView::ScrollStep);
    }
};

QTEST_MAIN(TestOwnership)
#include "tst_ownership.moc"
