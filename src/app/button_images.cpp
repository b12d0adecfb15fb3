#include "app/button_images.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

#include "app/main_window_ids.h"

namespace app {
namespace {

namespace ui = platform::ui;

constexpr int kImageHeight = 62;
constexpr int kSignHeight = 42;
const QColor kInk(45, 55, 72);
const QColor kAccent(33, 110, 210);
const QColor kDanger(200, 52, 44);
const QColor kGood(46, 160, 67);

enum class Sign {
    NewJob,
    Import,
    Save,
    Print,
    Remove,
    Delete,
    Setting,
    Maintenance,
    AfterPrint,
    Rotary,
    Preview,
};

struct ButtonPicture {
    int id;
    Sign sign;
    std::string_view word;
    int width;  // the button's width less its edge
};

constexpr ButtonPicture kButtonPictures[] = {
    {IDC_NEW_JOB_BUTTON, Sign::NewJob, "New job", 52},
    {IDC_IMPORT_BUTTON, Sign::Import, "Import", 52},
    {IDC_SAVE_BUTTON, Sign::Save, "Save", 53},
    {IDC_PRINT_BUTTON, Sign::Print, "Print", 58},
    {IDC_REMOVE_BUTTON, Sign::Remove, "Remove", 57},
    {IDC_DELETE_BUTTON, Sign::Delete, "Delete", 56},
    {IDC_SETTING_BUTTON, Sign::Setting, "Setting", 57},
    {IDC_MAINTENANCE_BUTTON, Sign::Maintenance, "Maintenance", 55},
    {IDC_AFTER_PRINT_BUTTON, Sign::AfterPrint, "After print", 55},
    {IDC_ROTARY_BUTTON, Sign::Rotary, "Rotary", 72},
    {IDC_PREVIEW_BUTTON, Sign::Preview, "Preview", 61},
};

QPen ink_pen(const QColor& colour, double width = 2.4) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet with a folded corner, its top left at (x, y).
void draw_sheet(QPainter& p, double x, double y, double w, double h) {
    QPainterPath sheet;
    sheet.moveTo(x, y);
    sheet.lineTo(x + w - 7, y);
    sheet.lineTo(x + w, y + 7);
    sheet.lineTo(x + w, y + h);
    sheet.lineTo(x, y + h);
    sheet.closeSubpath();
    p.setPen(ink_pen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.drawLine(QPointF(x + w - 7, y), QPointF(x + w - 7, y + 7));
    p.drawLine(QPointF(x + w - 7, y + 7), QPointF(x + w, y + 7));
}

// A flatbed printer seen from the front, centred on cx, its top at y.
void draw_printer(QPainter& p, double cx, double y) {
    p.setPen(ink_pen(kInk, 2));
    p.setBrush(QColor(232, 236, 242));
    p.drawRoundedRect(QRectF(cx - 15, y + 8, 30, 14), 3, 3);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(cx - 9, y, 18, 8));
    p.drawRect(QRectF(cx - 9, y + 17, 18, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(kGood);
    p.drawEllipse(QPointF(cx + 10, y + 12), 1.6, 1.6);
}

// A badge in a circle at (cx, cy): a plus or a minus.
void draw_badge(QPainter& p, double cx, double cy, const QColor& colour, bool plus) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(cx, cy), 7.5, 7.5);
    p.setPen(ink_pen(Qt::white, 2.4));
    p.drawLine(QPointF(cx - 4, cy), QPointF(cx + 4, cy));
    if (plus) {
        p.drawLine(QPointF(cx, cy - 4), QPointF(cx, cy + 4));
    }
}

void draw_gear(QPainter& p, double cx, double cy) {
    constexpr int kTeeth = 8;
    QPainterPath gear;
    for (int i = 0; i < kTeeth * 2; ++i) {
        const double angle = i * std::numbers::pi / kTeeth;
        const double half = std::numbers::pi / kTeeth / 2;
        const double r = (i % 2 == 0) ? 14.0 : 10.5;
        const QPointF a(cx + r * std::cos(angle - half), cy + r * std::sin(angle - half));
        const QPointF b(cx + r * std::cos(angle + half), cy + r * std::sin(angle + half));
        if (i == 0) {
            gear.moveTo(a);
        } else {
            gear.lineTo(a);
        }
        gear.lineTo(b);
    }
    gear.closeSubpath();
    p.setPen(ink_pen(kInk, 1.6));
    p.setBrush(QColor(120, 132, 150));
    p.drawPath(gear);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(cx, cy), 4.5, 4.5);
}

void draw_sign(QPainter& p, Sign sign, double cx) {
    const double cy = kSignHeight / 2.0 + 1;
    switch (sign) {
        case Sign::NewJob:
            draw_sheet(p, cx - 11, 5, 22, 29);
            draw_badge(p, cx + 9, 30, kGood, true);
            break;
        case Sign::Import: {
            // An arrow down into an open tray.
            p.setPen(ink_pen(kInk, 2.4));
            p.setBrush(Qt::NoBrush);
            QPainterPath tray;
            tray.moveTo(cx - 15, 24);
            tray.lineTo(cx - 15, 35);
            tray.lineTo(cx + 15, 35);
            tray.lineTo(cx + 15, 24);
            p.drawPath(tray);
            p.setPen(ink_pen(kAccent, 3.2));
            p.drawLine(QPointF(cx, 4), QPointF(cx, 27));
            p.drawLine(QPointF(cx - 8, 19), QPointF(cx, 27));
            p.drawLine(QPointF(cx + 8, 19), QPointF(cx, 27));
            break;
        }
        case Sign::Save: {
            // A disk with its label and shutter.
            p.setPen(ink_pen(kInk, 2));
            p.setBrush(kAccent);
            QPainterPath disk;
            disk.moveTo(cx - 15, 6);
            disk.lineTo(cx + 10, 6);
            disk.lineTo(cx + 15, 11);
            disk.lineTo(cx + 15, 36);
            disk.lineTo(cx - 15, 36);
            disk.closeSubpath();
            p.drawPath(disk);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(cx - 9, 6, 16, 10));
            p.drawRect(QRectF(cx - 10, 23, 20, 13));
            break;
        }
        case Sign::Print:
            draw_printer(p, cx - 4, 8);
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            {
                const QPointF play[] = {{cx + 13, 24}, {cx + 24, 31}, {cx + 13, 38}};
                p.drawPolygon(play, 3);
            }
            break;
        case Sign::Remove:
            draw_printer(p, cx - 4, 8);
            draw_badge(p, cx + 15, 30, kDanger, false);
            break;
        case Sign::Delete: {
            // A bin with its lid.
            p.setPen(ink_pen(kInk, 2));
            p.setBrush(QColor(232, 236, 242));
            QPainterPath bin;
            bin.moveTo(cx - 11, 12);
            bin.lineTo(cx - 9, 37);
            bin.lineTo(cx + 9, 37);
            bin.lineTo(cx + 11, 12);
            bin.closeSubpath();
            p.drawPath(bin);
            p.drawLine(QPointF(cx - 14, 9), QPointF(cx + 14, 9));
            p.drawLine(QPointF(cx - 4, 5), QPointF(cx + 4, 5));
            p.setPen(ink_pen(kDanger, 2));
            for (const double x : {-4.5, 0.0, 4.5}) {
                p.drawLine(QPointF(cx + x, 17), QPointF(cx + x, 32));
            }
            break;
        }
        case Sign::Setting:
            draw_gear(p, cx, cy);
            break;
        case Sign::Maintenance: {
            // A drop of ink over a print head being wiped.
            p.setPen(ink_pen(kInk, 2));
            p.setBrush(QColor(120, 132, 150));
            p.drawRect(QRectF(cx - 15, 6, 30, 10));
            QPainterPath drop;
            drop.moveTo(cx, 18);
            drop.cubicTo(cx + 3, 24, cx + 9, 28, cx + 9, 32);
            drop.arcTo(QRectF(cx - 9, 23, 18, 18), 0, -180);
            drop.cubicTo(cx - 9, 28, cx - 3, 24, cx, 18);
            p.setBrush(kAccent);
            p.drawPath(drop);
            break;
        }
        case Sign::AfterPrint:
            // A finished sheet with the command that follows it.
            draw_sheet(p, cx - 14, 5, 20, 26);
            p.setPen(ink_pen(kGood, 2.8));
            p.drawLine(QPointF(cx - 10, 18), QPointF(cx - 6, 23));
            p.drawLine(QPointF(cx - 6, 23), QPointF(cx + 1, 12));
            p.setPen(ink_pen(kAccent, 3));
            p.drawLine(QPointF(cx + 1, 34), QPointF(cx + 14, 34));
            p.drawLine(QPointF(cx + 9, 29), QPointF(cx + 14, 34));
            p.drawLine(QPointF(cx + 9, 39), QPointF(cx + 14, 34));
            break;
        case Sign::Rotary: {
            // A cylinder on its side with a turning arrow.
            p.setPen(ink_pen(kInk, 2));
            p.setBrush(QColor(232, 236, 242));
            p.drawRect(QRectF(cx - 16, 12, 30, 18));
            p.drawEllipse(QRectF(cx - 21, 12, 10, 18));
            p.drawEllipse(QRectF(cx + 9, 12, 10, 18));
            p.setPen(ink_pen(kAccent, 2.6));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(cx - 12, 3, 24, 36), 30 * 16, 120 * 16);
            p.drawLine(QPointF(cx - 10, 11), QPointF(cx - 11, 4));
            p.drawLine(QPointF(cx - 10, 11), QPointF(cx - 3, 9));
            break;
        }
        case Sign::Preview:
            draw_sheet(p, cx - 15, 4, 22, 28);
            p.setPen(ink_pen(kInk, 3));
            p.setBrush(QColor(220, 234, 250));
            p.drawEllipse(QPointF(cx + 2, 21), 8, 8);
            p.setPen(ink_pen(kInk, 4));
            p.drawLine(QPointF(cx + 8, 27), QPointF(cx + 15, 35));
            break;
    }
}

