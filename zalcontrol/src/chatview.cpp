#include "chatview.h"

#include "chataccessible.h"
#include "elementlist.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QWheelEvent>

#include <utility>

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
        Element::s_bWordWrap = m_view.m_bWordWrap;
    }
    ~PassScope()
    {
        Element::s_bWordWrap = false;
        m_view.m_qLineHeights = Element::s_qMaxHeight;
        m_view.m_iLastLineY = Element::s_lastY;
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;

private:
    ZALChatView& m_view;
};

namespace {

// Sets a flag for the lifetime of the object.
class FlagScope
{
public:
    explicit FlagScope(bool& flag)
        : m_flag(flag)
        , m_old(flag)
    {
        m_flag = true;
    }
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

// The dominant axis of a wheel turn, as Qt's classic delta() reports it.
int dominant(const QPoint& delta)
{
    return qAbs(delta.x()) > qAbs(delta.y()) ? delta.x() : delta.y();
}

// The text offset where grapheme cluster index begins (the text's length
// past the last one): text elements keep one hit rectangle per cluster.
int clusterStart(const QString& text, int index)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int at = 0;
    for (int i = 0; i < index && at >= 0 && at < text.size(); ++i)
        at = finder.toNextBoundary();
    return at < 0 ? text.size() : at;
}

} // namespace

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
    , m_bInPass(false)
    , m_bLayingOut(false)
    , m_bAtBottom(true)
    , m_pDropAnchor(nullptr)
    , m_iDropAnchorY(0)
    , m_iDropCarry(0)
    , m_iWheelRemainder(0)
    , m_iPixelRemainder(0)
    , m_layoutDevice(1, 1, QImage::Format_ARGB32_Premultiplied)
{
    qRegisterMetaType<Element*>("Element*");
    ZALChatViewAccessible::InstallFactory();
    ui->setupUi(this);
    m_qBackground = Qt::transparent;
    // The first element is placed by a whole pass, which sets the margins.
    m_bNeedLayout = true;
    ui->verticalScrollBar->hide();
    ui->verticalScrollBar->setRange(0, 0);
    ui->verticalScrollBar->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
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
    m_pDropAnchor = nullptr;
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
        DeleteElements(doomed);
        ListChanged();
    } else {
        ClearNow(doomed);
    }
}

void ZALChatView::ClearNow(QList<Element*> doomed)
{
    doomed += m_qListElement;
    m_qListElement.clear();
    m_pEventElement = nullptr;
    m_pPressElement = nullptr;
    m_pDropAnchor = nullptr;
    m_bSelectionLeft = m_selectAnchor.element != nullptr;
    m_selectAnchor = m_selectFocus = TextPlace();
    DeleteElements(doomed);
    ListChanged();
    SelectionSettled();
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
    ReleaseAccessible(element);
    if (element == m_pEventElement)
        m_pEventElement = nullptr;
    if (element == m_pPressElement)
        m_pPressElement = nullptr;
    if (element == m_pDropAnchor)
        m_pDropAnchor = nullptr;
    if (m_qPendingElements.removeOne(element))
        return;
    SelectionLeaving(element);
    if (DetachFromList(m_qListElement, element, m_iListDepth > 0))
        ListChanged();
    SelectionSettled();
}

void ZALChatView::SettleList()
{
    if (m_bSettling)
        return;
    FlagScope settling(m_bSettling);
    for (;;) {
        if (m_bClearPending) {
            m_bClearPending = false;
            ClearNow({});
        }
        m_qListElement.removeAll(nullptr);
        if (m_qPendingElements.isEmpty())
            break;
        AppendNow(m_qPendingElements.takeFirst());
    }
}

