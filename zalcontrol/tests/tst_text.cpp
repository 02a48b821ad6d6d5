// Text in a view: word wrap; selecting and copying: drags across elements
// and wrapped lines, word and element clicks, the press signal only for
// clicks, the copied text's line feeds, and a selection that outlives
// scrolling, relayouts, additions and the elements that leave.

#include "support.h"

#include <QClipboard>
#include <QMenu>
#include <QScrollBar>

namespace {

// A cell's point where a selection place lands: before unit i, or after the
// last unit when i is the unit count.
QPoint placePoint(const Element* e, int i)
{
    const QVector<QRect>& cells = e->GetEventRect();
    const QRect cell = cells.at(qMin(i, cells.size() - 1));
    return QPoint(i < cells.size() ? cell.left() + 1 : cell.right() - 1, cell.center().y() - Element::s_iScrollValueV);
}

TextElement* line(const QString& text, bool lineBreak = true)
{
    TextElement* e = makeText(text);
    e->SetReturn(lineBreak);
    return e;
}

// hello world|again
// [picture]
// abcdefghijklmnopqrstuvwx  (one run, wrapped at the margin)
// yz0123456789
// [box: in box]
// after
struct Chat : ShownView
{
    QList<Element*> e;
    Chat()
        : ShownView(200, 300)
    {
        ImageElement* picture = makeImage(12, 12);
        picture->SetReturn(true);
        picture->SetAccessibleText(QStringLiteral("[pic]"));
        auto* box = withMono(new ButtonElement);
        box->AddElement(makeText(QStringLiteral("in box")));
        e = {line(QStringLiteral("hello world"), false), line(QStringLiteral("again"), false), picture,
             line(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789")), box,
             line(QStringLiteral("after"), false)};
        for (Element* element : e)
            view.AddElement(element);
        paint();
    }
};

void drag(ShownView& v, const QPoint& from, const QPoint& to)
{
    v.press(from);
    v.move((from + to) / 2);
    v.move(to);
    v.release(to);
}

} // namespace

class TestText : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // The lines of runs in a view 100 wide (12 mono characters): word wrap
    // breaks before the word that does not fit (a second run too), lets
    // spaces hang and cuts only a word longer than a line.
    void wordWrap_data()
    {
        QTest::addColumn<bool>("words");
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("characters") << false << QStringList{"the quick brown fox"} << QStringList{"the quick br", "own fox"};
        QTest::newRow("words") << true << QStringList{"the quick brown fox"} << QStringList{"the quick ", "brown fox"};
        QTest::newRow("longer than a line") << true << QStringList{"a supercalifragilistic end"}
                                            << QStringList{"a supercalif", "ragilistic ", "end"};
        QTest::newRow("hanging space") << true << QStringList{"aaaaaaaaaaaa bb"} << QStringList{"aaaaaaaaaaaa ", "bb"};
        QTest::newRow("line feed") << true << QStringList{"ab\ncd ef"} << QStringList{"ab\n", "cd ef"};
        QTest::newRow("second run") << true << QStringList{"hello ", "wonderful", " day"}
                                    << QStringList{"hello ", "wonderful ", "day"};
    }
    void wordWrap()
    {
        QFETCH(bool, words);
        QFETCH(QStringList, runs);
        QFETCH(QStringList, lines);
        ShownView v(100, 200);
        v.view.SetWordWrap(words);
        QList<TextElement*> elements;
        for (const QString& run : runs) {
            elements.append(line(run, false));
            v.view.AddElement(elements.last());
        }
        v.paint();
        QMap<int, QString> shown;
        for (TextElement* e : elements) {
            for (int i = 0; i < e->GetText().size(); ++i)
                shown[qAsConst(*e).GetEventRect().at(i).top()] += e->GetText().at(i);
        }
        QCOMPARE(shown.values(), lines);
    }

