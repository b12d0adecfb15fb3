#pragma once

#include <optional>

#include "platform/ui/geometry.h"

namespace platform::ui {

class DrawContext;

// The sizes of the frame a sizable window with a caption gets from the desktop, as the
// program's windows were designed for: the border on each side and the caption's height.
// A window that draws its own frame places its caption parts by them.
struct FrameMetrics {
    int border_width = 4;
    int border_height = 4;
    int caption_height = 23;
};
inline constexpr FrameMetrics kFrameMetrics{};

// What a left press in a window's own frame does.
enum class FramePress {
    Nothing,
    // The window's close: the dialog's cancel command, as the caption's close box gives it.
    Close,
    Minimise,
    // The window manager moves the window with the pointer until the button is let go.
    Drag,
};

// A frame that a dialog draws itself in place of the desktop's: the window goes frameless, the
// frame takes the margins around the client area, and the dialog hands it the painting, the
// pointer and the shape of the window. Window coordinates throughout: (0, 0) is the window's
// top-left corner, the client area starts at (margins.left, margins.top). Called on the UI
// thread only.
class OwnFrame {
  public:
    struct Margins {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };

    virtual ~OwnFrame() = default;

    // The room the frame takes around the client area.
    virtual Margins margins() const = 0;
    // Paints the frame of a window of this size; the client area is clipped away.
    virtual void paint(DrawContext& dc, Size window) = 0;
    // A left press in the frame of a window of this size.
    virtual FramePress press(Point at, Size window, bool maximised) = 0;
    // The pointer moved over the frame of a window of this size (at), or left it (nothing).
    // True when the frame looks different now and must be painted again.
    virtual bool hover(std::optional<Point> at, Size window) = 0;
    // The part of a window of this size that exists on screen; nothing for the whole window.
    virtual std::optional<Rect> region(Size window) const = 0;
};

}  // namespace platform::ui
