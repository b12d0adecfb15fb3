#include "dialog_look.h"

#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <algorithm>
#include <utility>

#include "platform/ui/dialog.h"

namespace test_support {
namespace {

platform::ui::Rect client_rect(const QWidget& widget) {
    const QRect g = widget.geometry();
    return platform::ui::Rect::from_size(g.x(), g.y(), g.width(), g.height());
}

template <class Shown>
std::vector<Shown> by_place(std::vector<Shown> shown) {
    std::stable_sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) {
        return std::pair(a.rect.top, a.rect.left) < std::pair(b.rect.top, b.rect.left);
    });
    return shown;
}

}  // namespace

std::vector<DialogFrame> dialog_frames(const platform::ui::Dialog& dialog) {
    std::vector<DialogFrame> frames;
    for (const QGroupBox* box :
         dialog.window()->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        frames.push_back({client_rect(*box), box->title().toStdString()});
    }
    return by_place(std::move(frames));
}

std::vector<DialogPicture> dialog_pictures(const platform::ui::Dialog& dialog) {
    std::vector<DialogPicture> pictures;
    for (const QLabel* label : dialog.window()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QPixmap pixmap = label->pixmap();
        if (!pixmap.isNull()) {
            pictures.push_back({client_rect(*label), pixmap.toImage()});
        }
    }
    return by_place(std::move(pictures));
}

bool encloses(const platform::ui::Rect& frame, const platform::ui::Rect& inner) {
    return inner.left >= frame.left && inner.top >= frame.top && inner.right <= frame.right &&
           inner.bottom <= frame.bottom;
}

}  // namespace test_support
