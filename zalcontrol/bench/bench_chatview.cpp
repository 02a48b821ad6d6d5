// Prints the cost of a layout pass, a full paint and a mouse move of an
// 800 x 600 view holding 1500 elements, scrolled to the bottom, next to the
// same figures for a view holding only the elements that are visible there.
// Two chats: text elements of 40 characters, and a mix of every kind
// (avatar pictures, spacers, names, message text, and boxes holding a
// picture and text). Each figure is the median of several runs.

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

using Factory = Element* (*)(int);

// A view of elements first .. first + count - 1, scrolled to the bottom;
// added receives the elements (owned by the view).
std::unique_ptr<ZALChatView> makeView(Factory make, int first, int count, QList<Element*>* added = nullptr)
{
    auto view = std::make_unique<ZALChatView>();
    view->resize(kWidth, kHeight);
    view->SetEdgeSpace(8, 6);
    QColor background(240, 240, 240);
    view->SetBackground(background);
    for (int i = first; i < first + count; ++i) {
        Element* e = make(i);
        view->AddElement(e);
        if (added)
            added->append(e);
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

// Elements from the end of the list that reach into a view scrolled to the
// bottom, with one tall line of margin.
int visibleCount(const QList<Element*>& elements)
{
    const int top = Element::s_iScrollValueV - 2 * QFontMetrics(benchFont()).height();
    int n = 0;
    for (int i = elements.size() - 1; i >= 0 && elements[i]->GetEndY() >= top; --i)
        ++n;
    return n;
}

void report(QTextStream& out, const QString& chat, Factory make)
{
    const int total = ZALChatView::MaxElements;
    QList<Element*> elements;
    auto full = makeView(make, 0, total, &elements);
    const int visible = visibleCount(elements);
    const Figures all = measure(*full);
    full.reset();
    auto few = makeView(make, total - visible, visible);
    const Figures shown = measure(*few);

    out << "\n" << chat << "\n";
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
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    out << "view " << kWidth << " x " << kHeight << ", scrolled to the bottom, median of " << kRuns << " runs\n";
    report(out, QStringLiteral("text, 40 characters per element"), textElement);
    report(out, QStringLiteral("every kind"), mixedElement);
    return 0;
}
