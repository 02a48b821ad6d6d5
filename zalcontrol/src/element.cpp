#include "element.h"

#include "chatview.h"
#include "drawarea.h"


#include <typeinfo>

QMap<int, int> Element::s_qMaxHeight;
int Element::s_lastY = 0;
int Element::s_iScrollValueV = 0;
QColor Element::s_qSelectionBackground;
QColor Element::s_qSelectionText;
bool Element::s_bWordWrap = false;

Element::Element()
    : m_iType(0)
    , m_iUin(0)
    , m_uGoldBoxId(0)
    , m_iStartX(0)
    , m_iStartY(0)
    , m_iEndX(0)
    , m_iEndY(0)
    , m_iHeight(0)
    , m_iWidth(0)
    , m_bReturn(false)
    , m_bEvent(false)
    , m_background{Qt::transparent, Qt::transparent, Qt::transparent}
    , m_textColor{Qt::transparent, Qt::transparent, Qt::transparent}
    , m_qCurBackground(m_background.normal)
    , m_qCurTextColor(m_textColor.normal)
    , m_iIndentSpace(0)
    , m_bDrawCurrent(false)
    , m_bRectsPending(false)
    , m_iPaintTop(0)
    , m_iPaintBottom(-1)
{
}

Element::Element(const Element& other) = default;
Element& Element::operator=(const Element& other) = default;
Element::~Element()
{
    // Like a QObject child leaving its parent: the container must not keep a
    // pointer to freed memory.
    if (m_container.view)
        m_container.view->ForgetElement(this);
    else if (m_container.box)
        m_container.box->ForgetChild(this);
}

int Element::GetType()
{
    return m_iType;
}

void Element::SetType(int type)
{
    m_iType = type;
}

int Element::GetUin()
{
    return m_iUin;
}

void Element::SetUin(int uin)
{
    m_iUin = uin;
    m_iType = 1;
}

quint64 Element::GetGoldBoxId()
{
    return m_uGoldBoxId;
}

void Element::SetGoldBoxId(quint64 id)
{
    m_uGoldBoxId = id;
    m_iType = 2;
}

void Element::SetFont(QFont& font)
{
    SetFont(static_cast<const QFont&>(font));
}

void Element::SetFont(const QFont& font)
{
    m_qFont = font;
    InvalidateDraw();
    Changed(true);
}

void Element::SetIndentSpace(int indent)
{
    m_iIndentSpace = qBound(-MaxSpace, indent, MaxSpace);
    InvalidateDraw();
    Changed(true);
}

void Element::SetReturn(bool lineBreak)
{
    m_bReturn = lineBreak;
    Changed(true);
}

bool Element::GetEvent()
{
    return m_bEvent;
}

void Element::SetEvent(bool on)
{
    m_bEvent = on;
    if (!on) {
        m_qCurBackground = m_background.press;
        m_qCurTextColor = m_textColor.press;
    }
    Changed(false);
}

QVector<QRect>& Element::GetEventRect()
{
    static_cast<const Element*>(this)->GetEventRect();
    InvalidateDraw();
    return m_qEventRect;
}

const QVector<QRect>& Element::GetEventRect() const
{
    if (m_bRectsPending)
        static_cast<TextElement*>(const_cast<Element*>(this))->BuildEventRect();
    return m_qEventRect;
}

void Element::SetEventBackground(mouse_color_& colors)
{
    SetEventBackground(static_cast<const mouse_color_&>(colors));
}

void Element::SetEventBackground(const mouse_color_& colors)
{
    m_background = colors;
    m_qCurBackground = m_bEvent ? m_background.normal : m_background.press;
    Changed(false);
}

void Element::SetEventTextColor(mouse_color_& colors)
{
    SetEventTextColor(static_cast<const mouse_color_&>(colors));
}

void Element::SetEventTextColor(const mouse_color_& colors)
{
    m_textColor = colors;
    m_qCurTextColor = m_bEvent ? m_textColor.normal : m_textColor.press;
    Changed(false);
}

