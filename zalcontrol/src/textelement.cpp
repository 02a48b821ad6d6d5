#include "element.h"

#include "drawarea.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <climits>

// One grapheme cluster of the text: where it ends in the text (it starts
// where the one before ends), how wide it is, and whether the line may break
// after it. Eight bytes, since every run keeps one per character.
struct TextCluster
{
    int end;
    int width : 28;
    // The cluster ends with a line feed: the line always breaks after it.
    unsigned lineFeed : 1;
    // Another cluster follows whose first character has a non-negative left
    // bearing: the line breaks after this one when it reaches the margin.
    unsigned breakable : 1;
    // A word ends after it: word wrap may break the line there.
    unsigned wordEnd : 1;
    // White space, which may hang past the margin at a line's end.
    unsigned space : 1;
};

struct TextElement::Measure
{
    // The resolved font and the device resolution it was measured for.
    QFont font;
    int dpi;
    int height;
    int descent;
    // Advance of U+0001, the narrowest room a run needs to begin on a line.
    int roomWidth;
    // Rows above a cell's top and below its bottom that glyphs may still
    // ink: a full line height for ordinary text (glyphs of fallback fonts
    // and accented capitals overhang the cell a little), and one more line
    // height for every mark stacked in the busiest cluster.
    int inkMargin;
    QVector<TextCluster> clusters;
    // The glyphs each cluster shapes to on its own, in one font, relative to
    // its baseline origin; a cluster shaped with several fonts (or in a
    // font with lines drawn along the text) has none and is drawn alone.
    // Taken at the first paint, since most runs are never painted.
    struct Glyphs
    {
        int first; // into indexes and positions
        int count;
        int font;  // into fonts; -1: drawn alone
    };
    mutable QVector<Glyphs> glyphs;
    mutable QVector<QRawFont> fonts;
    mutable QVector<quint32> indexes;
    mutable QVector<QPointF> positions;
    // Some character needs shaping with its neighbours or runs right to
    // left: the run is laid out and drawn as a whole by QTextLayout.
    bool shaped = false;
};

struct TextElement::Shaped
{
    // What the lines were broken for.
    QFont font;
    int dpi;
    int startX;
    int lineStart;
    int width;
    bool words;
    QTextLayout layout;
    int lines = 0;
    // Per cluster: its line, the left and right of its cell, and whether it
    // runs right to left.
    struct Cell
    {
        int line;
        int left;
        int right;
        bool rtl;
    };
    QVector<Cell> cells;
};

namespace {

// Left bearing of the first character of a grapheme cluster. Qt measures
// bearings per UTF-16 unit only; clusters starting outside the Basic
// Multilingual Plane count as non-negative, so they never hold the previous
// cluster on its line.
int leadingBearing(const QFontMetrics& fm, QStringView cluster)
{
    const QChar first = cluster.front();
    return first.isSurrogate() ? 0 : fm.leftBearing(first);
}

// Marks (combining, spacing or enclosing) in a cluster: each may stack
// above or below the glyphs before it.
int stackedMarks(QStringView cluster)
{
    int marks = 0;
    for (int i = 0; i < cluster.size(); ++i) {
        uint c = cluster[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < cluster.size() && cluster[i + 1].isLowSurrogate()) {
            ++i;
            c = QChar::surrogateToUcs4(c, cluster[i].unicode());
        }
        marks += QChar::isMark(c);
    }
    return marks;
}

// Decides where the lines of a run break, cluster by cluster.
//
// Character wrap: after a cluster is placed and x has moved past it, the
// line breaks when the cluster ends with a line feed, or when another
// cluster follows whose first character has a non-negative left bearing and
// x > width - lineStart - (width of the cluster just placed): the last
// cluster's width stands in for the next one's, and the right margin equals
// lineStart.
//
// Word wrap: the line breaks before a word (up to the next break
// opportunity, its trailing white space left out) that does not fit on the
// rest of the line, and after line feeds. A word longer than a whole line is
// cut by the character rule.
class LineBreaker
{
public:
    LineBreaker(const QVector<TextCluster>& clusters, int lineStart, int areaWidth, bool words)
        : m_clusters(clusters)
        , m_iLineStart(lineStart)
        , m_iRight(areaWidth - lineStart)
        , m_bWords(words)
    {
    }