void ZALChatView::AppendNow(Element* element)
{
    m_qListElement.append(element);
    int droppedBottom = NoDrop;
    while (m_qListElement.size() > MaxElements) {
        Element* oldest = m_qListElement.first();
        // Taken while it is alive: the slot may delete it.
        const int bottom = oldest->Shiftable()
                               ? qMax(oldest->GetEndY(), oldest->GetStartY() + oldest->GetHeight() - 1)
                               : NoDrop;
        {
            // The slot may take the element, delete it or change the list;
            // what it changes waits until the signal has returned.
            ListGuard guard(*this);
            emit sglElementDropped(oldest);
        }
        // An entry still holding it means the slot neither took nor deleted
        // it: the view deletes it now.
        if (m_qListElement.first() == oldest) {
            SelectionLeaving(oldest);
            m_qListElement.removeFirst();
            // The hit test may still point at it; a press before the next
            // move must not reach a deleted element.
            if (oldest == m_pEventElement)
                m_pEventElement = nullptr;
            if (oldest == m_pPressElement)
                m_pPressElement = nullptr;
            DeleteElements({oldest});
            SelectionSettled();
        }
        m_qListElement.removeAll(nullptr);
        // The reader's place is kept against the element that is first now,
        // where the last pass put it.
        if (!m_pDropAnchor && !m_bNeedLayout && !m_qListElement.isEmpty()) {
            m_pDropAnchor = m_qListElement.first();
            m_iDropAnchorY = m_pDropAnchor->GetStartY();
        }
        // The others move up by what left, unless a whole pass is due.
        if (bottom == NoDrop)
            m_bNeedLayout = true;
        droppedBottom = qMax(droppedBottom, bottom);
    }
    // A hidden view is resized without a resize event: a new width needs a
    // whole pass.
    LayoutNow(!m_bNeedLayout && m_elementInfo.width == LayoutWidth(!ui->verticalScrollBar->isHidden()),
              droppedBottom);
    update();
}

void ZALChatView::DeleteElements(const QList<Element*>& elements)
{
    for (Element* element : elements) {
        if (element) {
            ReleaseAccessible(element);
            element->m_container.view = nullptr;
            delete element;
        }
    }
}

void ZALChatView::ReleaseAccessible(const Element* element)
{
    if (const unsigned id = m_qAccessibleIds.take(element))
        QAccessible::deleteAccessibleInterface(id);
}

void ZALChatView::AccessiblePress(Element* element)
{
    if (!m_qListElement.contains(element))
        return;
    ListGuard guard(*this);
    emit sglElementPress(element);
}

void ZALChatView::ListChanged()
{
    m_bNeedLayout = true;
    update();
}

void ZALChatView::Layout(QPainter& painter)
{
    ListGuard guard(*this);
    const bool follow = m_bAtBottom;
    {
        FlagScope pass(m_bInPass);
        m_bNeedLayout = false;
        QScrollBar* bar = ui->verticalScrollBar;
        const bool barShown = !bar->isHidden();
        LayoutElements(painter, LayoutWidth(barShown));
        // The bar appears when the content overflows at the full width and
        // goes when it fits left of the bar, so content that fits only
        // without the bar keeps it: one more pass at most, never a swing.
        const bool barNeeded = m_elementInfo.height > height();
        if (barNeeded != barShown)
            LayoutElements(painter, LayoutWidth(barNeeded));
        ChangeScrollBarHeight();
    }
    PlaceScrollValue(follow);
}

