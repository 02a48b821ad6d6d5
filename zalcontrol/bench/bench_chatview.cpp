// Prints what a paint, a mouse move and a layout pass cost in an 800 x 600
// view holding 1500 elements, next to baselines measured in the same run.
//
// Paint and mouse move (hit test and repaint), with the view scrolled to the
// middle and to the bottom of its history, are compared with a view that
// holds only the elements visible there. Two chats: text elements of 40
// characters, and a mix of every kind (avatar pictures, spacers, names,
// message text, and boxes holding a picture and text).
//
// Layout passes of the text chat: the first pass over new elements, the pass
// after one AddElement to 1499 elements, a pass in which nothing changed,
// and the pass after an AddElement at the limit, which drops the oldest;
// beside them the first pass over a chat whose spacings are all INT_MAX.
//
// Each figure is the median of several runs.

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
#include <climits>
#include <functional>
#include <memory>
#include <vector>

namespace {

const int kWidth = 800;
const int kHeight = 600;
const int kRuns = 21;
const int kTotal = ZALChatView::MaxElements;

// Targets for the text chat: a full paint at most this many times the paint
// of the visible elements alone, and at most these many milliseconds.
const double kPaintRatio = 1.5;
const double kPaintMs = 5.0;
const double kMoveMs = 6.0;

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

QPixmap picture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(QColor(80, 120, 200));
    return pixmap;
}

template <typename T>
T* element()
{
    auto* e = new T;
    QFont font = benchFont();
    e->SetFont(font);
    return e;
}

TextElement* textRun(const QString& text)
{
    auto* e = element<TextElement>();
    e->SetText(text);
    e->SetEvent(true);
    mouse_color_ ink{Qt::black, Qt::blue, Qt::red};
    e->SetEventTextColor(ink);
    return e;
}

// Element i of a chat of 40-character lines.
Element* textElement(int i)
{
    TextElement* e = textRun(line(i));
    e->SetReturn(true);
    return e;
}

// Element i of a chat that repeats: an avatar beginning a line, a spacer, a
// name, a message, and a box holding a picture and text.
Element* mixedElement(int i)
{
    switch (i % 5) {
    case 0: {
        auto* avatar = element<ImageElement>();
        QPixmap pixmap = picture(64);
        avatar->SetPixmap(pixmap, 22, 22);
        avatar->SetReturn(true);
        return avatar;
    }
    case 1: {
        auto* gap = element<SpaceElement>();
        gap->SetSpace(6);
        return gap;
    }
    case 2:
        return textRun(QStringLiteral("Sender %1").arg(i));
    case 3: {
        TextElement* body = textRun(line(i));
        body->SetIndentSpace(14);
        body->SetReturn(true);
        return body;
    }
    default: {
        auto* box = element<ButtonElement>();
        box->SetEdgeSpace(8, 4);
        mouse_color_ back{QColor(220, 230, 250), QColor(200, 215, 245), QColor(170, 190, 235)};
        box->SetEventBackground(back);
        auto* icon = element<ImageElement>();
        QPixmap pixmap = picture(16);
        icon->SetPixmap(pixmap, 0, 0);
        box->AddElement(icon);
        box->AddElement(textRun(QStringLiteral("Join the quiz %1").arg(i)));
        return box;
    }
    }
}

// Text runs, each after a gap of INT_MAX pixels.
Element* hugeGapElement(int i)
{
    if (i % 2)
        return textElement(i);
    auto* gap = element<SpaceElement>();
    gap->SetSpace(INT_MAX);
    return gap;
}

using Factory = Element* (*)(int);

std::unique_ptr<ZALChatView> newView()
{
    auto view = std::make_unique<ZALChatView>();
    view->resize(kWidth, kHeight);
    view->SetEdgeSpace(8, 6);
    QColor background(240, 240, 240);
    view->SetBackground(background);
    return view;
}

// Adds elements first .. first + count - 1; added receives them (owned by
// the view).
void fill(ZALChatView& view, Factory make, int first, int count, QList<Element*>* added = nullptr)
{
    for (int i = first; i < first + count; ++i) {
        Element* e = make(i);
        view.AddElement(e);
        if (added)
            added->append(e);
    }
}

