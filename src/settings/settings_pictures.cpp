#include "settings/settings_pictures.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <string>

namespace {

namespace ui = platform::ui;

const QColor kInk(45, 55, 72);
const QColor kMetal(200, 206, 214);
const QColor kFace(0xF2, 0xF2, 0xF2);

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(kFace);
    return image;
}

}  // namespace

ui::Bitmap head_slots_image(int width, int height) {
    QImage image = blank(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The carriage, then its eight heads side by side with their nozzle rows.
    const double margin = 8;
    const double slot = (width - 2 * margin) / 8;
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(margin - 4, 6, width - 2 * margin + 8, height - 12), 5, 5);
    QFont font;
    font.setPixelSize(std::max(9, static_cast<int>(slot / 3)));
    font.setBold(true);
    p.setFont(font);
    for (int k = 0; k < 8; ++k) {
        const QRectF head(margin + k * slot + 3, 14, slot - 6, height - 44);
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(Qt::white);
        p.drawRect(head);
        p.setPen(QPen(kInk, 1));
        for (double x = head.left() + 5; x < head.right() - 3; x += 5) {
            p.drawLine(QPointF(x, head.top() + 6), QPointF(x, head.bottom() - 6));
        }
        p.setPen(kInk);
        p.drawText(QRectF(head.left(), head.bottom() + 2, head.width(), 24), Qt::AlignCenter,
                   QString::number(k + 1));
    }
    return ui::Bitmap(std::move(image));
}

ui::Bitmap rotary_attachment_image(int width, int height) {
    QImage image = blank(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = width;
    const double h = height;
    // The base plate, the two rollers, and the cylinder on them seen end-on and from the side.
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(w * 0.06, h * 0.78, w * 0.88, h * 0.1), 3, 3);
    p.setBrush(QColor(120, 132, 150));
    const double roller = w * 0.1;
    p.drawEllipse(QPointF(w * 0.32, h * 0.72), roller, roller);
    p.drawEllipse(QPointF(w * 0.68, h * 0.72), roller, roller);
    p.setBrush(QColor(33, 110, 210));
    const double radius = w * 0.3;
    p.drawEllipse(QPointF(w * 0.5, h * 0.72 - roller - radius * 0.8), radius, radius);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(w * 0.5, h * 0.72 - roller - radius * 0.8), radius * 0.2, radius * 0.2);
    return ui::Bitmap(std::move(image));
}
