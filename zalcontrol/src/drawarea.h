#pragma once

#include "zalcontrol_export.h"

class QPainter;

// The rows of a painter's logical coordinates that can reach its device.
// Elements paint only the pieces whose rows fall inside and skip the rest,
// which the device would clip away anyway. The rows are worked out from the
// painter on every use, so that elements drawn by a host on its own painter
// are skipped just as correctly as inside a view.
//
// Only raster devices (widgets, images, pixmaps) painted through at most a
// translation are narrowed: a recording device such as a picture keeps what
// lies outside its current bounds, and under scaling or rotation one logical
// row no longer maps to one device row, so there every row counts.
class DrawArea
{
public:
    explicit DrawArea(const QPainter& painter);

    // Whether any of the logical rows top .. bottom (inclusive) can reach the
    // device; never true when bottom < top.
    bool Reaches(int top, int bottom) const { return top <= bottom && top <= m_iBottom && bottom >= m_iTop; }

    // Test hook: while on, every row counts, so that every element paints
    // everything as if nothing were skipped.
    ZALCONTROL_EXPORT static void SetDrawEverything(bool on);
    // Test hook: while on, text runs draw each character cluster with a
    // call of its own, as they once did.
    ZALCONTROL_EXPORT static void SetDrawClustersAlone(bool on);
    static bool DrawClustersAlone();

private:
    int m_iTop;
    int m_iBottom;
};
