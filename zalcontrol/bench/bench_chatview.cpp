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
// beside them a pass over a chat whose spacings are all INT_MAX.
//
// Against baselines: the same 1500 messages of 40 characters, scrolled to the
// bottom, in a ZALChatView, a QTextBrowser (one paragraph each) and a
// QListView whose QStyledItemDelegate draws the text: full paint, mouse moves
// (hovered element unchanged and changed), an append at the limit while
// following (append, relayout, paint), a resize relayout, and the memory the
// loaded widget takes. Beside them, the full paint of 1500 messages in
// Arabic and of 1500 messages mixing Latin with Arabic and Hebrew, in a
// ZALChatView and a QTextBrowser.
//
// Each figure is the median of several runs.
//
// With --short (run by the tests) every part runs once at small sizes and
// only checks that the work was done: a paint that draws nothing, a layout
// that loses elements or a widget that does not follow fails the run.

#include <chatview.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextStream>
#include <QWindow>

#include <malloc.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <vector>

namespace {

const int kWidth = 800;
const int kHeight = 600;
int kRuns = 21;
int kTotal = ZALChatView::MaxElements;
bool g_failed = false;

// A check of the work itself; a failed one fails the run.
void check(bool ok, const QString& what)
{
    if (ok)
        return;
    g_failed = true;
    QTextStream(stderr) << "bench_chatview: " << what << Qt::endl;
}

// Whether a widget's picture shows anything besides its background colour,
// away from frames and scroll bars.
bool drawsSomething(const QImage& image)
{
    const QRgb background = image.pixel(image.width() / 2, image.height() / 2 + 3);
    int other = 0;
    for (int y = 10; y < image.height() - 10; y += 2)
        for (int x = 10; x < image.width() - 40; x += 2)
            other += image.pixel(x, y) != background;
    return other > 50;
}

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
    check(drawsSomething(view.grab().toImage()), QStringLiteral("a full paint drew nothing"));
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
    // AddElement lays the new element out at once: its cost is the pass.
    auto time = [&](std::vector<qint64>& into, const std::function<void()>& work) {
        QElapsedTimer timer;
        timer.start();
        work();
        into.push_back(timer.nsecsElapsed());
    };
    const int total = ZALChatView::MaxElements;
    for (int run = 0; run < kRuns; ++run) {
        auto view = newView();
        QList<Element*> added;
        time(first, [&] { fill(*view, textElement, 0, total - 1, &added); });
        time(appended, [&] { fill(*view, textElement, total - 1, 1, &added); });
        // A spacing setter asks for a pass, which ScrollToBottom() runs.
        time(unchanged, [&] {
            view->SetElementSpace(0);
            view->ScrollToBottom();
        });
        time(dropped, [&] { fill(*view, textElement, total, 1, &added); });
        // Every line below the one before it, none lost.
        int below = 0;
        for (int i = 2; i < added.size(); ++i)
            below += added[i]->GetStartY() > added[i - 1]->GetStartY();
        check(below == added.size() - 2,
              QStringLiteral("a layout pass lost elements (%1 of %2 in order)").arg(below).arg(added.size() - 2));
        auto hugeView = newView();
        hugeView->SetElementSpace(INT_MAX);
        hugeView->SetEdgeSpace(INT_MAX, INT_MAX);
        fill(*hugeView, hugeGapElement, 0, total);
        time(huge, [&] {
            hugeView->SetElementSpace(INT_MAX);
            hugeView->ScrollToBottom();
        });
    }
    auto median = [](std::vector<qint64>& ns) {
        std::sort(ns.begin(), ns.end());
        return ns[ns.size() / 2] / 1e6;
    };
    out << "\nlayout pass, text chat\n";
    auto row = [&](const QString& what, std::vector<qint64>& ns) {
        out << QStringLiteral("%1 %2\n").arg(what, -58).arg(ms(median(ns)), 12);
    };
    row(QStringLiteral("AddElement to %1 elements").arg(total - 1), appended);
    row(QStringLiteral("full pass, nothing changed (%1 elements)").arg(total), unchanged);
    row(QStringLiteral("AddElement at %1, the oldest dropped").arg(total), dropped);
    row(QStringLiteral("%1 AddElement calls, each new element measured").arg(total - 1), first);
    row(QStringLiteral("full pass, gaps, element and edge spaces of INT_MAX"), huge);
}

