#pragma once

#include <optional>
#include <string>

#include "platform/ui/bitmap.h"
#include "platform/ui/geometry.h"
#include "platform/ui/own_frame.h"

namespace app {

// The main window's own frame: a caption band 38 pixels taller than the desktop's caption, in
// the program's purple, with the program's mark, the caption text in white in its middle, and
// its own close and minimise buttons, which light up under the pointer; thin grey strips at the
// sides. The window's outermost 3 pixels are cut off all round.
class MainWindowFrame : public platform::ui::OwnFrame {
  public:
    // The colours of the band (and bottom strip) and of the side strips.
    static constexpr platform::ui::Rgb kBandColour = platform::ui::Rgb::from_bgr(0x783558);
    static constexpr platform::ui::Rgb kSideColour = platform::ui::Rgb::from_bgr(0xF2F2F2);
    // How much taller the band is than the desktop's caption.
    static constexpr int kExtraCaptionHeight = 38;
    // The pixels cut off the window on every side.
    static constexpr int kRegionInset = 3;
    static constexpr platform::ui::Size kButtonSize{23, 22};

    explicit MainWindowFrame(std::string caption_text);

    Margins margins() const override;
    void paint(platform::ui::DrawContext& dc, platform::ui::Size window) override;
    platform::ui::FramePress press(platform::ui::Point at, platform::ui::Size window,
                                   bool maximised) override;
    bool hover(std::optional<platform::ui::Point> at, platform::ui::Size window) override;
    std::optional<platform::ui::Rect> region(platform::ui::Size window) const override;

    // The caption buttons' places in a window of this width, in window coordinates.
    static platform::ui::Rect close_rect_for(int window_width);
    static platform::ui::Rect minimise_rect_for(int window_width);

  private:
    std::string caption_text_;
    bool close_lit_ = false;
    bool minimise_lit_ = false;
    platform::ui::Bitmap close_image_;
    platform::ui::Bitmap close_hover_image_;
    platform::ui::Bitmap minimise_image_;
    platform::ui::Bitmap minimise_hover_image_;
    platform::ui::Bitmap band_image_;
};

}  // namespace app
