// Prints the cost of a layout pass, a full paint and a mouse move of an
// 800 x 600 view holding 1500 text elements of 40 characters, scrolled to the
// bottom, next to the same figures for a view holding only the elements that
// are visible there. Each figure is the median of several runs.

#include <chatview.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextStream>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

const int kWidth = 800;
const int kHeight = 600;
const int kRuns = 21;

QFont benchFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    return font;
}

QString line(int i)
{
    QString text = QStringLiteral("%1 the quick brown fox jumps over a dog").arg(i, 4, 10, QLatin1Char('0'));
    return text.left(40).leftJustified(40, QLatin1Char('.'));
}

std::unique_ptr<ZALChatView> makeView(int first, int count)
{
    auto view = std::make_unique<ZALChatView>();
    view->resize(kWidth, kHeight);
    view->SetEdgeSpace(8, 6);
    QColor background(240, 240, 240);
    view->SetBackground(background);
    for (int i = first; i < first + count; ++i) {
        auto* e = new TextElement;
        QFont font = benchFont();
        e->SetFont(font);
        e->SetText(line(i));
        e->SetReturn(true);
        e->SetEvent(true);
        mouse_color_ ink{Qt::black, Qt::blue, Qt::red};
        e->SetEventTextColor(ink);
        view->AddElement(e);
    }
    view->show();
    // Paints reach the widget only once its window is exposed.
    QElapsedTimer wait;
    wait.start();
    while (!view->windowHandle()->isExposed() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    view->repaint();
    QScrollBar* bar = view->GetVerticalScrollBar();
    if (!bar->isHidden())
        bar->setValue(bar->maximum());
    view->repaint();
    return view;
}

double medianMs(const std::function<void()>& work)
{
    std::vector<qint64> ns;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        ns.push_back(timer.nsecsElapsed());
    }
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1e6;
}

struct Figures
{
    double layout;
    double paint;
    double move;
};

Figures measure(ZALChatView& view)
{
    Figures f;
    QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    f.layout = medianMs([&] {
        QPainter painter(&target);
        view.Layout(painter);
    });
    f.paint = medianMs([&] { view.repaint(); });
    int flip = 0;
    f.move = medianMs([&] {
        const QPoint pos(40 + (flip++ % 2) * 30, kHeight - 40);
        QMouseEvent move(QEvent::MouseMove, pos, view.mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
        view.repaint();
    });
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int total = ZALChatView::MaxElements;
    const int lineHeight = QFontMetrics(benchFont()).height();
    const int visible = kHeight / lineHeight + 2;

    auto full = makeView(0, total);
    const Figures all = measure(*full);
    full.reset();
    auto few = makeView(total - visible, visible);
    const Figures shown = measure(*few);

    QTextStream out(stdout);
    out << "view " << kWidth << " x " << kHeight << ", elements of 40 characters, scrolled to the bottom, median of "
        << kRuns << " runs\n";
    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QStringLiteral("figure"), -12)
               .arg(QStringLiteral("%1 elements").arg(total), 14)
               .arg(QStringLiteral("%1 visible").arg(visible), 14)
               .arg(QStringLiteral("ratio"), 8);
    auto row = [&](const QString& name, double a, double b) {
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(name, -12)
                   .arg(QStringLiteral("%1 ms").arg(a, 0, 'f', 3), 14)
                   .arg(QStringLiteral("%1 ms").arg(b, 0, 'f', 3), 14)
                   .arg(a / b, 8, 'f', 1);
    };
    row(QStringLiteral("layout pass"), all.layout, shown.layout);
    row(QStringLiteral("full paint"), all.paint, shown.paint);
    row(QStringLiteral("mouse move"), all.move, shown.move);
    return 0;
}
