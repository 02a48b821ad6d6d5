// Spacers: a gap that advances pixel by pixel and wraps at the right margin
// like text, registers its lines, and leaves no hit rectangle.

#include "support.h"

namespace {

const int kEdgeY = 5;

} // namespace

class TestSpaceElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    // Start and end of a gap after a picture of the given size (none when
    // empty); y is counted in lines below edge_y, as heights in pixels.
    void wrapsAtTheMargin_data()
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
        QTest::newRow("several lines") << 100 << 0 << QSize() << 250 << QPoint(0, 0) << QPoint(50, 2 * h);
        QTest::newRow("edge_x on both sides") << 100 << 10 << QSize(75, 1) << 10 << QPoint(85, 0) << QPoint(15, h);
        QTest::newRow("no room for a pixel") << 10 << 5 << QSize() << 3 << QPoint(5, 0) << QPoint(5, 3 * h);
        QTest::newRow("starts past the margin") << 100 << 0 << QSize(100, 30) << 4 << QPoint(0, 30) << QPoint(4, 30);
        QTest::newRow("zero width") << 100 << 0 << QSize(30, 3) << 0 << QPoint(30, 0) << QPoint(30, 0);
        QTest::newRow("negative width") << 100 << 0 << QSize(30, 3) << -7 << QPoint(30, 0) << QPoint(30, 0);
    }
    void wrapsAtTheMargin()
    {
        QFETCH(int, width);
        QFETCH(int, edgeX);
        QFETCH(QSize, before);
        QFETCH(int, space);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);

        QList<Element*> elements;
        if (!before.isEmpty())
            elements.append(makeImage(before.width(), before.height()));
        auto* gap = new SpaceElement;
        QFont font = monoFont();
        gap->SetFont(font);
        gap->SetSpace(space);
        elements.append(gap);
        ListPass pass(width, edgeX, kEdgeY);
        pass.run(elements);

        const QPoint offset(0, kEdgeY);
        QCOMPARE(QPoint(gap->GetStartX(), gap->GetStartY()), start + offset);
        QCOMPARE(QPoint(gap->GetEndX(), gap->GetEndY()), end + offset);
        QCOMPARE(gap->GetHeight(), h);
        // The start and end lines hold at least its font height (which may
        // raise a shorter line), and the content bottom counts the start
        // line's height, even when the gap wrapped.
        QVERIFY(Element::GetMaxHeightByY(end.y() + kEdgeY) >= h);
        QCOMPARE(Element::GetMaxHeightByY(start.y() + kEdgeY), qMax(h, start.y() == 0 ? before.height() : 0));
        QCOMPARE(pass.info.height, Element::GetMaxHeightByY(start.y() + kEdgeY) + kEdgeY + end.y() + kEdgeY);

        QVERIFY(gap->GetEventRect().isEmpty());
        qDeleteAll(elements);
    }
};

QTEST_MAIN(TestSpaceElement)
#include "tst_spaceelement.moc"
