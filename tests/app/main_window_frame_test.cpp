#include "app/main_window_frame.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "platform/ui/draw_context.h"
#include "qt_application.h"

namespace {

namespace ui = platform::ui;
using app::MainWindowFrame;

constexpr ui::Rgb kBand = ui::Rgb::from_bgr(0x783558);
constexpr ui::Rgb kGrey = ui::Rgb::from_bgr(0xF2F2F2);
constexpr ui::Rgb kWhite{255, 255, 255};
constexpr ui::Size kWindow{600, 200};

ui::Rgb at(const QImage& image, int x, int y) {
    const QColor colour = image.pixelColor(x, y);
    return ui::Rgb{static_cast<std::uint8_t>(colour.red()),
                   static_cast<std::uint8_t>(colour.green()),
                   static_cast<std::uint8_t>(colour.blue())};
}

QImage painted(MainWindowFrame& frame) {
    QImage image(kWindow.width, kWindow.height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    ui::DrawContext dc(painter);
    frame.paint(dc, kWindow);
    painter.end();
    return image;
}

// Pixels of white text or signs, smoothed at their edges, on the purple band.
int white_pixels(const QImage& image, const ui::Rect& area) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const ui::Rgb colour = at(image, x, y);
            count += colour.red > 170 && colour.green > 170 && colour.blue > 170 ? 1 : 0;
        }
    }
    return count;
}

class MainWindowFrameTest : public ::testing::Test {
  protected:
    test_support::QtApplication app_;
    MainWindowFrame frame_{"Workstation caption"};
};

TEST_F(MainWindowFrameTest, TheBandIs38PixelsTallerThanACaptionAndTheRegionCutsThreePixels) {
    const ui::OwnFrame::Margins margins = frame_.margins();
    EXPECT_EQ(margins.left, 4);
    EXPECT_EQ(margins.right, 4);
    EXPECT_EQ(margins.top, 4 + 23 + 38);
    EXPECT_EQ(margins.bottom, 4);
    EXPECT_EQ(frame_.region(kWindow), (ui::Rect{3, 3, 597, 197}));
    EXPECT_EQ(MainWindowFrame::close_rect_for(600), ui::Rect::from_size(564, 29, 23, 22));
    EXPECT_EQ(MainWindowFrame::minimise_rect_for(600), ui::Rect::from_size(536, 29, 23, 22));
}

TEST_F(MainWindowFrameTest, PaintsTheBandTheStripsTheButtonsAndTheCaptionText) {
    const QImage image = painted(frame_);
    EXPECT_EQ(at(image, 300, 5), kBand);
    EXPECT_EQ(at(image, 300, 68), kBand);  // the band reaches 4 rows under the frame's top
    EXPECT_EQ(at(image, 300, 195), kBand);
    EXPECT_EQ(at(image, 300, 191), kWhite);  // the client area is left to the window
    EXPECT_EQ(at(image, 300, 69), kWhite);
    for (const int x : {0, 8, 591, 599}) {
        EXPECT_EQ(at(image, x, 120), kGrey) << x;
    }
    // The caption text in white across the middle of the band, and the buttons' white signs.
    EXPECT_GT(white_pixels(image, ui::Rect{200, 28, 400, 50}), 20);
    EXPECT_GT(white_pixels(image, MainWindowFrame::close_rect_for(600)), 4);
    EXPECT_GT(white_pixels(image, MainWindowFrame::minimise_rect_for(600)), 4);
    // The program's mark at the band's left, level with the text.
    EXPECT_NE(at(image, 24, 38), kBand);
}

TEST_F(MainWindowFrameTest, AButtonLightsUnderThePointerAndGoesDarkWhenItLeaves) {
    const ui::Rect close = MainWindowFrame::close_rect_for(600);
    const ui::Rect minimise = MainWindowFrame::minimise_rect_for(600);
    const ui::Point close_corner{close.left + 2, close.top + 3};
    const ui::Point minimise_corner{minimise.left + 2, minimise.top + 3};
    EXPECT_EQ(at(painted(frame_), close_corner.x, close_corner.y), kBand);

    EXPECT_TRUE(frame_.hover(ui::Point{close.left + 5, close.top + 5}, kWindow));
    QImage image = painted(frame_);
    EXPECT_NE(at(image, close_corner.x, close_corner.y), kBand);
    EXPECT_EQ(at(image, minimise_corner.x, minimise_corner.y), kBand);
    // Within the same button nothing changes, so nothing needs painting.
    EXPECT_FALSE(frame_.hover(ui::Point{close.left + 6, close.top + 6}, kWindow));

    EXPECT_TRUE(frame_.hover(ui::Point{minimise.left + 1, minimise.top + 1}, kWindow));
    image = painted(frame_);
    EXPECT_EQ(at(image, close_corner.x, close_corner.y), kBand);
    EXPECT_NE(at(image, minimise_corner.x, minimise_corner.y), kBand);

    EXPECT_TRUE(frame_.hover(std::nullopt, kWindow));
    image = painted(frame_);
    EXPECT_EQ(at(image, minimise_corner.x, minimise_corner.y), kBand);
    EXPECT_FALSE(frame_.hover(ui::Point{300, 10}, kWindow));
}

TEST_F(MainWindowFrameTest, APressClosesMinimisesOrDragsAndAMaximisedWindowStaysPut) {
    struct Case {
        ui::Point at;
        bool maximised;
        ui::FramePress expected;
    };
    const ui::Rect close = MainWindowFrame::close_rect_for(600);
    const ui::Rect minimise = MainWindowFrame::minimise_rect_for(600);
    for (const bool maximised : {false, true}) {
        const ui::FramePress drag = maximised ? ui::FramePress::Nothing : ui::FramePress::Drag;
        const Case cases[] = {
            {{close.left, close.top}, maximised, ui::FramePress::Close},
            {{close.right - 1, close.bottom - 1}, maximised, ui::FramePress::Close},
            {{minimise.left + 10, minimise.top + 10}, maximised, ui::FramePress::Minimise},
            {{close.right, close.top}, maximised, drag},
            {{minimise.right, minimise.top}, maximised, drag},  // between the two buttons
            {{300, 5}, maximised, drag},
            {{300, 64}, maximised, drag},
            // The thin strips at the sides and the bottom are no caption.
            {{300, 197}, maximised, ui::FramePress::Nothing},
            {{3, 120}, maximised, ui::FramePress::Nothing},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(frame_.press(c.at, kWindow, c.maximised), c.expected)
                << c.at.x << "," << c.at.y << " maximised " << c.maximised;
        }
    }
}

}  // namespace