    // Width of the word beginning at cluster i.
    int WordWidth(int i) const
    {
        int width = 0;
        int ink = 0;
        for (; i < m_clusters.size(); ++i) {
            width += m_clusters[i].width;
            if (!m_clusters[i].space)
                ink = width;
            if (m_clusters[i].wordEnd || m_clusters[i].lineFeed)
                break;
        }
        return ink;
    }
    bool Fits(int width) const { return width <= m_iRight - m_iLineStart; }

    // Before cluster i is placed at x.
    bool Before(int i, int x)
    {
        if (!m_bWords || (i > 0 && !m_clusters[i - 1].wordEnd && !m_clusters[i - 1].lineFeed))
            return false;
        const int word = WordWidth(i);
        m_bCut = !Fits(word);
        return i > 0 && !m_bCut && x > m_iLineStart && x + word > m_iRight;
    }

    // After cluster i, x being just past it.
    bool After(int i, int x) const
    {
        const TextCluster& cluster = m_clusters[i];
        if (cluster.lineFeed)
            return true;
        return (!m_bWords || m_bCut) && cluster.breakable && x > m_iRight - cluster.width;
    }

private:
    const QVector<TextCluster>& m_clusters;
    int m_iLineStart;
    int m_iRight;
    bool m_bWords;
    // The word being placed is longer than a line.
    bool m_bCut = false;
};

// Walks the measured grapheme clusters of a text run the way layout and
// drawing both see them, so that the two always reach the same lines. Each
// cluster is measured and drawn on its own (joined emoji, flags and
// combining sequences stay one piece); LineBreaker breaks the lines.
//
// place(cluster, start, x) is called before x advances; newLine(y) after the
// line broke, with the new line's y already advanced past the line left.
template <typename Place, typename NewLine>
void walkClusters(const QVector<TextCluster>& clusters, int lineStart, int areaWidth, bool words, int height,
                  int& x, int& y, Place place, NewLine newLine)
{
    LineBreaker breaker(clusters, lineStart, areaWidth, words);
    auto breakLine = [&] {
        x = lineStart;
        y += qMax(height, Element::GetMaxHeightByY(y));
        newLine(y);
    };
    int start = 0;
    for (int i = 0; i < clusters.size(); ++i) {
        const TextCluster& cluster = clusters[i];
        if (breaker.Before(i, x))
            breakLine();
        place(cluster, start, x);
        start = cluster.end;
        x += cluster.width;
        if (breaker.After(i, x))
            breakLine();
    }
}

// Shapes each cluster on its own, as drawing the cluster's text would.
void shapeClusters(const TextElement::Measure& m, const QString& text, QPaintDevice* device)
{
    const bool lines = m.font.underline() || m.font.overline() || m.font.strikeOut();
    m.glyphs.reserve(m.clusters.size());
    int start = 0;
    for (const TextCluster& cluster : m.clusters) {
        QTextLayout layout(text.mid(start, cluster.end - start), m.font, device);
        start = cluster.end;
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (lines || runs.size() != 1 || !line.isValid()) {
            m.glyphs.append({0, 0, -1});
            continue;
        }
        const QGlyphRun& run = runs.first();
        int font = m.fonts.indexOf(run.rawFont());
        if (font < 0) {
            font = m.fonts.size();
            m.fonts.append(run.rawFont());
        }
        m.glyphs.append({m.indexes.size(), run.glyphIndexes().size(), font});
        m.indexes += run.glyphIndexes();
        for (const QPointF& p : run.positions())
            m.positions.append(p - QPointF(0, line.ascent()));
    }
}

// Collects the glyphs of neighbouring clusters that share a font into one
// run, drawn with one call where drawing each cluster's text would take one
// each. The pixels are the same: the glyphs land where each cluster's own
// drawing puts them, in the same order.
class GlyphBatch
{
public:
    GlyphBatch(QPainter& painter, const TextElement::Measure& m)
        : m_painter(painter)
        , m_measure(m)
    {
    }
    ~GlyphBatch() { Flush(); }

