// Elements laid out on their own: colours, text runs, pictures, spacers, boxes.

#include "support.h"

#include <QTemporaryDir>

namespace {

// The smallest concrete element, exposing the colours the view would show.
class Probe : public Element
{
public:
    void Layout(QPainter&, element_info_&, const Element*) override {}
    void Draw(QPainter&, element_info_&) override {}
    Element* Clone() const override { return new Probe(*this); }
    QColor background() const { return m_qCurBackground; }
    QColor text() const { return m_qCurTextColor; }
};

const QColor red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255), cyan(0, 255, 255), magenta(255, 0, 255);
const QRgb kYellow = qRgb(255, 255, 0);
const QChar kBlock(0x2588); // a glyph that fills its whole cell

ButtonElement* makeButton(int edgeX, int edgeY, const QList<Element*>& children)
{
    auto* button = withMono(new ButtonElement);
    button->SetEdgeSpace(edgeX, edgeY);
    for (Element* child : children)
        button->AddElement(child);
    return button;
}

// Height of a box laid out alone; the box stays the caller's.
int heightAlone(ButtonElement* button)
{
    ListPass pass({button}, 300);
    pass.elements.clear();
    return button->GetHeight();
}

} // namespace

class TestElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // Hover and press colours; events off show press colours, also those set later.
    void mouseColours()
    {
        Probe p;
        p.SetEvent(true);
        setColors(&p, {cyan, magenta, blue}, {red, green, blue});
        p.OnEvent(MOUSE_HOVER);
        p.OnEvent(static_cast<MOUSE_STATE>(3));
        QCOMPARE(p.background(), green);
        QCOMPARE(p.text(), magenta);
        p.SetEvent(false);
        QCOMPARE(p.background(), blue);
        setColors(&p, {cyan, cyan, magenta}, {red, red, green});
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.background(), green);
        QColor ink(10, 20, 30);
        p.SetTextColor(ink);
        p.SetEvent(true);
        p.OnEvent(MOUSE_PRESS);
        QCOMPARE(p.text(), ink);
    }

    // Every character where the margin rule puts it, also indented; the last never breaks.
    void textWrapsAtTheRightMargin_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("indent");
        QTest::addColumn<QString>("text");
        const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
        QTest::newRow("100 wide") << 100 << 0 << letters;
        QTest::newRow("indented") << 120 << 16 << letters;
        QTest::newRow("narrow") << 2 * kEdgeX + 2 * 8 - 1 << 0 << letters;
        QTest::newRow("empty") << 100 << 0 << QString();
    }
    void textWrapsAtTheRightMargin()
    {
        QFETCH(int, width);
        QFETCH(int, indent);
        QFETCH(QString, text);
        const int n = charsPerLine(width, kEdgeX + indent, w);
        TextElement* run = makeText(text);
        run->SetIndentSpace(indent);
        ListPass pass({run}, width);
        const QVector<QRect>& rects = run->GetEventRect();
        QCOMPARE(rects.size(), text.size());
        for (int i = 0; i < text.size(); ++i)
            QCOMPARE(rects[i], QRect(kEdgeX + indent + (i % n) * w, kEdgeY + (i / n) * h + d, w, h));
        const int last = text.size() - 1;
        const int endY = kEdgeY + (last / n) * h;
        QCOMPARE(QPoint(run->GetEndX(), run->GetEndY()), QPoint(kEdgeX + indent + (last % n + 1) * w, endY));
        QCOMPARE(pass.info.height, d + h + kEdgeY + endY);
    }

    // Line feeds, CR LF, the element space before a line break, no room for U+0001.
    void textLineFeedsAndFullLines()
    {
        TextElement* run = makeText(QStringLiteral("a\nb"));
        TextElement* crlf = makeText(QStringLiteral("a\r\nb\n"));
        crlf->SetReturn(true);
        TextElement* after = makeText(QStringLiteral("e"));
        TextElement* filler = makeText(QString(charsPerLine(100, kEdgeX, w), QLatin1Char('a')));
        filler->SetReturn(true);
        TextElement* next = makeText(QStringLiteral("b"));
        ListPass pass({run, crlf, after, filler, next}, 100, kEdgeX, kEdgeY, 3);
        QCOMPARE(run->GetEventRect().size(), 3);
        QCOMPARE(crlf->GetStartY(), run->GetEndY() + 3 + h);
        QCOMPARE(run->GetEventRect()[2].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
        QCOMPARE(crlf->GetEventRect().size(), 4);
        QCOMPARE(after->GetEventRect().first().topLeft(), QPoint(kEdgeX, crlf->GetStartY() + 2 * h + d));
        QCOMPARE(QPoint(next->GetStartX(), next->GetStartY()), QPoint(kEdgeX, filler->GetStartY() + h));
    }

    // A letter with a negative left bearing never starts a line.
    void textNegativeBearingHoldsThePreviousCharacter()
    {
        QChar letter;
        for (ushort c = 0x21; c < 0x600 && letter.isNull(); ++c) {
            if (QChar(c).isLetter() && fm.inFont(QChar(c)) && fm.leftBearing(QChar(c)) < 0)
                letter = QChar(c);
        }
        if (letter.isNull())
            QSKIP("the test font has no letter with a negative left bearing");
        const int n = charsPerLine(100, kEdgeX, w);
        TextElement* run = makeText(QString(n, QLatin1Char('a')) + letter + QStringLiteral("bc"));
        ListPass pass({run}, 100);
        QCOMPARE(run->GetEventRect()[n].top(), run->GetEventRect()[0].top());
        QCOMPARE(run->GetEventRect()[n + 1].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
    }

    // A 100 x 50 picture fitted into a box, from a pixmap and from a file.
    void pictureScalingKeepsTheAspectRatio_data()
    {
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("into a square") << QSize(20, 20) << QSize(20, 10);
        QTest::newRow("height decides") << QSize(80, 10) << QSize(20, 10);
        QTest::newRow("width 0 keeps the size") << QSize(0, 20) << QSize(100, 50);
        QTest::newRow("negative width") << QSize(-20, 20) << QSize(0, 0);
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
        ListPass pass({fromPixmap, fromFile}, 600);
        for (ImageElement* picture : {fromPixmap, fromFile})
            QCOMPARE(QSize(picture->GetEndX() - picture->GetStartX(), picture->GetHeight()), expected);
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

    // A picture or a gap after a picture of the given size (none when empty): same line, wrapped, below.
    void placement_data()
    {
        QTest::addColumn<QSize>("before");
        QTest::addColumn<bool>("gap"); // else a picture
        QTest::addColumn<QSize>("size"); // a gap's space is the width
        QTest::addColumn<bool>("lineBreak");
        QTest::addColumn<int>("edgeX");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        const int room = 100 - 2 * kEdgeX - 50, x = kEdgeX, y = kEdgeY;
        const QSize none;
        QTest::newRow("first picture, too wide") << none << false << QSize(500, 10) << false << x << QPoint(x, y) << QPoint(x + 500, y);
        QTest::newRow("picture fits") << QSize(50, 30) << false << QSize(room, 40) << false << x << QPoint(x + 50, y) << QPoint(x + 80, y);
        QTest::newRow("picture below a tall line") << QSize(50, 30) << false << QSize(room + 1, 8) << false << x << QPoint(x, y + 30) << QPoint(x + room + 1, y + 30);
        QTest::newRow("picture by the font height") << QSize(50, 6) << false << QSize(room + 1, 40) << false << x << QPoint(x, y + 17) << QPoint(x + room + 1, y + 17);
        QTest::newRow("line break, taller picture") << QSize(50, 20) << false << QSize(10, 40) << true << x << QPoint(x, y + 43) << QPoint(x + 10, y + 43);
        QTest::newRow("line break, no room") << QSize(50, 20) << false << QSize(85, 8) << true << x << QPoint(x, y + 43) << QPoint(x + 85, y + 43);
        QTest::newRow("gap wraps at the fifth pixel") << QSize(95, 1) << true << QSize(10, 0) << false << 0 << QPoint(95, y) << QPoint(5, y + 17);
        QTest::newRow("gap leaves a tall line") << QSize(95, 30) << true << QSize(10, 0) << false << 0 << QPoint(95, y) << QPoint(5, y + 30);
        QTest::newRow("gap ends on the last pixel") << none << true << QSize(99, 0) << false << 0 << QPoint(0, y) << QPoint(99, y);
        QTest::newRow("gap of two lines") << QSize(30, 1) << true << QSize(90, 0) << false << 0 << QPoint(30, y) << QPoint(20, y + 17);
        QTest::newRow("gap wider than a line: a break") << QSize(30, 1) << true << QSize(250, 0) << false << 0 << QPoint(30, y) << QPoint(0, y + 17);
        QTest::newRow("gap, edge_x both sides") << QSize(75, 1) << true << QSize(10, 0) << false << 10 << QPoint(85, y) << QPoint(15, y + 17);
        QTest::newRow("gap past the margin") << QSize(100, 30) << true << QSize(4, 0) << false << 0 << QPoint(0, y + 30) << QPoint(4, y + 30);
        QTest::newRow("gap, negative width") << QSize(30, 3) << true << QSize(-7, 0) << false << 0 << QPoint(30, y) << QPoint(30, y);
    }
    void placement()
    {
        QFETCH(QSize, before);
        QFETCH(bool, gap);
        QFETCH(QSize, size);
        QFETCH(bool, lineBreak);
        QFETCH(int, edgeX);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        Element* e = gap ? static_cast<Element*>(withMono(new SpaceElement)) : makeImage(size.width(), size.height());
        if (gap)
            static_cast<SpaceElement*>(e)->SetSpace(size.width());
        e->SetReturn(lineBreak);
        QList<Element*> elements{e};
        if (!before.isEmpty())
            elements.prepend(makeImage(before.width(), before.height()));
        ListPass pass(elements, 100, edgeX, kEdgeY, 3);
        QCOMPARE(QPoint(e->GetStartX(), e->GetStartY()), start);
        QCOMPARE(QPoint(e->GetEndX(), e->GetEndY()), end);
        QCOMPARE(pass.info.height, Element::GetMaxHeightByY(start.y()) + kEdgeY + end.y());
        QCOMPARE(e->GetEventRect().isEmpty(), gap);
    }

    // A tall picture raises its line: text and a short picture on it are centred.
    void picturesCentreInTallerLines()
    {
        const int P = 3 * h;
        TextElement* before = makeText(QStringLiteral("ab"));
        ImageElement* small = makeImage(12, 10);
        Element::s_iScrollValueV = 30;
        ListPass pass({before, makeImage(20, P, Qt::blue), small, makeText(QStringLiteral("cd\ne"))}, 200, kEdgeX, 40);
        QCOMPARE(before->GetEventRect().first().top(), 40 + (P - h) / 2 + d);
        const QRect rect(kEdgeX + 2 * w + 20, 40 + (P - 10) / 2 + d, 12, P);
        QCOMPARE(small->GetEventRect(), QVector<QRect>({rect}));
        const QPoint screen = rect.topLeft() - QPoint(0, 30);
        QCOMPARE(pass.image.pixel(screen), kYellow);
        QCOMPARE(pass.image.pixel(screen + QPoint(11, 9)), kYellow);
        QCOMPARE(pass.image.pixel(screen - QPoint(0, 1)), kBlack);
        QCOMPARE(pass.image.pixel(screen + QPoint(0, 10)), kBlack);
    }

    // A box on its own line between the margins, its child edge spaces in, the next below.
    void boxGeometry_data()
    {
        QTest::addColumn<int>("indent");
        QTest::addColumn<int>("edgeX");
        QTest::addColumn<int>("edgeY");
        QTest::addColumn<int>("effectiveY");
        QTest::newRow("edge 4, 3") << 0 << 4 << 3 << 3;
        QTest::newRow("indent 6") << 6 << 4 << 3 << 3;
        QTest::newRow("edge y negative") << 0 << 0 << -4 << 1;
    }
    void boxGeometry()
    {
        QFETCH(int, indent);
        QFETCH(int, edgeX);
        QFETCH(int, edgeY);
        QFETCH(int, effectiveY);
        const int lineStart = kEdgeX + indent;
        const int n = charsPerLine(300, lineStart + edgeX, w);
        TextElement* child = makeText(QString(2 * n, QLatin1Char('m')));
        ButtonElement* button = makeButton(edgeX, edgeY, {child});
        button->SetIndentSpace(indent);
        TextElement* after = makeText(QStringLiteral("z"));
        ListPass pass({makeText(QStringLiteral("x")), button, after}, 300, kEdgeX, kEdgeY, 2);
        const int top = kEdgeY + 2 + h;
        const int boxHeight = effectiveY + (2 * h + d) + effectiveY;
        QCOMPARE(button->GetEventRect().first(), QRect(lineStart, top + d, 300 - 2 * lineStart, boxHeight));
        QCOMPARE(child->GetEventRect().first().topLeft(), QPoint(lineStart + edgeX, top + effectiveY + d));
        QCOMPARE(child->GetEventRect()[n].topLeft(), QPoint(lineStart + edgeX, top + effectiveY + h + d));
        QCOMPARE(QPoint(after->GetStartX(), after->GetStartY()), QPoint(kEdgeX, top + boxHeight));
    }

    // A rounded box in its background, moved by the scroll, inking its children.
    void boxDrawsARoundedBoxAndInksItsChildren()
    {
        TextElement* child = makeText(QString(kBlock));
        QColor own(Qt::blue);
        child->SetTextColor(own);
        ButtonElement* button = makeButton(4, 6, {child});
        setColors(button, {Qt::yellow, Qt::cyan, Qt::magenta}, {Qt::red, Qt::green, Qt::blue});
        Element::s_iScrollValueV = 20;
        ListPass pass({button}, 120, kEdgeX, 40);
        const QRect box = button->GetEventRect().first().translated(0, -20);
        const QRgb kRed = qRgb(255, 0, 0);
        QCOMPARE(pass.image.pixel(box.left(), box.center().y()), kRed);
        QCOMPARE(pass.image.pixel(box.right() + 1, box.center().y()), kBlack);
        QCOMPARE(pass.image.pixel(box.center().x(), box.bottom()), kRed);
        QCOMPARE(pass.image.pixel(box.topLeft()), kBlack); // a rounded corner
        QCOMPARE(pass.image.pixel(child->GetEventRect().first().center() - QPoint(0, 20)), kYellow);
    }

    // Clones and copies of boxes own their children (double deletes show under ASan).
    void copiedButtonsOwnTheirChildren()
    {
        TextElement* firstChild = makeText(QStringLiteral("ab"));
        ButtonElement* original = makeButton(4, 3, {firstChild, makeButton(1, 1, {makeText(QStringLiteral("c"))})});
        const int before = heightAlone(original);
        ButtonElement copy(*original);
        Element* clone = original->Clone();
        firstChild->SetText(QStringLiteral("ab\ncd"));
        QCOMPARE(heightAlone(original), before + h);
        QCOMPARE(heightAlone(&copy), before);
        delete original;
        QCOMPARE(heightAlone(static_cast<ButtonElement*>(clone)), before);
        delete clone;

        // Assigned from a box inside itself: the old children go last.
        ButtonElement* inner = makeButton(2, 2, {makeText(QStringLiteral("deep\ner"))});
        ButtonElement* outer = makeButton(4, 3, {makeText(QStringLiteral("top")), inner});
        const int innerHeight = heightAlone(inner);
        *outer = *inner;
        QCOMPARE(heightAlone(outer), innerHeight);
        delete outer;
    }
};

QTEST_MAIN(TestElement)
#include "tst_element.moc"