void Element::SetTextColor(QColor& color)
{
    SetTextColor(static_cast<const QColor&>(color));
}

void Element::SetTextColor(const QColor& color)
{
    m_qCurTextColor = color;
    m_textColor = {color, color, color};
    Changed(false);
}

void Element::OnEvent(MOUSE_STATE state)
{
    if (!m_bEvent)
        return;
    switch (state) {
    case MOUSE_NORMAL:
        m_qCurBackground = m_background.normal;
        m_qCurTextColor = m_textColor.normal;
        break;
    case MOUSE_HOVER:
        m_qCurBackground = m_background.hover;
        m_qCurTextColor = m_textColor.hover;
        break;
    case MOUSE_PRESS:
        m_qCurBackground = m_background.press;
        m_qCurTextColor = m_textColor.press;
        break;
    }
}

void Element::SetAccessibleText(const QString& text)
{
    m_qAccessibleText = text;
}

int Element::GetMaxHeightByY(int y)
{
    return s_qMaxHeight.value(y, 0);
}

void Element::SetMaxHeightByY(int y, int height)
{
    auto it = s_qMaxHeight.find(y);
    if (it == s_qMaxHeight.end())
        s_qMaxHeight.insert(y, qMax(0, height));
    else if (height > *it)
        *it = height;
    s_lastY = y;
}

void Element::ClearMaxHeightByY()
{
    s_qMaxHeight.clear();
}

bool Element::CanSkipDraw(const QPainter& painter) const
{
    return m_bDrawCurrent
           && !DrawArea(painter).Reaches(m_iPaintTop - s_iScrollValueV, m_iPaintBottom - s_iScrollValueV);
}

void Element::SetPaintedRows(int top, int bottom)
{
    m_bDrawCurrent = true;
    // Nothing painted is kept as one canonical empty range, which stays empty
    // when the scroll offset is subtracted.
    m_iPaintTop = bottom < top ? 0 : top;
    m_iPaintBottom = bottom < top ? -1 : bottom;
}

void Element::InvalidateDraw()
{
    m_bDrawCurrent = false;
}

ZALChatView* Element::HoldingView() const
{
    const Element* top = this;
    while (top->m_container.box)
        top = top->m_container.box;
    return top->m_container.view;
}

void Element::Changed(bool geometry)
{
    const Element* top = this;
    while (top->m_container.box)
        top = top->m_container.box;
    if (top->m_container.view)
        top->m_container.view->ElementChanged(top, geometry);
}

void Element::ResetEventRect()
{
    m_qEventRect.clear();
    m_bDrawCurrent = false;
    m_bRectsPending = false;
}

void Element::ShiftY(int dy)
{
    m_iStartY += dy;
    m_iEndY += dy;
    for (QRect& r : m_qEventRect)
        r.translate(0, dy);
    if (m_iPaintTop <= m_iPaintBottom) {
        m_iPaintTop += dy;
        m_iPaintBottom += dy;
    }
    if (auto* text = dynamic_cast<TextElement*>(this)) {
        for (int& top : text->m_qCellTops)
            top += dy;
    } else if (auto* box = dynamic_cast<ButtonElement*>(this)) {
        box->m_elementInfo.height += dy;
        for (Element* child : qAsConst(box->m_qListElement))
            child->ShiftY(dy);
    }
}

bool Element::Shiftable() const
{
    const std::type_info& kind = typeid(*this);
    if (kind == typeid(TextElement) || kind == typeid(ImageElement) || kind == typeid(SpaceElement))
        return true;
    if (kind != typeid(ButtonElement))
        return false;
    for (const Element* child : static_cast<const ButtonElement*>(this)->m_qListElement) {
        if (!child->Shiftable())
            return false;
    }
    return true;
}

bool Element::GetPaintedRows(const Element* element, int& top, int& bottom)
{
    if (!element->m_bDrawCurrent)
        return false;
    top = element->m_iPaintTop;
    bottom = element->m_iPaintBottom;
    return true;
}
