#include "app/AppIcons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/CommandIds.h"

namespace {
// The instrument on its tripod, scaled into the given box.
void DrawTotalStation(QPainter& p, const QRectF& box, const QColor& body, const QColor& legs) {
    const double w = box.width(), h = box.height();
    auto at = [&](double x, double y) { return QPointF(box.left() + x * w, box.top() + y * h); };
    p.setPen(QPen(legs, std::max(1.0, w / 24)));
    p.drawLine(at(0.5, 0.55), at(0.18, 1.0));
    p.drawLine(at(0.5, 0.55), at(0.82, 1.0));
    p.drawLine(at(0.5, 0.55), at(0.5, 1.0));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRect(QRectF(at(0.3, 0.45), at(0.7, 0.55)));    // base
    p.drawRect(QRectF(at(0.32, 0.12), at(0.42, 0.45)));  // standards
    p.drawRect(QRectF(at(0.58, 0.12), at(0.68, 0.45)));
    p.drawEllipse(QRectF(at(0.38, 0.08), at(0.62, 0.38)));  // telescope
    p.setBrush(QColor(190, 230, 255));
    p.drawEllipse(QRectF(at(0.45, 0.17), at(0.55, 0.29)));
}
}  // namespace

QIcon ToolbarIcon(unsigned id) {
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink(40, 40, 40), paper(255, 255, 255), blue(40, 90, 180), yellow(230, 190, 60);
    p.setPen(ink);
    switch (id) {
        case cmd::kFileNew:
            p.setBrush(paper);
            p.drawPolygon(QPolygon(
                {QPoint(3, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 14), QPoint(3, 14)}));
            p.drawLine(10, 0, 10, 3);
            p.drawLine(10, 3, 13, 3);
            break;
        case cmd::kFileOpen:
            p.setBrush(yellow);
            p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(5, 3), QPoint(6, 5), QPoint(14, 5),
                                    QPoint(14, 13), QPoint(1, 13)}));
            break;
        case cmd::kFileSave:
            p.setBrush(blue);
            p.drawRect(1, 1, 13, 12);
            p.setBrush(paper);
            p.drawRect(4, 1, 7, 5);
            p.drawRect(3, 9, 9, 4);
            break;
        case cmd::kEditCut:
            p.drawLine(4, 0, 10, 9);
            p.drawLine(11, 0, 5, 9);
            p.drawEllipse(2, 9, 4, 4);
            p.drawEllipse(9, 9, 4, 4);
            break;
        case cmd::kEditCopy:
            p.setBrush(paper);
            p.drawRect(1, 1, 8, 9);
            p.drawRect(6, 4, 8, 10);
            break;
        case cmd::kEditPaste:
            p.setBrush(yellow);
            p.drawRect(2, 2, 10, 12);
            p.setBrush(paper);
            p.drawRect(6, 5, 8, 9);
            p.setBrush(ink);
            p.drawRect(5, 0, 4, 2);
            break;
        case cmd::kFilePrint:
            p.setBrush(paper);
            p.drawRect(4, 0, 8, 5);
            p.setBrush(QColor(180, 180, 180));
            p.drawRect(1, 5, 14, 6);
            p.setBrush(paper);
            p.drawRect(4, 9, 8, 5);
            break;
        case cmd::kAppAbout: {
            p.setBrush(blue);
            p.drawEllipse(1, 0, 14, 14);
            QFont f;
            f.setPixelSize(11);
            f.setBold(true);
            p.setFont(f);
            p.setPen(paper);
            p.drawText(QRect(1, 0, 15, 15), Qt::AlignCenter, "?");
            break;
        }
        case cmd::kToolbarSpare1:
        case cmd::kToolbarSpare2: {
            p.setBrush(ink);
            const bool left = id == cmd::kToolbarSpare1;
            p.drawPolygon(left ? QPolygon({QPoint(11, 2), QPoint(4, 7), QPoint(11, 12)})
                               : QPolygon({QPoint(4, 2), QPoint(11, 7), QPoint(4, 12)}));
            break;
        }
        default:
            break;
    }
    return QIcon(pm);
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 160));
        p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        DrawTotalStation(p, QRectF(size * 0.15, size * 0.1, size * 0.7, size * 0.8),
                         QColor(250, 200, 40), QColor(235, 235, 235));
        icon.addPixmap(pm);
    }
    return icon;
}

QPixmap SplashPicture() {
    QPixmap pm(240, 180);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 180);
    sky.setColorAt(0, QColor(20, 70, 140));
    sky.setColorAt(1, QColor(120, 180, 230));
    p.fillRect(pm.rect(), sky);
    // Survey line from the instrument to a prism pole.
    p.setPen(QPen(QColor(255, 80, 60), 1, Qt::DashLine));
    p.drawLine(QPointF(62, 92), QPointF(200, 100));
    p.setPen(QPen(QColor(250, 250, 250), 2));
    p.drawLine(QPointF(200, 96), QPointF(200, 150));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QPointF(200, 96), 4, 4);
    DrawTotalStation(p, QRectF(30, 70, 64, 80), QColor(250, 200, 40), QColor(60, 60, 60));
    p.fillRect(QRect(0, 150, 240, 30), QColor(70, 120, 60));
    QFont title;
    title.setPixelSize(19);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 12, 240, 28), Qt::AlignCenter, QString::fromUtf8("恒钧全站仪传输软件"));
    QFont small;
    small.setPixelSize(12);
    p.setFont(small);
    p.drawText(QRect(0, 40, 240, 18), Qt::AlignCenter, QString::fromUtf8("3.0版"));
    p.drawText(QRect(0, 158, 236, 18), Qt::AlignRight | Qt::AlignVCenter, "QMX210  QMX610/710");
    return pm;
}
