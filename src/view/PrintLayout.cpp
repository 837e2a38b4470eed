#include "view/PrintLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

#include "ui/ViewText.h"

namespace {
constexpr char16_t kTab = kControlSymbolBase + u'\t';
constexpr int kCharsInTab = 8;

bool IsLineEnd(char16_t c) {
    return c == u'\r' || c == u'\n';
}
// Printable ASCII: its width is bounded by the widest such character.
bool IsPlainAscii(char16_t c) {
    return c >= 0x20 && c < 0x7F;
}
// Chinese, Japanese and Korean text may be broken between any two characters.
bool IsIdeographic(char16_t c) {
    return c >= 0x2E80 && c < 0xD800;
}
// Control bytes and bytes that are no character show as a box with a name.
bool IsBox(char16_t c) {
    return (c >= kControlSymbolBase && c < kControlSymbolBase + 32 && c != kTab) ||
           c == kDeleteSymbol || (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF);
}
}  // namespace

CPrintLayout::CPrintLayout(std::string_view bytes, const QFont& font, const QRectF& paper,
                           const QRectF& area, double dpi)
    : m_text(DecodeViewText(bytes)), m_paper(paper), m_area(area) {
    Init(font, dpi);
}

CPrintLayout::CPrintLayout(std::string_view bytes, const QFont& font, const QPrinter& printer)
    : m_text(DecodeViewText(bytes)),
      m_paper(printer.paperRect(QPrinter::DevicePixel)),
      m_area(printer.pageRect(QPrinter::DevicePixel)) {
    Init(font, printer.resolution());
}

void CPrintLayout::Init(const QFont& font, double dpi) {
    // Sized in the page's own pixels, so that the same layout is drawn on the
    // printer and, scaled down, in the preview.
    m_font = font;
    const double pixels =
        font.pointSizeF() > 0 ? font.pointSizeF() * dpi / 72.0 : font.pixelSize() * dpi / 96.0;
    m_font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    m_font.setHintingPreference(QFont::PreferNoHinting);
    m_boxFont = m_font;
    m_boxFont.setPixelSize(std::max(1, m_font.pixelSize() * 3 / 4));
    const QFontMetricsF metrics(m_font);
    m_lineHeight = std::max<qreal>(1, metrics.lineSpacing());
    m_ascent = metrics.ascent();
    m_asciiMax = 1;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        m_asciiMax = std::max(m_asciiMax, metrics.horizontalAdvance(QChar(c)));
    m_tabWidth = std::max<qreal>(1, kCharsInTab * metrics.horizontalAdvance(QChar(u' ')));
    m_linesPerPage = std::max(1, static_cast<int>(m_area.height() / m_lineHeight));
    m_advance.assign(0x10000, -1.0F);
    m_pageStarts.push_back(0);
    m_complete = m_text.isEmpty();
}

QString CPrintLayout::BoxName(char16_t c) {
    static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (c >= kControlSymbolBase && c < kControlSymbolBase + 32)
        return QString::fromLatin1(kNames[c - kControlSymbolBase]);
    if (c == kDeleteSymbol) return QStringLiteral("DEL");
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF)
        return QString::asprintf("x%02X", static_cast<unsigned>(c - kEscapeBase));
    return {};
}

qreal CPrintLayout::BoxWidth(char16_t c) const {
    return QFontMetricsF(m_boxFont).horizontalAdvance(BoxName(c)) + m_font.pixelSize() / 2.0;
}

qreal CPrintLayout::Advance(char16_t c, qreal x) const {
    if (c == kTab) return (std::floor(x / m_tabWidth) + 1) * m_tabWidth - x;
    float& advance = m_advance[c];
    if (advance < 0) {
        advance = static_cast<float>(IsBox(c) ? BoxWidth(c)
                                              : QFontMetricsF(m_font).horizontalAdvance(QChar(c)));
    }
    return advance;
}

