#include "ui/PlanPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/PlanTexts.h"
#include "ui/ViewText.h"

namespace {
// Told apart on white paper and by most colour-blind eyes; the last is the
// grey of the codes past the named ones.
constexpr QRgb kPalette[CPlanScene::kNamedColours] = {
    0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b,
    0xe377c2, 0x17becf, 0xbcbd22, 0x393b79, 0x637939, 0x8c8c8c,
};
const QColor kFlagColour(220, 0, 0);
constexpr int kCell = 8;  // pixels of the grid that keeps labels apart

QString FromGbk(const std::string& bytes) {
    return DecodeViewText(bytes);
}

int LookKey(const CPlanLook& look) {
    return (look.names ? 1 : 0) | (look.codes ? 2 : 0) | (look.heights ? 4 : 0);
}

// Cells of the label grid, for one paint.
class COccupancy {
public:
    COccupancy(const QRectF& clip)
        : m_x0(clip.left()),
          m_y0(clip.top()),
          m_w(std::max(1, static_cast<int>(clip.width()) / kCell + 1)),
          m_h(std::max(1, static_cast<int>(clip.height()) / kCell + 1)),
          m_cells(static_cast<size_t>(m_w) * static_cast<size_t>(m_h), false) {}
    void Mark(QPointF p) {
        const int x = Col(p.x()), y = Row(p.y());
        if (x >= 0 && y >= 0 && x < m_w && y < m_h) m_cells[Index(x, y)] = true;
    }
    bool Free(const QRectF& r) const {
        const int x0 = Col(r.left()), x1 = Col(r.right()), y0 = Row(r.top()), y1 = Row(r.bottom());
        if (x0 < 0 || y0 < 0 || x1 >= m_w || y1 >= m_h) return false;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (m_cells[Index(x, y)]) return false;
        return true;
    }
    // Takes the cells of r when all of them are free and inside.
    bool Take(const QRectF& r) {
        const int x0 = Col(r.left()), x1 = Col(r.right()), y0 = Row(r.top()), y1 = Row(r.bottom());
        if (x0 < 0 || y0 < 0 || x1 >= m_w || y1 >= m_h) return false;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (m_cells[Index(x, y)]) return false;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) m_cells[Index(x, y)] = true;
        return true;
    }

private:
    int Col(double x) const { return static_cast<int>(std::floor((x - m_x0) / kCell)); }
    int Row(double y) const { return static_cast<int>(std::floor((y - m_y0) / kCell)); }
    size_t Index(int x, int y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(m_w) + static_cast<size_t>(x);
    }
    double m_x0, m_y0;
    int m_w, m_h;
    std::vector<bool> m_cells;
};
}  // namespace

CPlanScene::CPlanScene(std::shared_ptr<const CPlanModel> model) : m_model(std::move(model)) {
    const CPlanModel& m = *m_model;
    const size_t groups = std::min(m.Codes().size(), kNamedColours);
    m_groups.resize(groups);
    m_groupOf.resize(m.Size());
    for (size_t i = 0; i < m.Size(); ++i) {
        const size_t g = std::min<size_t>(m.CodeOf(i), kNamedColours - 1);
        m_groupOf[i] = static_cast<uint8_t>(g);
        if (!(m.Flags(i) & kPlanUnplaced)) m_groups[g].push_back(static_cast<uint32_t>(i));
        if (m.Flags(i) & (kPlanZero | kPlanDuplicate))
            m_flagged.push_back(static_cast<uint32_t>(i));
    }
    m_labels.resize(m.Size());
    const std::vector<uint32_t> order = m.PointsByPlace();
    m_placeE.reserve(order.size());
    m_placeN.reserve(order.size());
    m_placeGroup.reserve(order.size());
    for (uint32_t i : order) {
        m_placeE.push_back(m.Points()[i].e);
        m_placeN.push_back(m.Points()[i].n);
        m_placeGroup.push_back(m_groupOf[i]);
    }
}

QColor CPlanScene::Colour(size_t group) {
    return QColor(kPalette[std::min(group, kNamedColours - 1)]);
}

QString CPlanScene::GroupText(size_t group) const {
    const auto& codes = m_model->Codes();
    if (group == kNamedColours - 1 && codes.size() > kNamedColours)
        return QString::fromUtf8(plantext::kOtherCodes).arg(codes.size() - group);
    const std::string& code = codes[group].code;
    return code.empty() ? QString::fromUtf8(plantext::kNoCode) : FromGbk(code);
}

QString CPlanScene::Name(size_t point) const {
    return FromGbk(m_model->Points()[point].name);
}

