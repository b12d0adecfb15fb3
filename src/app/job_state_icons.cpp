#include "app/job_state_icons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "app/job_lists.h"

namespace {

namespace ui = platform::ui;

enum class Sign { Tick, Play, Dots };

QImage badge(ui::Rgb colour, Sign sign) {
    const int size = kJobStateIconSize;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(colour.red, colour.green, colour.blue));
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    painter.setBrush(Qt::white);
    switch (sign) {
        case Sign::Tick: {
            QPen pen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            QPainterPath tick;
            tick.moveTo(9, 17);
            tick.lineTo(14, 22);
            tick.lineTo(23, 11);
            painter.drawPath(tick);
            break;
        }
        case Sign::Play: {
            const QPointF triangle[] = {{12, 9}, {24, 16}, {12, 23}};
            painter.drawPolygon(triangle, 3);
            break;
        }
        case Sign::Dots:
            for (const double x : {9.0, 16.0, 23.0}) {
                painter.drawEllipse(QPointF(x, 16), 2.6, 2.6);
            }
            break;
    }
    return image;
}

}  // namespace

ui::ImageList make_job_state_images() {
    ui::ImageList images(kJobStateIconSize, kJobStateIconSize);
    images.add(ui::Bitmap(badge(kWaitIconColour, Sign::Tick)));
    images.add(ui::Bitmap(badge(kPrintIconColour, Sign::Play)));
    images.add(ui::Bitmap(badge(kBusyIconColour, Sign::Dots)));
    return images;
}

int job_state_image(std::string_view state) {
    if (state == JobState::ready_to_print || state == JobState::printing) {
        return 1;
    }
    if (state == JobState::wait) {
        return 0;
    }
    // "Generating data......" and any other text, an empty cell included.
    return 2;
}
