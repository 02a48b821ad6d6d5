// A chat window built on ZALChatView: several senders whose avatars and names
// share a line, names that react to hover and press, long wrapped messages,
// line feeds, emoji, non-Latin text, indented bodies, small pictures inside
// text, a photo scaled to a box, a rating made of pictures and spacers, and
// clickable boxes holding text, pictures and further boxes. Pressing a name
// or a box prints what the view reports.
//
//   chatdemo                    opens the window
//   chatdemo --live             opens the window; a new message arrives every
//                               few hundred milliseconds
//   chatdemo --screenshot FILE  renders the window offscreen to FILE and exits
//
// The view follows new messages while it shows the newest; scrolled up, a
// "newest messages" button brings the reader back. Page Up/Down, the arrows
// and Home/End scroll.

#include <chatview.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>

namespace {

struct Sender
{
    int uin;
    QString name;
    QColor color;
};

struct Message
{
    const Sender* sender;
    QString time;
    QString text;
};

QFont pixelFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// The demo draws its own pictures, large, so that the view scales them down.

// A transparent square picture of the given size, painted by paint with
// antialiasing on.
template <typename Paint>
QPixmap drawPicture(int size, Paint paint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    paint(painter);
    painter.end();
    return pixmap;
}

QPixmap avatarPicture(const QColor& color, const QString& initial)
{
    return drawPicture(96, [&](QPainter& painter) {
        painter.setBrush(color);
        painter.drawEllipse(QRect(0, 0, 96, 96));
        painter.setPen(Qt::white);
        painter.setFont(pixelFont(56, true));
        painter.drawText(QRect(0, 0, 96, 96), Qt::AlignCenter, initial);
    });
}

QPixmap starPicture(const QColor& color)
{
    return drawPicture(64, [&](QPainter& painter) {
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const qreal radius = i % 2 ? 13 : 31;
            const qreal angle = M_PI * (i / 5.0 - 0.5);
            const QPointF p(32 + radius * std::cos(angle), 33 + radius * std::sin(angle));
            if (i == 0)
                star.moveTo(p);
            else
                star.lineTo(p);
        }
        star.closeSubpath();
        painter.fillPath(star, color);
    });
}

QPixmap heartPicture()
{
    return drawPicture(40, [](QPainter& painter) {
        QPainterPath heart;
        heart.moveTo(20, 36);
        heart.cubicTo(2, 24, 0, 10, 10, 5);
        heart.cubicTo(15, 3, 19, 6, 20, 11);
        heart.cubicTo(21, 6, 25, 3, 30, 5);
        heart.cubicTo(40, 10, 38, 24, 20, 36);
        painter.fillPath(heart, QColor(0xe2, 0x3b, 0x4a));
    });
}

QPixmap notePicture(const QColor& color)
{
    return drawPicture(48, [&](QPainter& painter) {
        painter.setBrush(color);
        painter.drawEllipse(QRectF(6, 30, 16, 12));
        painter.drawEllipse(QRectF(26, 26, 16, 12));
        painter.drawRect(QRectF(18, 8, 4, 28));
        painter.drawRect(QRectF(38, 4, 4, 28));
        painter.drawPolygon(QPolygonF({QPointF(18, 8), QPointF(42, 4), QPointF(42, 12), QPointF(18, 16)}));
    });
}

// A landscape as a camera would take it: wider than the chat, 16:9.
QPixmap photoPicture()
{
    QPixmap pixmap(640, 360);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 360);
    sky.setColorAt(0, QColor(0x2b, 0x3a, 0x67));
    sky.setColorAt(0.6, QColor(0xf2, 0x9e, 0x6b));
    painter.fillRect(pixmap.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xe0, 0x8a));
    painter.drawEllipse(QPointF(440, 210), 48, 48);
    QPainterPath hills;
    hills.moveTo(0, 260);
    hills.cubicTo(160, 180, 300, 300, 420, 240);
    hills.cubicTo(520, 200, 600, 250, 640, 230);
    hills.lineTo(640, 360);
    hills.lineTo(0, 360);
    painter.fillPath(hills, QColor(0x2e, 0x4a, 0x3a));
    painter.end();
    return pixmap;
}

