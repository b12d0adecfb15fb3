#include "platform/ui/draw_context.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include "platform/ui/qt_convert.h"

namespace platform::ui {

Rgb system_colour(SystemColour which) {
    const QPalette palette = QApplication::palette();
    switch (which) {
        case SystemColour::Window:
            return from_qt(palette.color(QPalette::Base));
        case SystemColour::WindowText:
            return from_qt(palette.color(QPalette::Text));
        case SystemColour::WindowFrame:
            // The frame colour of the desktop scheme is black.
            return Rgb{0, 0, 0};
        case SystemColour::Highlight:
            return from_qt(palette.color(QPalette::Highlight));
        case SystemColour::HighlightText:
            return from_qt(palette.color(QPalette::HighlightedText));
    }
    return Rgb{};
}

DrawContext::DrawContext(QPainter& painter, std::vector<DrawnText>* trace)
    : painter_(painter), trace_(trace) {}

void DrawContext::fill_rect(const Rect& rect, Rgb colour) {
    if (rect.width() > 0 && rect.height() > 0) {
        painter_.fillRect(to_qt(rect), to_qt(colour));
    }
}

void DrawContext::rectangle(const Rect& rect) {
    if (rect.width() <= 0 || rect.height() <= 0) {
        return;
    }
    fill_rect(rect, brush_);
    painter_.save();
    painter_.setPen(QPen(to_qt(pen_), 1));
    painter_.setBrush(Qt::NoBrush);
    // A one-pixel outline lying on the rectangle's outermost pixels.
    painter_.drawRect(QRect(rect.left, rect.top, rect.width() - 1, rect.height() - 1));
    painter_.restore();
}

void DrawContext::draw_text(std::string_view text, const Rect& rect, unsigned format) {
    QString shown = to_qt(text);
    if ((format & kTextSingleLine) != 0) {
        shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
        shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
    }
    if ((format & kTextEndEllipsis) != 0) {
        shown = painter_.fontMetrics().elidedText(shown, Qt::ElideRight, std::max(0, rect.width()));
    }
    int flags = Qt::TextSingleLine;
    if ((format & kTextSingleLine) == 0) {
        flags = Qt::TextWordWrap;
    }
    flags |= (format & kTextCentre) != 0  ? Qt::AlignHCenter
             : (format & kTextRight) != 0 ? Qt::AlignRight
                                          : Qt::AlignLeft;
    flags |= (format & kTextVCentre) != 0 ? Qt::AlignVCenter : Qt::AlignTop;
    painter_.save();
    painter_.setPen(to_qt(text_colour_));
    painter_.setClipRect(to_qt(rect), Qt::IntersectClip);
    painter_.drawText(to_qt(rect), flags, shown);
    painter_.restore();
    if (trace_ != nullptr) {
        trace_->push_back(DrawnText{from_qt(shown), rect, text_colour_, format});
    }
}

void DrawContext::draw_bitmap(const Bitmap& bitmap, Point at) {
    painter_.drawImage(at.x, at.y, bitmap.image());
}

}  // namespace platform::ui