void draw_word(QPainter& p, std::string_view word, int width) {
    QFont font("Arial");
    font.setPixelSize(11);
    const QString text = QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
    // Long words get a smaller size until they fit the button.
    while (font.pixelSize() > 7 && QFontMetrics(font).horizontalAdvance(text) > width - 2) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    p.setFont(font);
    p.setPen(kInk);
    p.drawText(QRectF(0, kSignHeight + 2, width, kImageHeight - kSignHeight - 2),
               Qt::AlignHCenter | Qt::AlignVCenter, text);
}

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

ui::Bitmap button_image(int control_id) {
    for (const ButtonPicture& picture : kButtonPictures) {
        if (picture.id != control_id) {
            continue;
        }
        QImage image = blank(picture.width, kImageHeight);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        draw_sign(painter, picture.sign, picture.width / 2.0);
        draw_word(painter, picture.word, picture.width);
        painter.end();
        return ui::Bitmap(std::move(image));
    }
    return {};
}

ui::Bitmap program_icon() {
    QImage image = blank(32, 32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    // A head over a bed, with its three ink drops.
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(6, 23, 20, 3));
    painter.drawRect(QRectF(9, 6, 14, 7));
    const QColor drops[] = {QColor(0, 200, 230), QColor(230, 40, 140), QColor(250, 220, 0)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(drops[i]);
        painter.drawEllipse(QPointF(11.0 + 5.0 * i, 17), 2.2, 2.2);
    }
    painter.end();
    return ui::Bitmap(std::move(image));
}

