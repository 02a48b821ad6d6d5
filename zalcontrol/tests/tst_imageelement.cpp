// Pictures: scaling, placement on lines and new lines, centring in taller
// lines, the text beside them, drawing, and the mouse over them in a view.

#include "support.h"

#include <QTemporaryDir>

namespace {

const int kEdgeX = 10;
const int kEdgeY = 5;
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kBlack = qRgb(0, 0, 0);

// The picture's size as layout sees it: a lone picture starts at edge_x.
QSize laidOutSize(ImageElement* picture)
{
    ListPass pass(400, kEdgeX, kEdgeY);
    pass.run({picture});
    return QSize(picture->GetEndX() - picture->GetStartX(), picture->GetHeight());
}

} // namespace

class TestImageElement : public QObject, private MonoCell
{
    Q_OBJECT

private slots:
    void init() { Element::s_iScrollValueV = 0; }

    void scalingKeepsTheAspectRatio_data()
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
    void scalingKeepsTheAspectRatio()
    {
        QFETCH(QSize, box);
        QFETCH(QSize, expected);
        QPixmap source = solidPixmap(100, 50, Qt::yellow);

        ImageElement fromPixmap;
        fromPixmap.SetPixmap(source, box.width(), box.height());
        QCOMPARE(laidOutSize(&fromPixmap), expected);
        QCOMPARE(source.size(), QSize(100, 50)); // the caller's picture is untouched

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(source.save(path, "PNG"));
        ImageElement fromFile;
        fromFile.SetPixmap(path, box.width(), box.height());
        QCOMPARE(laidOutSize(&fromFile), expected);
    }

    // No picture: nothing drawn, a line height left as it was, a rectangle
    // of width 0 that a view never hits.
    void missingPictureTakesNoRoomAndIsNeverHit()
    {
        ShownView v(200, 100);
        TextElement* text = makeText(QStringLiteral("ab"));
        auto* missing = new ImageElement;
        missing->SetPixmap(QStringLiteral("/nonexistent/picture.png"), 20, 20);
        missing->SetEvent(true);
        v.view.AddElement(text);
        v.view.AddElement(missing);
        v.paint();

        QCOMPARE(missing->GetHeight(), 0);
        QCOMPARE(missing->GetStartX(), 2 * w);
        QCOMPARE(missing->GetEndX(), 2 * w);
        QCOMPARE(Element::GetMaxHeightByY(0), h);
        QCOMPARE(missing->GetEventRect().size(), 1);
        QCOMPARE(missing->GetEventRect().first().width(), 0);
        v.move(missing->GetEventRect().first().topLeft());
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
    }

    // Where a picture lands after another element: on the same line when it
    // fits, else at edge_x one line lower, the line advancing by the taller
    // of the font height and the line's tallest item (never by the picture's
    // own height); with the line-break flag below the line by the taller of
    // the picture and the line.
    void placementAfterAnotherElement_data()
    {
        QTest::addColumn<int>("lineHeight"); // tallest item of the first line
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("lineBreak");
        QTest::addColumn<QPoint>("start");

        // A view 100 wide whose first line holds a picture 50 wide: 30 pixels
        // are left before the right margin.
        const int room = 100 - 2 * kEdgeX - 50;
        QTest::newRow("fits") << 30 << QSize(room, 40) << false << QPoint(kEdgeX + 50, kEdgeY);
        QTest::newRow("wraps below a tall line") << 30 << QSize(room + 1, 8) << false << QPoint(kEdgeX, kEdgeY + 30);
        QTest::newRow("wraps by the font height") << 6 << QSize(room + 1, 40) << false << QPoint(kEdgeX, kEdgeY + h);
        QTest::newRow("wider than a line, one move") << 6 << QSize(300, 8) << false << QPoint(kEdgeX, kEdgeY + h);
        QTest::newRow("line break, taller picture") << 20 << QSize(10, 40) << true << QPoint(kEdgeX, kEdgeY + 3 + 40);
        QTest::newRow("line break, taller line") << 20 << QSize(10, 8) << true << QPoint(kEdgeX, kEdgeY + 3 + 20);
        QTest::newRow("line break, no room") << 20 << QSize(85, 8) << true
                                             << QPoint(kEdgeX, kEdgeY + 3 + 20 + 20);
    }
    void placementAfterAnotherElement()
    {
        QFETCH(int, lineHeight);
        QFETCH(QSize, picture);
        QFETCH(bool, lineBreak);
        QFETCH(QPoint, start);

        ImageElement* before = makeImage(50, lineHeight);
        ImageElement* image = makeImage(picture.width(), picture.height());
        image->SetReturn(lineBreak);
        ListPass pass(100, kEdgeX, kEdgeY, 3);
        pass.run({before, image});

        QCOMPARE(QPoint(image->GetStartX(), image->GetStartY()), start);
        QCOMPARE(image->GetEndX(), start.x() + picture.width());
        QCOMPARE(image->GetEndY(), start.y());
        QCOMPARE(Element::GetMaxHeightByY(start.y()), qMax(picture.height(), start.y() == kEdgeY ? lineHeight : 0));
        QCOMPARE(pass.info.height, Element::GetMaxHeightByY(start.y()) + kEdgeY + start.y());
        delete before;
        delete image;
    }

