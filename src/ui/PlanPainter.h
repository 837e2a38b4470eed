// Drawing a plan: the points coloured by code, labels where they fit, the
// marks of flagged and chosen points, north arrow, scale bar and the sheet
// that exports and prints carry. The screen draws points as copies of one
// small picture per colour (fast); files get one vector shape per point.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QStaticText>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "convert/PlanModel.h"

class QPainter;

struct CPlanLook {
    bool names = true, codes = false, heights = false;
    double radius = 3;    // of a point, pixels of the device
    bool sprites = true;  // false: vector shapes (files, paper)
    QFont font;
};

class CPlanScene {
public:
    // Codes beyond the first kNamedColours - 1 share the last colour.
    static constexpr size_t kNamedColours = 12;
    // Past this many points in sight, names would only cover each other.
    static constexpr size_t kMaxLabelled = 4000;

    explicit CPlanScene(std::shared_ptr<const CPlanModel> model);

    const CPlanModel& Model() const { return *m_model; }
    static QColor Colour(size_t group);
    size_t GroupCount() const { return m_groups.size(); }
    size_t GroupSize(size_t group) const { return m_groups[group].size(); }
    // The legend's text of a group: its code, or the rest of the codes.
    QString GroupText(size_t group) const;

    QString Name(size_t point) const;
    QString Code(size_t point) const;
    // What a label says with the look's parts.
    QString LabelText(size_t point, const CPlanLook& look) const;

    // Points in sight (clip, device pixels) with their code colours; flagged
    // ones get a red ring. Returns how many were in sight.
    size_t PaintPoints(QPainter& painter, const CPlanTransform& t, const CPlanLook& look,
                       const QRectF& clip);
    // The same into a picture of the screen (premultiplied ARGB, the whole
    // picture in sight), each point's pixels blended here: a painter call per
    // point would cost ten times as much.
    size_t BlendPoints(QImage& image, const CPlanTransform& t, const CPlanLook& look);
    // Labels to the right of points, each only where it covers no other
    // label or point. At most newLabels are laid out anew; false when more
    // were wanted (the next paint adds them).
    bool PaintLabels(QPainter& painter, const CPlanTransform& t, const CPlanLook& look,
                     const QRectF& clip, size_t newLabels = SIZE_MAX);
    // The labels already laid out for the same points of an older scene (the
    // same text grown, as in a download).
    void TakeLabelsFrom(CPlanScene& older);
    // A ring around one point (the chosen or the hovered one).
    void PaintMark(QPainter& painter, const CPlanTransform& t, size_t point, const QColor& colour,
                   double radius) const;

private:
    // The pixels of one sprite that are not transparent, as offsets from its
    // top left corner (in pixels of a picture row stride) and colours.
    struct CStamp {
        int side = 0;
        std::vector<int> dx, dy;
        std::vector<uint32_t> colour;  // premultiplied
    };
    const QPixmap& Sprite(size_t group, double radius, qreal ratio);
    const CStamp& Stamp(size_t group, double radius, qreal ratio);

    std::shared_ptr<const CPlanModel> m_model;
    std::vector<uint8_t> m_groupOf;
    std::vector<std::vector<uint32_t>> m_groups;
    // The placed points by place, with what drawing them needs side by side.
    std::vector<double> m_placeE, m_placeN;
    std::vector<uint8_t> m_placeGroup;
    std::vector<uint32_t> m_flagged;
    // Cached per look: the sprites of the last radius and pixel ratio, and
    // each label's text laid out once.
    std::vector<QPixmap> m_sprites;
    std::vector<CStamp> m_stamps;
    double m_spriteRadius = 0;
    qreal m_spriteRatio = 0;
    std::vector<std::unique_ptr<QStaticText>> m_labels;
    int m_labelsLook = -1;
    QFont m_labelsFont;
    // Scratch for one paint, kept to save allocations.
    std::vector<QPointF> m_inSight;
    std::vector<uint32_t> m_inSightIndex;
};

// A north arrow whose tip is at `tip`, `height` pixels tall.
void PaintNorthArrow(QPainter& painter, QPointF tip, double height);
// A scale bar standing on `leftBottom`, at most maxPixels long.
void PaintScaleBar(QPainter& painter, const CPlanTransform& t, QPointF leftBottom,
                   double maxPixels);

// A sheet for a file or the printer: a heading line, the plan of `shown`
// (ground coordinates of what the screen shows) fitted into the rest of the
// page, north arrow, scale bar, legend; with dpi > 0 the paper scale too.
void PaintPlanSheet(QPainter& painter, const QRectF& page, CPlanScene& scene,
                    const CPlanBounds& shown, const CPlanLook& look, const QString& heading,
                    double dpi);