QString CPlanScene::Code(size_t point) const {
    return FromGbk(m_model->Points()[point].code);
}

QString CPlanScene::LabelText(size_t point, const CPlanLook& look) const {
    const CSurveyPoint& p = m_model->Points()[point];
    QStringList parts;
    if (look.names && !p.name.empty()) parts << Name(point);
    if (look.codes && !p.code.empty()) parts << Code(point);
    if (look.heights) parts << QString::number(p.z, 'f', 3);
    return parts.join(' ');
}

const QPixmap& CPlanScene::Sprite(size_t group, double radius, qreal ratio) {
    if (radius != m_spriteRadius || ratio != m_spriteRatio) {
        m_sprites.clear();
        m_stamps.clear();
        m_spriteRadius = radius;
        m_spriteRatio = ratio;
    }
    if (m_sprites.empty()) {
        // One disc per colour and, last, the red ring of flagged points; each
        // as small as it can be, since every pixel is blended per point.
        for (size_t g = 0; g <= kNamedColours; ++g) {
            const bool ring = g == kNamedColours;
            const double reach = ring ? radius + 4 : radius + 1;
            const int side = static_cast<int>(std::ceil(2 * reach * ratio));
            QPixmap pixmap(side, side);
            pixmap.setDevicePixelRatio(ratio);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            const QPointF c(side / ratio / 2, side / ratio / 2);
            if (!ring) {
                const QColor colour = Colour(g);
                p.setPen(QPen(colour.darker(150), 1));
                p.setBrush(colour);
                p.drawEllipse(c, radius, radius);
            } else {
                p.setPen(QPen(kFlagColour, 1.5));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(c, radius + 2.5, radius + 2.5);
            }
            m_sprites.push_back(pixmap);
        }
    }
    return m_sprites[group];
}

const CPlanScene::CStamp& CPlanScene::Stamp(size_t group, double radius, qreal ratio) {
    const QPixmap& sprite = Sprite(group, radius, ratio);  // clears the stamps when stale
    if (m_stamps.empty()) {
        for (size_t g = 0; g <= kNamedColours; ++g) {
            const QImage image =
                m_sprites[g].toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            CStamp stamp;
            stamp.side = image.width();
            for (int y = 0; y < image.height(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    if (qAlpha(row[x]) == 0) continue;
                    stamp.dx.push_back(x);
                    stamp.dy.push_back(y);
                    stamp.colour.push_back(row[x]);
                }
            }
            m_stamps.push_back(std::move(stamp));
        }
    }
    (void)sprite;
    return m_stamps[group];
}

namespace {
// Source over destination, both premultiplied, all four channels at once.
inline uint32_t Over(uint32_t s, uint32_t d) {
    const uint32_t a = s >> 24;
    if (a == 255) return s;
    const uint32_t ia = 255 - a;
    uint32_t rb = (d & 0x00ff00ff) * ia;
    uint32_t ag = ((d >> 8) & 0x00ff00ff) * ia;
    rb = ((rb + ((rb >> 8) & 0x00ff00ff) + 0x00800080) >> 8) & 0x00ff00ff;
    ag = (ag + ((ag >> 8) & 0x00ff00ff) + 0x00800080) & 0xff00ff00;
    return s + (rb | ag);
}

// Stamps a sprite centred on a position; the part outside is left off.
struct CStamper {
    uint32_t* bits;
    int w, h;
    qsizetype stride;
    qreal ratio;

    void operator()(double x, double y, const std::vector<qsizetype>& offset,
                    const std::vector<int>& dx, const std::vector<int>& dy,
                    const std::vector<uint32_t>& colour, int side) const {
        const double half = side / 2.0;
        const int x0 = static_cast<int>(std::floor(x * ratio - half + 0.5));
        const int y0 = static_cast<int>(std::floor(y * ratio - half + 0.5));
        if (x0 >= 0 && y0 >= 0 && x0 + side <= w && y0 + side <= h) {
            uint32_t* base = bits + y0 * stride + x0;
            for (size_t k = 0; k < offset.size(); ++k)
                base[offset[k]] = Over(colour[k], base[offset[k]]);
            return;
        }
        for (size_t k = 0; k < dx.size(); ++k) {
            const int px = x0 + dx[k], py = y0 + dy[k];
            if (px < 0 || py < 0 || px >= w || py >= h) continue;
            uint32_t& d = bits[py * stride + px];
            d = Over(colour[k], d);
        }
    }
};
}  // namespace