    void firstElementNeverMoves()
    {
        ImageElement* wide = makeImage(500, 10);
        ListPass pass(100, kEdgeX, kEdgeY);
        pass.run({wide});
        QCOMPARE(QPoint(wide->GetStartX(), wide->GetStartY()), QPoint(kEdgeX, kEdgeY));
        QCOMPARE(wide->GetEndX(), kEdgeX + 500);
        delete wide;
    }

    // A short picture in a taller line is drawn centred, a descent lower,
    // moved up by the scroll offset; its hit rectangle starts at the
    // picture's top and is as tall as the line.
    void shortPictureIsCentredWithATallHitRectangle()
    {
        TextElement* tall = makeText(QStringLiteral("T"), 26);
        const int lineH = QFontMetrics(monoFont(26)).height();
        ImageElement* picture = makeImage(12, 10);
        ListPass pass(200, kEdgeX, 40);
        Element::s_iScrollValueV = 30;
        pass.run({tall, picture});
        Element::s_iScrollValueV = 0;

        const int top = 40 + (lineH - 10) / 2 + d;
        const QRect rect(tall->GetEndX(), top, 12, lineH);
        QCOMPARE(picture->GetEventRect(), QVector<QRect>({rect}));
        const QPoint screen = rect.topLeft() - QPoint(0, 30);
        QCOMPARE(pass.image.pixel(screen), kYellow);
        QCOMPARE(pass.image.pixel(screen + QPoint(11, 9)), kYellow);
        QCOMPARE(pass.image.pixel(screen - QPoint(0, 1)), kBlack);
        QCOMPARE(pass.image.pixel(screen + QPoint(0, 10)), kBlack);
        delete tall;
        delete picture;
    }

    // A picture taller than the text raises its line: the text before and
    // after it on the line is centred against it, and the line after it
    // lies below the picture.
    void tallPictureCentresTheTextBesideIt()
    {
        const int P = 3 * h;
        TextElement* before = makeText(QStringLiteral("ab"));
        ImageElement* picture = makeImage(20, P);
        TextElement* after = makeText(QStringLiteral("cd\ne"));
        ListPass pass(200, kEdgeX, kEdgeY);
        pass.run({before, picture, after});

        const int centred = kEdgeY + (P - h) / 2 + d;
        QCOMPARE(Element::GetMaxHeightByY(kEdgeY), P);
        QCOMPARE(before->GetEventRect().first().top(), centred);
        QCOMPARE(picture->GetEventRect().first().top(), kEdgeY + d);
        QCOMPARE(after->GetEventRect().first().top(), centred);
        QCOMPARE(after->GetEventRect().first().left(), kEdgeX + 2 * w + 20);
        QCOMPARE(after->GetEventRect().last().topLeft(), QPoint(kEdgeX, kEdgeY + P + d));
        delete before;
        delete picture;
        delete after;
    }

    // With events on, the view hits the picture under its whole rectangle,
    // the part below a centred picture included, and reports it on press.
    void viewReportsAPictureWithEventsOn()
    {
        ShownView v(200, 100);
        TextElement* tall = makeText(QStringLiteral("T"), 30);
        ImageElement* picture = makeImage(12, 6);
        picture->SetUin(12);
        picture->SetEvent(true);
        ImageElement* deaf = makeImage(12, 6);
        v.view.AddElement(tall);
        v.view.AddElement(picture);
        v.view.AddElement(deaf);
        v.paint();

        QSignalSpy spy(&v.view, &ZALChatView::sglElementPress);
        const QRect rect = picture->GetEventRect().first();
        QVERIFY(rect.height() > 6);
        const QPoint belowThePicture(rect.left() + 2, rect.bottom());
        v.move(belowThePicture);
        QCOMPARE(v.view.cursor().shape(), Qt::PointingHandCursor);
        v.click(belowThePicture);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Element*>(), static_cast<Element*>(picture));

        v.move(deaf->GetEventRect().first().topLeft());
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
    }
};

QTEST_MAIN(TestImageElement)
#include "tst_imageelement.moc"