class ChatWindow : public QWidget
{
public:
    ChatWindow()
    {
        setWindowTitle(QStringLiteral("ZALControl chat demo"));
        resize(520, 640);

        m_view = new ZALChatView(this);
        QColor background(0xf4, 0xf5, 0xf7);
        m_view->SetBackground(background);
        m_view->SetEdgeSpace(12, 10);
        m_view->SetElementSpace(6);
        m_view->SetWordWrap(true);

        m_status = new QLabel(QStringLiteral("Press a name or a box to see what the view reports."), this);
        m_status->setContentsMargins(8, 4, 8, 4);
        m_status->setFont(pixelFont(13));

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(m_view, 1);
        layout->addWidget(m_status);

        QObject::connect(m_view, &ZALChatView::sglElementPress, this, [this](Element* element) {
            const QString button = element->GetType() == 1 ? m_buttonNames.value(element->GetUin()) : QString();
            const QString line = !button.isEmpty()
                                     ? QStringLiteral("pressed: button \"%1\", uin %2").arg(button).arg(element->GetUin())
                                     : QStringLiteral("pressed: type %1 uin %2 gold box %3")
                                           .arg(element->GetType())
                                           .arg(element->GetUin())
                                           .arg(element->GetGoldBoxId());
            QTextStream(stdout) << line << Qt::endl;
            m_status->setText(line);
        });

        // Shown while the reader is scrolled away from the newest messages.
        m_newest = new QPushButton(QStringLiteral("newest messages"), this);
        m_newest->setFocusPolicy(Qt::NoFocus);
        m_newest->hide();
        QObject::connect(m_newest, &QPushButton::clicked, m_view, &ZALChatView::ScrollToBottom);
        QObject::connect(m_view, &ZALChatView::sglAtBottomChanged, m_newest, [this](bool atBottom) {
            m_newest->setVisible(!atBottom);
            placeNewest();
        });

        fill();
        m_view->setFocus();
    }

    // A new message every few hundred milliseconds, from the senders in
    // turn.
    void goLive()
    {
        auto* timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            const Sender& sender = senders()[m_liveCount % 4];
            addName(sender, QStringLiteral("now"));
            addBody(QStringLiteral("Live message %1: %2").arg(++m_liveCount).arg(liveLines()[m_liveCount % 4]));
        });
        timer->start(350);
    }

    ZALChatView* view() const { return m_view; }
    // The newest box, for clicking it in screenshots.
    Element* lastButton() const { return m_lastButton; }

