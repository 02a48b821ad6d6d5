// Painting only what is seen, text in runs: same pictures and rectangles as drawing all.

#include "support.h"

#include <src/drawarea.h>

namespace {

// Sanitizer runs (ASAN_OPTIONS set) draw text many times slower: the history is walked in coarser steps.
const int kCoarse = qEnvironmentVariableIsSet("ASAN_OPTIONS") ? 5 : 1;
const QSize kViewSize(260, 180);

// Font (a default QFont keeps the view's), line break, and mouse colours when live.
template <typename T>
T* with(T* e, bool lineBreak, QFont font = sansFont(13), int live = -1)
{
    e->SetFont(font);
    e->SetReturn(lineBreak);
    if (live >= 0) {
        e->SetEvent(true);
        setColors(e, {QColor(20, 20, 20), QColor(0, 0, 160), QColor(160, 0, 0)},
                  {QColor(255, 255, 255, 0), QColor(255, 240, 150 + live % 100), QColor(255, 180, 90)});
    }
    return e;
}

TextElement* text(const QString& content, bool lineBreak = false, QFont font = sansFont(13), int live = -1)
{
    return with(makeText(content), lineBreak, font, live);
}

Element* gap(int space) { return with(makeGap(space), false); }

// No picture at all when w is 0: it takes no room and is never hit.
ImageElement* picture(int w, int h, const QColor& color, bool lineBreak = false, int live = -1)
{
    auto* e = with(new ImageElement, lineBreak, sansFont(13), live);
    e->SetPixmap(solidPixmap(qMax(w, 1), qMax(h, 1), color), w > 0 ? 0 : -1, w > 0 ? 0 : -1);
    return e;
}

// Accented words, emoji (joined, with a variation selector), Greek, Chinese.
QString sentence(int i)
{
    static const QStringList words =
        QStringLiteral("hello caf\u00e9 \U0001F600 \u00c5ngstr\u00f6m stream \u65e5\u672c na\u00efve "
                       "\U0001F468\u200D\U0001F469\u200D\U0001F467 \u0394\u03b5\u03bb\u03c4\u03b1 quiz \u2764\uFE0F")
            .split(QLatin1Char(' '));
    QString s;
    for (int k = 0; k < 6 + i % 17; ++k)
        s += words[(i * 7 + k * 5) % words.size()] + QLatin1Char(' ');
    return s;
}

// Element i of a long chat of every kind: marks, long runs, tall and short pictures, boxes, fonts.
Element* historyElement(int i)
{
    switch (i % 11) {
    case 0:
        return picture(24, 24, QColor::fromHsv(i * 37 % 360, 160, 200), true, i);
    case 1:
        return gap(6);
    case 2:
        return text(QStringLiteral("Sender %1").arg(i), false, sansFont(13, true), i);
    case 3: {
        TextElement* e = text(sentence(i), true, sansFont(13), i % 2 ? i : -1);
        e->SetIndentSpace(14);
        return e;
    }
    case 4:
        return text(QStringLiteral("Z") + QString(14, QChar(0x301)) + QStringLiteral("l\u0308\u0323 \u0e01\u0e34\u0e4c\nnext"),
                    true);
    case 5: {
        QString content = sentence(i + 3);
        for (int k = 0; content.size() < 420 && i % 39 == 5; ++k)
            content += sentence(k);
        return text(content, true, QFont(), i);
    }
    case 6:
        return picture(40, 28 + i % 23, QColor::fromHsv(i * 53 % 360, 200, 180), false, i);
    case 7: {
        auto* inner = with(makeBox({text(sentence(i))}), false);
        inner->SetEventBackground({QColor(250, 250, 255), QColor(240, 240, 255), QColor(225, 225, 250)});
        const QString caption = QStringLiteral("Join the quiz %1 \U0001F381").arg(i);
        auto* box = with(makeBox({picture(16, 16, Qt::darkGreen), gap(5), text(caption), inner}, 8, 4), false, sansFont(13), i);
        box->SetIndentSpace(i % 2 * 10);
        return box;
    }
    case 8:
        return picture(i % 3 ? 10 : 0, 10, Qt::magenta, false, i);
    case 9:
        return text(QStringLiteral(" BIG \u00c9g"), false, sansFont(22));
    default:
        return text(QStringLiteral(" underlined\n"), false, sansFont(12, false, true), i);
    }
}

// A shown view holding the first count elements of the history, at the top.
struct HistoryView : ShownView
{
    QList<Element*> elements;

