// Builds against the installed headers and library, shows a view with one
// text run and checks that it was laid out and drawn.

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
    view.grab();

    QTextStream err(stderr);
    if (text->GetEventRect().size() != 19) {
        err << "package host: the text run was not drawn\n";
        return 1;
    }
    err << "package host: found, linked and drew " << text->GetEventRect().size() << " cells\n";
    return 0;
}
