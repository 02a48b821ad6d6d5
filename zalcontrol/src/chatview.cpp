#include "chatview.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace Ui {

// The view's form: the scroll bar, named so that the by-name connection finds
// on_verticalScrollBar_valueChanged().
class ZALChatView
{
public:
    QScrollBar* verticalScrollBar = nullptr;

    void setupUi(QWidget* form)
    {
        if (form->objectName().isEmpty())
            form->setObjectName(QStringLiteral("ZALChatView"));
        form->resize(400, 300);
        verticalScrollBar = new QScrollBar(form);
        verticalScrollBar->setObjectName(QStringLiteral("verticalScrollBar"));
        verticalScrollBar->setGeometry(QRect(100, 60, 16, 160));
        verticalScrollBar->setOrientation(Qt::Vertical);
        retranslateUi(form);
        QMetaObject::connectSlotsByName(form);
    }

    void retranslateUi(QWidget* form)
    {
        form->setWindowTitle(QCoreApplication::translate("ZALChatView", "Form"));
    }
};

} // namespace Ui

// Loads the view's line heights and scroll offset into Element's statics for
// the time of one pass and keeps what the pass left behind, so that other
// views' passes in between cannot disturb this view's geometry.
class ZALChatView::PassScope
{
public:
    explicit PassScope(ZALChatView& view)
        : m_view(view)
    {
        Element::s_qMaxHeight = m_view.m_qLineHeights;
        Element::s_lastY = m_view.m_iLastLineY;
        Element::s_iScrollValueV = m_view.m_iScrollValue;
    }
    ~PassScope()
    {
        m_view.m_qLineHeights = Element::s_qMaxHeight;
        m_view.m_iLastLineY = Element::s_lastY;
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;

private:
    ZALChatView& m_view;
};

// Counts a pass over the element list (a paint, a layout, a hit test, a
// signal): changes of the list asked for meanwhile wait for the outermost
// pass to end.
class ZALChatView::ListGuard
{
public:
    explicit ListGuard(ZALChatView& view)
        : m_view(view)
    {
        ++m_view.m_iListDepth;
    }
    ~ListGuard()
    {
        if (--m_view.m_iListDepth == 0)
            m_view.SettleList();
    }
    ListGuard(const ListGuard&) = delete;
    ListGuard& operator=(const ListGuard&) = delete;

private:
    ZALChatView& m_view;
};

ZALChatView::ZALChatView(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::ZALChatView)
    , m_pLayout(nullptr)
    , m_elementInfo{0, 0, 0, 0, 0}
    , m_iLastLineY(0)
    , m_iScrollValue(0)
{
    qRegisterMetaType<Element*>("Element*");
    ui->setupUi(this);
    m_qBackground = Qt::transparent;
    m_bNeedLayout = false;
    ui->verticalScrollBar->hide();
    setAttribute(Qt::WA_MouseTracking);
    m_pEventElement = nullptr;
    m_iEdgeY = 0;
    m_iEdgeX = 0;

    m_pLayout = new QHBoxLayout;
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    m_pLayout->addStretch(0);
    m_pLayout->addWidget(ui->verticalScrollBar);
    setLayout(m_pLayout);

    QFont viewFont = font();
    viewFont.setFamily(QStringLiteral("Segoe UI emoji"));
    setFont(viewFont);
}

ZALChatView::~ZALChatView()
{
    if (m_pLayout) {
        m_pLayout->deleteLater();
        m_pLayout = nullptr;
    }
    QList<Element*> all = m_qListElement + m_qPendingElements;
    m_qListElement.clear();
    m_qPendingElements.clear();
    m_pEventElement = nullptr;
    DeleteElements(all);
    delete ui;
}

void ZALChatView::AddElement(Element* element)
{
    const char* refusal = nullptr;
    if (!element)
        refusal = "a null element";
    else if (element->m_container.IsSet())
        refusal = "the element already belongs to a view or a box";
    if (refusal) {
        qWarning("ZALChatView::AddElement: refused, %s", refusal);
        return;
    }
    // Linked at once, so that adding it again or deleting it while it waits
    // is noticed.
    element->m_container.view = this;
    m_qPendingElements.append(element);
    if (m_iListDepth == 0)
        SettleList();
}

Element* ZALChatView::TakeElement(Element* element)
{
    if (!element || element->m_container.view != this)
        return nullptr;
    ForgetElement(element);
    element->m_container.view = nullptr;
    return element;
}

void ZALChatView::Clear()
{
    // Waiting additions are never walked by a pass, so they may go now.
    QList<Element*> doomed;
    doomed.swap(m_qPendingElements);
    if (m_iListDepth > 0) {
        m_bClearPending = true;
    } else {
        doomed += m_qListElement;
        m_qListElement.clear();
        m_pEventElement = nullptr;
    }
    DeleteElements(doomed);
    ListChanged();
}

void ZALChatView::DeleteElements(const QList<Element*>& elements)
{
    // Unlinked first: their destructors have nothing left to forget here.
    for (Element* element : elements) {
        if (element) {
            element->m_container.view = nullptr;
            delete element;
        }
    }
}

int ZALChatView::ElementCount() const
{
    int held = 0;
    if (!m_bClearPending)
        held = m_qListElement.size() - m_qListElement.count(nullptr);
    return qMin(int(MaxElements), held + m_qPendingElements.size());
}

void ZALChatView::ForgetElement(Element* element)
{
    if (element == m_pEventElement)
        m_pEventElement = nullptr;
    if (m_qPendingElements.removeOne(element))
        return;
    const int i = m_qListElement.indexOf(element);
    if (i < 0)
        return;
    // A running pass walks the list by index: an emptied entry keeps the
    // positions of the elements after it.
    if (m_iListDepth > 0)
        m_qListElement[i] = nullptr;
    else
        m_qListElement.removeAt(i);
    ListChanged();
}

void ZALChatView::SettleList()
{
    if (m_bSettling)
        return;
    m_bSettling = true;
    for (;;) {
        if (m_bClearPending) {
            m_bClearPending = false;
            QList<Element*> doomed;
            doomed.swap(m_qListElement);
            m_pEventElement = nullptr;
            DeleteElements(doomed);
            ListChanged();
        }
        m_qListElement.removeAll(nullptr);
        if (m_qPendingElements.isEmpty())
            break;
        AppendNow(m_qPendingElements.takeFirst());
    }
    m_bSettling = false;
}

void ZALChatView::AppendNow(Element* element)
{
    m_qListElement.append(element);
    ListChanged();
    while (m_qListElement.size() > MaxElements) {
        Element* oldest = m_qListElement.first();
        {
            // The slot may take the element, delete it or change the list;
            // what it changes waits until the signal has returned.
            ListGuard guard(*this);
            emit sglElementDropped(oldest);
        }
        // An entry still holding it means the slot neither took nor deleted
        // it: the view deletes it now.
        if (m_qListElement.first() == oldest) {
            m_qListElement.removeFirst();
            // The hit test may still point at it; a press before the next
            // move must not reach a deleted element.
            if (oldest == m_pEventElement)
                m_pEventElement = nullptr;
            DeleteElements({oldest});
        }
        m_qListElement.removeAll(nullptr);
    }
}

void ZALChatView::ListChanged()
{
    m_bNeedLayout = true;
    update();
}

void ZALChatView::Layout(QPainter& painter)
{
    ListGuard guard(*this);
    {
        PassScope scope(*this);
        Element::ClearMaxHeightByY();
        m_elementInfo.width = geometry().right() - geometry().left() + 1;
        m_elementInfo.height = m_iEdgeY;
        m_elementInfo.edge_y = m_iEdgeY;
        m_elementInfo.edge_x = m_iEdgeX;

        const Element* prev = nullptr;
        for (int i = 0; i < m_qListElement.size(); ++i) {
            Element* element = m_qListElement.at(i);
            if (!element)
                continue;
            element->Layout(painter, m_elementInfo, prev);
            // One deleted during its own layout leaves nothing to follow.
            if (m_qListElement.at(i) == element)
                prev = element;
        }
    }
    ChangeScrollBarHeight();
}

void ZALChatView::Draw(QPainter& painter)
{
    ListGuard guard(*this);
    PassScope scope(*this);
    for (int i = 0; i < m_qListElement.size(); ++i) {
        if (Element* element = m_qListElement.at(i))
            element->Draw(painter, m_elementInfo);
    }
}

void ZALChatView::SetBackground(QColor& color)
{
    SetBackground(static_cast<const QColor&>(color));
}

void ZALChatView::SetBackground(const QColor& color)
{
    m_qBackground = color;
    update();
}

void ZALChatView::SetEdgeSpace(int x, int y)
{
    m_iEdgeX = qBound(-Element::MaxSpace, x, Element::MaxSpace);
    m_iEdgeY = qBound(-Element::MaxSpace, y, Element::MaxSpace);
    m_bNeedLayout = true;
    update();
}

void ZALChatView::SetElementSpace(int space)
{
    m_elementInfo.element_space = qBound(-Element::MaxSpace, space, Element::MaxSpace);
    m_bNeedLayout = true;
    update();
}

QScrollBar* ZALChatView::GetVerticalScrollBar()
{
    return ui->verticalScrollBar;
}

void ZALChatView::test()
{
}

void ZALChatView::ChangeScrollBarHeight()
{
    const int overflow = m_elementInfo.height - height();
    if (overflow > 0) {
        ui->verticalScrollBar->show();
        ui->verticalScrollBar->setRange(0, overflow / ScrollStep);
    } else {
        ui->verticalScrollBar->hide();
        ui->verticalScrollBar->setValue(0);
    }
}

void ZALChatView::ElementEvent(const QPoint& pos)
{
    ListGuard guard(*this);
    m_pEventElement = nullptr;
    bool found = false;
    Element::s_iScrollValueV = m_iScrollValue;
    const int px = pos.x();
    const int py = pos.y() + m_iScrollValue;

    for (Element* element : qAsConst(m_qListElement)) {
        if (!element || !element->GetEvent())
            continue;
        element->OnEvent(MOUSE_NORMAL);
        if (found)
            continue;
        const QVector<QRect> rects = static_cast<const Element*>(element)->GetEventRect();
        for (const QRect& r : rects) {
            if (r.left() <= px && px <= r.right() && r.top() <= py && py <= r.bottom()) {
                found = true;
                m_pEventElement = element;
                element->OnEvent(MOUSE_HOVER);
                break;
            }
        }
    }
    setCursor(found ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ZALChatView::on_verticalScrollBar_valueChanged(int value)
{
    m_iScrollValue = value * ScrollStep;
    Element::s_iScrollValueV = m_iScrollValue;
    update();
}

void ZALChatView::paintEvent(QPaintEvent*)
{
    ListGuard guard(*this);
    QPainter painter;
    painter.begin(this);
    painter.fillRect(rect(), QBrush(m_qBackground));
    if (m_bNeedLayout) {
        m_bNeedLayout = false;
        Layout(painter);
    }
    Draw(painter);
    painter.end();
}

void ZALChatView::resizeEvent(QResizeEvent*)
{
    m_bNeedLayout = true;
    update();
}

void ZALChatView::mouseMoveEvent(QMouseEvent* event)
{
    ElementEvent(event->pos());
    update();
}

void ZALChatView::mousePressEvent(QMouseEvent*)
{
    if (!m_pEventElement)
        return;
    m_pEventElement->OnEvent(MOUSE_PRESS);
    update();
    ListGuard guard(*this);
    emit sglElementPress(m_pEventElement);
}

void ZALChatView::mouseReleaseEvent(QMouseEvent*)
{
    if (!m_pEventElement)
        return;
    m_pEventElement->OnEvent(MOUSE_HOVER);
    update();
}

void ZALChatView::wheelEvent(QWheelEvent* event)
{
    QScrollBar* bar = ui->verticalScrollBar;
    if (bar->isHidden())
        return;
    // The dominant axis of the wheel turn, as Qt's classic delta() reports it.
    const QPoint angle = event->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    const int value = delta > 0 ? bar->value() - 1 : bar->value() + 1;
    bar->setValue(qBound(bar->minimum(), value, bar->maximum()));
    ElementEvent(event->position().toPoint());
    update();
}
