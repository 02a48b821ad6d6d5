#include "chatview.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
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

} // namespace

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
    qDeleteAll(m_qListElement);
    m_qListElement.clear();
    delete ui;
}

void ZALChatView::AddElement(Element* element)
{
    if (!element)
        return;
    element->m_container.view = this;
    m_qListElement.append(element);
    int droppedBottom = NoDrop;
    if (m_qListElement.size() > MaxElements) {
        Element* oldest = m_qListElement.takeFirst();
        // The hit test may still point at it; a press before the next move
        // must not reach a deleted element.
        if (oldest == m_pEventElement)
            m_pEventElement = nullptr;
        // The reader's place is kept against the element that is first now,
        // where the last pass put it.
        if (!m_pDropAnchor && !m_bNeedLayout) {
            m_pDropAnchor = m_qListElement.first();
            m_iDropAnchorY = m_pDropAnchor->GetStartY();
        }
        if (oldest->Shiftable())
            droppedBottom = qMax(oldest->GetEndY(), oldest->GetStartY() + oldest->GetHeight() - 1);
        else
            m_bNeedLayout = true;
        delete oldest;
    }
    // A hidden view is resized without a resize event: a new width needs a
    // whole pass.
    LayoutNow(!m_bNeedLayout && m_elementInfo.width == LayoutWidth(!ui->verticalScrollBar->isHidden()),
              droppedBottom);
    update();
}

void ZALChatView::Layout(QPainter& painter)
{
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
    for (Element* element : qAsConst(m_qListElement)) {
        element->Layout(painter, m_elementInfo, prev);
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
    FlagScope pass(m_bInPass);
    PassScope scope(*this);
    for (Element* element : qAsConst(m_qListElement))
        element->Draw(painter, m_elementInfo);
}

void ZALChatView::SetBackground(QColor& color)
{
    m_qBackground = color;
    update();
}

void ZALChatView::SetEdgeSpace(int x, int y)
{
    m_iEdgeX = x;
    m_iEdgeY = y;
    m_bNeedLayout = true;
    update();
}

void ZALChatView::SetElementSpace(int space)
{
    m_elementInfo.element_space = space;
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
    if (m_bInPass)
        return;
    if (geometry) {
        m_bNeedLayout = true;
        update();
    } else {
        update(ShownRect(element));
    }
}

QRegion ZALChatView::ElementEvent(const QPoint& pos)
{
    QRegion changed;
    m_pEventElement = nullptr;
    bool found = false;
    Element::s_iScrollValueV = m_iScrollValue;
    const int px = pos.x();
    const int py = pos.y() + m_iScrollValue;

    for (Element* element : qAsConst(m_qListElement)) {
        if (!element->GetEvent())
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
}

void ZALChatView::mousePressEvent(QMouseEvent*)
{
    if (!m_pEventElement)
        return;
    m_pEventElement->OnEvent(MOUSE_PRESS);
    update(ShownRect(m_pEventElement));
    emit sglElementPress(m_pEventElement);
}

void ZALChatView::mouseReleaseEvent(QMouseEvent*)
{
    if (!m_pEventElement)
        return;
    m_pEventElement->OnEvent(MOUSE_HOVER);
    update(ShownRect(m_pEventElement));
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
