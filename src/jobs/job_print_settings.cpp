#include "jobs/job_print_settings.h"

#include <QPainter>

#include <array>
#include <optional>

#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"

std::int32_t g_printingset_row = 0;
std::string g_printingset_mode;

namespace {

namespace ui = platform::ui;

constexpr std::array<std::string_view, 5> kEmbossItems{"N/A", "Small", "Middle", "Big", "Braille"};
constexpr std::array<std::string_view, 2> kDirectionItems{"UniDirection", "BiDirection"};
constexpr std::array<std::string_view, 3> kEclosionItems{"Sharp edges", "Smooth",
                                                         "Gaussian Smooth"};
constexpr int kMaxCopies = 100;

// The job the dialog was opened for. The row index may name another job by the time of OK (the
// synchroniser removes the rows of files that go), so OK finds the row again by this path.
std::string g_printingset_path;

// The job's row as the dialog opens: where it is and its three values.
struct JobValues {
    std::string path;
    std::string copies;
    std::string emboss;
    std::string direction;
};

// Read in one call on the user-interface thread, so that the row is the one whose title was
// read. Nothing when the index names no row.
std::optional<JobValues> read_job(std::int32_t index) {
    return ui::ui_call([&]() -> std::optional<JobValues> {
        const ui::ListCtrl* jobs = engine::main_window_list(IDC_JOB_QUEUE_LIST);
        if (jobs == nullptr) {
            return std::nullopt;
        }
        const std::string title = jobs->item_text(index, JobRow::job_path);
        // The exact title: on this system two paths that differ in letter case are two jobs.
        const int row = title.empty() ? -1 : find_row_with_path(*jobs, JobRow::job_path, title);
        if (row < 0) {
            return std::nullopt;
        }
        return JobValues{title, jobs->item_text(row, JobRow::copies),
                         jobs->item_text(row, JobRow::embossed_3d),
                         jobs->item_text(row, JobRow::print_direction)};
    });
}

template <std::size_t N>
void fill(ui::ComboBox& combo, const std::array<std::string_view, N>& items) {
    combo.clear();
    for (const std::string_view item : items) {
        combo.add_item(item);
    }
}

// The index of text among the items; fallback when it is none of them.
template <std::size_t N>
int index_of(const std::array<std::string_view, N>& items, std::string_view text, int fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (items[i] == text) {
            return static_cast<int>(i);
        }
    }
    return fallback;
}

// The help button's face: a question mark.
ui::Bitmap help_image() {
    ui::Bitmap image(22, 22, ui::Rgb{33, 110, 210});
    QPainter painter(&image.image());
    painter.setPen(Qt::white);
    QFont font("Arial");
    font.setBold(true);
    font.setPixelSize(16);
    painter.setFont(font);
    painter.drawText(image.image().rect(), Qt::AlignCenter, "?");
    return image;
}

}  // namespace

printingset::printingset() : Dialog("Printing set", ui::Size{320, 220}) {
    add<ui::Static>(IDC_COPIES_LABEL, ui::Rect::from_size(20, 22, 120, 20), "Copies");
    add<ui::ComboBox>(IDC_COPIES, ui::Rect::from_size(150, 18, 150, 26));
    add<ui::Static>(IDC_EMBOSS_LABEL, ui::Rect::from_size(20, 58, 120, 20), "3D embossed");
    add<ui::ComboBox>(IDC_EMBOSS, ui::Rect::from_size(150, 54, 120, 26));
    add<ui::ImageButton>(IDC_EMBOSS_HELP, ui::Rect::from_size(276, 56, 24, 24), help_image())
        .show(false);
    add<ui::Static>(IDC_DIRECTION_LABEL, ui::Rect::from_size(20, 94, 120, 20), "Print direction");
    add<ui::ComboBox>(IDC_DIRECTION, ui::Rect::from_size(150, 90, 150, 26));
    add<ui::Static>(IDC_ECLOSION_LABEL, ui::Rect::from_size(20, 130, 120, 20), "Eclosion intensity")
        .show(false);
    add<ui::ComboBox>(IDC_ECLOSION, ui::Rect::from_size(150, 126, 150, 26)).show(false);
    add<ui::Button>(IDC_SET_OK, ui::Rect::from_size(116, 176, 88, 28), "OK");
    add<ui::Button>(ui::kIdCancel, ui::Rect::from_size(212, 176, 88, 28), "Cancel");
    on_command(IDC_SET_OK, [this] { OnBnClickedOk(); });
    on_command(IDC_EMBOSS_HELP, [this] { OnBnClickedEmbossHelp(); });
}

