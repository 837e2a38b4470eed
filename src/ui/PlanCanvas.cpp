#include "ui/PlanCanvas.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "ui/PlanTexts.h"

namespace {
constexpr double kWheelStep = 1.25;  // zoom per notch
constexpr double kDragPixels = 4;    // less than this between press and release is a click
const QColor kSelectedColour(0, 90, 255);
const QColor kHoveredColour(255, 140, 0);

// As many decimals as a pixel is worth, at most millimetres.
int Decimals(double scale) {
    return std::clamp(static_cast<int>(std::ceil(std::log10(std::max(scale, 1e-9)))), 0, 3);
}
}  // namespace

CPlanCanvas::CPlanCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName("PlanCanvas");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
    setCursor(Qt::CrossCursor);
    m_look.font = font();
    m_transform.width = width();
    m_transform.height = height();
}

void CPlanCanvas::Invalidate() {
    m_layerValid = false;
    update();
}

void CPlanCanvas::SetScene(std::shared_ptr<CPlanScene> scene) {
    const bool hadPoints = m_scene && m_scene->Model().Bounds().valid;
    m_scene = std::move(scene);
    m_selected = m_hovered = CPlanModel::npos;
    if (m_showsAll || !hadPoints) FitAll();
    Invalidate();
}

void CPlanCanvas::SetTransform(const CPlanTransform& t) {
    m_transform = t;
    m_transform.width = width();
    m_transform.height = height();
    m_showsAll = false;
    Invalidate();
}

void CPlanCanvas::FitAll() {
    const CPlanBounds bounds = m_scene ? m_scene->Model().Bounds() : CPlanBounds{};
    m_transform = FitPlan(bounds, width(), height(), kMargin);
    m_showsAll = true;
    Invalidate();
}

CPlanBounds CPlanCanvas::Shown() const {
    const CPlanTransform& t = m_transform;
    return {t.E(0), t.N(t.height), t.E(t.width), t.N(0), true};
}

void CPlanCanvas::SetLook(const CPlanLook& look) {
    m_look = look;
    Invalidate();
}

void CPlanCanvas::SetSelected(size_t point, bool reveal) {
    if (!m_scene || point >= m_scene->Model().Size()) point = CPlanModel::npos;
    if (reveal && point != CPlanModel::npos && !(m_scene->Model().Flags(point) & kPlanUnplaced)) {
        const CSurveyPoint& p = m_scene->Model().Points()[point];
        const double x = m_transform.X(p.e), y = m_transform.Y(p.n);
        if (x < kMargin || y < kMargin || x > width() - kMargin || y > height() - kMargin) {
            m_transform.centerE = p.e;
            m_transform.centerN = p.n;
            m_showsAll = false;
            m_layerValid = false;
        }
    }
    if (point == m_selected && m_layerValid) return;
    m_selected = point;
    update();
}

size_t CPlanCanvas::PointAt(QPointF pos) const {
    if (!m_scene) return CPlanModel::npos;
    return m_scene->Model().Nearest(m_transform.E(pos.x()), m_transform.N(pos.y()),
                                    kPickPixels / m_transform.scale);
}

QString CPlanCanvas::ToolTipAt(QPointF pos) const {
    const size_t i = PointAt(pos);
    if (i == CPlanModel::npos) return {};
    const CSurveyPoint& p = m_scene->Model().Points()[i];
    return QStringLiteral("%1 %2\n%3 %4\nE %5\nN %6\nZ %7")
        .arg(QString::fromUtf8(plantext::kName), m_scene->Name(i),
             QString::fromUtf8(plantext::kCode), m_scene->Code(i))
        .arg(p.e, 0, 'f', 3)
        .arg(p.n, 0, 'f', 3)
        .arg(p.z, 0, 'f', 3);
}

QString CPlanCanvas::PointerCoordinates(QPointF pos) const {
    const int d = Decimals(m_transform.scale);
    return QStringLiteral("E %1  N %2")
        .arg(m_transform.E(pos.x()), 0, 'f', d)
        .arg(m_transform.N(pos.y()), 0, 'f', d);
}

void CPlanCanvas::RenderLayer() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(std::max(1, static_cast<int>(width() * ratio)),
                       std::max(1, static_cast<int>(height() * ratio)));
    if (m_layer.size() != pixels) m_layer = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    m_layer.setDevicePixelRatio(ratio);
    m_layer.fill(Qt::white);
    const bool drawn = m_scene && m_scene->Model().Bounds().valid;
    m_lastInSight = drawn ? m_scene->BlendPoints(m_layer, m_transform, m_look) : 0;
    QPainter painter(&m_layer);
    const QRectF area(0, 0, width(), height());
    if (!drawn) {
        painter.setPen(Qt::darkGray);
        painter.drawText(area, Qt::AlignCenter, QString::fromUtf8(plantext::kNoCoordinates));
        m_layerValid = true;
        return;
    }
    if (!m_scene->PaintLabels(painter, m_transform, m_look, area, kNewLabelsPerPaint))
        QTimer::singleShot(0, this, [this] { Invalidate(); });
    PaintNorthArrow(painter, QPointF(width() - 24, 14), 30);
    PaintScaleBar(painter, m_transform, QPointF(12, height() - 12), width() / 4.0);
    m_layerValid = true;
}

void CPlanCanvas::paintEvent(QPaintEvent*) {
    if (!m_layerValid) RenderLayer();
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_layer);
    if (!m_scene) return;
    const double ring = m_look.radius + 5;
    if (m_hovered != m_selected)
        m_scene->PaintMark(painter, m_transform, m_hovered, kHoveredColour, ring);
    m_scene->PaintMark(painter, m_transform, m_selected, kSelectedColour, ring);
}

void CPlanCanvas::resizeEvent(QResizeEvent*) {
    m_transform.width = width();
    m_transform.height = height();
    if (m_showsAll) FitAll();
    Invalidate();
}

void CPlanCanvas::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    m_transform.ZoomAbout(event->position().x(), event->position().y(),
                          std::pow(kWheelStep, steps));
    m_showsAll = false;
    Invalidate();
    emit PointerText(PointerCoordinates(event->position()));
    event->accept();
}

void CPlanCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_pressed = true;
    m_dragged = false;
    m_pressPos = event->position();
    m_pressTransform = m_transform;
}

void CPlanCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    if (m_pressed) {
        const QPointF d = pos - m_pressPos;
        if (!m_dragged && std::hypot(d.x(), d.y()) < kDragPixels) return;
        if (!m_dragged) setCursor(Qt::ClosedHandCursor);
        m_dragged = true;
        m_transform = m_pressTransform;
        m_transform.centerE -= d.x() / m_transform.scale;
        m_transform.centerN += d.y() / m_transform.scale;
        m_showsAll = false;
        Invalidate();
    } else {
        SetHovered(PointAt(pos));
    }
    emit PointerText(PointerCoordinates(pos));
}

void CPlanCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) return;
    m_pressed = false;
    if (m_dragged) {
        setCursor(Qt::CrossCursor);
        return;
    }
    const size_t point = PointAt(event->position());
    if (point == CPlanModel::npos) return;
    SetSelected(point);
    emit PointClicked(point);
}

void CPlanCanvas::leaveEvent(QEvent*) {
    SetHovered(CPlanModel::npos);
    emit PointerText(QString());
}

bool CPlanCanvas::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void CPlanCanvas::SetHovered(size_t point) {
    if (point == m_hovered) return;
    m_hovered = point;
    update();
}