    // Drags (either way), double and triple clicks select in reading order;
    // the copied text has a line feed where an element begins a new line
    // and none where a run wraps at the margin.
    void mouseSelects_data()
    {
        QTest::addColumn<int>("clicks"); // 1: a drag between the places
        QTest::addColumn<QPoint>("from"); // element, unit
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QString>("text");
        QTest::newRow("within a run") << 1 << QPoint(0, 2) << QPoint(0, 7) << "llo w";
        QTest::newRow("backwards") << 1 << QPoint(0, 7) << QPoint(0, 2) << "llo w";
        QTest::newRow("two runs on a line") << 1 << QPoint(0, 6) << QPoint(1, 3) << "worldaga";
        QTest::newRow("across the wrap") << 1 << QPoint(3, 20) << QPoint(3, 28) << "uvwxyz01";
        QTest::newRow("picture and new lines") << 1 << QPoint(1, 4) << QPoint(3, 2) << "n\n[pic]\nab";
        QTest::newRow("into a box and out") << 1 << QPoint(3, 34) << QPoint(5, 2) << "89\nin box\naf";
        QTest::newRow("word") << 2 << QPoint(0, 8) << QPoint() << "world";
        QTest::newRow("space between words") << 2 << QPoint(0, 5) << QPoint() << " ";
        QTest::newRow("element") << 3 << QPoint(3, 30) << QPoint() << "abcdefghijklmnopqrstuvwxyz0123456789";
    }
    void mouseSelects()
    {
        QFETCH(int, clicks);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QString, text);
        Chat v;
        const QImage before = v.grab();
        QSignalSpy changed(&v.view, &ZALChatView::sglSelectionChanged);
        const QPoint start = placePoint(v.e[from.x()], from.y());
        if (clicks == 1)
            drag(v, start, placePoint(v.e[to.x()], to.y()));
        if (clicks > 1)
            QTest::mouseDClick(&v.view, Qt::LeftButton, {}, start);
        if (clicks > 2)
            v.click(start);
        QCOMPARE(v.view.SelectedText(), text);
        QVERIFY(changed.count() >= 1);
        // Selected cells in the palette's highlight colours, the rest as before.
        const QImage shown = v.grab();
        const QPoint first = clicks == 1 && from.x() == to.x() && to.y() < from.y() ? placePoint(v.e[to.x()], to.y()) : start;
        QCOMPARE(shown.pixel(first + QPoint(0, -h / 2 + 1)),
                 v.view.palette().color(QPalette::Highlight).rgb());
        v.view.ClearSelection();
        QCOMPARE(v.view.SelectedText(), QString());
        QCOMPARE(v.grab(), before);
    }

    // A click reports the element when the button comes up; a drag (from as
    // far as the drag distance) selects and reports nothing; a shorter
    // jitter is still a click; both presses of a double click report; other
    // buttons report on the press.
    void clicksReportDragsSelect()
    {
        Chat v;
        Element* live = v.e[0];
        live->SetEvent(true);
        QSignalSpy pressed(&v.view, &ZALChatView::sglElementPress);
        const QPoint p = placePoint(live, 1);
        v.move(p);
        v.press(p);
        QCOMPARE(pressed.count(), 0);
        v.move(p + QPoint(QApplication::startDragDistance() / 2, 0));
        v.release(p);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(v.view.SelectedText(), QString());
        drag(v, p, placePoint(live, 5));
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(v.view.SelectedText(), QStringLiteral("ello"));
        QTest::mouseDClick(&v.view, Qt::LeftButton, {}, p);
        QCOMPARE(pressed.count(), 3);
        QCOMPARE(v.view.SelectedText(), QStringLiteral("hello"));
        QMouseEvent right(QEvent::MouseButtonPress, p, Qt::RightButton, Qt::RightButton, {}); // no context menu
        QApplication::sendEvent(&v.view, &right);
        QCOMPARE(pressed.count(), 4);
        QCOMPARE(::pressed(pressed, 3), live);
        QCOMPARE(v.view.SelectedText(), QStringLiteral("hello"));
    }

    // Ctrl+A, Ctrl+C and the context menu's two entries.
    void copyAndSelectAll()
    {
        Chat v;
        const QString all = QStringLiteral("hello worldagain\n[pic]\nabcdefghijklmnopqrstuvwxyz0123456789\nin box\nafter");
        QApplication::clipboard()->setText(QStringLiteral("old"));
        v.view.setFocus();
        QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("old")); // nothing selected
        QTest::keyClick(&v.view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(v.view.SelectedText(), all);
        QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), all);

        auto menu = [&](const QString& entry) {
            QTimer::singleShot(0, [&] {
                auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(shown);
                for (QAction* action : shown->actions()) {
                    if (action->text() == entry && action->isEnabled())
                        action->trigger();
                }
                shown->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), v.view.mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(&v.view, &event);
        };
        drag(v, placePoint(v.e[0], 0), placePoint(v.e[0], 5));
        menu(QStringLiteral("Copy"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello"));
        menu(QStringLiteral("Select All"));
        QCOMPARE(v.view.SelectedText(), all);
    }

    // The selection keeps its ends through scrolling, a relayout and
    // additions; elements that leave (the limit, a deletion, a box's child,
    // TakeElement, Clear) take their part with them, and the selection goes
    // when nothing selected is left.
    void selectionOutlivesChanges()
    {
        ShownView v(200, 100);
        QList<Element*> lines;
        for (int i = 0; i < ZALChatView::MaxElements - 2; ++i) {
            lines.append(line(QStringLiteral("l%1").arg(i)));
            v.view.AddElement(lines.last());
        }
        auto* box = withMono(new ButtonElement);
        TextElement* child = makeText(QStringLiteral("kid"));
        box->AddElement(child);
        v.view.AddElement(box);
        v.bar()->setValue(0);
        v.paint();
        drag(v, placePoint(lines[0], 1), placePoint(lines[3], 1));
        QCOMPARE(v.view.SelectedText(), QStringLiteral("0\nl1\nl2\nl"));
        v.bar()->setValue(v.bar()->maximum());
        v.view.resize(150, 90);
        v.paint();
        QCOMPARE(v.view.SelectedText(), QStringLiteral("0\nl1\nl2\nl"));

        QSignalSpy changed(&v.view, &ZALChatView::sglSelectionChanged);
        v.view.AddElement(line(QStringLiteral("new")));
        QCOMPARE(changed.count(), 0);
        v.view.AddElement(line(QStringLiteral("drops l0")));
        QCOMPARE(v.view.SelectedText(), QStringLiteral("l1\nl2\nl"));
        delete lines[2];
        QCOMPARE(v.view.SelectedText(), QStringLiteral("l1\nl"));
        QCOMPARE(changed.count(), 2);
        v.view.AddElement(line(QStringLiteral("fills the room")));
        v.view.AddElement(line(QStringLiteral("drops l1")));
        v.view.AddElement(line(QStringLiteral("drops l3")));
        QCOMPARE(v.view.SelectedText(), QString());
        QCOMPARE(changed.count(), 4);

        v.bar()->setValue(box->GetStartY() / ZALChatView::ScrollStep);
        v.paint();
        drag(v, placePoint(child, 1), placePoint(child, 3));
        QCOMPARE(v.view.SelectedText(), QStringLiteral("id"));
        delete child;
        QCOMPARE(v.view.SelectedText(), QString());
        v.view.SelectAll();
        std::unique_ptr<Element> taken(v.view.TakeElement(lines[4]));
        QVERIFY(v.view.SelectedText().startsWith(QStringLiteral("l5\nl6")));
        v.view.Clear();
        QCOMPARE(v.view.SelectedText(), QString());
        v.paint();
    }
};

QTEST_MAIN(TestText)
#include "tst_text.moc"
