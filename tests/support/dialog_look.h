#pragma once

#include <QImage>

#include <string>
#include <vector>

#include "platform/ui/geometry.h"

namespace platform::ui {
class Dialog;
}

// What the operator sees of a dialog's make-up besides its controls by id: its framed areas
// and its pictures in client coordinates, ordered by place: top to bottom, then left to right.
namespace test_support {

struct DialogFrame {
    platform::ui::Rect rect;
    std::string title;
};
std::vector<DialogFrame> dialog_frames(const platform::ui::Dialog& dialog);

struct DialogPicture {
    platform::ui::Rect rect;
    QImage image;
};
// The picture controls that show a bitmap.
std::vector<DialogPicture> dialog_pictures(const platform::ui::Dialog& dialog);

// Whether the rectangle lies wholly inside the frame.
bool encloses(const platform::ui::Rect& frame, const platform::ui::Rect& inner);

}  // namespace test_support
