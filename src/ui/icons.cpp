#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace corvane {
namespace {

const QColor kInk(0x2c, 0x3e, 0x50);

// Renders `draw` (which paints on a 24 x 24 canvas) at the usual icon sizes.
QIcon Render(const std::function<void(QPainter&)>& draw, int canvas = 24) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / double(canvas), size / double(canvas));
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPainterPath Triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

void DrawGlyph(QPainter& p, Glyph glyph) {
    switch (glyph) {
        case Glyph::Play: p.drawPath(Triangle({7, 4}, {20, 12}, {7, 20})); break;
        case Glyph::Pause:
            p.drawRoundedRect(QRectF(6, 5, 4.5, 14), 1, 1);
            p.drawRoundedRect(QRectF(13.5, 5, 4.5, 14), 1, 1);
            break;
        case Glyph::Stop: p.drawRoundedRect(QRectF(6, 6, 12, 12), 1.5, 1.5); break;
        case Glyph::Previous:
            p.drawRect(QRectF(5, 6, 2.5, 12));
            p.drawPath(Triangle({19, 6}, {8.5, 12}, {19, 18}));
            break;
        case Glyph::Next:
            p.drawRect(QRectF(16.5, 6, 2.5, 12));
            p.drawPath(Triangle({5, 6}, {15.5, 12}, {5, 18}));
            break;
        case Glyph::Capture: {  // a camera body with its lens
            QPainterPath body;
            body.setFillRule(Qt::WindingFill);
            body.addRoundedRect(QRectF(3, 8, 18, 12), 2, 2);
            body.addRect(QRectF(8, 5.5, 8, 3));
            QPainterPath lens;
            lens.addEllipse(QPointF(12, 14), 3.8, 3.8);
            p.drawPath(body.subtracted(lens));
            p.drawEllipse(QPointF(12, 14), 2, 2);
            break;
        }
        case Glyph::FullScreen: {  // four corners pointing outwards
            QPen pen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            for (QPointF c : {QPointF(5, 5), QPointF(19, 5), QPointF(19, 19), QPointF(5, 19)}) {
                const double dx = c.x() < 12 ? 5 : -5, dy = c.y() < 12 ? 5 : -5;
                QPainterPath corner(QPointF(c.x() + dx, c.y()));
                corner.lineTo(c);
                corner.lineTo(QPointF(c.x(), c.y() + dy));
                p.drawPath(corner);
            }
            break;
        }
    }
}

}  // namespace

QIcon PlayerIcon(Glyph glyph) {
    return Render([glyph](QPainter& p) { DrawGlyph(p, glyph); });
}

QIcon ApplicationIcon() {
    return Render(
        [](QPainter& p) {
            p.setBrush(QColor(0x1d, 0x2b, 0x3a));
            p.drawRoundedRect(QRectF(8, 20, 112, 88), 14, 14);
            p.setBrush(QColor(0x3c, 0x6e, 0x9f));
            for (QPointF at : {QPointF(18, 30), QPointF(66, 30), QPointF(18, 66), QPointF(66, 66)}) {
                p.drawRoundedRect(QRectF(at, QSizeF(44, 32)), 4, 4);
            }
            p.setBrush(QColor(0xf2, 0xf2, 0xf2));
            p.drawEllipse(QPointF(64, 64), 22, 22);
            p.setBrush(QColor(0xd9, 0x34, 0x2b));
            p.drawPath(Triangle({57, 52}, {77, 64}, {57, 76}));
        },
        128);
}

}  // namespace corvane
