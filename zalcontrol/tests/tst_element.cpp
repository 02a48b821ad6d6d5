// Elements laid out on their own: the model (mouse colours, the line-height
// table), text runs, pictures and spacers.

#include "support.h"

#include <QTemporaryDir>

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
const QColor cyan(0, 255, 255), magenta(255, 0, 255);
const QRgb kYellow = qRgb(255, 255, 0);

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

} // namespace

class TestElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // Beyond what the view shows: events off show the press colours in every
    // state, also for colours set later; a value outside MOUSE_STATE changes
    // nothing; a pinned text colour holds in every state.
    void mouseColours()
    {
        Probe p;
        p.SetEvent(true);
        setColors(&p, {cyan, magenta, blue}, {red, green, blue});
        p.OnEvent(MOUSE_HOVER);
        p.OnEvent(static_cast<MOUSE_STATE>(3));
        QCOMPARE(p.background(), green);
        p.SetEvent(false);
        QCOMPARE(p.background(), blue);
        setColors(&p, {cyan, cyan, magenta}, {red, red, green});
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.background(), green);
        QCOMPARE(p.text(), magenta);
        QColor ink(10, 20, 30);
        p.SetTextColor(ink);
        p.SetEvent(true);
        p.OnEvent(MOUSE_PRESS);
        QCOMPARE(p.text(), ink);
    }

    void lineTableKeepsTheTallestHeightPerLine()
    {
        Element::ClearMaxHeightByY();
        Element::SetMaxHeightByY(-20, 7);
        Element::SetMaxHeightByY(5, 10);
        Element::SetMaxHeightByY(5, 4);
        Element::SetMaxHeightByY(30, -3); // a negative height counts as none
        Element::SetMaxHeightByY(5, -3);
        QCOMPARE(Element::GetMaxHeightByY(-20), 7);
        QCOMPARE(Element::GetMaxHeightByY(5), 10);
        QCOMPARE(Element::GetMaxHeightByY(30), 0);
        QCOMPARE(Probe::lastY(), 5);
        Element::ClearMaxHeightByY();
        QCOMPARE(Element::GetMaxHeightByY(5), 0);
    }

    // Every character lands where the margin rule puts it and the last one
    // never breaks; a view too narrow for two characters holds one a line;
    // empty text still registers its line.
    void textWrapsAtTheRightMargin_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
        QTest::newRow("100 wide") << 100 << letters;
        QTest::newRow("narrow") << 2 * kEdgeX + 2 * w - 1 << letters;
        QTest::newRow("empty") << 100 << QString();
    }
    void textWrapsAtTheRightMargin()
    {
        QFETCH(int, width);
        QFETCH(QString, text);
        const int n = charsPerLine(width, kEdgeX, w);
        TextElement* run = makeText(text);
        ListPass pass({run}, width);

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), text.size());
        for (int i = 0; i < text.size(); ++i)
            QCOMPARE(rects[i], QRect(kEdgeX + (i % n) * w, kEdgeY + (i / n) * h + d, w, h));
        const int last = text.size() - 1;
        const int endY = kEdgeY + (last / n) * h;
        QCOMPARE(QPoint(run->GetEndX(), run->GetEndY()), QPoint(kEdgeX + (last % n + 1) * w, endY));
        QCOMPARE(pass.info.height, d + h + kEdgeY + endY);
    }

    // An element that would start where not even U+0001 fits begins a new line.
    void textRoomCheckMovesAFullLineOn()
    {
        TextElement* filler = makeText(QString(charsPerLine(100, kEdgeX, w), QLatin1Char('a')));
        TextElement* next = makeText(QStringLiteral("b"));
        ListPass pass({filler, next}, 100);
        QCOMPARE(filler->GetEndY(), kEdgeY);
        QVERIFY(filler->GetEndX() > 100 - fm.horizontalAdvance(QChar(1)) - kEdgeX);
        QCOMPARE(QPoint(next->GetStartX(), next->GetStartY()), QPoint(kEdgeX, kEdgeY + h));
    }

    void textLineFeedsBreakAfterThemselves()
    {
        TextElement* run = makeText(QStringLiteral("a\nb"));
        TextElement* trailing = makeText(QStringLiteral("cd\n"));
        trailing->SetReturn(true);
        TextElement* after = makeText(QStringLiteral("e"));
        TextElement* crlf = makeText(QStringLiteral("a\r\nb"));
        crlf->SetReturn(true);
        ListPass pass({run, trailing, after, crlf});

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), 3);
        QCOMPARE(rects[1].left(), kEdgeX + w); // the line feed has its own cell
        QCOMPARE(rects[2].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
        QCOMPARE(run->GetEndX(), kEdgeX + w);
        // A trailing line feed ends the run at the start of a registered line
        // where the next element continues.
        const int line3 = trailing->GetStartY() + h;
        QCOMPARE(QPoint(trailing->GetEndX(), trailing->GetEndY()), QPoint(kEdgeX, line3));
        QCOMPARE(after->GetEventRect().first().topLeft(), QPoint(kEdgeX, line3 + d));
        // CR LF is one cluster and breaks once.
        QCOMPARE(crlf->GetEventRect().size(), 3);
        QCOMPARE(crlf->GetEndY(), crlf->GetStartY() + h);
    }

    void textIndentShiftsEveryLineAndNarrowsTheRightMargin()
    {
        const int lineStart = kEdgeX + 2 * w;
        const int n = charsPerLine(120, lineStart, w);
        TextElement* run = makeText(QString(2 * n + 1, QLatin1Char('m')));
        run->SetIndentSpace(2 * w);
        run->SetReturn(true);
        ListPass pass({makeText(QStringLiteral("x")), run}, 120);

        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects[0].left(), lineStart);
        QCOMPARE(rects[n - 1].top(), rects[0].top());
        QCOMPARE(rects[n].topLeft(), QPoint(lineStart, rects[0].top() + h));
        QCOMPARE(rects[2 * n].left(), lineStart);
    }

    // A letter with a negative left bearing never starts a line: the
    // character before it stays past the margin.
    void textNegativeBearingHoldsThePreviousCharacter()
    {
        const QChar letter = negativeBearingLetter(fm);
        if (letter.isNull())
            QSKIP("the test font has no letter with a negative left bearing");
        const int n = charsPerLine(100, kEdgeX, w);
        TextElement* run = makeText(QString(n, QLatin1Char('a')) + letter + QStringLiteral("bc"));
        ListPass pass({run}, 100);
        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects[n].top(), rects[0].top());
        QCOMPARE(rects[n + 1].topLeft(), QPoint(kEdgeX, rects[0].top() + h));
    }

    // Combining marks, joined emoji, flags, skin tones and variation
    // selectors are one cell each, never split by a line break.
    void textGraphemeClustersArePlacedWhole_data()
    {
        QTest::addColumn<QString>("cluster");
        QTest::newRow("combining acute") << QStringLiteral("e\u0301");
        QTest::newRow("two marks") << QStringLiteral("a\u0308\u0323");
        QTest::newRow("family") << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QTest::newRow("flag") << QStringLiteral("\U0001F1E9\U0001F1EA");
        QTest::newRow("skin tone") << QStringLiteral("\U0001F44D\U0001F3FD");
        QTest::newRow("variation selector") << QStringLiteral("\u2764\uFE0F");
    }
    void textGraphemeClustersArePlacedWhole()
    {
        QFETCH(QString, cluster);
        const int n = charsPerLine(100, kEdgeX, w);
        // The cluster lands exactly where the line is full.
        TextElement* run = makeText(QString(n - 1, QLatin1Char('a')) + cluster + QStringLiteral("bc"));
        ListPass pass({run}, 100);
        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), n + 2);
        QCOMPARE(rects[n - 1].width(), fm.horizontalAdvance(cluster));
        QCOMPARE(rects[n - 1].top(), rects[0].top());
        QCOMPARE(rects[n].top(), rects[0].top() + h);
    }

    // The last cluster never breaks the line, whatever its plane, and text
    // after a supplementary character is judged by the cluster that follows.
    void textLastClusterNeverBreaksOutsideTheBmp()
    {
        const QString emoji = QStringLiteral("\U0001F600");
        const int e = fm.horizontalAdvance(emoji);
        TextElement* run = makeText(emoji + emoji + emoji + emoji);
        ListPass pass({run}, 2 * kEdgeX + 3 * e - 1); // two emoji fill a line
        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), 4);
        QCOMPARE(rects[1].topLeft(), QPoint(kEdgeX + e, kEdgeY + d));
        QCOMPARE(rects[2].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
        QCOMPARE(QPoint(run->GetEndX(), run->GetEndY()), QPoint(kEdgeX + 2 * e, kEdgeY + h));
    }

    // A joined sequence is drawn as the one glyph the font shapes for it,
    // by default in white on a transparent background.
    void textJoinedEmojiDrawsLikeTheWholeSequence()
    {
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        ListPass pass({makeText(family)});
        QImage reference(pass.image.size(), pass.image.format());
        reference.fill(Qt::black);
        QPainter painter(&reference);
        painter.setFont(monoFont());
        painter.setPen(Qt::white);
        painter.drawText(QPointF(kEdgeX, kEdgeY + h), family);
        painter.end();
        QCOMPARE(pass.image, reference);
    }

    // A new text, a new font of the run's own or of the view it resolves
    // against is measured afresh at the next pass.
    void textMeasurementsFollowTextAndFontChanges()
    {
        TextElement* run = makeText(QStringLiteral("abc"));
        ListPass pass({run});
        run->SetText(QStringLiteral("abcdef"));
        pass.run();
        QCOMPARE(run->GetEventRect().size(), 6);
        QCOMPARE(run->GetEndX(), kEdgeX + 6 * w);

        QFont large = monoFont(26);
        const QFontMetrics lm(large);
        const int lw = lm.horizontalAdvance(QLatin1Char('a'));
        run->SetFont(large);
        pass.run();
        QCOMPARE(run->GetEventRect().last(), QRect(kEdgeX + 5 * lw, kEdgeY + lm.descent(), lw, lm.height()));

        auto* plain = new TextElement;
        plain->SetText(QStringLiteral("mmmm"));
        ShownView v(300, 100, {plain});
        v.view.setFont(large);
        v.view.resize(301, 100); // a relayout
        v.paint();
        QCOMPARE(plain->GetHeight(), lm.height());
        QCOMPARE(plain->GetEndX(), 4 * lm.horizontalAdvance(QLatin1Char('m')));
    }

    // The background fills exactly the hit rectangle, moved up by the scroll.
    void textBackgroundCellsFollowTheScrollOffset()
    {
        TextElement* run = makeText(QStringLiteral("ab"));
        run->SetEvent(true);
        setColors(run, {Qt::white, Qt::white, Qt::white}, {Qt::red, Qt::green, Qt::blue});
        Element::s_iScrollValueV = 30;
        ListPass pass({run}, 200, kEdgeX, 40);
        const QRect cell = run->GetEventRect().first();
        QCOMPARE(cell.top(), 40 + d);
        const QRect screen = cell.translated(0, -30);
        QCOMPARE(pass.image.pixel(screen.topLeft()), qRgb(255, 0, 0));
        QCOMPARE(pass.image.pixel(screen.bottomLeft()), qRgb(255, 0, 0));
        QCOMPARE(pass.image.pixel(screen.left(), screen.top() - 1), kBlack);
        QCOMPARE(pass.image.pixel(screen.left(), screen.bottom() + 1), kBlack);
        QCOMPARE(pass.image.pixel(screen.left() - 1, screen.top()), kBlack);
    }

    // A 100 x 50 picture fitted into a box, from a pixmap and from a file.
    void pictureScalingKeepsTheAspectRatio_data()
    {
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("into a square") << QSize(20, 20) << QSize(20, 10);
        QTest::newRow("height decides") << QSize(80, 10) << QSize(20, 10);
        QTest::newRow("enlarged") << QSize(400, 400) << QSize(400, 200);
        QTest::newRow("width 0 keeps the size") << QSize(0, 20) << QSize(100, 50);
        QTest::newRow("height 0 keeps the size") << QSize(20, 0) << QSize(100, 50);
        QTest::newRow("negative width") << QSize(-20, 20) << QSize(0, 0);
        QTest::newRow("negative height") << QSize(20, -1) << QSize(0, 0);
    }
    void pictureScalingKeepsTheAspectRatio()
    {
        QFETCH(QSize, box);
        QFETCH(QSize, expected);
        QPixmap source = solidPixmap(100, 50, Qt::yellow);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(source.save(path, "PNG"));
        auto* fromPixmap = new ImageElement;
        fromPixmap->SetPixmap(source, box.width(), box.height());
        auto* fromFile = new ImageElement;
        fromFile->SetPixmap(path, box.width(), box.height());
        QCOMPARE(source.size(), QSize(100, 50)); // the caller's picture is untouched
        for (ImageElement* picture : {fromPixmap, fromFile}) {
            ListPass pass({picture}, 600);
            QCOMPARE(QSize(picture->GetEndX() - picture->GetStartX(), picture->GetHeight()), expected);
        }
    }

    // A 64 x 64 picture of one-pixel checks shown at 32 x 32: at pixel ratio
    // 2 every one of its pixels reaches the device (doubled pixels of the
    // 32 x 32 picture would come in 2 x 2 blocks), at ratio 1 the scaled
    // picture as before; the layout size is 32 x 32 both times.
    void pictureIsDrawnAtTheDevicePixelRatio()
    {
        QImage checks(64, 64, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 128));
        const QPixmap source = QPixmap::fromImage(checks);
        Element* picture = withMono(new ImageElement);
        static_cast<ImageElement*>(picture)->SetPixmap(source, 32, 32);
        element_info_ info{100, kEdgeY, kEdgeY, kEdgeX, 0};
        for (const int ratio : {1, 2}) {
            QImage image(100 * ratio, 100 * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::black);
            QPainter painter(&image);
            Element::ClearMaxHeightByY();
            picture->Layout(painter, info, nullptr);
            picture->Draw(painter, info);
            painter.end();
            QCOMPARE(picture->GetEventRect().first(), QRect(kEdgeX, kEdgeY + d, 32, 32));
            const QImage expected =
                ratio == 1 ? source.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation).toImage() : checks;
            QImage shown = image.copy(QRect(QPoint(kEdgeX, kEdgeY + d) * ratio, expected.size()));
            shown.setDevicePixelRatio(1);
            QCOMPARE(shown, expected.convertToFormat(shown.format()));
        }
        delete picture;
    }

    // No picture: nothing drawn, the line height left as it was, a rectangle
    // of width 0 that a view never hits.
    void pictureMissingTakesNoRoomAndIsNeverHit()
    {
        auto* missing = new ImageElement;
        missing->SetPixmap(QStringLiteral("/nonexistent/picture.png"), 20, 20);
        missing->SetEvent(true);
        ShownView v(200, 100, {makeText(QStringLiteral("ab")), missing});
        QCOMPARE(missing->GetHeight(), 0);
        QCOMPARE(QPoint(missing->GetStartX(), missing->GetEndX()), QPoint(2 * w, 2 * w));
        QCOMPARE(Element::GetMaxHeightByY(0), h);
        QCOMPARE(missing->GetEventRect().size(), 1);
        QCOMPARE(missing->GetEventRect().first().width(), 0);
        v.move(missing->GetEventRect().first().topLeft());
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
    }

    // After a picture 50 wide (none: the first element stays on the first
    // line, however wide), a picture goes on the same line when it fits, else
    // one line lower by the taller of the font height and the line's tallest
    // item; with the line-break flag below the line by the taller of the
    // picture and the line.
    void picturePlacement_data()
    {
        QTest::addColumn<int>("lineHeight"); // of the picture before it
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("lineBreak");
        QTest::addColumn<QPoint>("start");
        const int room = 100 - 2 * kEdgeX - 50;
        QTest::newRow("first, wider than a line") << 0 << QSize(500, 10) << false << QPoint(kEdgeX, kEdgeY);
        QTest::newRow("fits") << 30 << QSize(room, 40) << false << QPoint(kEdgeX + 50, kEdgeY);
        QTest::newRow("wraps below a tall line") << 30 << QSize(room + 1, 8) << false << QPoint(kEdgeX, kEdgeY + 30);
        QTest::newRow("wraps by the font height") << 6 << QSize(room + 1, 40) << false << QPoint(kEdgeX, kEdgeY + h);
        QTest::newRow("wider than a line, one move") << 6 << QSize(300, 8) << false << QPoint(kEdgeX, kEdgeY + h);
        QTest::newRow("line break, taller picture") << 20 << QSize(10, 40) << true << QPoint(kEdgeX, kEdgeY + 3 + 40);
        QTest::newRow("line break, taller line") << 20 << QSize(10, 8) << true << QPoint(kEdgeX, kEdgeY + 3 + 20);
        QTest::newRow("line break, no room") << 20 << QSize(85, 8) << true << QPoint(kEdgeX, kEdgeY + 3 + 20 + 20);
    }
    void picturePlacement()
    {
        QFETCH(int, lineHeight);
        QFETCH(QSize, picture);
        QFETCH(bool, lineBreak);
        QFETCH(QPoint, start);
        ImageElement* image = makeImage(picture.width(), picture.height());
        image->SetReturn(lineBreak);
        QList<Element*> elements{image};
        if (lineHeight)
            elements.prepend(makeImage(50, lineHeight));
        ListPass pass(elements, 100, kEdgeX, kEdgeY, 3);

        QCOMPARE(QPoint(image->GetStartX(), image->GetStartY()), start);
        QCOMPARE(QPoint(image->GetEndX(), image->GetEndY()), start + QPoint(picture.width(), 0));
        QCOMPARE(Element::GetMaxHeightByY(start.y()), qMax(picture.height(), start.y() == kEdgeY ? lineHeight : 0));
        QCOMPARE(pass.info.height, Element::GetMaxHeightByY(start.y()) + kEdgeY + start.y());
    }

    // A picture taller than the text raises its line: text and shorter
    // pictures on it are centred (drawn a descent lower, moved up by the
    // scroll), a short picture's hit rectangle is as tall as the line, and
    // the next line lies below the tall picture.
    void picturesCentreInTallerLines()
    {
        const int P = 3 * h;
        TextElement* before = makeText(QStringLiteral("ab"));
        ImageElement* tall = makeImage(20, P, Qt::blue);
        ImageElement* small = makeImage(12, 10);
        TextElement* after = makeText(QStringLiteral("cd\ne"));
        Element::s_iScrollValueV = 30;
        ListPass pass({before, tall, small, after}, 200, kEdgeX, 40);

        const int centred = 40 + (P - h) / 2 + d;
        QCOMPARE(before->GetEventRect().first().top(), centred);
        QCOMPARE(tall->GetEventRect().first().top(), 40 + d);
        const QRect rect(kEdgeX + 2 * w + 20, 40 + (P - 10) / 2 + d, 12, P);
        QCOMPARE(small->GetEventRect(), QVector<QRect>({rect}));
        QCOMPARE(after->GetEventRect().first().topLeft(), QPoint(rect.right() + 1, centred));
        QCOMPARE(after->GetEventRect().last().topLeft(), QPoint(kEdgeX, 40 + P + d));
        const QPoint screen = rect.topLeft() - QPoint(0, 30);
        QCOMPARE(pass.image.pixel(screen), kYellow);
        QCOMPARE(pass.image.pixel(screen + QPoint(11, 9)), kYellow);
        QCOMPARE(pass.image.pixel(screen - QPoint(0, 1)), kBlack);
        QCOMPARE(pass.image.pixel(screen + QPoint(0, 10)), kBlack);
    }

    // Start and end of a gap after a picture of the given size (none when
    // empty), y counted below edge_y.
    void spacerWrapsAtTheMargin_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("edgeX");
        QTest::addColumn<QSize>("before");
        QTest::addColumn<int>("space");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        QTest::newRow("wraps at the fifth pixel") << 100 << 0 << QSize(95, 1) << 10 << QPoint(95, 0) << QPoint(5, h);
        QTest::newRow("leaves a tall line by its height")
            << 100 << 0 << QSize(95, 30) << 10 << QPoint(95, 0) << QPoint(5, 30);
        QTest::newRow("ends on the last pixel") << 100 << 0 << QSize() << 99 << QPoint(0, 0) << QPoint(99, 0);
        QTest::newRow("one more wraps") << 100 << 0 << QSize() << 100 << QPoint(0, 0) << QPoint(0, h);
        QTest::newRow("two lines") << 100 << 0 << QSize(30, 1) << 90 << QPoint(30, 0) << QPoint(20, h);
        // Wider than a line and than the rest of its line: a line break.
        QTest::newRow("wider than a line") << 100 << 0 << QSize(30, 1) << 250 << QPoint(30, 0) << QPoint(0, h);
        QTest::newRow("edge_x on both sides") << 100 << 10 << QSize(75, 1) << 10 << QPoint(85, 0) << QPoint(15, h);
        QTest::newRow("no room for a pixel") << 10 << 5 << QSize() << 3 << QPoint(5, 0) << QPoint(5, h);
        QTest::newRow("starts past the margin") << 100 << 0 << QSize(100, 30) << 4 << QPoint(0, 30) << QPoint(4, 30);
        QTest::newRow("zero width") << 100 << 0 << QSize(30, 3) << 0 << QPoint(30, 0) << QPoint(30, 0);
        QTest::newRow("negative width") << 100 << 0 << QSize(30, 3) << -7 << QPoint(30, 0) << QPoint(30, 0);
    }
    void spacerWrapsAtTheMargin()
    {
        QFETCH(int, width);
        QFETCH(int, edgeX);
        QFETCH(QSize, before);
        QFETCH(int, space);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        auto* gap = withMono(new SpaceElement);
        gap->SetSpace(space);
        QList<Element*> elements{gap};
        if (!before.isEmpty())
            elements.prepend(makeImage(before.width(), before.height()));
        ListPass pass(elements, width, edgeX);

        const QPoint offset(0, kEdgeY);
        QCOMPARE(QPoint(gap->GetStartX(), gap->GetStartY()), start + offset);
        QCOMPARE(QPoint(gap->GetEndX(), gap->GetEndY()), end + offset);
        // Its lines hold at least its font height; the content bottom counts
        // the start line's height, even when the gap wrapped.
        QVERIFY(Element::GetMaxHeightByY(end.y() + kEdgeY) >= h);
        QCOMPARE(Element::GetMaxHeightByY(start.y() + kEdgeY), qMax(h, start.y() == 0 ? before.height() : 0));
        QCOMPARE(pass.info.height, Element::GetMaxHeightByY(start.y() + kEdgeY) + kEdgeY + end.y() + kEdgeY);
        QVERIFY(gap->GetEventRect().isEmpty());
    }
};

QTEST_MAIN(TestElement)
#include "tst_element.moc"
