// Runs in scripts that are shaped or run right to left: drawn as one text
// layout draws the same text in the same font, wrapped at the margin, and
// hit and selected grapheme by grapheme where their cursor positions are.

#include "support.h"

#include <QTextLayout>

namespace {

const QString kArabic = QString::fromUtf8("مرحبا بالعالم");
const QString kHebrew = QString::fromUtf8("שלום עולם");
const QString kMixed = QString::fromUtf8("abc שלום def");

QFont sansFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    return font;
}

TextElement* sansText(const QString& text)
{
    auto* element = new TextElement;
    element->SetFont(sansFont());
    element->SetText(text);
    return element;
}

// Where a selection place lands in a cell: a cluster running right to left
// begins at its cell's right.
QPoint startOf(const TextElement* e, int i)
{
    const QChar::Direction direction = e->GetText().at(i).direction();
    const bool rtl = direction == QChar::DirR || direction == QChar::DirAL;
    const QRect cell = e->GetEventRect().at(i);
    return QPoint(rtl ? cell.right() - 1 : cell.left() + 1, cell.center().y());
}

} // namespace

class TestScripts : public QObject
{
    Q_OBJECT

private slots:
    // One run on a line: the same pixels as QTextLayout's glyphs for the
    // text at the run's origin, and one cell per grapheme that together
    // cover the line without overlapping, ordered by the cursor positions.
    void drawnAsTextLayout_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("rtl"); // the first grapheme is the rightmost
        QTest::newRow("Arabic") << kArabic << true;
        QTest::newRow("Hebrew") << kHebrew << true;
        QTest::newRow("mixed") << kMixed << false;
    }
    void drawnAsTextLayout()
    {
        QFETCH(QString, text);
        QFETCH(bool, rtl);
        ListPass pass({sansText(text)}, 400);
        const Element* e = pass.elements.first();

        QTextLayout layout(text, sansFont());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        QVERIFY(!runs.isEmpty());
        const QFontMetrics fm(sansFont());
        QImage expected(pass.image.size(), pass.image.format());
        expected.fill(Qt::black);
        {
            QPainter painter(&expected);
            painter.setPen(Qt::white);
            const QPointF origin(e->GetStartX(), e->GetStartY() + fm.height() - line.ascent());
            for (const QGlyphRun& run : runs)
                painter.drawGlyphRun(origin, run);
        }
        QCOMPARE(pass.image, expected);

        const QVector<QRect>& cells = e->GetEventRect();
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
        int count = 0;
        while (graphemes.toNextBoundary() > 0)
            ++count;
        QCOMPARE(cells.size(), count);
        QVector<QRect> byX = cells;
        std::sort(byX.begin(), byX.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
        QCOMPARE(byX.first().left(), e->GetStartX());
        QCOMPARE(byX.last().left() + byX.last().width(), e->GetEndX());
        for (int i = 1; i < byX.size(); ++i)
            QCOMPARE(byX[i].left(), byX[i - 1].left() + byX[i - 1].width());
        QCOMPARE(cells.first().left() > cells.last().left(), rtl);
        int first = 0;
        QCOMPARE(cells.first().left() - e->GetStartX(), // the layout's line starts at 0
                 qRound(qMin(line.cursorToX(&first, QTextLine::Leading), line.cursorToX(&first, QTextLine::Trailing))));
    }

    // A run longer than the view breaks into lines that keep the margins,
    // each shaped as the same text laid out at that width.
    void wrapsAtTheMargin()
    {
        const QString text = (kArabic + QLatin1Char(' ')).repeated(6);
        ListPass pass({sansText(text)}, 200);
        const Element* e = pass.elements.first();
        QVERIFY(e->GetEndY() > e->GetStartY());
        int lines = 0;
        int top = INT_MIN;
        const QVector<QRect>& cells = e->GetEventRect();
        QCOMPARE(cells.size(), text.size());
        for (int i = 0; i < cells.size(); ++i) {
            const QRect& cell = cells[i];
            // White space may hang past the margin at a line's end.
            QVERIFY(text.at(i).isSpace() || (cell.left() >= kEdgeX && cell.right() < 200 - kEdgeX));
            lines += cell.top() != top;
            QVERIFY(cell.top() >= top);
            top = cell.top();
        }
        QVERIFY(lines >= 3);
        // The last line is inked.
        const QRect last = e->GetEventRect().last();
        bool inked = false;
        for (int y = last.top(); y <= last.bottom(); ++y)
            for (int x = 0; x < 200; ++x)
                inked = inked || pass.image.pixel(x, y) != kBlack;
        QVERIFY(inked);
    }

    // A line feed breaks the line; a new text is laid out anew.
    void lineFeedsAndNewText()
    {
        ListPass pass({sansText(kHebrew + QLatin1Char('\n') + kHebrew)}, 400);
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

    // Dragging from a grapheme's start to another's, and double clicks,
    // select the characters in between however the run is ordered.
    void selectsByCursorPositions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("word"); // double click at cluster from
        QTest::newRow("Hebrew") << kHebrew << 0 << 3 << kHebrew.left(3) << kHebrew.left(4);
        QTest::newRow("Hebrew, second word") << kHebrew << 5 << 7 << kHebrew.mid(5, 2) << kHebrew.mid(5);
        QTest::newRow("into Hebrew") << kMixed << 1 << 6 << kMixed.mid(1, 5) << QStringLiteral("abc");
        QTest::newRow("Arabic") << kArabic << 2 << 4 << kArabic.mid(2, 2) << kArabic.left(5);
    }
    void selectsByCursorPositions()
    {
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, selected);
        QFETCH(QString, word);
        auto* e = sansText(text);
        e->SetTextColor(QColor(Qt::black));
        ShownView v(300, 100, {e});
        v.press(startOf(e, from));
        v.move(startOf(e, (from + to) / 2));
        v.move(startOf(e, to));
        v.release(startOf(e, to));
        QCOMPARE(v.view.SelectedText(), selected);
        // The selected grapheme shows the highlight.
        const QRect cell = e->GetEventRect().at(from);
        QCOMPARE(v.grab().pixel(cell.left() + 1, cell.top() + 1), v.view.palette().color(QPalette::Highlight).rgb());
        v.view.ClearSelection();
        QTest::mouseDClick(&v.view, Qt::LeftButton, {}, e->GetEventRect().at(from).center());
        QCOMPARE(v.view.SelectedText(), word);
    }
};

QTEST_MAIN(TestScripts)
#include "tst_scripts.moc"