void printingset::SetJob(std::int32_t row, std::string_view mode) {
    g_printingset_row = row;
    g_printingset_mode = std::string(mode);
}

bool printingset::OnInitDialog() {
    const std::optional<JobValues> job = read_job(g_printingset_row);
    if (!job) {
        ui::message_box("No print files to set up were found!");
        end_dialog(0);
        return true;
    }
    g_printingset_path = job->path;

    auto& copies = *control<ui::ComboBox>(IDC_COPIES);
    copies.clear();
    int copies_index = 0;  // "1" unless the text is one of the items
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::string item = std::to_string(n);
        copies.add_item(item);
        if (item == job->copies) {
            copies_index = n - 1;
        }
    }
    copies.set_current(copies_index);

    auto& emboss = *control<ui::ComboBox>(IDC_EMBOSS);
    fill(emboss, kEmbossItems);
    emboss.set_current(index_of(kEmbossItems, job->emboss, 0));

    auto& direction = *control<ui::ComboBox>(IDC_DIRECTION);
    fill(direction, kDirectionItems);
    direction.set_current(job->direction == "BiDirection" ? 1 : 0);

    auto& eclosion = *control<ui::ComboBox>(IDC_ECLOSION);
    fill(eclosion, kEclosionItems);
    eclosion.set_current(index_of(kEclosionItems, "Gaussian Smooth", 0));

    // A colour-only job has no white to raise: its 3D level stays as it is shown.
    const bool colour_only = g_printingset_mode == "Color-KCMY";
    emboss.enable(!colour_only);
    show_control(IDC_EMBOSS_HELP, colour_only);

    const ui::Font labels{"Arial", 80, false};
    for (const int id :
         {IDC_COPIES_LABEL, IDC_EMBOSS_LABEL, IDC_ECLOSION_LABEL, IDC_DIRECTION_LABEL}) {
        set_control_font(id, labels);
    }
    return true;
}

void printingset::OnBnClickedOk() {
    const std::string copies = std::to_string(control<ui::ComboBox>(IDC_COPIES)->current() + 1);
    const int emboss_index = control<ui::ComboBox>(IDC_EMBOSS)->current();
    const std::string_view emboss =
        emboss_index >= 1 && emboss_index <= 4 ? kEmbossItems[emboss_index] : kEmbossItems[0];
    const std::string_view direction = control<ui::ComboBox>(IDC_DIRECTION)->current() == 1
                                           ? kDirectionItems[1]
                                           : kDirectionItems[0];
    // Found and written in one call on the user-interface thread: no row can move between the
    // two. A job whose row went meanwhile gets nothing, and no other job its values.
    ui::ui_call([&] {
        ui::ListCtrl* jobs = engine::main_window_list(IDC_JOB_QUEUE_LIST);
        if (jobs == nullptr) {
            return;
        }
        const int row = find_row_with_path(*jobs, JobRow::job_path, g_printingset_path);
        if (row >= 0) {
            jobs->set_item_text(row, JobRow::copies, copies);
            jobs->set_item_text(row, JobRow::embossed_3d, emboss);
            jobs->set_item_text(row, JobRow::print_direction, direction);
        }
    });
    end_dialog(ui::kIdCancel);
}

void printingset::OnBnClickedEmbossHelp() {
    ui::message_box("Only white or white+color jobs support 3D effects!");
}