void ZALChatView::LayoutElements(QPainter& painter, int width)
{
    PassScope scope(*this);
    Element::ClearMaxHeightByY();
    m_elementInfo.width = width;
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

int ZALChatView::LayoutWidth(bool barShown) const
{
    return width() - (barShown ? ui->verticalScrollBar->sizeHint().width() : 0);
}

void ZALChatView::BeginLayoutPainter(QPainter& painter)
{
    // Elements measure text in the painter's font, which a widget's painter
    // takes from the widget, and at the device's resolution.
    const int dotsPerMeterX = qRound(logicalDpiX() / 0.0254);
    const int dotsPerMeterY = qRound(logicalDpiY() / 0.0254);
    if (m_layoutDevice.dotsPerMeterX() != dotsPerMeterX || m_layoutDevice.dotsPerMeterY() != dotsPerMeterY) {
        m_layoutDevice.setDotsPerMeterX(dotsPerMeterX);
        m_layoutDevice.setDotsPerMeterY(dotsPerMeterY);
    }
    painter.begin(&m_layoutDevice);
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    painter.initFrom(this);
    QT_WARNING_POP
}

void ZALChatView::LayoutNow(bool appended, int droppedBottom)
{
    // Showing or hiding the bar may resize a top-level view from within a
    // pass: that pass is then repeated for the new size.
    if (m_bLayingOut) {
        m_bNeedLayout = true;
        return;
    }
    FlagScope layingOut(m_bLayingOut);
    ListGuard guard(*this);
    QPainter painter;
    BeginLayoutPainter(painter);
    if (appended && LayoutLast(painter, droppedBottom))
        return;
    for (int pass = 0; pass < 3 && (pass == 0 || m_bNeedLayout); ++pass)
        Layout(painter);
}

bool ZALChatView::LayoutLast(QPainter& painter, int droppedBottom)
{
    // A pass over the list would place every earlier element where it is:
    // placing the new one after them is the same pass.
    const bool follow = m_bAtBottom;
    if (droppedBottom != NoDrop && !MoveUpAfterDrop(painter, droppedBottom))
        return false;
    {
        FlagScope pass(m_bInPass);
        PassScope scope(*this);
        const int count = m_qListElement.size();
        m_qListElement.last()->Layout(painter, m_elementInfo, count > 1 ? m_qListElement.at(count - 2) : nullptr);
    }
    if ((m_elementInfo.height > height()) != !ui->verticalScrollBar->isHidden())
        return false;
    {
        FlagScope pass(m_bInPass);
        ChangeScrollBarHeight();
    }
    PlaceScrollValue(follow);
    return true;
}

bool ZALChatView::MoveUpAfterDrop(QPainter& painter, int droppedBottom)
{
    // The newest element is not placed yet.
    const int placed = m_qListElement.size() - 1;
    if (placed < 1)
        return false;
    Element* first = m_qListElement.first();
    const int startX = first->GetStartX();
    const int startY = first->GetStartY();
    const int endX = first->GetEndX();
    const int endY = first->GetEndY();
    // A line shared with the dropped element changes with it.
    if (startY <= droppedBottom)
        return false;
    for (int i = 0; i < placed; ++i) {
        if (!m_qListElement.at(i)->Shiftable())
            return false;
    }

    FlagScope pass(m_bInPass);
    PassScope scope(*this);
    // Placed on a line of its own, nothing before it, the first element
    // leaves what follows as it was, only higher: the lines it and the
    // others registered move up with them.
    const QMap<int, int> lines = Element::s_qMaxHeight;
    const int lastLineY = Element::s_lastY;
    Element::ClearMaxHeightByY();
    element_info_ info = m_elementInfo;
    first->Layout(painter, info, nullptr);
    const int dy = startY - first->GetStartY();
    if (first->GetStartX() != startX || first->GetEndX() != endX || first->GetEndY() != endY - dy)
        return false;
    QMap<int, int> moved;
    for (auto it = lines.lowerBound(startY); it != lines.cend(); ++it)
        moved.insert(moved.cend(), it.key() - dy, it.value());
    Element::s_qMaxHeight = moved;
    Element::s_lastY = lastLineY - dy;
    for (int i = 1; i < placed; ++i)
        m_qListElement.at(i)->ShiftY(-dy);
    m_elementInfo.height = placed == 1 ? info.height : m_elementInfo.height - dy;
    return true;
}

void ZALChatView::PlaceScrollValue(bool follow)
{
    QScrollBar* bar = ui->verticalScrollBar;
    int value = bar->value();
    if (m_pDropAnchor) {
        m_iDropCarry += m_iDropAnchorY - m_pDropAnchor->GetStartY();
        m_pDropAnchor = nullptr;
        value -= m_iDropCarry / ScrollStep;
        m_iDropCarry %= ScrollStep;
    }
    {
        FlagScope pass(m_bInPass);
        bar->setValue(follow ? bar->maximum() : qBound(0, value, bar->maximum()));
    }
    m_iScrollValue = bar->value() * ScrollStep;
    Element::s_iScrollValueV = m_iScrollValue;
    UpdateAtBottom();
}

void ZALChatView::Draw(QPainter& painter)
{
    Element::s_qSelectionBackground = palette().color(QPalette::Highlight);
    Element::s_qSelectionText = palette().color(QPalette::HighlightedText);
    ListGuard guard(*this);
    FlagScope pass(m_bInPass);
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

void ZALChatView::SetWordWrap(bool on)
{
    if (on == m_bWordWrap)
        return;
    m_bWordWrap = on;
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

void ZALChatView::ScrollToBottom()
{
    if (m_bNeedLayout)
        LayoutNow();
    ScrollTo(ui->verticalScrollBar->maximum());
}

bool ZALChatView::IsAtBottom() const
{
    const QScrollBar* bar = ui->verticalScrollBar;
    return bar->isHidden() || bar->value() >= bar->maximum();
}

void ZALChatView::UpdateAtBottom()
{
    const bool atBottom = IsAtBottom();
    if (atBottom == m_bAtBottom)
        return;
    m_bAtBottom = atBottom;
    ListGuard guard(*this);
    emit sglAtBottomChanged(atBottom);
}

void ZALChatView::ChangeScrollBarHeight()
{
    QScrollBar* bar = ui->verticalScrollBar;
    const int overflow = m_elementInfo.height - height();
    if (overflow > 0) {
        bar->show();
        // Rounded up, so that the content's last pixel can be brought into
        // view.
        bar->setRange(0, (overflow + ScrollStep - 1) / ScrollStep);
    } else {
        bar->hide();
        bar->setRange(0, 0);
    }
    bar->setPageStep(qMax(1, height() / ScrollStep));
}

int ZALChatView::LineSteps() const
{
    return qMax(1, qRound(fontMetrics().height() / double(ScrollStep)));
}

void ZALChatView::ScrollTo(int value)
{
    QScrollBar* bar = ui->verticalScrollBar;
    if (!bar->isHidden())
        bar->setValue(qBound(0, value, bar->maximum()));
}

QRect ZALChatView::ShownRect(const Element* element) const
{
    int top = 0;
    int bottom = -1;
    if (!Element::GetPaintedRows(element, top, bottom))
        return rect();
    return QRect(0, top - m_iScrollValue, width(), bottom - top + 1) & rect();
}

void ZALChatView::ElementChanged(const Element* element, bool geometry)
{
    // A box colours its children while it is drawn; a size that changes
    // within a pass (host code deleting a box's child) needs another one.
    if (m_bInPass && !geometry)
        return;
    if (geometry) {
        m_bNeedLayout = true;
        update();
        // A selected text may have become shorter, or a box have got a
        // child inside the selection.
        if (m_selectAnchor.element)
            ApplySelection();
    } else {
        update(ShownRect(element));
    }
}

QRegion ZALChatView::ElementEvent(const QPoint& pos)
{
    ListGuard guard(*this);
    QRegion changed;
    m_pEventElement = nullptr;
    bool found = false;
    Element::s_iScrollValueV = m_iScrollValue;
    const int px = pos.x();
    const int py = pos.y() + m_iScrollValue;

    for (Element* element : qAsConst(m_qListElement)) {
        if (!element || !element->GetEvent())
            continue;
        const QColor background = element->m_qCurBackground;
        const QColor text = element->m_qCurTextColor;
        element->OnEvent(MOUSE_NORMAL);
        int top = 0;
        int bottom = -1;
        // Rectangles not built yet are built only for a run that may hold
        // the point.
        const bool far = element->m_bRectsPending && Element::GetPaintedRows(element, top, bottom)
                         && (py < top || py > bottom);
        if (!found && !far) {
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
        if (background != element->m_qCurBackground || text != element->m_qCurTextColor)
            changed += ShownRect(element);
    }
    setCursor(found ? Qt::PointingHandCursor : Qt::ArrowCursor);
    return changed;
}

void ZALChatView::on_verticalScrollBar_valueChanged(int value)
{
    m_iScrollValue = value * ScrollStep;
    Element::s_iScrollValueV = m_iScrollValue;
    update();
    if (!m_bInPass)
        UpdateAtBottom();
}

void ZALChatView::paintEvent(QPaintEvent* event)
{
    ListGuard guard(*this);
    if (m_bNeedLayout)
        LayoutNow();
    QPainter painter;
    painter.begin(this);
    // A partial repaint clips, so that elements outside it are skipped.
    if (event->region() != QRegion(rect()))
        painter.setClipRegion(event->region());
    painter.fillRect(rect(), QBrush(m_qBackground));
    Draw(painter);
    painter.end();
}

void ZALChatView::resizeEvent(QResizeEvent*)
{
    LayoutNow();
    update();
}

void ZALChatView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        m_bNeedLayout = true;
        update();
    }
    QWidget::changeEvent(event);
}

void ZALChatView::mouseMoveEvent(QMouseEvent* event)
{
    update(ElementEvent(event->pos()));
    if (!m_bSelecting || !(event->buttons() & Qt::LeftButton))
        return;
    if (!m_bDragging && (event->pos() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        // A drag: the press is not reported.
        m_bDragging = true;
        m_pPressElement = nullptr;
    }
    if (m_bDragging)
        Select(m_selectAnchor, PlaceAt(event->pos() + QPoint(0, m_iScrollValue)));
}

void ZALChatView::PressElement(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pPressElement = nullptr;
    if (!m_pEventElement)
        return;
    m_pEventElement->OnEvent(MOUSE_PRESS);
    update(ShownRect(m_pEventElement));
    // The left button may start a selection: its press is reported when the
    // button comes up without a drag.
    if (event->button() == Qt::LeftButton) {
        m_pPressElement = m_pEventElement;
        return;
    }
    ListGuard guard(*this);
    emit sglElementPress(m_pEventElement);
}

void ZALChatView::mousePressEvent(QMouseEvent* event)
{
    PressElement(event);
    if (event->button() != Qt::LeftButton)
        return;
    m_pressPos = event->pos();
    m_bDragging = false;
    const QPoint pos = event->pos() + QPoint(0, m_iScrollValue);
    const bool tripleClick = m_tripleClick.isValid()
                             && !m_tripleClick.hasExpired(QApplication::doubleClickInterval())
                             && (event->pos() - m_doubleClickPos).manhattanLength() < QApplication::startDragDistance();
    m_tripleClick.invalidate();
    if (tripleClick) {
        m_bSelecting = false;
        TextPlace begin;
        TextPlace end;
        if (UnitAt(pos, true, begin, end))
            Select(begin, end);
        return;
    }
    m_bSelecting = true;
    const TextPlace place = PlaceAt(pos);
    if ((event->modifiers() & Qt::ShiftModifier) && m_selectAnchor.element)
        Select(m_selectAnchor, place);
    else
        Select(place, place);
}

void ZALChatView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Reported like a press, as the second press of a double click always
    // was.
    PressElement(event);
    if (event->button() != Qt::LeftButton)
        return;
    m_bSelecting = false;
    m_bDragging = false;
    TextPlace begin;
    TextPlace end;
    if (UnitAt(event->pos() + QPoint(0, m_iScrollValue), false, begin, end))
        Select(begin, end);
    m_doubleClickPos = event->pos();
    m_tripleClick.start();
}

void ZALChatView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pEventElement) {
        m_pEventElement->OnEvent(MOUSE_HOVER);
        update(ShownRect(m_pEventElement));
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_bSelecting = false;
    m_bDragging = false;
    if (Element* pressed = std::exchange(m_pPressElement, nullptr)) {
        ListGuard guard(*this);
        emit sglElementPress(pressed);
    }
}

void ZALChatView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("Copy"), this, &ZALChatView::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    const QVector<ReadingItem> items = ReadingOrder();
    int first, from, last, to;
    copy->setEnabled(SelectionRange(items, first, from, last, to));
    QAction* all = menu.addAction(tr("Select All"), this, &ZALChatView::SelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    menu.exec(event->globalPos());
}

bool ZALChatView::event(QEvent* event)
{
    // The view's own keys win over a window's shortcuts while it has focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void ZALChatView::wheelEvent(QWheelEvent* event)
{
    QScrollBar* bar = ui->verticalScrollBar;
    if (bar->isHidden())
        return;
    int steps = 0;
    const int pixels = dominant(event->pixelDelta());
    if (pixels != 0) {
        m_iPixelRemainder += pixels;
        steps = m_iPixelRemainder / ScrollStep;
        m_iPixelRemainder -= steps * ScrollStep;
    } else {
        // Every 120 units scroll wheelScrollLines() lines; what a touchpad's
        // small deltas leave over is kept for the next event, until the
        // direction turns.
        const int delta = dominant(event->angleDelta());
        if ((delta > 0 && m_iWheelRemainder < 0) || (delta < 0 && m_iWheelRemainder > 0))
            m_iWheelRemainder = 0;
        m_iWheelRemainder += delta * QApplication::wheelScrollLines() * LineSteps();
        steps = m_iWheelRemainder / 120;
        m_iWheelRemainder -= steps * 120;
    }
    bar->setValue(qBound(bar->minimum(), bar->value() - steps, bar->maximum()));
    ElementEvent(event->position().toPoint());
    update();
}

void ZALChatView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    const int value = ui->verticalScrollBar->value();
    const int line = LineSteps();
    const int page = qMax(1, height() / ScrollStep - line);
    switch (event->key()) {
    case Qt::Key_PageDown:
        ScrollTo(value + page);
        break;
    case Qt::Key_PageUp:
        ScrollTo(value - page);
        break;
    case Qt::Key_Down:
        ScrollTo(value + line);
        break;
    case Qt::Key_Up:
        ScrollTo(value - line);
        break;
    case Qt::Key_Home:
        ScrollTo(0);
        break;
    case Qt::Key_End:
        ScrollTo(ui->verticalScrollBar->maximum());
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

QVector<ZALChatView::ReadingItem> ZALChatView::ReadingOrder() const
{
    QVector<ReadingItem> items;
    items.reserve(m_qListElement.size());
    bool newLine = false;
    CollectReading(m_qListElement, false, newLine, items);
    return items;
}

void ZALChatView::CollectReading(const QList<Element*>& list, bool inBox, bool& newLine,
                                 QVector<ReadingItem>& out) const
{
    // The same reasons for a new line as the elements' layouts have.
    const Element* prev = nullptr;
    for (Element* element : list) {
        if (!element)
            continue;
        auto* box = dynamic_cast<ButtonElement*>(element);
        const bool leaf = dynamic_cast<TextElement*>(element) || dynamic_cast<ImageElement*>(element);
        if ((prev || inBox) && (box || (leaf && element->m_bReturn) || dynamic_cast<const ButtonElement*>(prev)))
            newLine = true;
        out.append({element, leaf, newLine});
        if (leaf)
            newLine = false;
        if (box)
            CollectReading(box->m_qListElement, true, newLine, out);
        prev = element;
    }
}

int ZALChatView::UnitCount(const Element* element)
{
    if (auto* text = dynamic_cast<const TextElement*>(element))
        return text->GetText().size();
    return dynamic_cast<const ImageElement*>(element) ? 1 : 0;
}

bool ZALChatView::SelectionRange(const QVector<ReadingItem>& items, int& first, int& from, int& last,
                                 int& to) const
{
    if (!m_selectAnchor.element || !m_selectFocus.element)
        return false;
    int anchor = -1;
    int focus = -1;
    for (int i = 0; i < items.size() && (anchor < 0 || focus < 0); ++i) {
        if (items[i].element == m_selectAnchor.element)
            anchor = i;
        if (items[i].element == m_selectFocus.element)
            focus = i;
    }
    if (anchor < 0 || focus < 0)
        return false;
    // A text may have become shorter since.
    int anchorOffset = qBound(0, m_selectAnchor.offset, UnitCount(m_selectAnchor.element));
    int focusOffset = qBound(0, m_selectFocus.offset, UnitCount(m_selectFocus.element));
    if (anchor > focus || (anchor == focus && anchorOffset > focusOffset)) {
        std::swap(anchor, focus);
        std::swap(anchorOffset, focusOffset);
    }
    first = anchor;
    from = anchorOffset;
    last = focus;
    to = focusOffset;
    return first < last || from < to;
}

ZALChatView::TextPlace ZALChatView::PlaceAt(const QPoint& pos) const
{
    // The place before the first unit (in reading order) that pos lies
    // before: above its cell, or beside its left half.
    Element* lastSeen = nullptr;
    for (const ReadingItem& item : ReadingOrder()) {
        if (!item.leaf)
            continue;
        // Rectangles not built yet are built only for a run whose rows hold
        // the point.
        int top = 0;
        int bottom = -1;
        if (item.element->m_bRectsPending && Element::GetPaintedRows(item.element, top, bottom)
            && (pos.y() < top || pos.y() > bottom)) {
            if (top <= bottom && pos.y() < top)
                return {item.element, 0};
            if (top <= bottom)
                lastSeen = item.element;
            continue;
        }
        const QVector<QRect>& cells = static_cast<const Element*>(item.element)->GetEventRect();
        auto* text = dynamic_cast<const TextElement*>(item.element);
        for (int i = 0; i < cells.size(); ++i) {
            const QRect& cell = cells[i];
            const bool onRow = pos.y() >= cell.top() && pos.y() <= cell.bottom();
            // A cluster running right to left begins at its cell's right.
            if (onRow && text && text->ClusterRightToLeft(i)) {
                if (pos.x() < cell.left() || pos.x() > cell.right())
                    continue;
                const bool before = pos.x() >= cell.left() + cell.width() / 2;
                return {item.element, clusterStart(text->GetText(), before ? i : i + 1)};
            }
            if (pos.y() < cell.top() || (onRow && pos.x() < cell.left() + cell.width() / 2))
                return {item.element, text ? clusterStart(text->GetText(), i) : 0};
        }
        if (!cells.isEmpty())
            lastSeen = item.element;
    }
    return {lastSeen, lastSeen ? UnitCount(lastSeen) : 0};
}

bool ZALChatView::UnitAt(const QPoint& pos, bool wholeElement, TextPlace& begin, TextPlace& end) const
{
    for (const ReadingItem& item : ReadingOrder()) {
        int top = 0;
        int bottom = -1;
        if (!item.leaf
            || (item.element->m_bRectsPending && Element::GetPaintedRows(item.element, top, bottom)
                && (pos.y() < top || pos.y() > bottom)))
            continue;
        const QVector<QRect>& cells = static_cast<const Element*>(item.element)->GetEventRect();
        for (int i = 0; i < cells.size(); ++i) {
            if (!cells[i].contains(pos))
                continue;
            begin = {item.element, 0};
            end = {item.element, UnitCount(item.element)};
            auto* text = dynamic_cast<const TextElement*>(item.element);
            if (text && !wholeElement) {
                const int at = clusterStart(text->GetText(), i);
                QTextBoundaryFinder words(QTextBoundaryFinder::Word, text->GetText());
                words.setPosition(at);
                begin.offset = words.isAtBoundary() ? at : qMax(0, words.toPreviousBoundary());
                words.setPosition(at);
                const int next = words.toNextBoundary();
                end.offset = next < 0 ? text->GetText().size() : next;
            }
            return true;
        }
    }
    return false;
}

void ZALChatView::Select(const TextPlace& anchor, const TextPlace& focus)
{
    m_selectAnchor = anchor;
    m_selectFocus = focus;
    if (ApplySelection())
        EmitSelectionChanged();
}

bool ZALChatView::ApplySelection()
{
    const QVector<ReadingItem> items = ReadingOrder();
    int first = 0;
    int from = 0;
    int last = -1;
    int to = 0;
    const bool any = SelectionRange(items, first, from, last, to);
    QRegion dirty;
    bool changed = false;
    for (int i = 0; i < items.size(); ++i) {
        Element* element = items[i].element;
        if (!items[i].leaf)
            continue;
        int selectedFrom = 0;
        int selectedTo = 0;
        if (any && i >= first && i <= last) {
            selectedFrom = i == first ? from : 0;
            selectedTo = i == last ? to : UnitCount(element);
        }
        if (selectedFrom >= selectedTo)
            selectedFrom = selectedTo = 0;
        if (element->m_selection.from != selectedFrom || element->m_selection.to != selectedTo) {
            element->m_selection.from = selectedFrom;
            element->m_selection.to = selectedTo;
            dirty += ShownRect(element);
            changed = true;
        }
    }
    update(dirty);
    return changed;
}

void ZALChatView::EmitSelectionChanged()
{
    // A screen reader hears that the view's selection changed; the view is
    // the container the selected text lies in. (Focus is announced by
    // QWidget itself.)
    QAccessibleEvent event(this, QAccessible::Selection);
    ZALChatViewAccessible::Send(event);
    ListGuard guard(*this);
    emit sglSelectionChanged();
}

void ZALChatView::SelectionLeaving(Element* element)
{
    if (!m_selectAnchor.element)
        return;
    const QVector<ReadingItem> items = ReadingOrder();
    const int begin = [&] {
        for (int i = 0; i < items.size(); ++i) {
            if (items[i].element == element)
                return i;
        }
        return -1;
    }();
    if (begin < 0)
        return;
    auto inside = [element](const Element* e) {
        for (; e; e = e->m_container.box) {
            if (e == element)
                return true;
        }
        return false;
    };
    int end = begin + 1;
    while (end < items.size() && inside(items[end].element))
        ++end;
    for (int i = begin; i < end; ++i) {
        Element* leaving = items[i].element;
        if (leaving->m_selection.from < leaving->m_selection.to)
            m_bSelectionLeft = true;
        leaving->m_selection.from = leaving->m_selection.to = 0;
    }

    int first = 0;
    int from = 0;
    int last = 0;
    int to = 0;
    const bool any = SelectionRange(items, first, from, last, to);
    const bool startLeaves = any ? first >= begin && first < end : inside(m_selectAnchor.element);
    const bool endLeaves = any ? last >= begin && last < end : inside(m_selectFocus.element);
    if (!startLeaves && !endLeaves)
        return;
    m_bSelectionLeft = m_bSelectionLeft || any;
    TextPlace start{items[first].element, from};
    TextPlace stop{items[last].element, to};
    if (any && startLeaves) {
        start = TextPlace();
        for (int i = end; i < items.size() && !start.element; ++i) {
            if (items[i].leaf)
                start = {items[i].element, 0};
        }
    }
    if (any && endLeaves) {
        stop = TextPlace();
        for (int i = begin - 1; i >= 0 && !stop.element; --i) {
            if (items[i].leaf)
                stop = {items[i].element, UnitCount(items[i].element)};
        }
    }
    // Both ends inside, or nothing left between them: no selection.
    auto indexOf = [&](const Element* e) {
        for (int i = 0; i < items.size(); ++i) {
            if (items[i].element == e)
                return i;
        }
        return -1;
    };
    if (!any || (startLeaves && endLeaves) || !start.element || !stop.element
        || indexOf(start.element) > indexOf(stop.element)) {
        start = stop = TextPlace();
    }
    m_selectAnchor = start;
    m_selectFocus = stop;
}

void ZALChatView::SelectionSettled()
{
    if (!m_bSelectionLeft)
        return;
    ApplySelection();
    m_bSelectionLeft = false;
    EmitSelectionChanged();
}

QString ZALChatView::SelectedText() const
{
    const QVector<ReadingItem> items = ReadingOrder();
    int first = 0;
    int from = 0;
    int last = 0;
    int to = 0;
    if (!SelectionRange(items, first, from, last, to))
        return QString();
    QString text;
    for (int i = first; i <= last; ++i) {
        const ReadingItem& item = items[i];
        if (!item.leaf)
            continue;
        const int selectedFrom = i == first ? from : 0;
        const int selectedTo = i == last ? to : UnitCount(item.element);
        if (i > first && item.newLine && (selectedFrom < selectedTo || i < last))
            text += QLatin1Char('\n');
        if (selectedFrom >= selectedTo)
            continue;
        if (auto* run = dynamic_cast<const TextElement*>(item.element))
            text += run->GetText().mid(selectedFrom, selectedTo - selectedFrom);
        else
            text += item.element->GetAccessibleText();
    }
    return text;
}

void ZALChatView::ClearSelection()
{
    Select(TextPlace(), TextPlace());
}

void ZALChatView::SelectAll()
{
    TextPlace begin;
    TextPlace end;
    for (const ReadingItem& item : ReadingOrder()) {
        if (!item.leaf)
            continue;
        if (!begin.element)
            begin = {item.element, 0};
        end = {item.element, UnitCount(item.element)};
    }
    Select(begin, end);
}

void ZALChatView::CopySelection()
{
    const QString text = SelectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