private:
    // Every element of the demo uses DejaVu Sans: the view's own family
    // falls back to an emoji font here, whose descent would shift pictures
    // and boxes.
    template <typename T>
    T* element(int pixelSize = 13, bool bold = false)
    {
        auto* e = new T;
        QFont font = pixelFont(pixelSize, bold);
        e->SetFont(font);
        return e;
    }

    ImageElement* picture(QPixmap pixmap, int w, int h)
    {
        auto* image = element<ImageElement>();
        image->SetPixmap(pixmap, w, h);
        return image;
    }

    SpaceElement* gap(int pixels)
    {
        auto* space = element<SpaceElement>();
        space->SetSpace(pixels);
        return space;
    }

    TextElement* text(const QString& content, const QColor& ink, int pixelSize = 13, bool bold = false)
    {
        auto* run = element<TextElement>(pixelSize, bold);
        run->SetText(content);
        QColor color = ink;
        run->SetTextColor(color);
        return run;
    }

    // The avatar, taller than the name beside it, begins the line; the
    // name is centred against it.
    void addName(const Sender& sender, const QString& time)
    {
        ImageElement* avatar = picture(avatarPicture(sender.color, sender.name.left(1)), 22, 22);
        avatar->SetReturn(true);
        m_view->AddElement(avatar);
        m_view->AddElement(gap(6));

        auto* name = element<TextElement>(14, true);
        name->SetText(sender.name);
        name->SetUin(sender.uin);
        name->SetEvent(true);
        mouse_color_ ink{sender.color, sender.color.lighter(135), sender.color.darker(150)};
        name->SetEventTextColor(ink);
        mouse_color_ back{Qt::transparent, QColor(0xdd, 0xe3, 0xee), QColor(0xc4, 0xcd, 0xdc)};
        name->SetEventBackground(back);
        m_view->AddElement(name);

        m_view->AddElement(text(QStringLiteral("  ") + time, QColor(0x8a, 0x90, 0x99), 11));
    }

    TextElement* addBody(const QString& content)
    {
        TextElement* body = text(content, kInk);
        body->SetIndentSpace(14);
        body->SetReturn(true);
        m_view->AddElement(body);
        return body;
    }

    void addGoldBox(quint64 id, const QString& caption)
    {
        auto* box = element<TextElement>(13, true);
        box->SetText(caption);
        box->SetGoldBoxId(id);
        box->SetEvent(true);
        mouse_color_ ink{QColor(0x7a, 0x50, 0x00), QColor(0x9c, 0x6a, 0x00), QColor(0x5a, 0x3a, 0x00)};
        box->SetEventTextColor(ink);
        mouse_color_ back{QColor(0xff, 0xe8, 0xa8), QColor(0xff, 0xdc, 0x7a), QColor(0xf5, 0xc8, 0x50)};
        box->SetEventBackground(back);
        box->SetIndentSpace(14);
        box->SetReturn(true);
        m_view->AddElement(box);
    }

    // A box with its hover and press colours; children are added by the
    // caller.
    ButtonElement* button(const QString& name, int uin, const mouse_color_& back, const mouse_color_& ink)
    {
        auto* box = element<ButtonElement>();
        box->SetUin(uin);
        box->SetEdgeSpace(10, 6);
        box->SetIndentSpace(14);
        mouse_color_ b = back;
        mouse_color_ t = ink;
        box->SetEventBackground(b);
        box->SetEventTextColor(t);
        m_buttonNames.insert(uin, name);
        m_lastButton = box;
        return box;
    }

    void resizeEvent(QResizeEvent*) override { placeNewest(); }

    // Bottom right over the view, left of its scroll bar.
    void placeNewest()
    {
        const QSize size = m_newest->sizeHint();
        const QRect view = m_view->geometry();
        m_newest->setGeometry(view.right() - size.width() - 24, view.bottom() - size.height() - 10, size.width(),
                              size.height());
        m_newest->raise();
    }

    static const Sender* senders()
    {
        static const Sender all[] = {
            {10001, QStringLiteral("Mira"), QColor(0x1f, 0x6f, 0xd1)},
            {10002, QStringLiteral("Олег"), QColor(0xc0, 0x39, 0x2b)},
            {10003, QStringLiteral("Sam 🎧"), QColor(0x1e, 0x8a, 0x4c)},
            {10004, QStringLiteral("Ελένη"), QColor(0x8e, 0x44, 0xad)},
        };
        return all;
    }

    static const QString* liveLines()
    {
        static const QString lines[] = {
            QStringLiteral("the chorus again, please 🎶"),
            QStringLiteral("звук отличный, спасибо!"),
            QStringLiteral("who else is watching from the train? 🚆"),
            QStringLiteral("καλησπέρα από την Αθήνα"),
        };
        return lines;
    }

    void fill()
    {
        const Sender& mira = senders()[0];
        const Sender& oleg = senders()[1];
        const Sender& sam = senders()[2];
        const Sender& eleni = senders()[3];

        const Message messages[] = {
            {&mira, QStringLiteral("20:14"), QStringLiteral("Hi all! Stream starts in five minutes 🎉")},
            {&oleg, QStringLiteral("20:15"),
             QStringLiteral("Привет! Всё готово, звук проверил. Ждём начала трансляции 👍🏽")},
            {&sam, QStringLiteral("20:15"),
             QStringLiteral("This is a deliberately long message that keeps going so that the view has to "
                            "wrap it across several lines at the right margin, character by character, "
                            "without losing a single letter on the way.")},
            {&eleni, QStringLiteral("20:16"),
             QStringLiteral("Καλησπέρα! 🇬🇷 Line feeds work too:\n• first point\n• second point\n• "
                            "café, naïve, résumé")},
            {&mira, QStringLiteral("20:17"),
             QStringLiteral("Family 👨‍👩‍👧 and flags 🇩🇪 🇯🇵 🇧🇷 stay whole glyphs 🎈")},
            {&sam, QStringLiteral("20:18"), QStringLiteral("Who opens the gold box? 🎁")},
        };
        for (const Message& m : messages) {
            addName(*m.sender, m.time);
            addBody(m.text);
        }
        addGoldBox(900001, QStringLiteral("🎁 Gold box: press to open"));

        // Small pictures inside a line of text, shorter than the text.
        addName(eleni, QStringLiteral("20:19"));
        addBody(QStringLiteral("Sound is perfect "));
        m_view->AddElement(picture(heartPicture(), 10, 10));
        m_view->AddElement(text(QStringLiteral(" and the picture too "), kInk));
        m_view->AddElement(picture(heartPicture(), 10, 10));
        m_view->AddElement(text(QStringLiteral(" thank you!"), kInk));

        // A photo, loaded from a file and scaled into a 240 x 240 box. It
        // follows the text's closing line feed rather than setting its own
        // line-break flag: with the flag a picture starts its own height
        // below the line before, which would leave a gap as tall as the
        // photo.
        addName(mira, QStringLiteral("20:20"));
        addBody(QStringLiteral("Backstage view:\n"));
        if (m_files.isValid()) {
            const QString path = m_files.filePath(QStringLiteral("backstage.png"));
            photoPicture().save(path, "PNG");
            auto* photo = element<ImageElement>();
            photo->SetPixmap(path, 240, 240);
            m_view->AddElement(photo);
        }

        // A rating: pictures kept apart by spacers.
        addName(oleg, QStringLiteral("20:21"));
        addBody(QStringLiteral("Rate the stream:"));
        for (int i = 0; i < 5; ++i) {
            m_view->AddElement(gap(i == 0 ? 8 : 4));
            m_view->AddElement(picture(starPicture(i < 4 ? QColor(0xf5, 0xb3, 0x01) : QColor(0xc9, 0xcd, 0xd4)),
                                       16, 16));
        }

        // Boxes: a picture and text inside one, and a poll whose options are
        // boxes inside a box.
        addName(sam, QStringLiteral("20:22"));
        addBody(QStringLiteral("Two things to press:"));
        ButtonElement* poll = button(QStringLiteral("Poll"), 30002,
                                     {QColor(0xe6, 0xee, 0xfb), QColor(0xd3, 0xe1, 0xf9), QColor(0xb8, 0xcd, 0xf2)},
                                     {QColor(0x1d, 0x3f, 0x7a), QColor(0x1f, 0x6f, 0xd1), QColor(0x10, 0x2a, 0x55)});
        auto* question = element<TextElement>(13, true);
        question->SetText(QStringLiteral("Poll: which song comes next?"));
        poll->AddElement(question);
        const QStringList options{QStringLiteral("Neon Skies"), QStringLiteral("Paper Boats")};
        for (const QString& option : options) {
            auto* choice = element<ButtonElement>();
            choice->SetEdgeSpace(8, 3);
            mouse_color_ white{Qt::white, Qt::white, Qt::white};
            choice->SetEventBackground(white);
            choice->AddElement(picture(notePicture(QColor(0x1f, 0x6f, 0xd1)), 14, 14));
            choice->AddElement(gap(6));
            auto* label = element<TextElement>();
            label->SetText(option);
            choice->AddElement(label);
            poll->AddElement(choice);
        }
        m_view->AddElement(poll);

        ButtonElement* quiz = button(QStringLiteral("Join the quiz"), 30001,
                                     {QColor(0x1f, 0x6f, 0xd1), QColor(0x3a, 0x86, 0xe8), QColor(0x16, 0x50, 0x99)},
                                     {Qt::white, Qt::white, QColor(0xd6, 0xe4, 0xf7)});
        quiz->AddElement(picture(starPicture(QColor(0xff, 0xd5, 0x4f)), 18, 18));
        quiz->AddElement(gap(8));
        auto* caption = element<TextElement>(13, true);
        caption->SetText(QStringLiteral("Join the quiz"));
        quiz->AddElement(caption);
        auto* detail = element<TextElement>(11);
        detail->SetText(QStringLiteral("3 questions, 60 seconds each"));
        detail->SetReturn(true);
        quiz->AddElement(detail);
        m_view->AddElement(quiz);
    }

    const QColor kInk{0x20, 0x24, 0x2b};
    ZALChatView* m_view = nullptr;
    QLabel* m_status = nullptr;
    Element* m_lastButton = nullptr;
    // Button names by uin: the view may drop old elements, whose addresses
    // new ones then take.
    QHash<int, QString> m_buttonNames;
    QPushButton* m_newest = nullptr;
    int m_liveCount = 0;
    // Holds the photo that the demo loads by path.
    QTemporaryDir m_files;
};

