// The plan itself: north up, one scale for both axes; the wheel zooms about
// the pointer, dragging pans, a click chooses the point under the pointer.
// The points are drawn into a picture kept until the view, the data or the
// look changes; the chosen and hovered points are marked above it.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "convert/PlanModel.h"
#include "ui/PlanPainter.h"

class CPlanCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr double kPickPixels = 8;  // how near the pointer a point is picked
    static constexpr double kMargin = 24;     // around the points when all are shown
    // Labels laid out in one paint; more follow in the next ones.
    static constexpr size_t kNewLabelsPerPaint = 300;

    explicit CPlanCanvas(QWidget* parent = nullptr);

    // New data. The view stays where the user put it unless it shows
    // everything (then it shows everything again).
    void SetScene(std::shared_ptr<CPlanScene> scene);
    const CPlanTransform& Transform() const { return m_transform; }
    void SetTransform(const CPlanTransform& t);
    // 全图: every point in sight, and kept so as the data grows.
    void FitAll();
    bool ShowsAll() const { return m_showsAll; }
    // The ground in sight.
    CPlanBounds Shown() const;

    const CPlanLook& Look() const { return m_look; }
    void SetLook(const CPlanLook& look);

    size_t Selected() const { return m_selected; }
    // Marks a point (npos: none); with reveal, pans to it when out of sight.
    void SetSelected(size_t point, bool reveal = false);
    // The point within reach of a position on the canvas, or npos.
    size_t PointAt(QPointF pos) const;
    // What hovering over pos shows: name, code, E, N, Z; empty off points.
    QString ToolTipAt(QPointF pos) const;

    // The points in sight in the last paint.
    size_t LastInSight() const { return m_lastInSight; }

signals:
    void PointClicked(size_t point);
    // Ground coordinates under the pointer as the status bar shows them;
    // empty when the pointer left.
    void PointerText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Invalidate();
    void RenderLayer();
    void SetHovered(size_t point);
    QString PointerCoordinates(QPointF pos) const;

    std::shared_ptr<CPlanScene> m_scene;
    CPlanTransform m_transform;
    bool m_showsAll = true;
    CPlanLook m_look;
    QImage m_layer;
    bool m_layerValid = false;
    size_t m_selected = CPlanModel::npos;
    size_t m_hovered = CPlanModel::npos;
    size_t m_lastInSight = 0;
    // Dragging: where the button went down and the view then.
    bool m_pressed = false;
    bool m_dragged = false;
    QPointF m_pressPos;
    CPlanTransform m_pressTransform;
};
