#include "app/main_window_frame.h"

#include <utility>

#include "app/button_images.h"
#include "platform/ui/draw_context.h"

namespace app {
namespace {

namespace ui = platform::ui;

constexpr ui::FrameMetrics kMetrics = ui::kFrameMetrics;
constexpr ui::Rgb kWhite{255, 255, 255};

// The caption's parts are placed from the top of the desktop's caption line.
constexpr int kCaptionTop = kMetrics.border_height + kMetrics.caption_height - 17;
constexpr int kButtonTop = kCaptionTop + kMetrics.border_height + 15;

}  // namespace

MainWindowFrame::MainWindowFrame(std::string caption_text)
    : caption_text_(std::move(caption_text)),
      close_image_(caption_close_image(false)),
      close_hover_image_(caption_close_image(true)),
      minimise_image_(caption_minimise_image(false)),
      minimise_hover_image_(caption_minimise_image(true)) {}

ui::OwnFrame::Margins MainWindowFrame::margins() const {
    return Margins{kMetrics.border_width,
                   kMetrics.border_height + kMetrics.caption_height + kExtraCaptionHeight,
                   kMetrics.border_width, kMetrics.border_height};
}

ui::Rect MainWindowFrame::close_rect_for(int window_width) {
    const int right = window_width - kMetrics.border_width;
    return ui::Rect::from_size(right - 32, kButtonTop, kButtonSize.width, kButtonSize.height);
}

ui::Rect MainWindowFrame::minimise_rect_for(int window_width) {
    const int right = window_width - kMetrics.border_width;
    return ui::Rect::from_size(right - 60, kButtonTop, kButtonSize.width, kButtonSize.height);
}

void MainWindowFrame::paint(ui::DrawContext& dc, ui::Size window) {
    const int w = window.width;
    const int h = window.height;
    dc.fill_rect(ui::Rect::from_size(0, 0, w, h), kWhite);
    const int side = kMetrics.border_width + 5;
    dc.fill_rect(ui::Rect::from_size(0, 0, side, h), kSideColour);
    dc.fill_rect(ui::Rect::from_size(w - side, 0, side, h), kSideColour);
    dc.fill_rect(
        ui::Rect::from_size(0, 0, w, kMetrics.caption_height + kMetrics.border_height + 42),
        kBandColour);
    const int bottom = kMetrics.border_height + 4;
    dc.fill_rect(ui::Rect::from_size(0, h - bottom, w, bottom), kBandColour);

    if (band_image_.width() != w) {
        band_image_ = caption_band_image(w);
    }
    dc.draw_bitmap(band_image_, ui::Point{18, kCaptionTop + 15});

    const ui::Rect close = close_rect_for(w);
    const ui::Rect minimise = minimise_rect_for(w);
    dc.draw_bitmap(close_lit_ ? close_hover_image_ : close_image_,
                   ui::Point{close.left, close.top});
    dc.draw_bitmap(minimise_lit_ ? minimise_hover_image_ : minimise_image_,
                   ui::Point{minimise.left, minimise.top});

    dc.set_text_colour(kWhite);
    dc.draw_text(caption_text_,
                 ui::Rect{kMetrics.border_width, kMetrics.border_height, w - kMetrics.border_width,
                          kMetrics.caption_height + kMetrics.border_height + 45},
                 ui::kTextCentre | ui::kTextVCentre | ui::kTextSingleLine);
}

ui::FramePress MainWindowFrame::press(ui::Point at, ui::Size window, bool maximised) {
    if (close_rect_for(window.width).contains(at)) {
        return ui::FramePress::Close;
    }
    if (minimise_rect_for(window.width).contains(at)) {
        return ui::FramePress::Minimise;
    }
    // A maximised window stays where it is; the caption band drags any other.
    if (maximised || at.y >= margins().top) {
        return ui::FramePress::Nothing;
    }
    return ui::FramePress::Drag;
}

bool MainWindowFrame::hover(std::optional<ui::Point> at, ui::Size window) {
    // The buttons go dark again when the pointer leaves the frame, also into the client area.
    const bool close = at && close_rect_for(window.width).contains(*at);
    const bool minimise = at && minimise_rect_for(window.width).contains(*at);
    const bool changed = close != close_lit_ || minimise != minimise_lit_;
    close_lit_ = close;
    minimise_lit_ = minimise;
    return changed;
}

std::optional<ui::Rect> MainWindowFrame::region(ui::Size window) const {
    return ui::Rect{kRegionInset, kRegionInset, window.width - kRegionInset,
                    window.height - kRegionInset};
}

}  // namespace app
