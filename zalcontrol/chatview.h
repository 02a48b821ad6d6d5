#pragma once

#include "element.h"
#include "zalcontrol_export.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QWidget>

class QHBoxLayout;
class QScrollBar;

namespace Ui {
class ZALChatView;
}

// Custom-painted, vertically scrollable chat view. It owns the elements handed
// to AddElement(), keeps at most 1500 of them (dropping the oldest), lays them
// out in wrapped lines across its width, scrolls in steps of 10 pixels, shows
// hover and press colours and reports a press on a mouse-aware element through
// sglElementPress().
//
// Several views may live in one process: each keeps its own line heights and
// scroll offset and loads them into Element's statics for the time of its own
// layout pass, paint and hit test.
class ZALCONTROL_EXPORT ZALChatView : public QWidget
{
    Q_OBJECT

public:
    explicit ZALChatView(QWidget* parent = nullptr);
    ~ZALChatView() override;

    // Takes ownership of a non-null element and appends it; schedules a
    // relayout. The scroll position stays where it is.
    void AddElement(Element* element);
    // One layout pass over every element, then fits the scroll range.
    void Layout(QPainter& painter);
    // Draws the elements where the last layout pass put them. What cannot
    // reach the painter's device (elements above or below the widget, lines
    // of a long run outside it) is skipped; the picture is the same as if
    // everything were drawn.
    void Draw(QPainter& painter);
    // Fill colour of the whole widget; asks for a repaint.
    void SetBackground(QColor& color);
    // The spacing setters ask for a relayout.
    void SetEdgeSpace(int x, int y);
    void SetElementSpace(int space);
    QScrollBar* GetVerticalScrollBar();
    void test();

    static constexpr int MaxElements = 1500;
    static constexpr int ScrollStep = 10;

signals:
    void sglElementPress(Element* element);

private:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private slots:
    void on_verticalScrollBar_valueChanged(int value);

private:
    class PassScope;

    void ChangeScrollBarHeight();
    void ElementEvent(const QPoint& pos);

    Ui::ZALChatView* ui;
    QHBoxLayout* m_pLayout;
    QColor m_qBackground;
    bool m_bNeedLayout;
    QList<Element*> m_qListElement;
    element_info_ m_elementInfo;
    Element* m_pEventElement;
    int m_iEdgeY;
    int m_iEdgeX;

    // This view's share of Element's statics, kept between its passes.
    QMap<int, int> m_qLineHeights;
    int m_iLastLineY;
    int m_iScrollValue;
};