// Shows and paints the view, scrolls it to the given share of its scroll
// range (0 the top, 1 the bottom) and paints it again.
void showAt(ZALChatView& view, double where)
{
    view.show();
    // Paints reach the widget only once its window is exposed.
    QElapsedTimer wait;
    wait.start();
    while (!view.windowHandle()->isExposed() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    view.repaint();
    QScrollBar* bar = view.GetVerticalScrollBar();
    if (!bar->isHidden())
        bar->setValue(qRound(bar->maximum() * where));
    view.repaint();
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
    double paint;
    double move;
};

// A full paint, and a mouse move (hit test and repaint) between two points
// of the lowest lines.
Figures measure(ZALChatView& view)
{
    Figures f;
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

// Indexes of the elements that reach into the view at its scroll offset,
// with two text lines of margin above and below.
QPair<int, int> visibleRange(const QList<Element*>& elements)
{
    const int margin = 2 * QFontMetrics(benchFont()).height();
    const int top = Element::s_iScrollValueV - margin;
    const int bottom = Element::s_iScrollValueV + kHeight + margin;
    int first = -1;
    int last = -1;
    for (int i = 0; i < elements.size(); ++i) {
        const Element* e = elements[i];
        if (e->GetEndY() + margin >= top && e->GetStartY() <= bottom) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    return {first, last};
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 3);
}

// Paint and mouse move of a full chat at one scroll position against a view
// holding only the elements visible there.
void reportPosition(QTextStream& out, Factory make, const QString& name, double where, bool withTargets)
{
    QList<Element*> elements;
    auto full = newView();
    fill(*full, make, 0, kTotal, &elements);
    showAt(*full, where);
    const QPair<int, int> visible = visibleRange(elements);
    const Figures all = measure(*full);
    full.reset();

    auto few = newView();
    const int count = visible.second - visible.first + 1;
    fill(*few, make, visible.first, count);
    showAt(*few, where);
    const Figures shown = measure(*few);

    auto row = [&](const QString& figure, double a, double b, const QString& target, bool met) {
        out << QStringLiteral("%1 %2 %3 %4 %5  %6\n")
                   .arg(QStringLiteral("%1, %2").arg(name, figure), -22)
                   .arg(ms(a), 12)
                   .arg(ms(b), 12)
                   .arg(count, 8)
                   .arg(a / b, 6, 'f', 2)
                   .arg(withTargets ? QStringLiteral("%1 %2").arg(target, met ? QStringLiteral("met")
                                                                              : QStringLiteral("MISSED"))
                                    : QString());
    };
    row(QStringLiteral("full paint"), all.paint, shown.paint,
        QStringLiteral("ratio <= %1 and <= %2 ms:").arg(kPaintRatio).arg(kPaintMs),
        all.paint <= kPaintRatio * shown.paint && all.paint <= kPaintMs);
    row(QStringLiteral("mouse move"), all.move, shown.move, QStringLiteral("<= %1 ms:").arg(kMoveMs),
        all.move <= kMoveMs);
}

void reportPaint(QTextStream& out, const QString& chat, Factory make, bool withTargets)
{
    out << "\n" << chat << "\n";
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QString(), -22)
               .arg(QStringLiteral("%1 elements").arg(kTotal), 12)
               .arg(QStringLiteral("visible"), 12)
               .arg(QStringLiteral("visible"), 8)
               .arg(QStringLiteral("ratio"), 6);
    reportPosition(out, make, QStringLiteral("middle"), 0.5, withTargets);
    reportPosition(out, make, QStringLiteral("bottom"), 1.0, withTargets);
}

// Layout passes of the text chat, each run in a new view that is never
// shown (a pass needs only a painter).
void reportLayout(QTextStream& out)
{
    std::vector<qint64> first;
    std::vector<qint64> appended;
    std::vector<qint64> unchanged;
    std::vector<qint64> dropped;
    std::vector<qint64> huge;
    QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    auto time = [&](ZALChatView& view, std::vector<qint64>& into) {
        QPainter painter(&target);
        QElapsedTimer timer;
        timer.start();
        view.Layout(painter);
        into.push_back(timer.nsecsElapsed());
    };
    for (int run = 0; run < kRuns; ++run) {
        auto view = newView();
        fill(*view, textElement, 0, kTotal - 1);
        time(*view, first);
        fill(*view, textElement, kTotal - 1, 1);
        time(*view, appended);
        time(*view, unchanged);
        fill(*view, textElement, kTotal, 1);
        time(*view, dropped);
        auto hugeView = newView();
        hugeView->SetElementSpace(INT_MAX);
        hugeView->SetEdgeSpace(INT_MAX, INT_MAX);
        fill(*hugeView, hugeGapElement, 0, kTotal);
        time(*hugeView, huge);
    }
    auto median = [](std::vector<qint64>& ns) {
        std::sort(ns.begin(), ns.end());
        return ns[ns.size() / 2] / 1e6;
    };
    out << "\nlayout pass, text chat\n";
    auto row = [&](const QString& what, std::vector<qint64>& ns) {
        out << QStringLiteral("%1 %2\n").arg(what, -58).arg(ms(median(ns)), 12);
    };
    row(QStringLiteral("after one AddElement to %1 elements").arg(kTotal - 1), appended);
    row(QStringLiteral("full pass, nothing changed (%1 elements)").arg(kTotal), unchanged);
    row(QStringLiteral("after one AddElement at %1, the oldest dropped").arg(kTotal), dropped);
    row(QStringLiteral("first pass, %1 new elements measured").arg(kTotal - 1), first);
    row(QStringLiteral("first pass, gaps, element and edge spaces of INT_MAX"), huge);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    out << "view " << kWidth << " x " << kHeight << ", " << kTotal << " elements, median of " << kRuns << " runs\n";
    out << "visible: a view holding only the elements visible at that scroll position\n";
    reportPaint(out, QStringLiteral("text, 40 characters per element"), textElement, true);
    reportPaint(out, QStringLiteral("every kind"), mixedElement, false);
    reportLayout(out);
    return 0;
}
