// Clickable boxes: edge spaces, the box geometry and its children inside it,
// nested boxes, empty boxes, drawing with the box's colours pushed onto the
// children, hover and press through a view, and copies that own their
// children.

#include "support.h"

namespace {

const int kEdgeX = 10;
const int kEdgeY = 5;
const QChar kBlock(0x2588); // a glyph that fills its whole cell
const QRgb kBlack = qRgb(0, 0, 0);

ButtonElement* makeButton(int edgeX, int edgeY, const QList<Element*>& children)
{
    auto* button = new ButtonElement;
    QFont font = monoFont();
    button->SetFont(font);
    button->SetEdgeSpace(edgeX, edgeY);
    for (Element* child : children)
        button->AddElement(child);
    return button;
}

// The first rectangle of an element, where a view shows it.
QRect boxOf(Element* e)
{
    return e->GetEventRect().first();
}

int alive = 0;

// A text run that counts its living instances, clones included.
class Counted : public TextElement
{
public:
    explicit Counted(const QString& text)
    {
        QFont font = monoFont();
        SetFont(font);
        SetText(text);
        ++alive;
    }
    Counted(const Counted& other)
        : TextElement(other)
    {
        ++alive;
    }
    ~Counted() override { --alive; }
    Element* Clone() const override { return new Counted(*this); }
};

// Lays a button out alone and returns its height.
int heightAlone(ButtonElement* button)
{
    ListPass pass(300, kEdgeX, kEdgeY);
    pass.run({button});
    return button->GetHeight();
}

} // namespace

class TestButtonElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // The vertical edge space is never below 1; the horizontal one is taken
    // as it is. Both place the first child inside the box.
    void edgeSpaces_data()
    {
        QTest::addColumn<int>("edgeX");
        QTest::addColumn<int>("edgeY");
        QTest::addColumn<int>("effectiveY");
        QTest::newRow("y 0") << 5 << 0 << 1;
        QTest::newRow("y 1") << 5 << 1 << 1;
        QTest::newRow("y negative") << 0 << -4 << 1;
        QTest::newRow("y 7") << 5 << 7 << 7;
    }
    void edgeSpaces()
    {
        QFETCH(int, edgeX);
        QFETCH(int, edgeY);
        QFETCH(int, effectiveY);
        TextElement* child = makeText(QStringLiteral("ok"));
        ButtonElement* button = makeButton(edgeX, edgeY, {child});
        QCOMPARE(heightAlone(button), effectiveY + h + d + effectiveY);
        QCOMPARE(child->GetStartX(), kEdgeX + edgeX);
        QCOMPARE(child->GetStartY(), kEdgeY + effectiveY);
        delete button;
    }

    // After another element, with edge space x 4 and y 3 in a view 300
    // wide: the box starts its own line below the previous one, spans the
    // width between the margins (moved in by its indent on both sides),
    // holds its child 4 in and 3 down, and is edge + content + edge tall;
    // the element after it goes below the box.
    void boxGeometry_data()
    {
        QTest::addColumn<int>("indent");
        QTest::newRow("no indent") << 0;
        QTest::newRow("indent 6") << 6;
    }
    void boxGeometry()
    {
        QFETCH(int, indent);
        const int width = 300;
        const int lineStart = kEdgeX + indent;
        TextElement* before = makeText(QStringLiteral("x"));
        const int n = charsPerLine(width, lineStart + 4, w);
        TextElement* child = makeText(QString(2 * n, QLatin1Char('m')));
        ButtonElement* button = makeButton(4, 3, {child});
        button->SetIndentSpace(indent);
        TextElement* after = makeText(QStringLiteral("z"));
        ListPass pass(width, kEdgeX, kEdgeY, 2);
        pass.run({before, button, after});

        const int top = kEdgeY + 2 + h; // no line-break flag needed
        const int boxHeight = 3 + (2 * h + d) + 3;
        QCOMPARE(QPoint(button->GetStartX(), button->GetStartY()), QPoint(lineStart, top));
        QCOMPARE(button->GetEndX(), width - lineStart);
        QCOMPARE(button->GetEndY(), top);
        QCOMPARE(button->GetHeight(), boxHeight);
        QCOMPARE(boxOf(button), QRect(lineStart, top + d, width - 2 * lineStart, boxHeight));
        QCOMPARE(Element::GetMaxHeightByY(top), boxHeight);

        // The child's lines start 4 in from the box and keep the same
        // margin on the right.
        const QVector<QRect>& cells = child->GetEventRect();
        QCOMPARE(cells.size(), 2 * n);
        QCOMPARE(cells.first().topLeft(), QPoint(lineStart + 4, top + 3 + d));
        QCOMPARE(cells[n].topLeft(), QPoint(lineStart + 4, top + 3 + h + d));

        QCOMPARE(QPoint(after->GetStartX(), after->GetStartY()), QPoint(kEdgeX, top + boxHeight));
        delete before;
        delete button;
        delete after;
    }

    // A picture taller than the text raises the box's only line; a box
    // inside a box starts its own line below the text before it, and the
    // outer box ends one edge space below the inner one.
    void mixedAndNestedContent()
    {
        const int P = 2 * h;
        ButtonElement* mixed = makeButton(4, 3, {makeText(QStringLiteral("a")), makeImage(10, P)});
        QCOMPARE(heightAlone(mixed), 3 + P + 3);
        delete mixed;

        TextElement* title = makeText(QStringLiteral("Poll"));
        TextElement* option = makeText(QStringLiteral("yes"));
        ButtonElement* inner = makeButton(2, 1, {option});
        ButtonElement* outer = makeButton(4, 3, {title, inner});
        ListPass pass(300, kEdgeX, kEdgeY);
        pass.run({outer});

        const int innerTop = kEdgeY + 3 + h;
        const int innerHeight = 1 + h + d + 1;
        QCOMPARE(boxOf(inner), QRect(kEdgeX + 4, innerTop + d, 300 - 2 * (kEdgeX + 4), innerHeight));
        QCOMPARE(option->GetStartX(), kEdgeX + 4 + 2);
        QCOMPARE(outer->GetHeight(), innerTop + innerHeight + 3 - kEdgeY);
        QCOMPARE(pass.info.height, outer->GetHeight() + kEdgeY + kEdgeY);
        delete outer;
    }

    // Without children the box is as tall as its two edge spaces and is
    // drawn as an empty box of that height.
    void emptyButtonIsItsEdgeSpaces()
    {
        auto* plain = new ButtonElement;
        QCOMPARE(heightAlone(plain), 2);
        delete plain;

        // Taller than a text line, so that the text after it goes below it.
        const int H = 2 * 12;
        QVERIFY(H > h);
        ButtonElement* empty = makeButton(0, 12, {});
        setColors(empty, {Qt::white, Qt::white, Qt::white}, {Qt::red, Qt::red, Qt::red});
        TextElement* after = makeText(QStringLiteral("z"));
        ListPass pass(120, kEdgeX, kEdgeY);
        pass.run({empty, after});
        QCOMPARE(empty->GetHeight(), H);
        QCOMPARE(after->GetStartY(), kEdgeY + H);
        QCOMPARE(pass.info.height, kEdgeY + H + d + h + kEdgeY);

        const int x = 60;
        QCOMPARE(pass.image.pixel(x, kEdgeY + d - 1), kBlack);
        QCOMPARE(pass.image.pixel(x, kEdgeY + d), qRgb(255, 0, 0));
        QCOMPARE(pass.image.pixel(x, kEdgeY + d + H - 1), qRgb(255, 0, 0));
        QCOMPARE(pass.image.pixel(x, kEdgeY + d + H), kBlack);
        delete empty;
        delete after;
    }

    // The box is filled with rounded corners in its current background,
    // moved up by the scroll offset, and its current text colour replaces
    // the children's own.
    void drawsARoundedBoxAndInksItsChildren()
    {
        TextElement* child = makeText(QString(kBlock));
        QColor own(Qt::blue);
        child->SetTextColor(own);
        ButtonElement* button = makeButton(4, 6, {child});
        setColors(button, {Qt::yellow, Qt::cyan, Qt::magenta}, {Qt::red, Qt::green, Qt::blue});
        ListPass pass(120, kEdgeX, 40);
        Element::s_iScrollValueV = 20;
        pass.run({button});
        Element::s_iScrollValueV = 0;

        const QRect box = boxOf(button).translated(0, -20);
        QCOMPARE(box.topLeft(), QPoint(kEdgeX, 40 + d - 20));
        const QRgb red = qRgb(255, 0, 0);
        const int midY = box.center().y();
        QCOMPARE(pass.image.pixel(box.left(), midY), red);
        QCOMPARE(pass.image.pixel(box.right(), midY), red);
        QCOMPARE(pass.image.pixel(box.left() - 1, midY), kBlack);
        QCOMPARE(pass.image.pixel(box.right() + 1, midY), kBlack);
        QCOMPARE(pass.image.pixel(box.center().x(), box.top()), red);
        QCOMPARE(pass.image.pixel(box.center().x(), box.bottom()), red);
        // Rounded: the corners themselves stay unpainted.
        for (const QPoint& corner : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
            QCOMPARE(pass.image.pixel(corner), kBlack);

        const QPoint glyph = boxOf(child).center() - QPoint(0, 20);
        QCOMPARE(pass.image.pixel(glyph), qRgb(255, 255, 0));
        delete button;
    }

    // Never configured: a transparent box and transparent ink on the
    // children, whatever colour they had.
    void unconfiguredButtonDrawsNothingVisible()
    {
        TextElement* child = makeText(QString(kBlock));
        QColor own(Qt::white);
        child->SetTextColor(own);
        ButtonElement* button = makeButton(4, 3, {child});
        ListPass pass(120, kEdgeX, kEdgeY);
        pass.run({button});
        QImage black(pass.image.size(), pass.image.format());
        black.fill(Qt::black);
        QCOMPARE(pass.image, black);
        delete button;
    }

    // In a view, the box reacts wherever it is hit, over its children too:
    // hover and press recolour the box and the children's ink, and a press
    // reports the box, never a child, not even a mouse-aware one.
    void viewHoversAndPressesTheBoxOnly()
    {
        ShownView v(300, 150);
        QColor black(Qt::black);
        v.view.SetBackground(black);
        v.view.SetEdgeSpace(10, 6);
        TextElement* label = makeText(QString(kBlock) + QStringLiteral(" go"));
        label->SetEvent(true);
        ImageElement* icon = makeImage(12, 12);
        icon->SetEvent(true);
        ButtonElement* inner = makeButton(2, 1, {makeText(QString(kBlock))});
        ButtonElement* button = makeButton(4, 3, {label, icon, inner});
        button->SetUin(31);
        setColors(button, {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)},
                  {QColor(80, 0, 0), QColor(0, 80, 0), QColor(0, 0, 80)});
        v.view.AddElement(button);
        v.paint();

        const QPoint boxPixel(boxOf(button).left() + 2, boxOf(label).center().y());
        const QPoint inkPixel = boxOf(label).center();
        auto shown = [&](const QPoint& p) { return v.grab().pixel(p); };
        QCOMPARE(shown(boxPixel), qRgb(80, 0, 0));
        QCOMPARE(shown(inkPixel), qRgb(255, 0, 0));

        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        for (Element* target : QList<Element*>{label, icon, inner}) {
            const QPoint p = boxOf(target).center();
            v.move(p);
            QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(shown(boxPixel), qRgb(0, 80, 0));
            QCOMPARE(shown(inkPixel), qRgb(0, 255, 0));
            v.press(p);
            QCOMPARE(shown(boxPixel), qRgb(0, 0, 80));
            QCOMPARE(shown(inkPixel), qRgb(0, 0, 255));
            v.release(p);
            QCOMPARE(shown(boxPixel), qRgb(0, 80, 0));
        }
        QCOMPARE(spy.count(), 3);
        for (const QList<QVariant>& args : qAsConst(spy))
            QCOMPARE(args.at(0).value<Element*>(), static_cast<Element*>(button));
        QCOMPARE(spy.at(0).at(0).value<Element*>()->GetUin(), 31);

        // Off the box, in the margin beside it.
        v.move(QPoint(5, boxOf(button).center().y()));
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(shown(boxPixel), qRgb(80, 0, 0));
        QCOMPARE(shown(inkPixel), qRgb(255, 0, 0));
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
        const QList<Element*> originals{text, image, space, button};
        QList<Element*> clones;
        for (Element* e : originals)
            clones.append(e->Clone());
        QVERIFY(dynamic_cast<TextElement*>(clones[0]) && dynamic_cast<ImageElement*>(clones[1])
                && dynamic_cast<SpaceElement*>(clones[2]) && dynamic_cast<ButtonElement*>(clones[3]));

        ListPass first(160, kEdgeX, kEdgeY);
        first.run(originals);
        ListPass second(160, kEdgeX, kEdgeY);
        second.run(clones);
        QCOMPARE(second.image, first.image);
        QCOMPARE(second.info.height, first.info.height);
        for (int i = 0; i < originals.size(); ++i) {
            QCOMPARE(clones[i]->GetEndX(), originals[i]->GetEndX());
            QCOMPARE(clones[i]->GetEndY(), originals[i]->GetEndY());
            QCOMPARE(clones[i]->GetEventRect(), originals[i]->GetEventRect());
        }
        qDeleteAll(originals);
        qDeleteAll(clones);
    }

    // Copying and assigning boxes never leaves two boxes owning the same
    // children: each deletes its own, whatever was copied from where.
    void copiedButtonsOwnTheirChildren()
    {
        alive = 0;
        {
            auto* firstChild = new Counted(QStringLiteral("ab"));
            ButtonElement* nested = makeButton(1, 1, {new Counted(QStringLiteral("c"))});
            ButtonElement* original = makeButton(4, 3, {firstChild, nested});
            const int before = heightAlone(original);

            ButtonElement copy(*original);
            QCOMPARE(alive, 4);
            // The copy's children are not the original's.
            firstChild->SetText(QStringLiteral("ab\ncd"));
            QCOMPARE(heightAlone(original), before + h);
            QCOMPARE(heightAlone(&copy), before);
            delete original;
            QCOMPARE(alive, 2);
            QCOMPARE(heightAlone(&copy), before);

            ButtonElement assigned;
            assigned.AddElement(new Counted(QStringLiteral("old")));
            QCOMPARE(alive, 3);
            assigned = copy;
            QCOMPARE(alive, 4);
            QCOMPARE(heightAlone(&assigned), before);
            ButtonElement& same = assigned;
            assigned = same;
            QCOMPARE(alive, 4);
            QCOMPARE(heightAlone(&assigned), before);

            // Assigned from a box inside itself: the old children, that box
            // among them, go only after everything was copied.
            ButtonElement* inner = makeButton(2, 2, {new Counted(QStringLiteral("deep"))});
            ButtonElement* outer = makeButton(4, 3, {new Counted(QStringLiteral("top")), inner});
            QCOMPARE(alive, 6);
            const int innerHeight = heightAlone(inner);
            *outer = *inner;
            QCOMPARE(alive, 5);
            QCOMPARE(heightAlone(outer), innerHeight);
            delete outer;

            // A box is never its own child.
            copy.AddElement(&copy);
            copy.AddElement(nullptr);
            QCOMPARE(heightAlone(&copy), before);
        }
        QCOMPARE(alive, 0);
    }
};

QTEST_MAIN(TestButtonElement)
#include "tst_buttonelement.moc"
