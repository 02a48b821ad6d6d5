#pragma once

#include "zalcontrol_export.h"

#include <QList>
#include <QRect>
#include <QVector>

class ButtonElement;
class Element;
class QAccessibleEvent;
class QAccessibleInterface;
class ZALChatView;

// What screen readers see of a chat view: the view is a list whose children
// are its top-level elements (spacers left out). A child's interface is made
// when first asked for, kept in QAccessible's cache and deleted when its
// element leaves the view.
struct ZALChatViewAccessible
{
    class ElementInterface;

    // Lets QAccessible::queryAccessibleInterface() build the view's
    // interface; once per process.
    static void InstallFactory();
    // The view's children, in order.
    static QVector<Element*> Items(const ZALChatView* view);
    static const QList<Element*>& BoxChildren(const ButtonElement* box);
    // The cached interface of an element the view holds, made when missing.
    static QAccessibleInterface* InterfaceFor(ZALChatView* view, Element* element);
    static bool HasInterface(const ZALChatView* view, const Element* element, const QAccessibleInterface* iface);
    // Where the element is on the screen, as the view shows it now.
    static QRect ScreenRect(const ZALChatView* view, const Element* element);

    // Hands an event to QAccessible, which drops it while no screen reader
    // listens.
    static void Send(QAccessibleEvent& event);
    // Test hook: observer (while not null) sees every event Send() hands
    // on, also without a screen reader (offscreen there never is one).
    ZALCONTROL_EXPORT static void SetEventObserver(void (*observer)(QAccessibleEvent*));
};
