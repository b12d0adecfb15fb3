#include "platform/ui/bitmap.h"

#include "platform/files.h"
#include "platform/ui/qt_convert.h"

namespace platform::ui {

Bitmap::Bitmap(int width, int height, Rgb fill)
    : image_(width, height, QImage::Format_ARGB32_Premultiplied) {
    image_.fill(to_qt(fill));
}

Bitmap::Bitmap(QImage image) : image_(std::move(image)) {}

std::optional<Bitmap> Bitmap::load(const std::string& path) {
    // Read by the program's own reader, not the picture library's, which would wait on a pipe
    // at the name with the window behind it.
    const std::optional<std::string> bytes = read_regular_file(path, kMaxPictureFileBytes + 1);
    if (!bytes || bytes->size() > kMaxPictureFileBytes) {
        return std::nullopt;
    }
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()),
                            static_cast<int>(bytes->size()))) {
        return std::nullopt;
    }
    return Bitmap(std::move(image));
}

bool Bitmap::save(const std::string& path) const {
    return image_.save(to_qt(path));
}

Rgb Bitmap::pixel(int x, int y) const {
    return from_qt(image_.pixelColor(x, y));
}

int Bitmap::alpha(int x, int y) const {
    return image_.pixelColor(x, y).alpha();
}

int ImageList::add(const Bitmap& image) {
    if (image.width() == size_.width && image.height() == size_.height) {
        images_.push_back(image);
    } else {
        images_.emplace_back(image.image().scaled(size_.width, size_.height, Qt::IgnoreAspectRatio,
                                                  Qt::SmoothTransformation));
    }
    return count() - 1;
}

const Bitmap* ImageList::image(int index) const {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    return &images_[static_cast<std::size_t>(index)];
}

}  // namespace platform::ui
