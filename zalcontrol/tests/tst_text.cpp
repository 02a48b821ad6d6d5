// Text in a view: wrap, selection, clicks against drags, accessibility, elements leaving; shaped runs.

#include "support.h"

#include <src/chataccessible.h>

#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QTextLayout>

namespace {

// Accessibility events the view sent: the object and the kind.
QVector<QPair<QObject*, QAccessible::Event>> g_events;
void recordEvent(QAccessibleEvent* event) { g_events.append({event->object(), event->type()}); }

const QString kArabic = QString::fromUtf8("مرحبا بالعالم");
const QString kHebrew = QString::fromUtf8("שלום עולם");
const QString kMixed = QString::fromUtf8("abc שלום def");

// Where a selection place lands: before unit i (a right-to-left cluster begins at its cell's right), or at the end.
QPoint placePoint(const Element* e, int i)
{
    const QVector<QRect>& cells = e->GetEventRect();
    const QRect cell = cells.at(qMin(i, cells.size() - 1));
    auto* text = dynamic_cast<const TextElement*>(e);
    const QChar::Direction dir = text && i < text->GetText().size() ? text->GetText().at(i).direction() : QChar::DirL;
    const bool right = i >= cells.size() || dir == QChar::DirR || dir == QChar::DirAL;
    return QPoint(right ? cell.right() - 1 : cell.left() + 1, cell.center().y() - Element::s_iScrollValueV);
}

// hello world|again
// [picture]
// abcdefghijklmnopqrstuvwx  (one run, wrapped at the margin)
// yz0123456789
// [box: in |box]
// after [spacer]
struct Chat : ShownView
{
    QList<Element*> e;
    Chat()
        : ShownView(200, 300)
    {
        ImageElement* picture = makeImage(12, 12);
        picture->SetReturn(true);
        picture->SetAccessibleText(QStringLiteral("[pic]"));
        e = {makeText(QStringLiteral("hello world")), makeText(QStringLiteral("again")), picture,
             makeText(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789"), true),
             makeBox({makeText(QStringLiteral("in ")), makeText(QStringLiteral("box"))}),
             makeText(QStringLiteral("after")), new SpaceElement};
        for (Element* element : e)
            view.AddElement(element);
        paint();
    }
};

// Clicks (1: a drag between the places), the places (element, unit) and the selected text.
using SelectRow = std::tuple<int, QPoint, QPoint, QString>;
// Text, first grapheme rightmost, graphemes dragged between, selected text, the word a double click selects.
using ShapedRow = std::tuple<QString, bool, int, int, QString, QString>;

} // namespace

Q_DECLARE_METATYPE(SelectRow)
Q_DECLARE_METATYPE(ShapedRow)

class TestText : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    // Offscreen no screen reader listens: the view's observer sees the events it sends.
    void initTestCase() { ZALChatViewAccessible::SetEventObserver(recordEvent); }
    void cleanupTestCase() { ZALChatViewAccessible::SetEventObserver(nullptr); }
    void init() { Element::s_iScrollValueV = 0; }

