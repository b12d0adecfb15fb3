#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/bitmap.h"
#include "platform/ui/geometry.h"

class QPainter;

namespace platform::ui {

// How draw_text places a text in its rectangle; combine with |.
inline constexpr unsigned kTextLeft = 0;
inline constexpr unsigned kTextCentre = 1u << 0;
inline constexpr unsigned kTextRight = 1u << 1;
inline constexpr unsigned kTextVCentre = 1u << 2;
inline constexpr unsigned kTextSingleLine = 1u << 3;
// "&" is never a mnemonic prefix here; the flag is accepted so that callers can say so.
inline constexpr unsigned kTextNoPrefix = 1u << 4;
// Cuts the text with an ellipsis at its end when it does not fit the width.
inline constexpr unsigned kTextEndEllipsis = 1u << 5;

// One text as a draw context drew it, after cutting; owner-drawing tests read these.
struct DrawnText {
    std::string text;
    Rect rect;
    Rgb colour;
    unsigned format = 0;
};

// The colours of the desktop's scheme that owner drawing asks for.
enum class SystemColour { Window, WindowText, WindowFrame, Highlight, HighlightText };
Rgb system_colour(SystemColour which);

// The surface that owner and custom drawing paint on. Like a fresh device context it starts
// with a black one-pixel pen and a white brush; texts are always drawn with a transparent
// background.
class DrawContext {
  public:
    DrawContext(QPainter& painter, std::vector<DrawnText>* trace = nullptr);

    void set_text_colour(Rgb colour) { text_colour_ = colour; }
    Rgb text_colour() const { return text_colour_; }
    void set_pen(Rgb colour) { pen_ = colour; }
    void set_brush(Rgb colour) { brush_ = colour; }

    void fill_rect(const Rect& rect, Rgb colour);
    // The outline in the pen's colour, the inside filled with the brush.
    void rectangle(const Rect& rect);
    void draw_text(std::string_view text, const Rect& rect, unsigned format);
    // Draws the bitmap at its own size with its transparency.
    void draw_bitmap(const Bitmap& bitmap, Point at);

    QPainter& painter() { return painter_; }

  private:
    QPainter& painter_;
    std::vector<DrawnText>* trace_;
    Rgb text_colour_{0, 0, 0};
    Rgb pen_{0, 0, 0};
    Rgb brush_{255, 255, 255};
};

}  // namespace platform::ui
