#pragma once

#include <QImage>

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/geometry.h"

namespace platform::ui {

// A picture in memory with an alpha channel: button faces, pictures, list icons, the preview.
class Bitmap {
  public:
    Bitmap() = default;
    Bitmap(int width, int height, Rgb fill);
    explicit Bitmap(QImage image);

    // Reads a picture file (BMP, PNG, ...); nothing when it cannot be read. Only a regular file
    // of at most kMaxPictureFileBytes is read, and nothing waits: a pipe or a device at the name
    // is a picture that cannot be read.
    static std::optional<Bitmap> load(const std::string& path);
    // Far above any picture the program shows (a preview is about half a megabyte).
    static constexpr std::size_t kMaxPictureFileBytes = 64u << 20;
    // Writes the picture in the format of the file name's extension.
    bool save(const std::string& path) const;

    bool is_null() const { return image_.isNull(); }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    Rgb pixel(int x, int y) const;
    int alpha(int x, int y) const;

    const QImage& image() const { return image_; }
    QImage& image() { return image_; }

  private:
    QImage image_;
};

// Images of one size, used by index (a list's row icons).
class ImageList {
  public:
    ImageList() = default;
    ImageList(int width, int height) : size_{width, height} {}

    // Adds an image scaled to the list's size; returns its index.
    int add(const Bitmap& image);
    int count() const { return static_cast<int>(images_.size()); }
    // Nothing for an index outside the list.
    const Bitmap* image(int index) const;
    Size image_size() const { return size_; }

  private:
    Size size_;
    std::vector<Bitmap> images_;
};

}  // namespace platform::ui
