// A chat window built on ZALChatView: several senders whose names react to
// hover and press, long wrapped messages, line feeds, emoji, non-Latin text
// and indented bodies. Pressing a name prints its type and uin.
//
//   chatdemo                    opens the window
//   chatdemo --screenshot FILE  renders the window offscreen to FILE and exits

#include <chatview.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextStream>
#include <QVBoxLayout>
#include <QWidget>

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

class ChatWindow : public QWidget
{
public:
    ChatWindow()
    {
        setWindowTitle(QStringLiteral("ZALControl chat demo"));
        resize(480, 420);

        m_view = new ZALChatView(this);
        QColor background(0xf4, 0xf5, 0xf7);
        m_view->SetBackground(background);
        m_view->SetEdgeSpace(12, 10);
        m_view->SetElementSpace(6);

        m_status = new QLabel(QStringLiteral("Press a name to see what the view reports."), this);
        m_status->setContentsMargins(8, 4, 8, 4);

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(m_view, 1);
        layout->addWidget(m_status);

        QObject::connect(m_view, &ZALChatView::sglElementPress, this, [this](Element* element) {
            const QString line = QStringLiteral("pressed: type %1 uin %2 gold box %3")
                                     .arg(element->GetType())
                                     .arg(element->GetUin())
                                     .arg(element->GetGoldBoxId());
            QTextStream(stdout) << line << Qt::endl;
            m_status->setText(line);
        });

        fill();
    }

    ZALChatView* view() const { return m_view; }
    // The name element of the newest message, for hovering it in screenshots.
    Element* lastName() const { return m_lastName; }

private:
    void addName(const Sender& sender, const QString& time)
    {
        auto* name = new TextElement;
        QFont font = pixelFont(14, true);
        name->SetFont(font);
        name->SetText(sender.name);
        name->SetUin(sender.uin);
        name->SetEvent(true);
        mouse_color_ text{sender.color, sender.color.lighter(135), sender.color.darker(150)};
        name->SetEventTextColor(text);
        mouse_color_ back{Qt::transparent, QColor(0xdd, 0xe3, 0xee), QColor(0xc4, 0xcd, 0xdc)};
        name->SetEventBackground(back);
        name->SetReturn(true);
        m_view->AddElement(name);
        m_lastName = name;

        auto* stamp = new TextElement;
        QFont small = pixelFont(11);
        stamp->SetFont(small);
        stamp->SetText(QStringLiteral("  ") + time);
        QColor grey(0x8a, 0x90, 0x99);
        stamp->SetTextColor(grey);
        m_view->AddElement(stamp);
    }

    void addBody(const QString& text)
    {
        auto* body = new TextElement;
        QFont font = pixelFont(13);
        body->SetFont(font);
        body->SetText(text);
        QColor ink(0x20, 0x24, 0x2b);
        body->SetTextColor(ink);
        body->SetIndentSpace(14);
        body->SetReturn(true);
        m_view->AddElement(body);
    }

    void addGoldBox(quint64 id, const QString& caption)
    {
        auto* box = new TextElement;
        QFont font = pixelFont(13, true);
        box->SetFont(font);
        box->SetText(caption);
        box->SetGoldBoxId(id);
        box->SetEvent(true);
        mouse_color_ text{QColor(0x7a, 0x50, 0x00), QColor(0x9c, 0x6a, 0x00), QColor(0x5a, 0x3a, 0x00)};
        box->SetEventTextColor(text);
        mouse_color_ back{QColor(0xff, 0xe8, 0xa8), QColor(0xff, 0xdc, 0x7a), QColor(0xf5, 0xc8, 0x50)};
        box->SetEventBackground(back);
        box->SetIndentSpace(14);
        box->SetReturn(true);
        m_view->AddElement(box);
    }

    void fill()
    {
        static const Sender mira{10001, QStringLiteral("Mira"), QColor(0x1f, 0x6f, 0xd1)};
        static const Sender oleg{10002, QStringLiteral("Олег"), QColor(0xc0, 0x39, 0x2b)};
        static const Sender sam{10003, QStringLiteral("Sam 🎧"), QColor(0x1e, 0x8a, 0x4c)};
        static const Sender eleni{10004, QStringLiteral("Ελένη"), QColor(0x8e, 0x44, 0xad)};

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
        addName(oleg, QStringLiteral("20:19"));
        addBody(QStringLiteral("Я первый! Scroll up with the wheel to read the start of the chat."));
    }

    ZALChatView* m_view = nullptr;
    QLabel* m_status = nullptr;
    Element* m_lastName = nullptr;
};

// Puts the mouse over the centre of an element's first hit rectangle.
void hover(ZALChatView* view, Element* element)
{
    if (element->GetEventRect().isEmpty())
        return;
    const QPoint content = element->GetEventRect().first().center();
    const QPoint pos(content.x(), content.y() - Element::s_iScrollValueV);
    QMouseEvent move(QEvent::MouseMove, pos, view->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
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
    parser.process(app);

    ChatWindow window;
    window.show();

    if (!parser.isSet(screenshot))
        return app.exec();

    // The first paint lays the chat out and sizes the scroll range; then show
    // the newest messages as a user would see them, with one name hovered.
    window.grab();
    QScrollBar* bar = window.view()->GetVerticalScrollBar();
    if (bar->isVisibleTo(&window)) {
        bar->setValue(bar->maximum());
        window.grab();
    }
    hover(window.view(), window.lastName());

    const QString file = parser.value(screenshot);
    if (!window.grab().save(file, "PNG")) {
        QTextStream(stderr) << "chatdemo: cannot write " << file << Qt::endl;
        return 1;
    }
    return 0;
}
