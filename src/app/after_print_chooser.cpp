#include "app/after_print_chooser.h"

#include <array>
#include <string>

#include "app/app_globals.h"
#include "app/button_images.h"
#include "app/main_window_ids.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/ui/controls.h"

namespace {

namespace ui = platform::ui;

constexpr int kIdStatic = -1;

// The combo's items by index, with the keyword each stands for in the row.
struct AfterPrintCommand {
    std::string_view item;
    std::string_view keyword;
};
constexpr std::array<AfterPrintCommand, 3> kCommands{{
    {"N/A", "N/A"},
    {"Tabel back to print postion", "YMoveB"},
    {"Tabel back to print postion and auto height measurement", "AutoYZ"},
}};

// The job of the row the chooser was opened for. The row index may name another job by the time
// of OK (the job printer removes its first row when a job is done), so OK finds the row again
// by this path.
std::string g_asc_job_path;

}  // namespace

ascadd::ascadd() : Dialog("Norvaxel Command System V1.0", ui::Size{580, 190}) {
    add<ui::Static>(kIdStatic, ui::Rect::from_size(20, 22, 120, 20), "Device Command");
    add<ui::ComboBox>(IDC_ASC_COMMAND, ui::Rect::from_size(146, 18, 414, 26));
    add<ui::Picture>(kIdStatic, ui::Rect::from_size(20, 58, 62, 62),
                     app::button_image(IDC_AFTER_PRINT_BUTTON));
    add<ui::Static>(kIdStatic, ui::Rect::from_size(96, 78, 464, 20),
                    "Command Input, The command will be proceeded after the print ends.");
    add<ui::Button>(IDC_ASC_SAVE, ui::Rect::from_size(372, 144, 92, 28), "OK/Save");
    add<ui::Button>(ui::kIdCancel, ui::Rect::from_size(472, 144, 88, 28), "Cancel");
    on_command(IDC_ASC_SAVE, [this] { OnBnClickedSave(); });
}

void ascadd::SetJob(int row, std::string_view keyword) {
    g_asc_row = row;
    g_asc_keyword = std::string(keyword);
    ui::ListCtrl* printing = engine::main_window_list(IDC_PRINTING_LIST);
    g_asc_job_path = printing != nullptr ? printing->item_text(row, PrintRow::job_path) : "";
}

bool ascadd::OnInitDialog() {
    auto* combo = control<ui::ComboBox>(IDC_ASC_COMMAND);
    combo->clear();
    for (const AfterPrintCommand& command : kCommands) {
        combo->add_item(command.item);
    }
    // Any other keyword keeps the choice of the last opening.
    int index = g_asc_last_index;
    for (int i = 0; i < static_cast<int>(kCommands.size()); ++i) {
        if (g_asc_keyword == kCommands[i].keyword) {
            index = i;
        }
    }
    combo->set_current(index);
    g_asc_last_index = index;
    return true;
}

void ascadd::OnBnClickedSave() {
    const int index = control<ui::ComboBox>(IDC_ASC_COMMAND)->current();
    const std::string_view keyword = index == 1   ? kCommands[1].keyword
                                     : index == 2 ? kCommands[2].keyword
                                                  : kCommands[0].keyword;
    // Found and written in one call on the user-interface thread: no row can move between the
    // two. A job that left the printing list meanwhile gets nothing, and no other job its
    // command.
    ui::ui_call([&] {
        ui::ListCtrl* printing = engine::main_window_list(IDC_PRINTING_LIST);
        if (printing == nullptr || g_asc_job_path.empty()) {
            return;
        }
        const int row = find_row_with_path(*printing, PrintRow::job_path, g_asc_job_path);
        if (row >= 0) {
            printing->set_item_text(row, PrintRow::after_print_command, keyword);
        }
    });
    end_dialog(ui::kIdCancel);
}