ui::Bitmap caption_band_image(int width) {
    QImage image = blank(std::max(width, 1), 47);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // The three ink drops of the icon, on the caption text's middle line (13 rows down).
    const QColor drops[] = {QColor(0, 200, 230), QColor(230, 40, 140), QColor(250, 220, 0)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(drops[i]);
        painter.drawEllipse(QPointF(6.0 + 11.0 * i, 13), 4.5, 4.5);
    }
    painter.end();
    return ui::Bitmap(std::move(image));
}

namespace {

// A caption button: a rounded face that only shows under the pointer, and its sign in white.
QImage caption_button(bool hover, const QColor& hover_face) {
    QImage image = blank(23, 22);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hover) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(hover_face);
        painter.drawRoundedRect(QRectF(0.5, 0.5, 22, 21), 3, 3);
    }
    painter.end();
    return image;
}

}  // namespace

ui::Bitmap caption_close_image(bool hover) {
    QImage image = caption_button(hover, kDanger);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(7, 6.5), QPointF(16, 15.5));
    painter.drawLine(QPointF(16, 6.5), QPointF(7, 15.5));
    painter.end();
    return ui::Bitmap(std::move(image));
}

ui::Bitmap caption_minimise_image(bool hover) {
    QImage image = caption_button(hover, QColor(138, 98, 172));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(7, 14), QPointF(16, 14));
    painter.end();
    return ui::Bitmap(std::move(image));
}

ui::Bitmap separator_image(int width) {
    QImage image(std::max(width, 1), 3, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(242, 242, 242));
    QPainter painter(&image);
    painter.setPen(QColor(190, 196, 204));
    painter.drawLine(0, 1, image.width() - 1, 1);
    painter.end();
    return ui::Bitmap(std::move(image));
}

namespace {

ui::Bitmap connection_image(bool connected) {
    QImage image = blank(76, 75);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(1.6, 1.6);
    draw_printer(painter, 22, 4);
    painter.resetTransform();
    painter.setPen(Qt::NoPen);
    painter.setBrush(connected ? kGood : kDanger);
    painter.drawEllipse(QPointF(60, 40), 9, 9);
    painter.setPen(ink_pen(Qt::white, 2.6));
    if (connected) {
        painter.drawLine(QPointF(55.5, 40), QPointF(58.5, 43.5));
        painter.drawLine(QPointF(58.5, 43.5), QPointF(64.5, 36.5));
    } else {
        painter.drawLine(QPointF(56, 36), QPointF(64, 44));
        painter.drawLine(QPointF(64, 36), QPointF(56, 44));
    }
    QFont font("Arial");
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(connected ? kGood.darker(130) : kDanger);
    painter.drawText(QRectF(0, 55, 76, 18), Qt::AlignCenter,
                     connected ? QStringLiteral("Connected") : QStringLiteral("No printer"));
    painter.end();
    return ui::Bitmap(std::move(image));
}

}  // namespace

ui::Bitmap printer_connected_image() {
    return connection_image(true);
}

ui::Bitmap printer_not_connected_image() {
    return connection_image(false);
}

}  // namespace app