std::pair<qsizetype, qsizetype> CPrintLayout::BreakLine(qsizetype pos) const {
    const auto* s = reinterpret_cast<const char16_t*>(m_text.constData());
    const qsizetype n = m_text.size();
    const auto next = [&](qsizetype end) -> std::pair<qsizetype, qsizetype> {
        if (end >= n) return {n, n};
        if (s[end] == u'\r' && end + 1 < n && s[end + 1] == u'\n') return {end, end + 2};
        return {end, end + 1};
    };
    const qreal width = m_area.width();
    // Most lines are short plain text that fits without measuring; no more
    // is looked at than could fit, however long the line.
    const qsizetype fits = std::min(n, pos + static_cast<qsizetype>(width / m_asciiMax));
    qsizetype end = pos;
    while (end < fits && IsPlainAscii(s[end])) ++end;
    if (end == n || IsLineEnd(s[end])) return next(end);
    qreal x = 0;
    qsizetype breakAt = -1;  // where the line may end at the latest so far
    for (qsizetype i = pos; i < n; ++i) {
        const char16_t c = s[i];
        if (IsLineEnd(c)) return next(i);
        if (IsIdeographic(c) && i > pos) breakAt = i;
        const qreal advance = Advance(c, x);
        if (x + advance > width && i > pos) {
            // After the last blank or before the last ideograph, else at the edge.
            const qsizetype at = breakAt > pos ? breakAt : i;
            return {at, at};
        }
        x += advance;
        if (c == u' ' || c == kTab || IsIdeographic(c)) breakAt = i + 1;
    }
    return {n, n};
}

void CPrintLayout::PlaceLine() {
    if (m_linesPlaced == m_linesPerPage) {
        m_pageStarts.push_back(m_pos);
        m_linesPlaced = 0;
    }
    m_pos = BreakLine(m_pos).second;
    ++m_linesPlaced;
    if (m_pos >= m_text.size()) m_complete = true;
}

bool CPrintLayout::LayOutMore(std::chrono::steady_clock::duration budget) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    for (int placed = 1; !m_complete; ++placed) {
        PlaceLine();
        if (placed % 256 == 0 && std::chrono::steady_clock::now() >= deadline) break;
    }
    return m_complete;
}

void CPrintLayout::LayOutUpTo(int page) {
    while (!m_complete && PageCount() <= page) PlaceLine();
}

std::vector<QString> CPrintLayout::PageLines(int page) const {
    std::vector<QString> lines;
    if (page < 0 || page >= PageCount()) return lines;
    qsizetype pos = m_pageStarts[static_cast<size_t>(page)];
    for (int line = 0; line < m_linesPerPage && pos < m_text.size(); ++line) {
        const auto [end, next] = BreakLine(pos);
        lines.push_back(m_text.mid(pos, end - pos));
        pos = next;
    }
    return lines;
}

void CPrintLayout::DrawPage(QPainter& painter, int page) const {
    if (page < 0 || page >= PageCount()) return;
    painter.save();
    // A box's frame as thick as a letter's stroke, whatever the scale.
    painter.setPen(QPen(Qt::black, std::max(1, m_font.pixelSize() / 14)));
    const auto* s = reinterpret_cast<const char16_t*>(m_text.constData());
    qsizetype pos = m_pageStarts[static_cast<size_t>(page)];
    qreal top = 0;
    for (int line = 0; line < m_linesPerPage && pos < m_text.size(); ++line) {
        const auto [end, next] = BreakLine(pos);
        // Runs of ordinary characters are drawn whole, each where the layout
        // put it; tabs move on, boxes are drawn one by one.
        qreal x = 0, runX = 0;
        qsizetype runStart = pos;
        const auto flush = [&](qsizetype upTo) {
            if (upTo > runStart) {
                painter.setFont(m_font);
                painter.drawText(QPointF(runX, top + m_ascent),
                                 m_text.mid(runStart, upTo - runStart));
            }
        };
        for (qsizetype i = pos; i < end; ++i) {
            const char16_t c = s[i];
            const qreal advance = Advance(c, x);
            if (c == kTab || IsBox(c)) {
                flush(i);
                if (c != kTab) {
                    const QRectF box(x + 1, top + m_lineHeight * 0.1, advance - 2,
                                     m_lineHeight * 0.8);
                    painter.setFont(m_boxFont);
                    painter.drawRoundedRect(box, box.height() / 5, box.height() / 5);
                    painter.drawText(box, Qt::AlignCenter, BoxName(c));
                }
                runStart = i + 1;
                runX = x + advance;
            }
            x += advance;
        }
        flush(end);
        pos = next;
        top += m_lineHeight;
    }
    painter.restore();
}
