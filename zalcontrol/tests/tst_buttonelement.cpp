// Clickable boxes: edge spaces, geometry with the children inside, nested and
// empty boxes, drawing with the box's colours pushed onto the children, hover
// and press through a view, and copies that own their children.

#include "support.h"

namespace {

const QChar kBlock(0x2588); // a glyph that fills its whole cell
const QRgb kRed = qRgb(255, 0, 0);

ButtonElement* makeButton(int edgeX, int edgeY, const QList<Element*>& children)
{
    auto* button = withMono(new ButtonElement);
    button->SetEdgeSpace(edgeX, edgeY);
    for (Element* child : children)
        button->AddElement(child);
    return button;
}

QRect boxOf(Element* e)
{
    return e->GetEventRect().first();
}

// Height of a box laid out alone; the box stays the caller's.
int heightAlone(ButtonElement* button)
{
    ListPass pass({button}, 300);
    pass.elements.clear();
    return button->GetHeight();
}

} // namespace

class TestButtonElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // After another element, in a list 300 wide with element space 2: the
    // box starts its own line below the previous one, spans the width
    // between the margins (moved in by its indent on both sides), holds its
    // child edgeX in and at least 1 down, and is edge + content + edge tall;
    // the element after it goes below the box.
    void boxGeometry_data()
    {
        QTest::addColumn<int>("indent");
        QTest::addColumn<int>("edgeX");
        QTest::addColumn<int>("edgeY");
        QTest::addColumn<int>("effectiveY");
        QTest::newRow("edge 4, 3") << 0 << 4 << 3 << 3;
        QTest::newRow("indent 6") << 6 << 4 << 3 << 3;
        QTest::newRow("edge y 0") << 0 << 5 << 0 << 1;
        QTest::newRow("edge y negative") << 0 << 0 << -4 << 1;
    }
    void boxGeometry()
    {
        QFETCH(int, indent);
        QFETCH(int, edgeX);
        QFETCH(int, edgeY);
        QFETCH(int, effectiveY);
        const int width = 300;
        const int lineStart = kEdgeX + indent;
        const int n = charsPerLine(width, lineStart + edgeX, w);
        TextElement* child = makeText(QString(2 * n, QLatin1Char('m')));
        ButtonElement* button = makeButton(edgeX, edgeY, {child});
        button->SetIndentSpace(indent);
        TextElement* after = makeText(QStringLiteral("z"));
        ListPass pass({makeText(QStringLiteral("x")), button, after}, width, kEdgeX, kEdgeY, 2);

        const int top = kEdgeY + 2 + h; // no line-break flag needed
        const int boxHeight = effectiveY + (2 * h + d) + effectiveY;
        QCOMPARE(QPoint(button->GetStartX(), button->GetStartY()), QPoint(lineStart, top));
        QCOMPARE(QPoint(button->GetEndX(), button->GetEndY()), QPoint(width - lineStart, top));
        QCOMPARE(button->GetHeight(), boxHeight);
        QCOMPARE(boxOf(button), QRect(lineStart, top + d, width - 2 * lineStart, boxHeight));
        QCOMPARE(Element::GetMaxHeightByY(top), boxHeight);

        // The child's lines start edgeX in and keep that margin on the right.
        const QVector<QRect>& cells = child->GetEventRect();
        QCOMPARE(cells.size(), 2 * n);
        QCOMPARE(cells.first().topLeft(), QPoint(lineStart + edgeX, top + effectiveY + d));
        QCOMPARE(cells[n].topLeft(), QPoint(lineStart + edgeX, top + effectiveY + h + d));
        QCOMPARE(QPoint(after->GetStartX(), after->GetStartY()), QPoint(kEdgeX, top + boxHeight));
    }

    // A picture taller than the text raises the box's only line; a box
    // inside a box starts its own line below the text before it, and the
    // outer box ends one edge space below the inner one.
    void mixedAndNestedContent()
    {
        ButtonElement* mixed = makeButton(4, 3, {makeText(QStringLiteral("a")), makeImage(10, 2 * h)});
        QCOMPARE(heightAlone(mixed), 3 + 2 * h + 3);
        delete mixed;

        TextElement* option = makeText(QStringLiteral("yes"));
        ButtonElement* inner = makeButton(2, 1, {option});
        ButtonElement* outer = makeButton(4, 3, {makeText(QStringLiteral("Poll")), inner});
        ListPass pass({outer}, 300);

        const int innerTop = kEdgeY + 3 + h;
        const int innerHeight = 1 + h + d + 1;
        QCOMPARE(boxOf(inner), QRect(kEdgeX + 4, innerTop + d, 300 - 2 * (kEdgeX + 4), innerHeight));
        QCOMPARE(option->GetStartX(), kEdgeX + 4 + 2);
        QCOMPARE(outer->GetHeight(), innerTop + innerHeight + 3 - kEdgeY);
        QCOMPARE(pass.info.height, outer->GetHeight() + kEdgeY + kEdgeY);
    }

    // Without children the box is as tall as its two edge spaces and is
    // drawn as an empty box of that height, the text after it below it.
    void emptyButtonIsItsEdgeSpaces()
    {
        auto* plain = new ButtonElement;
        QCOMPARE(heightAlone(plain), 2);
        delete plain;

        const int H = 2 * 12;
        QVERIFY(H > h);
        ButtonElement* empty = makeButton(0, 12, {});
        setColors(empty, {Qt::white, Qt::white, Qt::white}, {Qt::red, Qt::red, Qt::red});
        TextElement* after = makeText(QStringLiteral("z"));
        ListPass pass({empty, after}, 120);
        QCOMPARE(empty->GetHeight(), H);
        QCOMPARE(after->GetStartY(), kEdgeY + H);
        QCOMPARE(pass.info.height, kEdgeY + H + d + h + kEdgeY);
        QCOMPARE(pass.image.pixel(60, kEdgeY + d - 1), kBlack);
        QCOMPARE(pass.image.pixel(60, kEdgeY + d), kRed);
        QCOMPARE(pass.image.pixel(60, kEdgeY + d + H - 1), kRed);
        QCOMPARE(pass.image.pixel(60, kEdgeY + d + H), kBlack);
    }

    // The box is filled with rounded corners in its current background,
    // moved up by the scroll offset, and its current text colour replaces
    // the children's own; never configured, neither shows.
    void drawsARoundedBoxAndInksItsChildren()
    {
        TextElement* child = makeText(QString(kBlock));
        QColor own(Qt::blue);
        child->SetTextColor(own);
        ButtonElement* button = makeButton(4, 6, {child});
        setColors(button, {Qt::yellow, Qt::cyan, Qt::magenta}, {Qt::red, Qt::green, Qt::blue});
        Element::s_iScrollValueV = 20;
        ListPass pass({button}, 120, kEdgeX, 40);

        const QRect box = boxOf(button).translated(0, -20);
        QCOMPARE(box.topLeft(), QPoint(kEdgeX, 40 + d - 20));
        const int midY = box.center().y();
        QCOMPARE(pass.image.pixel(box.left(), midY), kRed);
        QCOMPARE(pass.image.pixel(box.right(), midY), kRed);
        QCOMPARE(pass.image.pixel(box.left() - 1, midY), kBlack);
        QCOMPARE(pass.image.pixel(box.right() + 1, midY), kBlack);
        QCOMPARE(pass.image.pixel(box.center().x(), box.top()), kRed);
        QCOMPARE(pass.image.pixel(box.center().x(), box.bottom()), kRed);
        for (const QPoint& corner : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
            QCOMPARE(pass.image.pixel(corner), kBlack);
        QCOMPARE(pass.image.pixel(boxOf(child).center() - QPoint(0, 20)), qRgb(255, 255, 0));

        Element::s_iScrollValueV = 0;
        TextElement* white = makeText(QString(kBlock));
        QColor ink(Qt::white);
        white->SetTextColor(ink);
        ListPass unconfigured({makeButton(4, 3, {white})}, 120);
        QImage black(unconfigured.image.size(), unconfigured.image.format());
        black.fill(Qt::black);
        QCOMPARE(unconfigured.image, black);
    }

    // In a view the box reacts wherever it is hit, over its children too:
    // hover and press recolour the box and the children's ink, and a press
    // reports the box, never a child, not even a mouse-aware one.
    void viewHoversAndPressesTheBoxOnly()
    {
        TextElement* label = makeText(QString(kBlock) + QStringLiteral(" go"));
        label->SetEvent(true);
        ImageElement* icon = makeImage(12, 12);
        icon->SetEvent(true);
        ButtonElement* inner = makeButton(2, 1, {makeText(QString(kBlock))});
        ButtonElement* button = makeButton(4, 3, {label, icon, inner});
        setColors(button, {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)},
                  {QColor(80, 0, 0), QColor(0, 80, 0), QColor(0, 0, 80)});
        ShownView v(300, 150, {button});
        QColor black(Qt::black);
        v.view.SetBackground(black);
        v.view.SetEdgeSpace(10, 6);
        v.paint();

        const QPoint boxPixel(boxOf(button).left() + 2, boxOf(label).center().y());
        const QPoint inkPixel = boxOf(label).center();
        auto shown = [&](QRgb box, QRgb ink) {
            const QImage image = v.grab();
            return image.pixel(boxPixel) == box && image.pixel(inkPixel) == ink;
        };
        QVERIFY(shown(qRgb(80, 0, 0), qRgb(255, 0, 0)));

        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        for (Element* target : QList<Element*>{label, icon, inner}) {
            const QPoint p = boxOf(target).center();
            v.move(p);
            QCOMPARE(v.cursor(), Qt::PointingHandCursor);
            QVERIFY(shown(qRgb(0, 80, 0), qRgb(0, 255, 0)));
            v.press(p);
            QVERIFY(shown(qRgb(0, 0, 80), qRgb(0, 0, 255)));
            v.release(p);
            QVERIFY(shown(qRgb(0, 80, 0), qRgb(0, 255, 0)));
        }
        QCOMPARE(spy.count(), 3);
        for (int i = 0; i < spy.count(); ++i)
            QCOMPARE(pressed(spy, i), button);

        // Off the box, in the margin beside it.
        v.move(QPoint(5, boxOf(button).center().y()));
        QCOMPARE(v.cursor(), Qt::ArrowCursor);
        QVERIFY(shown(qRgb(80, 0, 0), qRgb(255, 0, 0)));
    }

    // Every kind copies itself: a clone lays out and draws exactly like the
    // original, a box's clone with its own copies of the children.
    void everyKindClones()
    {
        auto* space = new SpaceElement;
        space->SetSpace(37);
        QPixmap picture = solidPixmap(40, 30, Qt::green);
        auto* image = new ImageElement;
        image->SetPixmap(picture, 20, 20);
        TextElement* text = makeText(QStringLiteral("clone me\nplease"));
        text->SetIndentSpace(3);
        ButtonElement* button = makeButton(5, 4, {makeText(QStringLiteral("inside")), makeImage(10, 25)});
        ListPass first({text, image, space, button}, 160);
        QList<Element*> clones;
        for (Element* e : qAsConst(first.elements))
            clones.append(e->Clone());
        ListPass second(clones, 160);
        QCOMPARE(second.image, first.image);
        QCOMPARE(second.info.height, first.info.height);
        for (int i = 0; i < clones.size(); ++i) {
            QCOMPARE(clones[i]->GetEndX(), first.elements[i]->GetEndX());
            QCOMPARE(clones[i]->GetEventRect(), first.elements[i]->GetEventRect());
        }
    }

    // Copying and assigning boxes never leaves two boxes owning the same
    // children: each lays out and deletes its own (leaks and double deletes
    // show under the sanitizers), whatever was copied from where.
    void copiedButtonsOwnTheirChildren()
    {
        TextElement* firstChild = makeText(QStringLiteral("ab"));
        ButtonElement* original = makeButton(4, 3, {firstChild, makeButton(1, 1, {makeText(QStringLiteral("c"))})});
        const int before = heightAlone(original);
        ButtonElement copy(*original);
        firstChild->SetText(QStringLiteral("ab\ncd"));
        QCOMPARE(heightAlone(original), before + h);
        QCOMPARE(heightAlone(&copy), before);
        delete original;
        QCOMPARE(heightAlone(&copy), before);

        ButtonElement assigned;
        assigned.AddElement(makeText(QStringLiteral("old")));
        assigned = copy;
        ButtonElement& same = assigned;
        assigned = same;
        QCOMPARE(heightAlone(&assigned), before);

        // Assigned from a box inside itself: the old children, that box
        // among them, go only after everything was copied.
        ButtonElement* inner = makeButton(2, 2, {makeText(QStringLiteral("deep\ner"))});
        ButtonElement* outer = makeButton(4, 3, {makeText(QStringLiteral("top")), inner});
        const int innerHeight = heightAlone(inner);
        *outer = *inner;
        QCOMPARE(heightAlone(outer), innerHeight);
        delete outer;
    }
};

QTEST_MAIN(TestButtonElement)
#include "tst_buttonelement.moc"