    // Children's roles, names and order (no spacers); rectangles under scrolling; the press action; selection events.
    void tree()
    {
        Chat v;
        v.view.resize(200, 40);
        QSignalSpy presses(&v.view, &ZALChatView::sglElementPress);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&v.view);
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), 6);
        const QAccessible::Role text = QAccessible::StaticText;
        const QVector<QPair<QAccessible::Role, QString>> expected{
            {text, "hello world"}, {text, "again"}, {QAccessible::Graphic, "[pic]"},
            {text, static_cast<TextElement*>(v.e[3])->GetText()}, {QAccessible::Button, "in box"}, {text, "after"}};
        for (int i = 0; i < expected.size(); ++i) {
            QAccessibleInterface* child = list->child(i);
            QVERIFY(child && child->isValid());
            QCOMPARE(child->role(), expected[i].first);
            QCOMPARE(child->text(QAccessible::Name), expected[i].second);
            QCOMPARE(child->actionInterface() != nullptr, i == 4);
        }

        v.bar()->setValue(2);
        v.paint();
        const int scroll = v.bar()->value() * ZALChatView::ScrollStep;
        QVERIFY(scroll > 0);
        // Cells sit a descent below the line's top.
        QCOMPARE(list->child(0)->rect(), QRect(v.view.mapToGlobal(QPoint(0, d - scroll)), QSize(11 * w, h)));

        QAccessibleActionInterface* action = list->child(4)->actionInterface();
        QCOMPARE(action->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        action->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(presses.count(), 1);
        QCOMPARE(pressed(presses), v.e[4]);

        const QPair<QObject*, QAccessible::Event> selection{&v.view, QAccessible::Selection};
        g_events.clear();
        v.view.SelectAll();
        v.view.SelectAll();
        QCOMPARE(g_events.count(selection), 1);
        v.view.ClearSelection();
        QCOMPARE(g_events.count(selection), 2);
    }

    // 12 mono characters a line: word wrap breaks before a word that does not fit, lets spaces hang, cuts long words.
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
            elements.append(makeText(run));
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

    // Drags, double and triple clicks select; copies break lines where elements do, not where runs wrap.
    void mouseSelects_data()
    {
        QTest::addColumn<SelectRow>("row");
        QTest::newRow("within a run") << SelectRow{1, QPoint(0, 2), QPoint(0, 7), "llo w"};
        QTest::newRow("two runs on a line") << SelectRow{1, QPoint(0, 6), QPoint(1, 3), "worldaga"};
        QTest::newRow("across the wrap") << SelectRow{1, QPoint(3, 20), QPoint(3, 28), "uvwxyz01"};
        QTest::newRow("picture and new lines") << SelectRow{1, QPoint(1, 4), QPoint(3, 2), "n\n[pic]\nab"};
        QTest::newRow("into a box and out") << SelectRow{1, QPoint(3, 34), QPoint(5, 2), "89\nin box\naf"};
        QTest::newRow("word") << SelectRow{2, QPoint(0, 8), QPoint(), "world"};
        QTest::newRow("space between words") << SelectRow{2, QPoint(0, 5), QPoint(), " "};
        QTest::newRow("element") << SelectRow{3, QPoint(0, 8), QPoint(), "hello world"};
    }
    void mouseSelects()
    {
        QFETCH(SelectRow, row);
        const auto& [clicks, from, to, text] = row;
        Chat v;
        const QImage before = v.grab();
        QSignalSpy changed(&v.view, &ZALChatView::sglSelectionChanged);
        const QPoint start = placePoint(v.e[from.x()], from.y());
        if (clicks == 1)
            v.drag(start, placePoint(v.e[to.x()], to.y()));
        if (clicks > 1)
            QTest::mouseDClick(&v.view, Qt::LeftButton, {}, start);
        if (clicks > 2)
            v.click(start);
        QCOMPARE(v.selected(), text);
        QVERIFY(changed.count() >= 1);
        // Selected cells in the palette's highlight colours, the rest as before.
        const QImage shown = v.grab();
        QCOMPARE(shown.pixel(start + QPoint(0, -h / 2 + 1)), v.view.palette().color(QPalette::Highlight).rgb());
        v.view.ClearSelection();
        QCOMPARE(v.selected(), QString());
        QCOMPARE(v.grab(), before);
    }

    // Clicks report on release, drags (not jitter) report nothing; double clicks; copy, select all, the menu.
    void clicksKeysAndMenu()
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
        QCOMPARE(v.selected(), QString());
        QApplication::clipboard()->setText(QStringLiteral("old"));
        v.view.setFocus();
        QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("old"));
        v.drag(p, placePoint(live, 5));
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(v.selected(), QStringLiteral("ello"));
        QTest::mouseDClick(&v.view, Qt::LeftButton, {}, p);
        QCOMPARE(pressed.count(), 3);
        QCOMPARE(v.selected(), QStringLiteral("hello"));

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
        menu(QStringLiteral("Copy")); // the double click's word
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello"));
        const QString all = QStringLiteral("hello worldagain\n[pic]\nabcdefghijklmnopqrstuvwxyz0123456789\nin box\nafter");
        menu(QStringLiteral("Select All"));
        QCOMPARE(v.selected(), all);
        v.view.ClearSelection();
        QTest::keyClick(&v.view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(v.selected(), all);
        QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), all);
    }

    // The selection survives scrolling, relayouts and additions; leaving elements take their part and interfaces.
    void elementsLeaving()
    {
        ShownView v(200, 100);
        QList<Element*> lines;
        for (int i = 0; i < ZALChatView::MaxElements - 2; ++i) {
            lines.append(makeText(QStringLiteral("l%1").arg(i), true));
            v.view.AddElement(lines.last());
        }
        TextElement* child = makeText(QStringLiteral("kid"));
        ButtonElement* box = makeBox({child});
        v.view.AddElement(box);
        v.bar()->setValue(0);
        v.paint();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&v.view);
        QVector<QAccessible::Id> ids; // of l0, l1, l2, l4, l5
        for (int i : {0, 1, 2, 4, 5})
            ids.append(QAccessible::uniqueId(list->child(i)));
        auto gone = [&](int i) { return !QAccessible::accessibleInterface(ids[i]); };
        v.drag(placePoint(lines[0], 1), placePoint(lines[3], 1));
        QCOMPARE(v.selected(), QStringLiteral("0\nl1\nl2\nl"));
        v.bar()->setValue(v.bar()->maximum());
        v.view.resize(150, 90);
        v.paint();
        QCOMPARE(v.selected(), QStringLiteral("0\nl1\nl2\nl"));

        QSignalSpy changed(&v.view, &ZALChatView::sglSelectionChanged);
        v.view.AddElement(makeText(QStringLiteral("new"), true));
        QCOMPARE(changed.count(), 0);
        v.view.AddElement(makeText(QStringLiteral("drops l0"), true));
        QCOMPARE(v.selected(), QStringLiteral("l1\nl2\nl"));
        QVERIFY(gone(0));
        QCOMPARE(QAccessible::uniqueId(list->child(0)), ids[1]);
        delete lines[2];
        QVERIFY(gone(2));
        QCOMPARE(v.selected(), QStringLiteral("l1\nl"));
        QCOMPARE(changed.count(), 2);
        v.view.AddElement(makeText(QStringLiteral("fills the room"), true));
        v.view.AddElement(makeText(QStringLiteral("drops l1"), true));
        v.view.AddElement(makeText(QStringLiteral("drops l3"), true));
        QCOMPARE(v.selected(), QString());
        QCOMPARE(changed.count(), 4);

        v.bar()->setValue(box->GetStartY() / ZALChatView::ScrollStep);
        v.paint();
        v.drag(placePoint(child, 1), placePoint(child, 3));
        QCOMPARE(v.selected(), QStringLiteral("id"));
        delete child;
        QCOMPARE(v.selected(), QString());
        v.view.SelectAll();
        std::unique_ptr<Element> taken(v.view.TakeElement(lines[4]));
        QVERIFY(v.selected().startsWith(QStringLiteral("l5\nl6")));
        QVERIFY(gone(3));
        QCOMPARE(list->childCount(), ZALChatView::MaxElements - 1);
        v.view.Clear();
        QVERIFY(gone(4));
        QCOMPARE(v.selected(), QString());
        v.paint();
    }

    // A long shaped run wraps within the margins, the last line inked; line feeds break; new text lays out anew.
    void shapedLines()
    {
        const QString text = (kArabic + QLatin1Char(' ')).repeated(6);
        ListPass wrapped({makeText(text, false, sansFont())}, 200);
        const QVector<QRect>& cells = wrapped.elements.first()->GetEventRect();
        QCOMPARE(cells.size(), text.size());
        QSet<int> tops;
        for (int i = 0; i < cells.size(); ++i) {
            QVERIFY(text.at(i).isSpace() || (cells[i].left() >= kEdgeX && cells[i].right() < 200 - kEdgeX));
            QVERIFY(i == 0 || cells[i].top() >= cells[i - 1].top());
            tops.insert(cells[i].top());
        }
        QVERIFY(tops.size() >= 3);
        QImage blank(200, cells.last().height(), wrapped.image.format());
        blank.fill(Qt::black);
        QVERIFY(wrapped.image.copy(0, cells.last().top(), 200, blank.height()) != blank);

        ListPass pass({makeText(kHebrew + QLatin1Char('\n') + kHebrew, false, sansFont())}, 400);
        auto* e = static_cast<TextElement*>(pass.elements.first());
        const QVector<QRect> two = e->GetEventRect();
        QCOMPARE(two.size(), 2 * kHebrew.size() + 1);
        QVERIFY(two.last().top() > two.first().top());
        QCOMPARE(two.last(), two.at(kHebrew.size() - 1).translated(0, two.last().top() - two.first().top()));
        e->SetText(kHebrew + QLatin1Char('\n'));
        pass.run();
        QCOMPARE(e->GetEventRect().size(), kHebrew.size() + 1);
        QCOMPARE(e->GetEndX(), kEdgeX);
        QVERIFY(e->GetEndY() > e->GetStartY());
    }

    // A shaped run alone: QTextLayout's pixels at its origin, one cell per grapheme in cursor order; a drag between
    // two graphemes selects what lies between, in the highlight; a double click selects the word.
    void shapedRuns_data()
    {
        QTest::addColumn<ShapedRow>("row");
        const QString marks = QStringLiteral("ae\u0301e\u0301 bc");
        QTest::newRow("Arabic") << ShapedRow{kArabic, true, 2, 4, kArabic.mid(2, 2), kArabic.left(5)};
        QTest::newRow("Hebrew") << ShapedRow{kHebrew, true, 0, 3, kHebrew.left(3), kHebrew.left(4)};
        QTest::newRow("Hebrew, second word") << ShapedRow{kHebrew, true, 5, 7, kHebrew.mid(5, 2), kHebrew.mid(5)};
        QTest::newRow("into Hebrew") << ShapedRow{kMixed, false, 1, 6, kMixed.mid(1, 5), QStringLiteral("abc")};
        QTest::newRow("combining marks") << ShapedRow{marks, false, 1, 2, marks.mid(1, 2), marks.left(5)};
    }
    void shapedRuns()
    {
        QFETCH(ShapedRow, row);
        const auto& [text, rtl, from, to, selected, word] = row;
        ListPass pass({makeText(text, false, sansFont())}, 400);
        const Element* e = pass.elements.first();
        QTextLayout layout(text, sansFont());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        QImage expected(pass.image.size(), pass.image.format());
        expected.fill(Qt::black);
        QPainter painter(&expected);
        painter.setPen(Qt::white);
        const QPointF origin(e->GetStartX(), e->GetStartY() + QFontMetrics(sansFont()).height() - line.ascent());
        for (const QGlyphRun& run : layout.glyphRuns())
            painter.drawGlyphRun(origin, run);
        painter.end();
        if (rtl || text == kMixed) // shaped; other runs keep their own drawing
            QCOMPARE(pass.image, expected);

        int count = 0;
        for (QTextBoundaryFinder g(QTextBoundaryFinder::Grapheme, text); g.toNextBoundary() > 0;)
            ++count;
        const QVector<QRect>& cells = e->GetEventRect();
        QCOMPARE(cells.size(), count);
        QVector<QRect> byX = cells;
        std::sort(byX.begin(), byX.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
        QCOMPARE(byX.first().left(), e->GetStartX());
        QCOMPARE(byX.last().left() + byX.last().width(), e->GetEndX());
        for (int i = 1; i < byX.size(); ++i)
            QCOMPARE(byX[i].left(), byX[i - 1].left() + byX[i - 1].width());
        QCOMPARE(cells.first().left() > cells.last().left(), rtl);
        int first = 0; // the layout's line starts at 0
        const qreal leading = line.cursorToX(&first, QTextLine::Leading);
        QCOMPARE(cells.first().left() - e->GetStartX(), qRound(qMin(leading, line.cursorToX(&first, QTextLine::Trailing))));

        auto* shown = makeText(text, false, sansFont());
        shown->SetTextColor(QColor(Qt::black));
        ShownView v(300, 100, {shown});
        v.drag(placePoint(shown, from), placePoint(shown, to));
        QCOMPARE(v.selected(), selected);
        const QRect cell = shown->GetEventRect().at(from);
        QCOMPARE(v.grab().pixel(cell.left() + 1, cell.top() + 1), v.view.palette().color(QPalette::Highlight).rgb());
        v.view.ClearSelection();
        QTest::mouseDClick(&v.view, Qt::LeftButton, {}, cell.center());
        QCOMPARE(v.selected(), word);
    }
};

QTEST_MAIN(TestText)
#include "tst_text.moc"
