#include "chataccessible.h"

#include "chatview.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

namespace {

void (*s_eventObserver)(QAccessibleEvent*) = nullptr;

// What a screen reader reads for an element: a text's text, a picture's (or
// a host kind's) accessible text, a box's children one after the other.
QString readText(const Element* element)
{
    if (!element)
        return QString();
    if (auto* text = dynamic_cast<const TextElement*>(element))
        return text->GetText();
    if (auto* box = dynamic_cast<const ButtonElement*>(element)) {
        QString joined;
        for (const Element* child : ZALChatViewAccessible::BoxChildren(box))
            joined += readText(child);
        return joined;
    }
    return element->GetAccessibleText();
}

} // namespace

// One element of a view's list. It lives in QAccessible's cache until the
// element leaves the view, which deletes it (see ZALChatView::ReleaseAccessible).
class ZALChatViewAccessible::ElementInterface : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    ElementInterface(ZALChatView* view, Element* element)
        : m_view(view)
        , m_element(element)
    {
    }

    bool isValid() const override { return m_view && m_element; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? readText(m_element) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        return ZALChatViewAccessible::ScreenRect(m_view, m_element);
    }

    QAccessible::Role role() const override
    {
        if (dynamic_cast<const TextElement*>(m_element))
            return QAccessible::StaticText;
        if (dynamic_cast<const ImageElement*>(m_element))
            return QAccessible::Graphic;
        if (dynamic_cast<const ButtonElement*>(m_element))
            return QAccessible::Button;
        return QAccessible::Client;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.readOnly = true;
        s.invisible = !m_view->isVisible();
        s.offscreen = s.invisible || !QRect(m_view->mapToGlobal(QPoint()), m_view->size()).intersects(rect());
        if (role() == QAccessible::Button && !m_element->GetEvent())
            s.disabled = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && role() == QAccessible::Button)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // A box whose events are on can be pressed, as the mouse would press it.
    QStringList actionNames() const override
    {
        if (isValid() && role() == QAccessible::Button && m_element->GetEvent())
            return {pressAction()};
        return {};
    }

    void doAction(const QString& name) override
    {
        if (name != pressAction() || !actionNames().contains(name))
            return;
        // The slot may delete the element, which deletes this interface:
        // nothing of it is used once the signal runs.
        if (m_view)
            m_view->AccessiblePress(m_element);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<ZALChatView> m_view;
    Element* m_element;
};

namespace {

// The view itself: a list of its top-level elements, spacers left out.
class ViewInterface : public QAccessibleWidget
{
public:
    explicit ViewInterface(ZALChatView* view)
        : QAccessibleWidget(view, QAccessible::List)
    {
    }

    ZALChatView* view() const { return static_cast<ZALChatView*>(widget()); }

    int childCount() const override { return ZALChatViewAccessible::Items(view()).size(); }

    QAccessibleInterface* child(int index) const override
    {
        const QVector<Element*> items = ZALChatViewAccessible::Items(view());
        if (index < 0 || index >= items.size())
            return nullptr;
        return ZALChatViewAccessible::InterfaceFor(view(), items.at(index));
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        const QVector<Element*> items = ZALChatViewAccessible::Items(view());
        for (int i = 0; i < items.size(); ++i) {
            if (ZALChatViewAccessible::HasInterface(view(), items.at(i), child))
                return i;
        }
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QVector<Element*> items = ZALChatViewAccessible::Items(view());
        for (Element* element : items) {
            if (ZALChatViewAccessible::ScreenRect(view(), element).contains(x, y))
                return ZALChatViewAccessible::InterfaceFor(view(), element);
        }
        return nullptr;
    }
};

QAccessibleInterface* viewFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ZALChatView") && object && object->isWidgetType())
        return new ViewInterface(static_cast<ZALChatView*>(object));
    return nullptr;
}

} // namespace

void ZALChatViewAccessible::InstallFactory()
{
    static const bool installed = (QAccessible::installFactory(viewFactory), true);
    Q_UNUSED(installed);
}

QVector<Element*> ZALChatViewAccessible::Items(const ZALChatView* view)
{
    QVector<Element*> items;
    for (Element* element : view->m_qListElement) {
        if (element && !dynamic_cast<const SpaceElement*>(element))
            items.append(element);
    }
    return items;
}

const QList<Element*>& ZALChatViewAccessible::BoxChildren(const ButtonElement* box)
{
    return box->m_qListElement;
}

QAccessibleInterface* ZALChatViewAccessible::InterfaceFor(ZALChatView* view, Element* element)
{
    if (const QAccessible::Id id = view->m_qAccessibleIds.value(element))
        return QAccessible::accessibleInterface(id);
    const QAccessible::Id id = QAccessible::registerAccessibleInterface(new ElementInterface(view, element));
    view->m_qAccessibleIds.insert(element, id);
    return QAccessible::accessibleInterface(id);
}

bool ZALChatViewAccessible::HasInterface(const ZALChatView* view, const Element* element,
                                         const QAccessibleInterface* iface)
{
    const QAccessible::Id id = view->m_qAccessibleIds.value(element);
    return id && QAccessible::accessibleInterface(id) == iface;
}

QRect ZALChatViewAccessible::ScreenRect(const ZALChatView* view, const Element* element)
{
    // The hit rectangles where the last paint put the element; before it was
    // painted, the rows its layout gave it.
    QRect r;
    for (const QRect& hit : element->GetEventRect())
        r |= hit;
    if (r.isEmpty()) {
        const int bottom = qMax(element->GetEndY(), element->GetStartY()) + qMax(1, element->GetHeight());
        const int left = element->GetEndY() > element->GetStartY() ? view->m_elementInfo.edge_x : element->GetStartX();
        const int right = element->GetEndY() > element->GetStartY() ? view->m_elementInfo.width
                                                                    : qMax(element->GetEndX(), left + 1);
        r = QRect(QPoint(left, element->GetStartY()), QPoint(right - 1, bottom - 1));
    }
    r.translate(0, -view->m_iScrollValue);
    return QRect(view->mapToGlobal(r.topLeft()), r.size());
}


void ZALChatViewAccessible::Send(QAccessibleEvent& event)
{
    if (s_eventObserver)
        s_eventObserver(&event);
    QAccessible::updateAccessibility(&event);
}

void ZALChatViewAccessible::SetEventObserver(void (*observer)(QAccessibleEvent*))
{
    s_eventObserver = observer;
}