    HistoryView(int count, bool words = false)
        : ShownView(kViewSize.width(), kViewSize.height())
    {
        view.SetWordWrap(words);
        view.SetEdgeSpace(8, 6);
        view.SetElementSpace(3);
        view.SetBackground(QColor(250, 250, 245));
        for (int i = 0; i < count; ++i) {
            elements.append(historyElement(i));
            view.AddElement(elements.last());
        }
        bar()->setValue(0);
        paint();
    }
};

// Draws everything, each cluster on its own: the picture to match.
void reference(bool on)
{
    DrawArea::SetDrawEverything(on);
    DrawArea::SetDrawClustersAlone(on);
}

} // namespace

class TestVisiblePaint : public QObject
{
    Q_OBJECT

private slots:
    void init() { reference(false); }

    // All through the history in both wrap modes, edges hovered or pressed, relayouts: pictures and rectangles agree.
    void everyScrollPositionPaintsAsEverythingDrawn()
    {
        for (const bool words : {false, true}) {
            HistoryView v(180, words);
            QVERIFY(v.bar()->maximum() > 300);
            int positions = 0;
            int hovered = 0;
            for (int value = 0; value <= v.bar()->maximum() + 11 * kCoarse - 1; value += 11 * kCoarse, ++positions) {
                if (positions % (9 / kCoarse + 1) == 1) // every rectangle built anew, most without painting
                    v.view.resize(kViewSize.width() + positions % 2 * 3, kViewSize.height());
                v.bar()->setValue(qMin(value, v.bar()->maximum()));
                v.paint(); // a layout pass leaves no rectangles for the hit test
                const QPoint edge(20 + positions * 13 % 200, positions % 2 ? 1 : kViewSize.height() - 2);
                auto render = [&](bool everything) {
                    mouse(v.view, QEvent::MouseMove, edge);
                    if (positions % 3 == 0)
                        mouse(v.view, QEvent::MouseButtonPress, edge);
                    reference(everything);
                    QPair<QImage, QVector<QVector<QRect>>> r{v.grab(), {}};
                    reference(false);
                    for (const Element* e : qAsConst(v.elements))
                        r.second.append(e->GetEventRect());
                    return r;
                };
                const auto partial = render(false);
                hovered += v.view.cursor().shape() == Qt::PointingHandCursor;
                const auto full = render(true);
                const QString where = QStringLiteral("word wrap %1, scroll value %2").arg(words).arg(v.bar()->value());
                QVERIFY2(partial.first == full.first, qPrintable(where));
                QVERIFY2(partial.second == full.second, qPrintable(where));
            }
            QVERIFY(positions > 40 / kCoarse);
            QVERIFY(hovered > positions / 3);
        }
    }

    // A host's moved or scaled painter gets what drawing everything gives.
    void hostPaintersDrawAsEverything()
    {
        HistoryView v(140);
        auto drawn = [&](bool everything, const QTransform& transform) {
            reference(everything);
            QImage image(kViewSize.width(), 400, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setTransform(transform);
            v.view.Draw(painter);
            reference(false);
            return image;
        };
        for (const QTransform& t : {QTransform::fromTranslate(3.5, -801.5), QTransform::fromScale(0.25, 0.25)})
            QVERIFY(drawn(false, t) == drawn(true, t));
    }
};

QTEST_MAIN(TestVisiblePaint)
#include "tst_visiblepaint.moc"