size_t CPlanScene::BlendPoints(QImage& image, const CPlanTransform& t, const CPlanLook& look) {
    const CPlanModel& m = *m_model;
    const qreal ratio = image.devicePixelRatio();
    const double r = look.radius;
    const double left = -r - 4, top = -r - 4;
    const double right = image.width() / ratio + r + 4, bottom = image.height() / ratio + r + 4;
    const CStamper stamp{reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                         image.bytesPerLine() / 4, ratio};
    std::vector<std::vector<qsizetype>> offsets(kNamedColours + 1);
    for (size_t g = 0; g <= kNamedColours; ++g) {
        const CStamp& s = Stamp(g, r, ratio);
        for (size_t k = 0; k < s.dx.size(); ++k)
            offsets[g].push_back(s.dy[k] * stamp.stride + s.dx[k]);
    }
    // By place, not by code: the picture is then written a band at a time,
    // which saves more than any other step.
    size_t inSight = 0;
    for (size_t k = 0; k < m_placeE.size(); ++k) {
        const double x = t.X(m_placeE[k]), y = t.Y(m_placeN[k]);
        if (x < left || y < top || x > right || y > bottom) continue;
        ++inSight;
        const size_t g = m_placeGroup[k];
        const CStamp& s = m_stamps[g];
        stamp(x, y, offsets[g], s.dx, s.dy, s.colour, s.side);
    }
    const CStamp& ring = m_stamps[kNamedColours];
    for (uint32_t i : m_flagged) {
        if (m.Flags(i) & kPlanUnplaced) continue;
        const double x = t.X(m.Points()[i].e), y = t.Y(m.Points()[i].n);
        if (x < left || y < top || x > right || y > bottom) continue;
        stamp(x, y, offsets[kNamedColours], ring.dx, ring.dy, ring.colour, ring.side);
    }
    return inSight;
}

size_t CPlanScene::PaintPoints(QPainter& painter, const CPlanTransform& t, const CPlanLook& look,
                               const QRectF& clip) {
    const CPlanModel& m = *m_model;
    const auto& points = m.Points();
    const double r = look.radius;
    const QRectF reach = clip.adjusted(-r - 4, -r - 4, r + 4, r + 4);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    size_t inSight = 0;
    std::vector<QPainter::PixmapFragment> fragments;
    painter.save();
    if (!look.sprites) {
        painter.setRenderHint(QPainter::Antialiasing);
    }
    // Drawn group by group, the largest first, so the rarer codes lie on top.
    for (size_t g = 0; g < m_groups.size(); ++g) {
        fragments.clear();
        const QColor colour = Colour(g);
        if (!look.sprites) {
            painter.setPen(QPen(colour.darker(150), std::max(0.5, r / 4)));
            painter.setBrush(colour);
        }
        for (uint32_t i : m_groups[g]) {
            const double x = t.X(points[i].e), y = t.Y(points[i].n);
            if (!reach.contains(x, y)) continue;
            ++inSight;
            if (look.sprites)
                fragments.push_back(QPainter::PixmapFragment::create(QPointF(x, y), QRectF()));
            else
                painter.drawEllipse(QPointF(x, y), r, r);
        }
        if (look.sprites && !fragments.empty()) {
            const QPixmap& sprite = Sprite(g, r, ratio);
            const QRectF source(0, 0, sprite.width(), sprite.height());
            for (auto& f : fragments) {
                f.sourceLeft = source.left();
                f.sourceTop = source.top();
                f.width = source.width();
                f.height = source.height();
            }
            painter.drawPixmapFragments(fragments.data(), static_cast<int>(fragments.size()),
                                        sprite);
        }
    }
    // Rings around the usual mistakes, above every point.
    fragments.clear();
    if (!look.sprites) {
        painter.setPen(QPen(kFlagColour, std::max(0.75, r / 2)));
        painter.setBrush(Qt::NoBrush);
    }
    for (uint32_t i : m_flagged) {
        if (m.Flags(i) & kPlanUnplaced) continue;
        const double x = t.X(points[i].e), y = t.Y(points[i].n);
        if (!reach.contains(x, y)) continue;
        if (look.sprites)
            fragments.push_back(QPainter::PixmapFragment::create(QPointF(x, y), QRectF()));
        else
            painter.drawEllipse(QPointF(x, y), r * 1.8, r * 1.8);
    }
    if (look.sprites && !fragments.empty()) {
        const QPixmap& ring = Sprite(kNamedColours, r, ratio);
        for (auto& f : fragments) {
            f.width = ring.width();
            f.height = ring.height();
        }
        painter.drawPixmapFragments(fragments.data(), static_cast<int>(fragments.size()), ring);
    }
    painter.restore();
    return inSight;
}

