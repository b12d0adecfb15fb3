#pragma once

// Conversions between the kit's value types and Qt's, for the kit's own sources.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <string>
#include <string_view>

#include "platform/ui/geometry.h"

namespace platform::ui {

inline QString to_qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string from_qt(const QString& text) {
    return text.toStdString();
}

inline QColor to_qt(Rgb colour) {
    return QColor(colour.red, colour.green, colour.blue);
}
inline Rgb from_qt(const QColor& colour) {
    return Rgb{static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
               static_cast<std::uint8_t>(colour.blue())};
}

inline QRect to_qt(const Rect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}
inline Rect from_qt(const QRect& r) {
    return Rect::from_size(r.x(), r.y(), r.width(), r.height());
}

inline QFont to_qt(const Font& font) {
    QFont result(to_qt(font.face));
    result.setPointSizeF(font.tenths_of_point / 10.0);
    result.setBold(font.bold);
    return result;
}

}  // namespace platform::ui
