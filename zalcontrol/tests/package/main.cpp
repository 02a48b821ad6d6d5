// Builds against the installed headers and library, shows a view with a text
// run and a box holding a picture, a spacer and text, and checks that they
// were laid out and drawn.

#include <chatview.h>
#include <zalcontrol.h>

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ZALControl control;
    control = ZALControl();

    ZALChatView view;
    auto* text = new TextElement;
    text->SetText(QStringLiteral("hello from the host"));
    view.AddElement(text);

    auto* button = new ButtonElement;
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::red);
    auto* image = new ImageElement;
    image->SetPixmap(pixmap, 0, 0);
    auto* space = new SpaceElement;
    space->SetSpace(4);
    auto* caption = new TextElement;
    caption->SetText(QStringLiteral("ok"));
    button->AddElement(image);
    button->AddElement(space);
    button->AddElement(caption->Clone());
    delete caption;
    view.AddElement(button);
    view.grab();

    QTextStream err(stderr);
    if (text->GetEventRect().size() != 19 || button->GetEventRect().size() != 1 || image->GetEventRect().size() != 1) {
        err << "package host: the elements were not drawn\n";
        return 1;
    }
    err << "package host: found, linked and drew " << text->GetEventRect().size() << " cells and a box\n";
    return 0;
}