// Moves the mouse onto the centre of an element's first hit rectangle and
// clicks there, as a user would.
void click(ZALChatView* view, Element* element)
{
    if (element->GetEventRect().isEmpty())
        return;
    const QPoint content = element->GetEventRect().first().center();
    const QPoint pos(content.x(), content.y() - Element::s_iScrollValueV);
    const QPoint global = view->mapToGlobal(pos);
    QMouseEvent move(QEvent::MouseMove, pos, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &release);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ZALChatView demo"));
    parser.addHelpOption();
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Render the window to <file> (PNG) and exit."),
                                  QStringLiteral("file"));
    parser.addOption(screenshot);
    QCommandLineOption live(QStringLiteral("live"), QStringLiteral("Add a new message every few hundred milliseconds."));
    parser.addOption(live);
    parser.process(app);

    ChatWindow window;
    window.show();
    if (parser.isSet(live))
        window.goLive();

    if (!parser.isSet(screenshot))
        return app.exec();

    // The first paint lays the chat out and sizes the scroll range; then show
    // the newest messages as a user would see them, with the newest box
    // clicked: it shows its hover colours and the status line the report.
    window.grab();
    QScrollBar* bar = window.view()->GetVerticalScrollBar();
    if (bar->isVisibleTo(&window)) {
        bar->setValue(bar->maximum());
        window.grab();
    }
    if (parser.isSet(live)) {
        // A few seconds of a live chat, then scrolled up by the keyboard, so
        // that the button back to the newest messages shows.
        QEventLoop wait;
        QTimer::singleShot(3000, &wait, &QEventLoop::quit);
        wait.exec();
        for (int i = 0; i < 4; ++i) {
            QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
            QApplication::sendEvent(window.view(), &up);
        }
    } else {
        click(window.view(), window.lastButton());
    }

    const QString file = parser.value(screenshot);
    if (!window.grab().save(file, "PNG")) {
        QTextStream(stderr) << "chatdemo: cannot write " << file << Qt::endl;
        return 1;
    }
    return 0;
}