bool CPlanScene::PaintLabels(QPainter& painter, const CPlanTransform& t, const CPlanLook& look,
                             const QRectF& clip, size_t newLabels) {
    if (!look.names && !look.codes && !look.heights) return true;
    const CPlanModel& m = *m_model;
    const auto& points = m.Points();
    m_inSight.clear();
    m_inSightIndex.clear();
    for (size_t i = 0; i < points.size(); ++i) {
        if (m.Flags(i) & kPlanUnplaced) continue;
        const QPointF p(t.X(points[i].e), t.Y(points[i].n));
        if (!clip.contains(p)) continue;
        if (m_inSight.size() == kMaxLabelled) return true;  // far too many to read
        m_inSight.push_back(p);
        m_inSightIndex.push_back(static_cast<uint32_t>(i));
    }
    if (LookKey(look) != m_labelsLook || look.font != m_labelsFont) {
        for (auto& label : m_labels) label.reset();
        m_labelsLook = LookKey(look);
        m_labelsFont = look.font;
    }
    COccupancy taken(clip);
    for (const QPointF& p : m_inSight) taken.Mark(p);
    painter.save();
    painter.setFont(look.font);
    painter.setPen(QColor(40, 40, 40));
    const QFontMetricsF metrics(look.font, painter.device());
    const double gap = look.radius + 2;
    bool complete = true;
    for (size_t k = 0; k < m_inSight.size(); ++k) {
        const uint32_t i = m_inSightIndex[k];
        const QPointF at = m_inSight[k];
        std::unique_ptr<QStaticText>& label = m_labels[i];
        if (!label) {
            // Laying a label out costs more than anything else here: not for
            // a point whose first letter has no room, and only so many a paint.
            if (!taken.Free(QRectF(at.x() + gap, at.y() - metrics.height() / 2,
                                   metrics.averageCharWidth(), metrics.height())))
                continue;
            if (newLabels == 0) {
                complete = false;
                continue;
            }
            --newLabels;
            label = std::make_unique<QStaticText>(LabelText(i, look));
            label->setTextFormat(Qt::PlainText);
            label->prepare(QTransform(), look.font);
        }
        if (label->text().isEmpty()) continue;
        const QSizeF size = label->size();
        const QRectF box(at.x() + gap, at.y() - size.height() / 2, size.width(), size.height());
        if (!taken.Take(box)) continue;
        painter.drawStaticText(box.topLeft(), *label);
    }
    painter.restore();
    return complete;
}

void CPlanScene::TakeLabelsFrom(CPlanScene& older) {
    if (older.m_labelsLook < 0) return;
    const auto& now = m_model->Points();
    const auto& before = older.m_model->Points();
    const size_t n = std::min(now.size(), before.size());
    for (size_t i = 0; i < n; ++i) {
        if (!older.m_labels[i]) continue;
        const CSurveyPoint &a = now[i], &b = before[i];
        if (a.name == b.name && a.code == b.code && a.z == b.z)
            m_labels[i] = std::move(older.m_labels[i]);
    }
    m_labelsLook = older.m_labelsLook;
    m_labelsFont = older.m_labelsFont;
}

void CPlanScene::PaintMark(QPainter& painter, const CPlanTransform& t, size_t point,
                           const QColor& colour, double radius) const {
    if (point >= m_model->Size() || (m_model->Flags(point) & kPlanUnplaced)) return;
    const CSurveyPoint& p = m_model->Points()[point];
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(t.X(p.e), t.Y(p.n)), radius, radius);
    painter.restore();
}

void PaintNorthArrow(QPainter& painter, QPointF tip, double height) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = height * 0.4;
    QPainterPath left, right;
    const QPointF base(tip.x(), tip.y() + height * 0.75);
    left.moveTo(tip);
    left.lineTo(tip.x() - w / 2, tip.y() + height);
    left.lineTo(base);
    left.closeSubpath();
    right.moveTo(tip);
    right.lineTo(tip.x() + w / 2, tip.y() + height);
    right.lineTo(base);
    right.closeSubpath();
    painter.setPen(QPen(Qt::black, std::max(0.5, height / 40)));
    painter.setBrush(Qt::black);
    painter.drawPath(left);
    painter.setBrush(Qt::white);
    painter.drawPath(right);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(6, static_cast<int>(height * 0.45)));
    painter.setFont(font);
    const QRectF letter(tip.x() - height, tip.y() - height * 0.55, 2 * height, height * 0.5);
    painter.drawText(letter, Qt::AlignHCenter | Qt::AlignBottom,
                     QString::fromUtf8(plantext::kNorth));
    painter.restore();
}

