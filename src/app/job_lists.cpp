#include "app/job_lists.h"

#include "app/job_queue_list.h"
#include "app/job_state_icons.h"
#include "app/printing_list.h"

namespace {

namespace ui = platform::ui;

constexpr ui::Rgb kWhite{255, 255, 255};
constexpr int kJobQueueRowHeight = 56;

template <std::size_t N>
void insert_columns(ui::ListCtrl& list, const std::array<ColumnSpec, N>& columns,
                    int client_width) {
    for (std::size_t i = 0; i < N; ++i) {
        // Every column header is centred.
        list.insert_column(static_cast<int>(i), columns[i].title,
                           column_width(columns[i].width, client_width), ui::Align::Centre);
    }
}

}  // namespace

int column_width(double fraction, int client_width) {
    return static_cast<int>(static_cast<double>(client_width - 30) * fraction);
}

void setup_job_queue_list(MyListCtrl& list, int client_width) {
    // Full-row select and double buffering are how the list always works.
    list.set_image_list(make_job_state_images());
    list.set_grid_lines(true);
    list.set_redraw(true);
    insert_columns(list, JobRow::kColumns, client_width);
    list.set_background(kWhite);
    list.SetRowHeight(kJobQueueRowHeight);
    list.invalidate();
}

void setup_printing_list(cprocess& list, int client_width) {
    list.set_grid_lines(true);
    insert_columns(list, PrintRow::kColumns, client_width);
    list.set_background(kWhite);
    list.invalidate();
}
