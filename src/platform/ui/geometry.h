#pragma once

#include <cstdint>
#include <string>

// Plain value types of the dialog kit: client coordinates in pixels, colours and fonts.
namespace platform::ui {

struct Point {
    int x = 0;
    int y = 0;
};

struct Size {
    int width = 0;
    int height = 0;
};

// Left and top are inside the rectangle, right and bottom just outside it, so that
// width = right - left; the row and cell rectangles of the lists follow the same rule.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static constexpr Rect from_size(int x, int y, int width, int height) {
        return Rect{x, y, x + width, y + height};
    }
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    // Colours of the program are written 0xBBGGRR (blue in the high byte), the order in which
    // the dialogs and lists were designed: 0xCD8F53 is red 83, green 143, blue 205.
    static constexpr Rgb from_bgr(std::uint32_t bgr) {
        return Rgb{static_cast<std::uint8_t>(bgr & 0xFF),
                   static_cast<std::uint8_t>((bgr >> 8) & 0xFF),
                   static_cast<std::uint8_t>((bgr >> 16) & 0xFF)};
    }
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// A font by face name and size in tenths of a point (90 is 9 points).
struct Font {
    std::string face;
    int tenths_of_point = 90;
    bool bold = false;
};

}  // namespace platform::ui