void PaintScaleBar(QPainter& painter, const CPlanTransform& t, QPointF leftBottom,
                   double maxPixels) {
    const double metres = ScaleBarMetres(t.scale, maxPixels);
    if (!(metres > 0)) return;
    const double length = metres * t.scale;
    const QFontMetricsF fm(painter.font(), painter.device());
    const double h = std::max(3.0, fm.height() / 3);
    painter.save();
    const QRectF bar(leftBottom.x(), leftBottom.y() - h, length, h);
    painter.setPen(QPen(Qt::black, std::max(0.5, h / 6)));
    painter.setBrush(Qt::white);
    painter.drawRect(bar);
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(bar.left(), bar.top(), length / 2, h));
    painter.drawText(
        QRectF(bar.left(), bar.top() - fm.height() - 2, length + fm.height() * 6, fm.height()),
        Qt::AlignLeft | Qt::AlignBottom, QString::fromStdString(ScaleBarText(metres)));
    painter.restore();
}

void PaintPlanSheet(QPainter& painter, const QRectF& page, CPlanScene& scene,
                    const CPlanBounds& shown, const CPlanLook& look, const QString& heading,
                    double dpi) {
    painter.save();
    painter.fillRect(page, Qt::white);
    QFont font = look.font;
    const double unit = std::min(page.width(), page.height()) / 60;  // the sheet's text size
    font.setPixelSize(std::max(6, static_cast<int>(unit)));
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF fm(font, painter.device());
    const double line = fm.height();
    // Heading: the document and what was found, and on paper the scale.
    QString head = heading;
    const QRectF plan(page.left(), page.top() + line * 1.6, page.width(),
                      page.height() - line * 1.6);
    CPlanTransform t = FitPlan(shown, plan.width(), plan.height(), 0);
    if (!shown.valid) t = FitPlan(scene.Model().Bounds(), plan.width(), plan.height(), line);
    if (dpi > 0) {
        const std::string ratio = PaperScaleText(t.scale, dpi);
        if (!ratio.empty())
            head += "    " + QString::fromUtf8(plantext::kScale).arg(QString::fromStdString(ratio));
    }
    painter.drawText(QRectF(page.left(), page.top(), page.width(), line * 1.2),
                     Qt::AlignLeft | Qt::AlignVCenter, head);
    painter.setPen(QPen(Qt::black, std::max(0.5, unit / 12)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plan);

    painter.save();
    painter.setClipRect(plan);
    painter.translate(plan.topLeft());
    CPlanLook paper = look;
    paper.sprites = false;
    paper.radius = std::max(1.0, unit / 4);
    paper.font = font;
    paper.font.setPixelSize(std::max(5, static_cast<int>(unit * 0.8)));
    const QRectF local(0, 0, plan.width(), plan.height());
    scene.PaintPoints(painter, t, paper, local);
    scene.PaintLabels(painter, t, paper, local);
    painter.restore();

    PaintNorthArrow(painter, QPointF(plan.right() - unit * 3, plan.top() + unit * 2.5), unit * 3);
    PaintScaleBar(painter, t, QPointF(plan.left() + unit, plan.bottom() - unit), plan.width() / 4);

    // Legend in the top left corner of the plan, on white.
    const size_t groups = scene.GroupCount();
    if (groups > 0) {
        double width = 0;
        for (size_t g = 0; g < groups; ++g)
            width = std::max(width,
                             fm.horizontalAdvance(scene.GroupText(g) + QStringLiteral("  000000")));
        const QRectF box(plan.left() + unit / 2, plan.top() + unit / 2, width + line * 1.6,
                         line * (static_cast<double>(groups) + 0.4));
        painter.setPen(QPen(Qt::gray, std::max(0.5, unit / 16)));
        painter.setBrush(Qt::white);
        painter.drawRect(box);
        for (size_t g = 0; g < groups; ++g) {
            const double y = box.top() + line * (0.2 + static_cast<double>(g));
            painter.setPen(Qt::NoPen);
            painter.setBrush(CPlanScene::Colour(g));
            painter.drawEllipse(QPointF(box.left() + line * 0.6, y + line / 2), line / 4, line / 4);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(box.left() + line * 1.1, y, width, line),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             scene.GroupText(g) + "  " + QString::number(scene.GroupSize(g)));
        }
    }
    painter.restore();
}
