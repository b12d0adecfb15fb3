#include "analysis/analysis_pictures.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace analysis {

namespace ui = platform::ui;

namespace {

const QColor kInk(45, 55, 72);
const QColor kMetal(200, 206, 214);
const QColor kAccent(33, 110, 210);

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QPen outline(double width) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

ui::Bitmap flatbed_printer_picture(int width, int height) {
    QImage image = blank(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = width;
    const double h = height;
    // The body with its two side towers, the bridge across, the carriage on it and the table.
    p.setPen(outline(1.5));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(w * 0.04, h * 0.55, w * 0.92, h * 0.3), 4, 4);
    p.drawRect(QRectF(w * 0.06, h * 0.18, w * 0.1, h * 0.4));
    p.drawRect(QRectF(w * 0.84, h * 0.18, w * 0.1, h * 0.4));
    p.setBrush(QColor(120, 132, 150));
    p.drawRect(QRectF(w * 0.06, h * 0.16, w * 0.88, h * 0.1));
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(w * 0.4, h * 0.24, w * 0.16, h * 0.2), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(w * 0.24, h * 0.5, w * 0.52, h * 0.06));
    // The feet.
    p.setBrush(kInk);
    p.drawRect(QRectF(w * 0.1, h * 0.85, w * 0.06, h * 0.08));
    p.drawRect(QRectF(w * 0.84, h * 0.85, w * 0.06, h * 0.08));
    return ui::Bitmap(std::move(image));
}

ui::Bitmap ink_cartridges_picture(int side) {
    QImage image = blank(side, side);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor inks[] = {{0, 0, 0},     {0, 174, 239},   {236, 0, 140},
                           {255, 212, 0}, {255, 255, 255}, {222, 226, 200}};
    const double slot = side / 6.0;
    for (int i = 0; i < 6; ++i) {
        const QRectF body(i * slot + slot * 0.12, side * 0.22, slot * 0.76, side * 0.66);
        p.setPen(outline(1.2));
        p.setBrush(inks[i]);
        p.drawRoundedRect(body, 2, 2);
        p.setBrush(kMetal);
        p.drawRect(QRectF(body.center().x() - slot * 0.18, side * 0.12, slot * 0.36, side * 0.1));
    }
    return ui::Bitmap(std::move(image));
}

ui::Bitmap ink_amount_picture(int side) {
    QImage image = blank(side, side);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = side;
    // The beaker, half full, with its scale.
    const QRectF beaker(s * 0.25, s * 0.38, s * 0.5, s * 0.54);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 174, 239));
    p.drawRect(QRectF(beaker.left(), beaker.top() + beaker.height() * 0.5, beaker.width(),
                      beaker.height() * 0.5));
    p.setPen(outline(2));
    p.setBrush(Qt::NoBrush);
    QPainterPath glass;
    glass.moveTo(beaker.topLeft());
    glass.lineTo(beaker.bottomLeft());
    glass.lineTo(beaker.bottomRight());
    glass.lineTo(beaker.topRight());
    p.drawPath(glass);
    p.setPen(outline(1.2));
    for (int mark = 1; mark < 4; ++mark) {
        const double y = beaker.top() + beaker.height() * mark / 4;
        p.drawLine(QPointF(beaker.right() - s * 0.12, y), QPointF(beaker.right(), y));
    }
    // The drop above it.
    QPainterPath drop;
    const double cx = s * 0.5;
    drop.moveTo(cx, s * 0.04);
    drop.cubicTo(cx + s * 0.09, s * 0.17, cx + s * 0.09, s * 0.28, cx, s * 0.28);
    drop.cubicTo(cx - s * 0.09, s * 0.28, cx - s * 0.09, s * 0.17, cx, s * 0.04);
    p.setPen(QPen(QColor(0, 90, 140), 1.5));
    p.setBrush(QColor(0, 174, 239));
    p.drawPath(drop);
    return ui::Bitmap(std::move(image));
}

ui::Bitmap clock_picture(int side) {
    QImage image = blank(side, side);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(side / 2.0, side / 2.0);
    const double radius = side * 0.44;
    p.setPen(outline(side / 24.0));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius, radius);
    // The hour marks, then the hands at a little past four.
    for (int hour = 0; hour < 12; ++hour) {
        const double angle = hour * std::numbers::pi / 6;
        const QPointF direction(std::sin(angle), -std::cos(angle));
        p.drawLine(centre + direction * radius * 0.8, centre + direction * radius * 0.92);
    }
    const auto hand = [&](double angle, double length, double width, const QColor& colour) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre, centre + QPointF(std::sin(angle), -std::cos(angle)) * radius * length);
    };
    hand(4.3 * std::numbers::pi / 6, 0.5, side / 16.0, kInk);
    hand(27.0 * std::numbers::pi / 30, 0.72, side / 24.0, kInk);
    hand(std::numbers::pi / 3, 0.78, side / 48.0, QColor(224, 53, 49));
    return ui::Bitmap(std::move(image));
}

}  // namespace analysis
