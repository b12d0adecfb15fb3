#include "maintenance/maintenance_pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace maintenance {

namespace ui = platform::ui;

namespace {

constexpr int kSide = 96;

ui::Bitmap blank() {
    return ui::Bitmap(kSide, kSide, ui::Rgb{255, 255, 255});
}

}  // namespace

ui::Bitmap nozzle_pattern_picture(bool with_gaps) {
    ui::Bitmap picture = blank();
    QPainter p(&picture.image());
    p.setPen(QPen(QColor(30, 30, 30), 1));
    // Four steps of bars, each step one nozzle of every group a little lower than the last.
    for (int step = 0; step < 4; ++step) {
        for (int bar = 0; bar < 10; ++bar) {
            if (with_gaps && (bar * 7 + step * 3) % 11 == 0) {
                continue;
            }
            const int x = 10 + step * 19;
            const int y = 12 + bar * 8 + step * 2;
            p.drawLine(x, y, x + 17, y);
        }
    }
    return picture;
}

ui::Bitmap print_head_picture() {
    ui::Bitmap picture = blank();
    QPainter p(&picture.image());
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(70, 70, 70), 2));
    p.setBrush(QColor(200, 205, 215));
    p.drawRoundedRect(QRectF(18, 14, 60, 30), 4, 4);
    const QColor inks[] = {{0, 0, 0}, {0, 174, 239}, {236, 0, 140}, {255, 212, 0}};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(inks[i]);
        p.drawRect(QRectF(24 + i * 13, 44, 9, 8));
    }
    p.setBrush(Qt::white);
    p.drawRect(QRectF(10, 62, 76, 22));
    return picture;
}

ui::Bitmap ink_picture() {
    ui::Bitmap picture = blank();
    QPainter p(&picture.image());
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath drop;
    drop.moveTo(48, 10);
    drop.cubicTo(60, 34, 74, 48, 74, 62);
    drop.cubicTo(74, 78, 62, 88, 48, 88);
    drop.cubicTo(34, 88, 22, 78, 22, 62);
    drop.cubicTo(22, 48, 36, 34, 48, 10);
    p.setPen(QPen(QColor(0, 90, 140), 2));
    p.setBrush(QColor(0, 174, 239));
    p.drawPath(drop);
    return picture;
}

ui::Bitmap restart_picture() {
    ui::Bitmap picture = blank();
    QPainter p(&picture.image());
    p.setRenderHint(QPainter::Antialiasing);
    // The screen on its stand.
    p.setPen(QPen(QColor(70, 70, 70), 2));
    p.setBrush(QColor(200, 205, 215));
    p.drawRoundedRect(QRectF(26, 30, 44, 32), 3, 3);
    p.drawLine(48, 62, 48, 70);
    p.drawLine(38, 70, 58, 70);
    // Round it an arrow turning clockwise, its head at the gap at the top right.
    const QColor arrow(33, 110, 210);
    p.setPen(QPen(arrow, 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(10, 10, 76, 76);
    p.drawArc(ring, 60 * 16, 300 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    QPainterPath head;
    head.moveTo(67, 6);
    head.lineTo(82, 22);
    head.lineTo(61, 24);
    head.closeSubpath();
    p.drawPath(head);
    return picture;
}

ui::Bitmap cable_picture() {
    ui::Bitmap picture = blank();
    QPainter p(&picture.image());
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 3));
    p.drawLine(8, 48, 34, 48);
    p.drawLine(62, 48, 88, 48);
    p.setBrush(QColor(180, 180, 180));
    p.drawRect(QRectF(30, 38, 10, 20));
    p.drawRect(QRectF(56, 38, 10, 20));
    p.setPen(QPen(QColor(200, 30, 30), 3));
    p.drawLine(44, 30, 52, 66);
    return picture;
}

}  // namespace maintenance
