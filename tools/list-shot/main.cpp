// Draws the printing list and the job queue with a few rows, laid out as in the main window,
// and writes the picture to a PNG file. Runs without a display:
//   velquorin-list-shot lists.png [client width]

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/printing_list.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

namespace {

namespace ui = platform::ui;

constexpr ui::Rgb kDialogBackground = ui::Rgb::from_bgr(0xF2F2F2);

void add_job(MyListCtrl& jobs, const JobRowTexts& row) {
    const int item = jobs.insert_item(jobs.item_count(), row[0]);
    for (int column = 1; column < JobRow::kColumnCount; ++column) {
        jobs.set_item_text(item, column, row[column]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [client width]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int width = argc > 2 ? std::max(400, std::atoi(argv[2])) : 1280;
    const int height = 640;
    const int x = 15;

    ui::Dialog window("Norvaxel", ui::Size{width, height});
    window.set_background(kDialogBackground);
    const ui::Font list_font{"Arial", 90, false};
    const ui::Font caption_font{"Arial", 100, true};
    auto& printing_label =
        window.add<ui::Static>(1026, ui::Rect::from_size(x, 111, 300, 25), "Printing progress");
    auto& printing =
        window.add<cprocess>(IDC_PRINTING_LIST, ui::Rect::from_size(x, 135, width - 15 - x, 100));
    auto& jobs_label =
        window.add<ui::Static>(1027, ui::Rect::from_size(x, 267, 300, 25), job_queue_label(0));
    auto& jobs = window.add<MyListCtrl>(IDC_JOB_QUEUE_LIST,
                                        ui::Rect::from_size(x, 291, width - 15 - x, height - 306));
    for (ui::Static* label : {&printing_label, &jobs_label}) {
        label->set_font(caption_font);
        label->set_colours(ui::Rgb{0, 0, 0}, kDialogBackground);
    }
    printing.set_font(list_font);
    jobs.set_font(list_font);
    setup_job_queue_list(jobs, width);
    setup_printing_list(printing, width);

    const JobRowTexts rows[] = {
        {"/home/operator/jobs/2026-12-10- 0/label_front.prn", "Printing", "Color+4White",
         "11.81 x 7.87", "2026-12-10 09:12:44", "2", " 720 x 1440 dpi", "N/A", "BiDirection"},
        {"/home/operator/jobs/2026-12-10- 0/label_back.prn", "Ready to print", "Color-KCMY",
         "11.81 x 7.87", "2026-12-10 09:13:05", "1", " 720 x 720 dpi", "Small", "UniDirection"},
        {"/home/operator/jobs/2026-12-10- 1/phone_case_with_a_rather_long_name_for_a_job.prn",
         "Wait", "4White+Color", "3.15 x 6.30", "2026-12-10 09:40:17", "10", " 720 x 2880 dpi",
         "Braille", "Unknow"},
        {"/home/operator/jobs/2026-12-10- 1/sign.prn", "Error", "File format Error", "Unknow",
         "Unknow", "1", "Unknow", "N/A", "Unknow"},
        {"/home/operator/jobs/2026-12-10- 2/new_job.prn", std::string(JobState::generating_data),
         "Unknow", "Unknow", "Unknow", "1", "Unknow", "N/A", "Unknow"},
    };
    for (const JobRowTexts& row : rows) {
        add_job(jobs, row);
    }
    jobs_label.set_text(job_queue_label(jobs.item_count()));
    append_print_row(printing, rows[0]);
    append_print_row(printing, rows[1]);
    printing.set_item_text(0, PrintRow::state, JobState::printing);
    printing.set_item_text(0, PrintRow::progress, "57%");
    printing.set_item_text(0, PrintRow::expected_time, "00:12:30");
    jobs.set_item_state(2, ui::kItemSelected | ui::kItemFocused,
                        ui::kItemSelected | ui::kItemFocused);

    window.show(true);
    QApplication::processEvents();
    if (!window.render().save(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
