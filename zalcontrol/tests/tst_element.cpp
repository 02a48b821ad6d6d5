// Elements laid out on their own: colours, text runs, pictures, spacers, boxes.

#include "support.h"

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

// Height of a box laid out alone; the box stays the caller's.
int heightAlone(ButtonElement* box)
{
    ListPass pass({box}, 300);
    pass.elements.clear();
    return box->GetHeight();
}

// An element placed after a picture of size before (none when empty).
struct Placement
{
    QSize before;
    QSize size; // a gap (its space the width) when the height is 0, else a picture
    bool lineBreak;
    int edgeX;
    QLine placed;
};

} // namespace

Q_DECLARE_METATYPE(Placement)

class TestElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // Hover, press, unknown states; events off show the press colours (also later ones); a set text colour lasts.
    void mouseColours()
    {
        Probe p;
        p.SetEvent(true);
        setColors(&p, {cyan, magenta, blue}, {red, green, blue});
        p.OnEvent(MOUSE_HOVER);
        p.OnEvent(static_cast<MOUSE_STATE>(3));
        QCOMPARE(qMakePair(p.background(), p.text()), qMakePair(green, magenta));
        p.SetEvent(false);
        QCOMPARE(p.background(), blue);
        setColors(&p, {cyan, cyan, magenta}, {red, red, green});
        p.OnEvent(MOUSE_HOVER);
        QCOMPARE(p.background(), green);
        p.SetTextColor(QColor(10, 20, 30));
        p.SetEvent(true);
        p.OnEvent(MOUSE_PRESS);
        QCOMPARE(p.text(), QColor(10, 20, 30));
    }

    // Line feeds, CR LF, element space before a break, no room for U+0001; a negative left bearing never starts a line.
    void textRuns()
    {
        ushort c = 0x21;
        while (c < 0x600 && !(QChar(c).isLetter() && fm.inFont(QChar(c)) && fm.leftBearing(QChar(c)) < 0))
            ++c;
        QVERIFY(c < 0x600);
        const int n = charsPerLine(100, kEdgeX, w);
        TextElement* run = makeText(QStringLiteral("a\nb"));
        TextElement* crlf = makeText(QStringLiteral("a\r\nb\n"), true);
        TextElement* after = makeText(QStringLiteral("e"));
        TextElement* filler = makeText(QString(n, QLatin1Char('a')), true);
        TextElement* next = makeText(QStringLiteral("b"));
        TextElement* held = makeText(QString(n, QLatin1Char('a')) + QChar(c) + QStringLiteral("bc"), true);
        ListPass pass({run, crlf, after, filler, next, held}, 100, kEdgeX, kEdgeY, 3);
        QCOMPARE(run->GetEventRect().size(), 3);
        QCOMPARE(crlf->GetStartY(), run->GetEndY() + 3 + h);
        QCOMPARE(run->GetEventRect()[2].topLeft(), QPoint(kEdgeX, kEdgeY + h + d));
        QCOMPARE(crlf->GetEventRect().size(), 4);
        QCOMPARE(after->GetEventRect().first().topLeft(), QPoint(kEdgeX, crlf->GetStartY() + 2 * h + d));
        QCOMPARE(QPoint(next->GetStartX(), next->GetStartY()), QPoint(kEdgeX, filler->GetStartY() + h));
        const int top = held->GetEventRect()[0].top();
        QCOMPARE(held->GetEventRect()[n].top(), top);
        QCOMPARE(held->GetEventRect()[n + 1].topLeft(), QPoint(kEdgeX, top + h));
    }

    // A 100 x 50 picture fitted into boxes (the caller's unchanged); 64 x 64 checks shown at 32 x 32: at pixel
    // ratio 2 every source pixel reaches the device, at 1 the scaled picture; the layout size stays 32 x 32.
    void pictures()
    {
        QPixmap yellow = solidPixmap(100, 50, Qt::yellow);
        const QVector<QPair<QSize, QSize>> boxes{
            {{20, 20}, {20, 10}}, {{80, 10}, {20, 10}}, {{0, 20}, {100, 50}}, {{-20, 20}, {0, 0}}};
        for (const auto& box : boxes) {
            auto* picture = new ImageElement;
            picture->SetPixmap(yellow, box.first.width(), box.first.height());
            QCOMPARE(yellow.size(), QSize(100, 50));
            ListPass pass({picture}, 600);
            QCOMPARE(QSize(picture->GetEndX() - picture->GetStartX(), picture->GetHeight()), box.second);
        }
        QImage checks(64, 64, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 128));
        const QPixmap source = QPixmap::fromImage(checks);
        for (const int ratio : {1, 2}) {
            ImageElement* picture = withMono(new ImageElement);
            picture->SetPixmap(source, 32, 32);
            ListPass pass({picture}, 100 * ratio);
            pass.image.setDevicePixelRatio(ratio);
            pass.run();
            QCOMPARE(picture->GetEventRect().first(), QRect(kEdgeX, kEdgeY + d, 32, 32));
            const QImage expected =
                ratio == 1 ? source.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation).toImage() : checks;
            QImage shown = pass.image.copy(QRect(QPoint(kEdgeX, kEdgeY + d) * ratio, expected.size()));
            shown.setDevicePixelRatio(1);
            QCOMPARE(shown, expected.convertToFormat(shown.format()));
        }
    }

    // A picture or a gap after a picture (none when empty): same line, wrapped, below; from its start to its end.
    void placement_data()
    {
        QTest::addColumn<Placement>("row");
        const int room = 100 - 2 * kEdgeX - 50, x = kEdgeX, y = kEdgeY;
        const QSize none;
        auto row = [](const char* name, const Placement& p) { QTest::newRow(name) << p; };
        row("first picture, too wide", {none, {500, 10}, false, x, {x, y, x + 500, y}});
        row("picture fits", {{50, 30}, {room, 40}, false, x, {x + 50, y, x + 80, y}});
        row("picture below a tall line", {{50, 30}, {room + 1, 8}, false, x, {x, y + 30, x + room + 1, y + 30}});
        row("line break, taller picture", {{50, 20}, {10, 40}, true, x, {x, y + 43, x + 10, y + 43}});
        row("gap wraps at the fifth pixel", {{95, 1}, {10, 0}, false, 0, {95, y, 5, y + 17}});
        row("gap ends on the last pixel", {none, {99, 0}, false, 0, {0, y, 99, y}});
        row("gap wider than a line: a break", {{30, 1}, {250, 0}, false, 0, {30, y, 0, y + 17}});
        row("gap, negative width", {{30, 3}, {-7, 0}, false, 0, {30, y, 30, y}});
    }
    void placement()
    {
        QFETCH(Placement, row);
        const bool gap = row.size.height() == 0;
        Element* e = gap ? makeGap(row.size.width()) : makeImage(row.size.width(), row.size.height());
        e->SetReturn(row.lineBreak);
        QList<Element*> elements{e};
        if (!row.before.isEmpty())
            elements.prepend(makeImage(row.before.width(), row.before.height()));
        ListPass pass(elements, 100, row.edgeX, kEdgeY, 3);
        QCOMPARE(QLine(e->GetStartX(), e->GetStartY(), e->GetEndX(), e->GetEndY()), row.placed);
        QCOMPARE(pass.info.height, Element::GetMaxHeightByY(row.placed.y1()) + kEdgeY + row.placed.y2());
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

    // A box on its own line between the margins, its child edge spaces in, the next below; rounded, in its background.
    void boxGeometry()
    {
        struct { int indent, edgeX, edgeY, effectiveY; } const rows[] = {{0, 4, 3, 3}, {6, 4, 3, 3}, {0, 0, -4, 1}};
        for (const auto& r : rows) {
            const int lineStart = kEdgeX + r.indent;
            const int n = charsPerLine(300, lineStart + r.edgeX, w);
            TextElement* child = makeText(QString(2 * n, QLatin1Char('m')));
            ButtonElement* box = makeBox({child}, r.edgeX, r.edgeY);
            box->SetIndentSpace(r.indent);
            box->SetEventBackground({Qt::red, Qt::red, Qt::red});
            TextElement* after = makeText(QStringLiteral("z"));
            ListPass pass({makeText(QStringLiteral("x")), box, after}, 300, kEdgeX, kEdgeY, 2);
            const int top = kEdgeY + 2 + h, y = top + r.effectiveY + d;
            const int boxHeight = r.effectiveY + (2 * h + d) + r.effectiveY;
            QCOMPARE(box->GetEventRect().first(), QRect(lineStart, top + d, 300 - 2 * lineStart, boxHeight));
            QCOMPARE(child->GetEventRect().first().topLeft(), QPoint(lineStart + r.edgeX, y));
            QCOMPARE(child->GetEventRect()[n].topLeft(), QPoint(lineStart + r.edgeX, y + h));
            QCOMPARE(QPoint(after->GetStartX(), after->GetStartY()), QPoint(kEdgeX, top + boxHeight));
            const QRect shown = box->GetEventRect().first();
            QCOMPARE(pass.image.pixel(shown.right() - 2, shown.center().y()), qRgb(255, 0, 0)); // its background
            QCOMPARE(pass.image.pixel(shown.topLeft()), kBlack); // a rounded corner
        }
    }

    // Clones and copies of boxes own their children (ASan shows double deletes).
    void copiedButtonsOwnTheirChildren()
    {
        TextElement* firstChild = makeText(QStringLiteral("ab"));
        ButtonElement* original = makeBox({firstChild, makeBox({makeText(QStringLiteral("c"))}, 1, 1)}, 4, 3);
        const int before = heightAlone(original);
        ButtonElement copy(*original);
        Element* clone = original->Clone();
        firstChild->SetText(QStringLiteral("ab\ncd"));
        QCOMPARE(heightAlone(original), before + h);
        QCOMPARE(heightAlone(&copy), before);
        delete original;
        QCOMPARE(heightAlone(static_cast<ButtonElement*>(clone)), before);
        delete clone;
    }
};

QTEST_MAIN(TestElement)
#include "tst_element.moc"
