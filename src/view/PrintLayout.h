// The view's text laid out on printed pages in the view's font: a line wider
// than the page is broken after its last blank that fits (or where it reaches
// the edge), and each page holds as many lines as fit. Pages are found a few
// at a time, so a long text can be shown and printed from its first page on
// while the rest is still being counted.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <chrono>
#include <string_view>
#include <vector>

class QPainter;
class QPrinter;

class CPrintLayout {
public:
    // A text of view bytes on pages whose printable area is `area` (device
    // units, within a sheet of `paper`); font sizes are for `dpi`.
    CPrintLayout(std::string_view bytes, const QFont& font, const QRectF& paper, const QRectF& area,
                 double dpi);
    // The same for the sheet and resolution of a printer.
    CPrintLayout(std::string_view bytes, const QFont& font, const QPrinter& printer);

    // Finds more pages, for about `budget` at most; true once every page is known.
    bool LayOutMore(std::chrono::steady_clock::duration budget);
    // Finds pages up to and including `page` (0-based) or the last one.
    void LayOutUpTo(int page);
    bool IsComplete() const { return m_complete; }
    // Pages known so far (all of them once complete); at least one.
    int PageCount() const { return static_cast<int>(m_pageStarts.size()); }
    int LinesPerPage() const { return m_linesPerPage; }

    const QRectF& Paper() const { return m_paper; }
    const QRectF& Area() const { return m_area; }
    // Draws a known page with the painter in device units, origin at the
    // printable area's top left.
    void DrawPage(QPainter& painter, int page) const;
    // The lines of a known page as they are printed (for tests and checks).
    std::vector<QString> PageLines(int page) const;

private:
    void PlaceLine();
    // Where the line that starts at `pos` is broken: the end of what it shows,
    // and where the next line starts.
    std::pair<qsizetype, qsizetype> BreakLine(qsizetype pos) const;
    qreal Advance(char16_t c, qreal x) const;
    // Bytes or names that show as a box (control bytes, bytes that are no
    // character): their name, else empty.
    static QString BoxName(char16_t c);
    qreal BoxWidth(char16_t c) const;
    void Init(const QFont& font, double dpi);

    QString m_text;
    QFont m_font, m_boxFont;
    QRectF m_paper, m_area;
    qreal m_lineHeight = 1, m_ascent = 0, m_asciiMax = 0, m_tabWidth = 1;
    int m_linesPerPage = 1;
    mutable std::vector<float> m_advance;  // per UTF-16 unit, < 0 until measured
    std::vector<qsizetype> m_pageStarts;
    qsizetype m_pos = 0;    // start of the next line to place
    int m_linesPlaced = 0;  // on the last page so far
    bool m_complete = false;
};
