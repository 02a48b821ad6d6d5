#include "support.h"

#include <src/chataccessible.h>

#include <QAccessible>

#include <memory>

namespace {

// Accessibility events the view sent: the object and the kind.
QVector<QPair<QObject*, QAccessible::Event>> g_events;

void recordEvent(QAccessibleEvent* event)
{
    g_events.append({event->object(), event->type()});
}

QAccessible::Id idOf(QAccessibleInterface* iface) { return iface ? QAccessible::uniqueId(iface) : 0; }

} // namespace

class TestAccessible : public QObject
{
    Q_OBJECT

private slots:
    // Offscreen no screen reader ever listens (QAccessible::isActive() stays
    // false whatever setActive() says), so QAccessible's own update handler
    // never runs: the view's observer sees what it sends.
    void initTestCase() { ZALChatViewAccessible::SetEventObserver(recordEvent); }
    void cleanupTestCase() { ZALChatViewAccessible::SetEventObserver(nullptr); }

    // Roles, names and order of the children, spacers left out; screen
    // rectangles under scrolling; the box's press action; the selection event.
    void tree()
    {
        const MonoCell cell;
        auto* hello = makeText(QStringLiteral("Hello"));
        auto* space = new SpaceElement;
        space->SetSpace(8);
        auto* smile = makeImage(16, 16);
        smile->SetAccessibleText(QStringLiteral(":)"));
        smile->SetReturn(true);
        ButtonElement* box = makeBox({makeText(QStringLiteral("Open ")), makeText(QStringLiteral("file"))});
        auto* tail = makeText(QStringLiteral("a\nb\nc\nd\ne\nf\ng"));
        ShownView sv(200, 60, {hello, space, smile, makeImage(8, 8), box, tail});
        QSignalSpy presses(&sv.view, &ZALChatView::sglElementPress);

        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&sv.view);
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), 5);
        const QVector<QPair<QAccessible::Role, QString>> expected{
            {QAccessible::StaticText, QStringLiteral("Hello")}, {QAccessible::Graphic, QStringLiteral(":)")},
            {QAccessible::Graphic, QString()},                 {QAccessible::Button, QStringLiteral("Open file")},
            {QAccessible::StaticText, tail->GetText()}};
        for (int i = 0; i < expected.size(); ++i) {
            QAccessibleInterface* child = list->child(i);
            QVERIFY(child && child->isValid());
            QCOMPARE(child->role(), expected[i].first);
            QCOMPARE(child->text(QAccessible::Name), expected[i].second);
            QCOMPARE(list->indexOfChild(child), i);
            QCOMPARE(child->parent(), list);
            QCOMPARE(child->actionInterface() != nullptr, i == 3);
        }

        // "Hello" is the first line alone (its cells sit a descent low); the
        // view scrolls it up.
        sv.bar()->setValue(2);
        sv.paint();
        const int scroll = sv.bar()->value() * ZALChatView::ScrollStep;
        QVERIFY(scroll > 0);
        QCOMPARE(list->child(0)->rect(),
                 QRect(sv.view.mapToGlobal(QPoint(0, cell.d - scroll)), QSize(5 * cell.w, cell.h)));
        const QRect boxRect = list->child(3)->rect();
        QCOMPARE(list->childAt(boxRect.center().x(), boxRect.center().y()), list->child(3));

        QAccessibleActionInterface* action = list->child(3)->actionInterface();
        QCOMPARE(action->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        action->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(presses.count(), 1);
        QCOMPARE(pressed(presses), static_cast<Element*>(box));

        // Once per change of the selection.
        const QPair<QObject*, QAccessible::Event> selection{&sv.view, QAccessible::Selection};
        g_events.clear();
        sv.view.SelectAll();
        sv.view.SelectAll();
        QCOMPARE(g_events.count(selection), 1);
        sv.view.ClearSelection();
        QCOMPARE(g_events.count(selection), 2);
    }

    // Interfaces of elements that left (by the limit, the host's delete,
    // TakeElement, the view's end) are gone from the cache, not dangling.
    void elementsLeaving()
    {
        auto* view = new ZALChatView;
        QVector<Element*> first;
        for (int i = 0; i < ZALChatView::MaxElements; ++i) {
            first.append(makeText(QString::number(i)));
            view->AddElement(first.last());
        }
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
        QVector<QAccessible::Id> ids;
        for (int i : {0, 1, 2, ZALChatView::MaxElements - 1})
            ids.append(idOf(list->child(i)));
        QVERIFY(!ids.contains(0));

        view->AddElement(makeText(QStringLiteral("new")));
        QVERIFY(!QAccessible::accessibleInterface(ids[0]));
        QCOMPARE(idOf(list->child(0)), ids[1]);
        delete first[1];
        QVERIFY(!QAccessible::accessibleInterface(ids[1]));
        std::unique_ptr<Element> taken(view->TakeElement(first[2]));
        QVERIFY(!QAccessible::accessibleInterface(ids[2]));
        QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral("3"));
        QCOMPARE(list->childCount(), ZALChatView::MaxElements - 2);
        delete view;
        QVERIFY(!QAccessible::accessibleInterface(ids[3]));
    }
};

QTEST_MAIN(TestAccessible)
#include "tst_accessible.moc"
