// Text runs: layout on lines, wrapping, line feeds, indents, grapheme
// clusters, and what their drawing leaves on screen.

#include "support.h"

namespace {

const int kEdgeX = 10;
const int kEdgeY = 5;

// A BMP letter of the font with a negative left bearing, or a null QChar.
QChar negativeBearingLetter(const QFontMetrics& fm)
{
    for (ushort c = 0x21; c < 0x600; ++c) {
        const QChar ch(c);
        if (ch.isLetter() && fm.inFont(ch) && fm.leftBearing(ch) < 0)
            return ch;
    }
    return QChar();
}

bool isBlack(QRgb p)
{
    return qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 0;
}

} // namespace

class TestTextElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    void emptyTextRegistersItsLineAndDrawsNothing()
    {
        TextElement* empty = makeText(QString());
        ListPass pass(200, kEdgeX, kEdgeY);
        pass.run({empty});
        QCOMPARE(empty->GetStartX(), kEdgeX);
        QCOMPARE(empty->GetEndX(), kEdgeX);
        QCOMPARE(empty->GetEndY(), kEdgeY);
        QCOMPARE(Element::GetMaxHeightByY(kEdgeY), h);
        QCOMPARE(pass.info.height, d + h + kEdgeY + kEdgeY);
        QVERIFY(empty->GetEventRect().isEmpty());
        delete empty;
    }

    // An element that would start where not even U+0001 fits begins a new
    // line, whatever its own content.
    void roomCheckMovesAFullLineOn()
    {
        const int width = 100;
        const QString full(charsPerLine(width, kEdgeX, w), QLatin1Char('a'));
        TextElement* filler = makeText(full); // its last character never breaks
        TextElement* next = makeText(QStringLiteral("b"));
        ListPass pass(width, kEdgeX, kEdgeY);
        pass.run({filler, next});
        QCOMPARE(filler->GetEndY(), kEdgeY);
        QVERIFY(filler->GetEndX() > width - fm.horizontalAdvance(QChar(1)) - kEdgeX);
        QCOMPARE(next->GetStartX(), kEdgeX);
        QCOMPARE(next->GetStartY(), kEdgeY + h);
        delete filler;
        delete next;
    }

    // Every character lands where the margin rule puts it; in a view too
    // narrow for two characters, each line holds one.
    void wrapsAtTheRightMargin_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("100 wide") << 100;
        QTest::newRow("narrow") << 2 * kEdgeX + 2 * w - 1;
    }
    void wrapsAtTheRightMargin()
    {
        QFETCH(int, width);
        const int n = charsPerLine(width, kEdgeX, w);
        const QString text = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
        TextElement* run = makeText(text);
        ListPass pass(width, kEdgeX, kEdgeY);
        pass.run({run});

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), text.size());
        for (int i = 0; i < text.size(); ++i)
            QCOMPARE(rects[i], QRect(kEdgeX + (i % n) * w, kEdgeY + (i / n) * h + d, w, h));
        // The last character never breaks: the run ends beside it.
        const int last = text.size() - 1;
        QCOMPARE(run->GetEndX(), kEdgeX + (last % n + 1) * w);
        QCOMPARE(run->GetEndY(), kEdgeY + (last / n) * h);
        delete run;
    }

    void lineFeedsBreakAfterThemselves()
    {
        TextElement* run = makeText(QStringLiteral("a\nb"));
        TextElement* trailing = makeText(QStringLiteral("cd\n"));
        trailing->SetReturn(true);
        TextElement* after = makeText(QStringLiteral("e"));
        ListPass pass(200, kEdgeX, kEdgeY);
        pass.run({run, trailing, after});

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), 3);
        QCOMPARE(rects[1].left(), kEdgeX + w); // the line feed has its own cell
        QCOMPARE(rects[2].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
        QCOMPARE(run->GetEndX(), kEdgeX + w);

        // A trailing line feed ends the run at the start of a registered line
        // where the next element continues.
        const int line3 = trailing->GetStartY() + h;
        QCOMPARE(trailing->GetEndX(), kEdgeX);
        QCOMPARE(trailing->GetEndY(), line3);
        QCOMPARE(after->GetEventRect().first().topLeft(), QPoint(kEdgeX, line3 + d));

        // CR LF is one cluster and breaks once.
        TextElement* crlf = makeText(QStringLiteral("a\r\nb"));
        ListPass again(200, kEdgeX, kEdgeY);
        again.run({crlf});
        QCOMPARE(crlf->GetEventRect().size(), 3);
        QCOMPARE(crlf->GetEndY(), kEdgeY + h);
        delete run;
        delete trailing;
        delete after;
        delete crlf;
    }

    void indentShiftsEveryLineAndNarrowsTheRightMargin()
    {
        const int width = 120;
        const int indent = 2 * w;
        const int lineStart = kEdgeX + indent;
        const int n = charsPerLine(width, lineStart, w);
        TextElement* before = makeText(QStringLiteral("x"));
        TextElement* run = makeText(QString(2 * n + 1, QLatin1Char('m')));
        run->SetIndentSpace(indent);
        run->SetReturn(true);
        ListPass pass(width, kEdgeX, kEdgeY);
        pass.run({before, run});

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects[0].left(), lineStart);
        QCOMPARE(rects[n - 1].top(), rects[0].top());
        QCOMPARE(rects[n].left(), lineStart);
        QCOMPARE(rects[n].top(), rects[0].top() + h);
        QCOMPARE(rects[2 * n].left(), lineStart);
        delete before;
        delete run;
    }

    // A letter with a negative left bearing is never left alone at the start
    // of a line: the character before it stays past the margin.
    void negativeBearingHoldsThePreviousCharacter()
    {
        const QChar letter = negativeBearingLetter(fm);
        if (letter.isNull())
            QSKIP("the test font has no letter with a negative left bearing");
        const int width = 100;
        const int n = charsPerLine(width, kEdgeX, w);
        const QString text = QString(n, QLatin1Char('a')) + letter + QStringLiteral("bc");
        TextElement* run = makeText(text);
        ListPass pass(width, kEdgeX, kEdgeY);
        pass.run({run});
        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects[n].top(), rects[0].top()); // the letter stays on line one
        QCOMPARE(rects[n + 1].left(), kEdgeX);    // and the line breaks after it
        QCOMPARE(rects[n + 1].top(), rects[0].top() + h);
        delete run;
    }

    // Combining marks, joined emoji, flags, skin tones and variation
    // selectors are one piece each: one cell, one hit rectangle, never split
    // by a line break.
    void graphemeClustersArePlacedWhole_data()
    {
        QTest::addColumn<QString>("cluster");
        QTest::newRow("combining acute") << QStringLiteral("e\u0301");
        QTest::newRow("two marks") << QStringLiteral("a\u0308\u0323");
        QTest::newRow("family") << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QTest::newRow("flag") << QStringLiteral("\U0001F1E9\U0001F1EA");
        QTest::newRow("skin tone") << QStringLiteral("\U0001F44D\U0001F3FD");
        QTest::newRow("variation selector") << QStringLiteral("\u2764\uFE0F");
    }
    void graphemeClustersArePlacedWhole()
    {
        QFETCH(QString, cluster);
        const int width = 100;
        const int n = charsPerLine(width, kEdgeX, w);
        // The cluster lands exactly where the line is full.
        const QString text = QString(n - 1, QLatin1Char('a')) + cluster + QStringLiteral("bc");
        TextElement* run = makeText(text);
        ListPass pass(width, kEdgeX, kEdgeY);
        pass.run({run});

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), n + 2);
        QCOMPARE(rects[n - 1].width(), fm.horizontalAdvance(cluster));
        QCOMPARE(rects[n - 1].top(), rects[0].top());
        QCOMPARE(rects[n].top(), rects[0].top() + h);
        delete run;
    }

    // Whatever plane its last character comes from, a run's last cluster
    // never breaks the line, and text after a supplementary character is
    // judged by the cluster that really follows.
    void lastClusterNeverBreaksOutsideTheBmp()
    {
        const QString emoji = QStringLiteral("\U0001F600");
        const int e = fm.horizontalAdvance(emoji);
        // Two emoji fill a line: the second ends past width - lineStart - e.
        const int width = 2 * kEdgeX + 3 * e - 1;
        TextElement* run = makeText(emoji + emoji + emoji + emoji);
        ListPass pass(width, kEdgeX, kEdgeY);
        pass.run({run});
        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), 4);
        QCOMPARE(rects[1].topLeft(), QPoint(kEdgeX + e, kEdgeY + d));
        QCOMPARE(rects[2].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
        QCOMPARE(rects[3].topLeft(), QPoint(kEdgeX + e, kEdgeY + h + d));
        QCOMPARE(run->GetEndX(), kEdgeX + 2 * e);
        QCOMPARE(run->GetEndY(), kEdgeY + h);
        delete run;
    }

    // A joined sequence is drawn as the one glyph the font shapes for it,
    // by default in white on a transparent background.
    void joinedEmojiDrawsLikeTheWholeSequence()
    {
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        TextElement* run = makeText(family); // default colours: white on transparent
        ListPass pass(200, kEdgeX, kEdgeY);
        pass.run({run});

        QImage reference(pass.image.size(), pass.image.format());
        reference.fill(Qt::black);
        QPainter painter(&reference);
        painter.setFont(monoFont());
        painter.setPen(Qt::white);
        painter.drawText(QPointF(kEdgeX, kEdgeY + h), family);
        painter.end();
        QCOMPARE(pass.image, reference);
        delete run;
    }

    // A run measures its clusters once; a new text, a new font of its own or
    // a new font of the view it is resolved against is measured afresh at
    // the next layout pass.
    void measurementsFollowTextAndFontChanges()
    {
        TextElement* run = makeText(QStringLiteral("abc"));
        ListPass pass(200, kEdgeX, kEdgeY);
        pass.run({run});
        QCOMPARE(run->GetEndX(), kEdgeX + 3 * w);

        run->SetText(QStringLiteral("abcdef"));
        ListPass again(200, kEdgeX, kEdgeY);
        again.run({run});
        QCOMPARE(run->GetEventRect().size(), 6);
        QCOMPARE(run->GetEndX(), kEdgeX + 6 * w);

        QFont large = monoFont(26);
        const QFontMetrics lm(large);
        run->SetFont(large);
        ListPass larger(400, kEdgeX, kEdgeY);
        larger.run({run});
        QCOMPARE(run->GetHeight(), lm.height());
        QCOMPARE(run->GetEndX(), kEdgeX + 6 * lm.horizontalAdvance(QLatin1Char('a')));
        QCOMPARE(run->GetEventRect().last(), QRect(kEdgeX + 5 * lm.horizontalAdvance(QLatin1Char('a')),
                                                   kEdgeY + lm.descent(), lm.horizontalAdvance(QLatin1Char('a')),
                                                   lm.height()));
        delete run;

        // Without a font of its own the run takes the view's.
        ShownView v(300, 100);
        auto* plain = new TextElement;
        plain->SetText(QStringLiteral("mmmm"));
        v.view.AddElement(plain);
        v.paint();
        v.view.setFont(large);
        v.view.resize(301, 100); // a relayout
        v.paint();
        QCOMPARE(plain->GetHeight(), lm.height());
        QCOMPARE(plain->GetEndX(), 4 * lm.horizontalAdvance(QLatin1Char('m')));
    }

    // The background fill covers exactly the hit rectangle, moved up by the
    // scroll offset.
    void backgroundCellsFollowTheScrollOffset()
    {
        TextElement* run = makeText(QStringLiteral("ab"));
        run->SetEvent(true);
        setColors(run, {Qt::white, Qt::white, Qt::white}, {Qt::red, Qt::green, Qt::blue});
        ListPass pass(200, kEdgeX, 40);
        Element::s_iScrollValueV = 30;
        pass.run({run});
        Element::s_iScrollValueV = 0;

        const QRect cell = run->GetEventRect().first();
        QCOMPARE(cell.top(), 40 + d);
        const QRect screen = cell.translated(0, -30);
        const QRgb red = qRgb(255, 0, 0);
        QCOMPARE(pass.image.pixel(screen.topLeft()), red);
        QCOMPARE(pass.image.pixel(screen.bottomLeft()), red);
        QVERIFY(isBlack(pass.image.pixel(screen.left(), screen.top() - 1)));
        QVERIFY(isBlack(pass.image.pixel(screen.left(), screen.bottom() + 1)));
        QVERIFY(isBlack(pass.image.pixel(screen.left() - 1, screen.top())));
        delete run;
    }
};

QTEST_MAIN(TestTextElement)
#include "tst_textelement.moc"
