#include "app/main_window_layout.h"

#include <iterator>
#include <span>

#include "app/job_lists.h"
#include "app/main_window_ids.h"

namespace app {
namespace {

namespace ui = platform::ui;

// The image buttons stand where the template puts them, at any screen size.
constexpr PlacedControl kButtonPlaces[] = {
    {IDC_NEW_JOB_BUTTON, ui::Rect::from_size(17, 19, 58, 69)},
    {IDC_IMPORT_BUTTON, ui::Rect::from_size(76, 19, 58, 69)},
    {IDC_SAVE_BUTTON, ui::Rect::from_size(135, 19, 59, 69)},
    {IDC_PRINT_BUTTON, ui::Rect::from_size(195, 19, 64, 69)},
    {IDC_REMOVE_BUTTON, ui::Rect::from_size(260, 19, 63, 69)},
    {IDC_DELETE_BUTTON, ui::Rect::from_size(324, 19, 62, 69)},
    {IDC_SETTING_BUTTON, ui::Rect::from_size(387, 19, 63, 69)},
    {IDC_MAINTENANCE_BUTTON, ui::Rect::from_size(451, 19, 61, 69)},
    {IDC_AFTER_PRINT_BUTTON, ui::Rect::from_size(513, 19, 61, 69)},
    {IDC_ROTARY_BUTTON, ui::Rect::from_size(574, 19, 78, 69)},
    {IDC_PREVIEW_BUTTON, ui::Rect::from_size(653, 19, 67, 69)},
};

// The template's places of the other controls. The separator is wider than any screen so that
// it always spans the window; the lists and titles keep their left edge, and the connection
// picture its bottom.
constexpr PlacedControl kTemplate[] = {
    {IDC_SEPARATOR, ui::Rect::from_size(0, 96, 8192, 3)},
    {IDC_PRINTING_LABEL, ui::Rect::from_size(15, 111, 320, 25)},
    {IDC_PRINTING_LIST, ui::Rect::from_size(15, 135, 1130, 100)},
    {IDC_JOB_QUEUE_LABEL, ui::Rect::from_size(15, 267, 320, 25)},
    {IDC_JOB_QUEUE_LIST, ui::Rect::from_size(15, 291, 1130, 334)},
    {IDC_CONNECTION_PICTURE, ui::Rect::from_size(1069, 13, 76, 75)},
    {IDC_PRINTED_LIST_BUTTON, ui::Rect::from_size(1050, 257, 95, 25)},
};

}  // namespace

ui::Rect template_rect(int control_id) {
    for (const auto& table : {std::span<const PlacedControl>(kButtonPlaces),
                              std::span<const PlacedControl>(kTemplate)}) {
        for (const PlacedControl& control : table) {
            if (control.id == control_id) {
                return control.rect;
            }
        }
    }
    return {};
}

MainWindowFonts main_window_fonts(int template_client_width) {
    // Single precision, as the design's figures were computed; the sizes are truncated.
    const float scale =
        static_cast<float>(kDesignClientWidth) / static_cast<float>(template_client_width);
    MainWindowFonts fonts;
    fonts.list = ui::Font{"Arial", static_cast<int>(scale * 90.0f), false};
    fonts.caption = ui::Font{"Arial bold", static_cast<int>(scale * 100.0f), true};
    return fonts;
}

ui::Rect main_window_rect(const ui::ScreenMetrics& screen) {
    return ui::Rect::from_size(-3, -3, screen.full_screen_width + 7, screen.work_area.bottom + 9);
}

int job_queue_list_height(int client_height, int screen_height) {
    return screen_height < 700 ? client_height - 329 : client_height - 353;
}

std::vector<PlacedControl> main_window_placement(ui::Size client, int screen_height) {
    const int w = client.width;
    const auto kept = [](int id) { return template_rect(id); };
    const ui::Rect separator = kept(IDC_SEPARATOR);
    const ui::Rect printing_label = kept(IDC_PRINTING_LABEL);
    const ui::Rect printing = kept(IDC_PRINTING_LIST);
    const ui::Rect queue_label = kept(IDC_JOB_QUEUE_LABEL);
    const ui::Rect queue = kept(IDC_JOB_QUEUE_LIST);
    const ui::Rect picture = kept(IDC_CONNECTION_PICTURE);
    std::vector<PlacedControl> placed(std::begin(kButtonPlaces), std::end(kButtonPlaces));
    placed.insert(
        placed.end(),
        {
            {IDC_SEPARATOR, ui::Rect::from_size(separator.left, 96, separator.width(), 3)},
            {IDC_PRINTING_LABEL,
             ui::Rect::from_size(printing_label.left, 111, printing_label.width(), 25)},
            {IDC_PRINTING_LIST,
             ui::Rect::from_size(printing.left, 135, w - 15 - printing.left, 100)},
            {IDC_JOB_QUEUE_LABEL,
             ui::Rect::from_size(queue_label.left, 267, queue_label.width(), 25)},
            {IDC_JOB_QUEUE_LIST,
             ui::Rect::from_size(queue.left, 291, w - 15 - queue.left,
                                 job_queue_list_height(client.height, screen_height))},
            {IDC_CONNECTION_PICTURE, ui::Rect::from_size(w - 91, 13, 76, picture.bottom - 13)},
            {IDC_PRINTED_LIST_BUTTON, ui::Rect::from_size(w - 110, 257, 95, 25)},
        });
    return placed;
}

}  // namespace app