// Resident memory of the process in bytes.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : 0;
}

// One widget holding the chat: how to append a message (following the end),
// what repaints it, and where its two lowest messages are.
struct Subject
{
    QString name;
    std::unique_ptr<QWidget> widget;
    QWidget* canvas = nullptr; // receives paints and mouse moves
    std::function<void(int)> append;
    std::function<bool()> atBottom;
    int lastY = kHeight - 14; // the middle of the lowest message
    int lineHeight = 0;
};

void settle(QWidget* widget)
{
    widget->show();
    QElapsedTimer wait;
    wait.start();
    while (!widget->windowHandle()->isExposed() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

bool atEnd(const QScrollBar* bar)
{
    return bar->value() == bar->maximum();
}

Subject chatView()
{
    Subject s;
    s.name = QStringLiteral("ZALChatView");
    auto view = newView();
    ZALChatView* v = view.get();
    s.canvas = v;
    s.append = [v](int i) { v->AddElement(textElement(i)); };
    s.atBottom = [v] { return v->IsAtBottom(); };
    s.lineHeight = QFontMetrics(benchFont()).height();
    s.lastY = kHeight - 6 - QFontMetrics(benchFont()).descent() - s.lineHeight / 2;
    s.widget = std::move(view);
    return s;
}

Subject textBrowser()
{
    Subject s;
    s.name = QStringLiteral("QTextBrowser");
    auto browser = std::make_unique<QTextBrowser>();
    QTextBrowser* b = browser.get();
    b->resize(kWidth, kHeight);
    b->setFont(benchFont());
    b->document()->setMaximumBlockCount(kTotal);
    s.canvas = b->viewport();
    s.append = [b](int i) { b->append(line(i)); };
    s.atBottom = [b] { return atEnd(b->verticalScrollBar()); };
    s.lineHeight = QFontMetrics(benchFont()).height();
    s.lastY = kHeight - 2 * b->frameWidth() - 4 - s.lineHeight / 2;
    s.widget = std::move(browser);
    return s;
}

Subject listView()
{
    Subject s;
    s.name = QStringLiteral("QListView");
    auto list = std::make_unique<QListView>();
    QListView* l = list.get();
    auto* model = new QStringListModel(l);
    l->setModel(model);
    l->setItemDelegate(new QStyledItemDelegate(l));
    l->setUniformItemSizes(true);
    l->setFont(benchFont());
    l->resize(kWidth, kHeight);
    l->viewport()->setAttribute(Qt::WA_Hover);
    l->setMouseTracking(true);
    s.canvas = l->viewport();
    s.append = [l, model](int i) {
        const bool follow = atEnd(l->verticalScrollBar());
        if (model->rowCount() >= kTotal)
            model->removeRows(0, 1);
        const int row = model->rowCount();
        model->insertRows(row, 1);
        model->setData(model->index(row), line(i));
        if (follow)
            l->scrollToBottom();
    };
    s.atBottom = [l] { return atEnd(l->verticalScrollBar()); };
    s.lineHeight = l->sizeHintForRow(0) > 0 ? l->sizeHintForRow(0) : QFontMetrics(benchFont()).height();
    s.widget = std::move(list);
    return s;
}

struct Baseline
{
    double paint, moveSame, moveChanged, append, resize;
    qint64 memory;
};

void moveTo(QWidget* canvas, const QPoint& pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, canvas->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    QCoreApplication::processEvents();
}

// Loads the chat into the subject, shows it at the bottom and measures.
Baseline measureSubject(Subject s)
{
    Baseline f{};
    malloc_trim(0);
    const qint64 before = residentBytes();
    for (int i = 0; i < kTotal; ++i)
        s.append(i);
    settle(s.widget.get());
    // Scrolled to the bottom, as a reader of a live chat is.
    for (QScrollBar* bar : s.widget->findChildren<QScrollBar*>()) {
        if (bar->orientation() == Qt::Vertical)
            bar->setValue(bar->maximum());
    }
    s.canvas->repaint();
    f.memory = residentBytes() - before;
    check(s.atBottom(), s.name + QStringLiteral(" is not at the bottom after loading"));
    const QImage shown = s.widget->grab().toImage();
    check(drawsSomething(shown), s.name + QStringLiteral(" paints nothing"));

    f.paint = medianMs([&] { s.canvas->repaint(); });
    int flip = 0;
    const QPoint lowest(40, s.lastY);
    const QPoint above(40, s.lastY - s.lineHeight);
    moveTo(s.canvas, lowest);
    f.moveSame = medianMs([&] { moveTo(s.canvas, lowest + QPoint(flip++ % 2 * 30, 0)); });
    f.moveChanged = medianMs([&] { moveTo(s.canvas, flip++ % 2 ? lowest : above); });
    int next = kTotal;
    f.append = medianMs([&] {
        s.append(next++);
        QCoreApplication::processEvents();
        s.canvas->repaint();
    });
    check(s.atBottom(), s.name + QStringLiteral(" does not follow appended messages"));
    const QImage appended = s.widget->grab().toImage();
    check(drawsSomething(appended) && appended != shown, s.name + QStringLiteral(" does not show appended messages"));
    f.resize = medianMs([&] {
        s.widget->resize(kWidth - flip++ % 2 * 10, kHeight);
        QCoreApplication::processEvents();
    });
    return f;
}

void reportBaselines(QTextStream& out)
{
    const Baseline chat = measureSubject(chatView());
    const Baseline browser = measureSubject(textBrowser());
    const Baseline list = measureSubject(listView());
    out << "\n" << kTotal << " messages of 40 characters at the bottom, against baselines\n";
    out << QStringLiteral("%1 %2 %3 %4  %5\n")
               .arg(QString(), -34)
               .arg(QStringLiteral("ZALChatView"), 12)
               .arg(QStringLiteral("QTextBrowser"), 12)
               .arg(QStringLiteral("QListView"), 12)
               .arg(QStringLiteral("target"));
    auto row = [&](const QString& what, double a, double b, double c, const QString& target, bool met,
                   const QString& unit = QStringLiteral("ms")) {
        auto cell = [&](double v) { return QStringLiteral("%1 %2").arg(v, 0, 'f', unit == QLatin1String("ms") ? 3 : 1).arg(unit); };
        out << QStringLiteral("%1 %2 %3 %4  %5 %6\n")
                   .arg(what, -34)
                   .arg(cell(a), 12)
                   .arg(cell(b), 12)
                   .arg(cell(c), 12)
                   .arg(target, met ? QStringLiteral("met") : QStringLiteral("MISSED"));
    };
    row(QStringLiteral("full paint"), chat.paint, browser.paint, list.paint,
        QStringLiteral("<= 1.0x QTextBrowser:"), chat.paint <= browser.paint);
    row(QStringLiteral("mouse move, same element"), chat.moveSame, browser.moveSame, list.moveSame,
        QStringLiteral("<= 0.3 ms:"), chat.moveSame <= 0.3);
    row(QStringLiteral("mouse move, other element"), chat.moveChanged, browser.moveChanged, list.moveChanged,
        QStringLiteral("<= 1.0 ms:"), chat.moveChanged <= 1.0);
    row(QStringLiteral("append at the limit, following"), chat.append, browser.append, list.append,
        QStringLiteral("<= 1.0x QTextBrowser:"), chat.append <= browser.append);
    row(QStringLiteral("resize relayout"), chat.resize, browser.resize, list.resize, QStringLiteral("(none)"), true);
    row(QStringLiteral("memory after loading"), chat.memory / 1048576.0, browser.memory / 1048576.0,
        list.memory / 1048576.0, QStringLiteral("<= 1.2x QTextBrowser:"), chat.memory <= 1.2 * browser.memory,
        QStringLiteral("MiB"));
}

// Messages in scripts that are shaped or run right to left.
QString arabicLine(int i)
{
    return QString::fromUtf8("%1 مرحبا بالعالم، كيف حالك اليوم يا صديقي").arg(i);
}

QString mixedLine(int i)
{
    switch (i % 3) {
    case 0:
        return QString::fromUtf8("%1 meeting at ٣ o'clock: شكرا جزيلا see you").arg(i);
    case 1:
        return QString::fromUtf8("%1 the file שלום עולם.txt is ready").arg(i);
    default:
        return QString::fromUtf8("%1 plain latin text between the others here").arg(i);
    }
}

// Full paint at the bottom of kTotal messages of the given text in a
// ZALChatView and in a QTextBrowser (one paragraph each).
void reportScript(QTextStream& out, const QString& name, QString (*text)(int))
{
    auto view = newView();
    for (int i = 0; i < kTotal; ++i) {
        TextElement* e = textRun(text(i));
        e->SetReturn(true);
        view->AddElement(e);
    }
    showAt(*view, 1.0);
    check(view->IsAtBottom() && drawsSomething(view->grab().toImage()),
          QStringLiteral("ZALChatView paints no %1 messages at the bottom").arg(name));
    const double chat = medianMs([&] { view->repaint(); });
    view.reset();

    QTextBrowser browser;
    browser.resize(kWidth, kHeight);
    browser.setFont(benchFont());
    for (int i = 0; i < kTotal; ++i)
        browser.append(text(i));
    settle(&browser);
    browser.verticalScrollBar()->setValue(browser.verticalScrollBar()->maximum());
    browser.viewport()->repaint();
    check(drawsSomething(browser.grab().toImage()), QStringLiteral("QTextBrowser paints no %1 messages").arg(name));
    const double baseline = medianMs([&] { browser.viewport()->repaint(); });
    out << QStringLiteral("%1 %2 %3  %4 %5\n")
               .arg(QStringLiteral("full paint, ") + name, -34)
               .arg(QStringLiteral("%1 ms").arg(chat, 0, 'f', 3), 12)
               .arg(QStringLiteral("%1 ms").arg(baseline, 0, 'f', 3), 12)
               .arg(QStringLiteral("<= 1.0x QTextBrowser:"), chat <= baseline ? QStringLiteral("met") : QStringLiteral("MISSED"));
}

void reportScripts(QTextStream& out)
{
    out << "\n" << kTotal << " messages in shaped and right-to-left scripts at the bottom\n";
    out << QStringLiteral("%1 %2 %3  %4\n")
               .arg(QString(), -34)
               .arg(QStringLiteral("ZALChatView"), 12)
               .arg(QStringLiteral("QTextBrowser"), 12)
               .arg(QStringLiteral("target"));
    reportScript(out, QStringLiteral("Arabic"), arabicLine);
    reportScript(out, QStringLiteral("mixed scripts"), mixedLine);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--short"));
    QString figures;
    QTextStream out(&figures);
    if (quick) {
        kRuns = 1;
        kTotal = 60;
    }
    out << "view " << kWidth << " x " << kHeight << ", " << kTotal << " elements, median of " << kRuns << " runs\n";
    out << "visible: a view holding only the elements visible at that scroll position\n";
    reportPaint(out, QStringLiteral("text, 40 characters per element"), textElement, true);
    reportPaint(out, QStringLiteral("every kind"), mixedElement, false);
    reportLayout(out);
    reportBaselines(out);
    reportScripts(out);
    out.flush();
    if (!quick)
        QTextStream(stdout) << figures;
    if (g_failed)
        return 1;
    if (quick)
        QTextStream(stdout) << "bench_chatview: short run, every part did its work\n";
    return 0;
}