    // Adds a cluster drawn at the baseline origin; false when it must be
    // drawn alone.
    bool Add(int cluster, const QPointF& origin)
    {
        const TextElement::Measure::Glyphs& g = m_measure.glyphs.at(cluster);
        if (g.font < 0 || DrawArea::DrawClustersAlone()) {
            Flush();
            return false;
        }
        if (g.font != m_font)
            Flush();
        m_font = g.font;
        for (int i = g.first; i < g.first + g.count; ++i) {
            m_indexes.append(m_measure.indexes.at(i));
            m_positions.append(m_measure.positions.at(i) + origin);
        }
        return true;
    }

    void Flush()
    {
        if (m_indexes.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(m_measure.fonts.at(m_font));
        run.setGlyphIndexes(m_indexes);
        run.setPositions(m_positions);
        m_painter.drawGlyphRun(QPointF(), run);
        m_indexes.clear();
        m_positions.clear();
    }

private:
    QPainter& m_painter;
    const TextElement::Measure& m_measure;
    int m_font = -1;
    QVector<quint32> m_indexes;
    QVector<QPointF> m_positions;
};

// Whether a text holds characters that need shaping with their neighbours
// or that run right to left.
bool needsShaping(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        uint c = text[i].unicode();
        if (c < 0x0590)
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            c = QChar::surrogateToUcs4(c, text[i].unicode());
        }
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
            return true;
        default:
            break;
        }
        switch (QChar::script(c)) {
        case QChar::Script_Hebrew:
        case QChar::Script_Arabic:
        case QChar::Script_Syriac:
        case QChar::Script_Thaana:
        case QChar::Script_Nko:
        case QChar::Script_Devanagari:
        case QChar::Script_Bengali:
        case QChar::Script_Gurmukhi:
        case QChar::Script_Gujarati:
        case QChar::Script_Oriya:
        case QChar::Script_Tamil:
        case QChar::Script_Telugu:
        case QChar::Script_Kannada:
        case QChar::Script_Malayalam:
        case QChar::Script_Sinhala:
        case QChar::Script_Thai:
        case QChar::Script_Lao:
        case QChar::Script_Tibetan:
        case QChar::Script_Myanmar:
        case QChar::Script_Khmer:
        case QChar::Script_Mongolian:
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace

TextElement::TextElement()
{
    m_qCurTextColor = QColor(255, 255, 255, 255);
}

TextElement::TextElement(const TextElement& other) = default;
TextElement& TextElement::operator=(const TextElement& other) = default;
TextElement::~TextElement() = default;

void TextElement::SetText(const QString& text)
{
    // The rectangles stay those of the last drawing until the next one.
    if (m_bRectsPending)
        BuildEventRect();
    m_qText = text;
    m_pMeasure.reset();
    m_pShaped.reset();
    InvalidateDraw();
    Changed(true);
}

Element* TextElement::Clone() const
{
    return new TextElement(*this);
}

const TextElement::Measure& TextElement::Measured(QPainter& painter)
{
    painter.setFont(m_qFont);
    const QFont font = painter.font();
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 0;
    if (m_pMeasure && m_pMeasure->dpi == dpi && m_pMeasure->font == font)
        return *m_pMeasure;

    const QFontMetrics fm = painter.fontMetrics();
    auto* measure = new Measure{font, dpi, fm.height(), fm.descent(), fm.horizontalAdvance(QChar(1)), 0, {}, {}, {}, {}, {}};
    measure->clusters.reserve(m_qText.size());
    int marks = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_qText);
    QTextBoundaryFinder words(QTextBoundaryFinder::Line, m_qText);
    int start = 0;
    for (int end = finder.toNextBoundary(); end > start; end = finder.toNextBoundary()) {
        const QStringView cluster = QStringView(m_qText).mid(start, end - start);
        const bool lineFeed = cluster.endsWith(QChar(QChar::LineFeed));
        const bool breakable = end < m_qText.size() && leadingBearing(fm, QStringView(m_qText).mid(end)) >= 0;
        words.setPosition(end);
        const bool wordEnd = end < m_qText.size() && words.isAtBoundary();
        measure->clusters.append({end, qMin(fm.horizontalAdvance(cluster.toString()), MaxSpace), lineFeed,
                                  breakable, wordEnd, cluster.front().isSpace()});
        marks = qMax(marks, stackedMarks(cluster));
        start = end;
    }
    measure->inkMargin = (1 + marks) * measure->height;
    measure->shaped = needsShaping(m_qText);
    measure->clusters.squeeze();
    m_pMeasure.reset(measure);
    return *m_pMeasure;
}

void TextElement::Layout(QPainter& painter, element_info_& info, const Element* prev)
{
    ResetEventRect();
    const Measure& m = Measured(painter);
    const int h = m.height;
    m_iHeight = h;
    const int lineStart = m_iIndentSpace + info.edge_x;

    int x;
    int y;
    if (!prev) {
        x = lineStart;
        y = info.edge_y;
    } else if (m_bReturn) {
        x = lineStart;
        y = prev->GetEndY() + info.element_space + qMax(h, GetMaxHeightByY(GetLastY()));
    } else {
        x = prev->GetEndX();
        y = prev->GetEndY();
    }
    // No room left on this line even for a narrow character, or, wrapping
    // words, for a first word that would fit on a line of its own.
    const LineBreaker breaker(m.clusters, lineStart, info.width, s_bWordWrap);
    const int firstWord = s_bWordWrap && !m.clusters.isEmpty() ? breaker.WordWidth(0) : 0;
    if (x > info.width - m.roomWidth - lineStart
        || (x > lineStart && breaker.Fits(firstWord) && x + firstWord > info.width - lineStart)) {
        x = lineStart;
        y += qMax(h, GetMaxHeightByY(GetLastY()));
    }

    m_iStartX = x;
    m_iStartY = y;
    SetMaxHeightByY(y, h);

    m_bWordWrap = s_bWordWrap;
    if (m.shaped) {
        LayoutShaped(info, lineStart, x, y);
        m_iEndX = x;
        m_iEndY = y;
        info.height = m.descent + GetMaxHeightByY(m_iEndY) + info.edge_y + m_iEndY;
        return;
    }
    m_pShaped.reset();
    walkClusters(m.clusters, lineStart, info.width, m_bWordWrap, h, x, y, [](const TextCluster&, int, int) {},
                 [h](int newY) { SetMaxHeightByY(newY, h); });

    m_iEndX = x;
    m_iEndY = y;
    info.height = m.descent + GetMaxHeightByY(m_iEndY) + info.edge_y + m_iEndY;
}

void TextElement::Draw(QPainter& painter, element_info_& info)
{
    if (CanSkipDraw(painter))
        return;
    m_qCellTops.clear();
    m_bRectsPending = false;
    const int lineStart = m_iIndentSpace + info.edge_x;
    m_iLineStart = lineStart;
    m_iAreaWidth = info.width;
    const Measure& m = Measured(painter);
    painter.setPen(m_qCurTextColor);
    if (m.shaped && m_pShaped) {
        DrawShaped(painter);
        return;
    }
    const int h = m_iHeight;
    const int d = m.descent;
    const DrawArea area(painter);

    int x = m_iStartX;
    int lineY = m_iStartY;
    int offset = (GetMaxHeightByY(m_iStartY) - h) / 2;
    // Whether the current line's cells, with the rows their glyphs may ink
    // around them, can reach the device; lines that cannot are only measured.
    auto lineShows = [&] {
        const int cellTop = lineY + offset + d - s_iScrollValueV;
        return area.Reaches(cellTop - m.inkMargin, cellTop + h - 1 + m.inkMargin);
    };
    bool shows = lineShows();
    // Every cell lies between the first line's top and the last line's
    // bottom: a run that cannot reach the device there keeps only its cell
    // tops, and its rectangles are built when asked for.
    const int runTop = m_iStartY + d - m.inkMargin - s_iScrollValueV;
    const int runBottom = m_iEndY + qMax(h, GetMaxHeightByY(m_iEndY)) + d - 1 + m.inkMargin - s_iScrollValueV;
    const bool pending = !area.Reaches(runTop, runBottom);
    if (pending) {
        m_qEventRect = QVector<QRect>();
        m_qCellTops.append(m_iStartY + offset + d);
    } else {
        m_qEventRect.clear();
    }
    int paintTop = INT_MAX;
    int paintBottom = INT_MIN;
    // A transparent cell leaves no trace; otherwise each cell is filled just
    // before its text, which may overhang into it, so the text is drawn
    // cluster by cluster.
    const bool clearCells = m_qCurBackground.alpha() == 0
                            && painter.compositionMode() == QPainter::CompositionMode_SourceOver;
    if (clearCells && shows && m.glyphs.isEmpty())
        shapeClusters(m, m_qText, painter.device());
    GlyphBatch batch(painter, m);
    int index = 0;
    const int selectedFrom = GetSelectedFrom();
    const int selectedTo = GetSelectedTo();

    walkClusters(
        m.clusters, lineStart, info.width, m_bWordWrap, h, x, lineY,
        [&](const TextCluster& cluster, int start, int cx) {
            const QRect cell(cx, lineY + offset + d, cluster.width, h);
            paintTop = qMin(paintTop, cell.top() - m.inkMargin);
            paintBottom = qMax(paintBottom, cell.bottom() + m.inkMargin);
            if (pending)
                return;
            m_qEventRect.append(cell);
            const int at = index++;
            if (!shows)
                return;
            const QPointF origin(cx, lineY - s_iScrollValueV + h + offset);
            if (start >= selectedFrom && start < selectedTo) {
                batch.Flush();
                painter.fillRect(cell.translated(0, -s_iScrollValueV), SelectionBackground());
                painter.setPen(SelectionText());
                painter.drawText(origin, m_qText.mid(start, cluster.end - start));
                painter.setPen(m_qCurTextColor);
                return;
            }
            if (clearCells && !m.glyphs.isEmpty() && batch.Add(at, origin))
                return;
            if (!clearCells)
                painter.fillRect(cell.translated(0, -s_iScrollValueV), m_qCurBackground);
            painter.drawText(origin, m_qText.mid(start, cluster.end - start));
        },
        [&](int newY) {
            batch.Flush();
            offset = (qMax(h, GetMaxHeightByY(newY)) - h) / 2;
            if (pending)
                m_qCellTops.append(newY + offset + d);
            else
                shows = lineShows();
        });
    SetPaintedRows(paintTop, paintBottom);
    m_bRectsPending = pending;
}

void TextElement::BuildEventRect()
{
    m_bRectsPending = false;
    const QVector<TextCluster>& clusters = m_pMeasure->clusters;
    m_qEventRect.reserve(clusters.size());
    int x = m_iStartX;
    int y = 0; // unused: the lines' tops are kept
    int line = 0;
    walkClusters(
        clusters, m_iLineStart, m_iAreaWidth, m_bWordWrap, 0, x, y,
        [&](const TextCluster& cluster, int, int cx) {
            m_qEventRect.append(QRect(cx, m_qCellTops.at(line), cluster.width, m_iHeight));
        },
        [&](int) { ++line; });
    m_qCellTops = QVector<int>();
}

void TextElement::LayoutShaped(const element_info_& info, int lineStart, int& x, int& y)
{
    const Measure& m = *m_pMeasure;
    const int h = m_iHeight;
    const int right = info.width - lineStart;
    Shaped* s = m_pShaped.data();
    if (!s || s->font != m.font || s->dpi != m.dpi || s->startX != x || s->lineStart != lineStart
        || s->width != info.width || s->words != m_bWordWrap) {
        s = new Shaped{m.font, m.dpi, x, lineStart, info.width, m_bWordWrap, {}, 0, {}};
        m_pShaped.reset(s);
        // Line feeds break lines as the other runs do; the separator keeps
        // the text's offsets.
        QString text = m_qText;
        text.replace(QChar(QChar::LineFeed), QChar(QChar::LineSeparator));
        s->layout.setText(text);
        s->layout.setFont(m.font);
        QTextOption option;
        // A run starts where the previous element ended, whatever its
        // direction: lines are never aligned to the right.
        option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        option.setWrapMode(m_bWordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WrapAnywhere);
        s->layout.setTextOption(option);
        // Keeps the shaped glyphs for drawing instead of shaping anew.
        s->layout.setCacheEnabled(true);
        s->layout.beginLayout();
        int lineX = x;
        for (;;) {
            QTextLine line = s->layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(qMax(1, right - lineX));
            if (line.textLength() == 0)
                break;
            line.setPosition(QPointF(lineX, 0));
            ++s->lines;
            lineX = lineStart;
        }
        s->layout.endLayout();

        s->cells.reserve(m.clusters.size());
        int start = 0;
        int lineIndex = 0;
        for (const TextCluster& cluster : m.clusters) {
            QTextLine line = s->layout.lineAt(lineIndex);
            while (lineIndex + 1 < s->lines && start >= line.textStart() + line.textLength())
                line = s->layout.lineAt(++lineIndex);
            int from = start;
            int last = cluster.end - 1;
            const qreal leading = line.cursorToX(&from, QTextLine::Leading);
            const qreal trailing = line.cursorToX(&last, QTextLine::Trailing);
            const int left = qRound(qMin(leading, trailing));
            const int cellRight = cluster.lineFeed ? left : qRound(qMax(leading, trailing));
            s->cells.append({lineIndex, left, cellRight, leading > trailing});
            start = cluster.end;
        }
    }
    for (int i = 1; i < s->lines; ++i) {
        y += qMax(h, GetMaxHeightByY(y));
        SetMaxHeightByY(y, h);
    }
    if (s->lines > 0) {
        const QTextLine last = s->layout.lineAt(s->lines - 1);
        x = qRound(last.x() + last.naturalTextWidth());
    }
    if (m_qText.endsWith(QChar(QChar::LineFeed))) {
        x = lineStart;
        y += qMax(h, GetMaxHeightByY(y));
        SetMaxHeightByY(y, h);
    }
}

void TextElement::DrawShaped(QPainter& painter)
{
    const Measure& m = *m_pMeasure;
    Shaped& s = *m_pShaped;
    const int h = m_iHeight;
    const int d = m.descent;
    const DrawArea area(painter);

    // The lines' tops, as the layout stacked them.
    QVector<int> cellTops(s.lines);
    int lineY = m_iStartY;
    qreal clipTop = 0;
    qreal clipBottom = -1;
    int paintTop = INT_MAX;
    int paintBottom = INT_MIN;
    for (int i = 0; i < s.lines; ++i) {
        if (i > 0)
            lineY += qMax(h, GetMaxHeightByY(lineY));
        const int offset = (qMax(h, GetMaxHeightByY(lineY)) - h) / 2;
        cellTops[i] = lineY + offset + d;
        QTextLine line = s.layout.lineAt(i);
        line.setPosition(QPointF(line.x(), lineY + h + offset - line.ascent()));
        const int top = cellTops[i] - m.inkMargin;
        const int bottom = cellTops[i] + h - 1 + m.inkMargin;
        paintTop = qMin(paintTop, top);
        paintBottom = qMax(paintBottom, bottom);
        if (area.Reaches(top - s_iScrollValueV, bottom - s_iScrollValueV)) {
            if (clipBottom < clipTop)
                clipTop = top;
            clipBottom = bottom + 1;
        }
    }

    m_qEventRect.clear();
    m_qEventRect.reserve(s.cells.size());
    for (const Shaped::Cell& cell : s.cells)
        m_qEventRect.append(QRect(cell.left, cellTops.value(cell.line), cell.right - cell.left, h));
    SetPaintedRows(paintTop, paintBottom);
    if (clipBottom < clipTop)
        return;

    const int selectedFrom = GetSelectedFrom();
    const int selectedTo = GetSelectedTo();
    const bool fill = m_qCurBackground.alpha() != 0 || painter.compositionMode() != QPainter::CompositionMode_SourceOver;
    int start = 0;
    for (int i = 0; i < m.clusters.size(); ++i) {
        const bool selected = start >= selectedFrom && start < selectedTo;
        if (selected || fill) {
            painter.fillRect(m_qEventRect.at(i).translated(0, -s_iScrollValueV),
                             selected ? SelectionBackground() : m_qCurBackground);
        }
        start = m.clusters[i].end;
    }
    QVector<QTextLayout::FormatRange> selections;
    if (selectedFrom < selectedTo) {
        QTextLayout::FormatRange range;
        range.start = selectedFrom;
        range.length = selectedTo - selectedFrom;
        range.format.setForeground(SelectionText());
        selections.append(range);
    }
    const QRectF clip(-MaxSpace, clipTop, 4.0 * MaxSpace, clipBottom - clipTop);
    s.layout.draw(&painter, QPointF(0, -s_iScrollValueV), selections, clip);
}

bool TextElement::ClusterRightToLeft(int i) const
{
    return m_pShaped && i >= 0 && i < m_pShaped->cells.size() && m_pShaped->cells.at(i).rtl;
}
