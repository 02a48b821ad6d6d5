// Builds against the installed headers and library and checks that a view
// draws a text run and a box holding a picture, a spacer and a cloned text.

#include <chatview.h>
#include <zalcontrol.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ZALControl control;
    control = ZALControl();

    ZALChatView view;
    auto* text = new TextElement;
    text->SetText(QStringLiteral("hello from the host"));
    view.AddElement(text);
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::red);
    auto* image = new ImageElement;
    image->SetPixmap(pixmap, 0, 0);
    auto* space = new SpaceElement;
    space->SetSpace(4);
    TextElement caption;
    caption.SetText(QStringLiteral("ok"));
    auto* button = new ButtonElement;
    button->AddElement(image);
    button->AddElement(space);
    button->AddElement(caption.Clone());
    view.AddElement(button);
    view.grab();

    if (text->GetEventRect().size() != 19 || button->GetEventRect().size() != 1 || image->GetEventRect().size() != 1) {
        std::fprintf(stderr, "package host: the elements were not drawn\n");
        return 1;
    }
    std::fprintf(stderr, "package host: found, linked and drew 19 cells and a box\n");
    return 0;
}
