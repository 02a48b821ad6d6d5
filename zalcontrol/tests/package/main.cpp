// Builds against the installed headers and library and checks that a view
// draws a text run and a box holding a picture, a spacer and a cloned text,
// and that its press signal carries an element through a queued connection.

#include <ZALControl/chatview.h>
#include <zalcontrol.h>

#include <QApplication>
#include <QMouseEvent>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    auto fail = [](const char* what) { return std::fprintf(stderr, "package host: %s\n", what), 1; };
    ZALControl control;
    control = ZALControl();

    ZALChatView view;
    auto* text = new TextElement;
    text->SetText(QStringLiteral("hello from the host"));
    text->SetEvent(true);
    view.AddElement(text);
    auto* image = new ImageElement;
    image->SetPixmap(QPixmap(8, 8), 0, 0);
    auto* space = new SpaceElement;
    space->SetSpace(4);
    TextElement caption;
    caption.SetText(QStringLiteral("ok"));
    caption.SetTextColor(QColor(Qt::black));
    auto* button = new ButtonElement;
    for (Element* child : QList<Element*>{image, space, caption.Clone()})
        button->AddElement(child);
    view.AddElement(button);
    view.grab();

    if (text->GetEventRect().size() != 19 || button->GetEventRect().size() != 1 || image->GetEventRect().size() != 1)
        return fail("the elements were not drawn");

    Element* received = nullptr;
    QObject::connect(&view, &ZALChatView::sglElementPress, &app, [&](Element* e) { received = e; },
                     Qt::QueuedConnection);
    const QPointF on = text->GetEventRect().first().center();
    for (QEvent::Type type : {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, on, button, button, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    QApplication::processEvents();
    if (received != text)
        return fail("the queued press signal did not carry the element");
    std::fprintf(stderr, "package host: found, linked and drew 19 cells and a box; a queued press arrived\n");
    return 0;
}
