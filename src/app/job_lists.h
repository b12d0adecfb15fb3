#pragma once

// The two job lists of the main window. A job is its .prn path and all its attributes are
// cell texts of these rows, read and written by column index from every thread that works on
// jobs. The row layouts and the state texts are in engine/job_list_rows.h; this header sets the
// lists up and holds the one way a job enters the printing list.

#include <array>
#include <limits>
#include <string>
#include <string_view>

#include "engine/job_list_rows.h"
#include "platform/ui/list_ctrl.h"

class MyListCtrl;
class cprocess;

using JobRowTexts = std::array<std::string, JobRow::kColumnCount>;

// A column's width for the client width W: (W - 30) x fraction in double precision, truncated.
int column_width(double fraction, int client_width);

// "%2d": a blank before a single digit.
std::string two_digit_number(int value);

// The label over the job queue: "Job queue ( 0 )" at start.
std::string job_queue_label(int row_count);

// The columns, row icons, colours and row height of the two lists, as the main window sets
// them up once after placing itself.
void setup_job_queue_list(MyListCtrl& list, int client_width);
void setup_printing_list(cprocess& list, int client_width);

// Sends a job to printing: a new last row of the printing list from the job row's texts. Every
// sender (Print, the preview, automatic sending) does exactly this, cell by cell; "Expected
// time" is written last, so the print-time estimator, which starts on a first row whose
// "Expected time" reads "N/A", never meets a half-written row. List is the printing list (any
// type with the list's item_count, insert_item and set_item_text).
template <class List>
void append_print_row(List& printing_list, const JobRowTexts& job) {
    const int count = printing_list.item_count();
    // At the end as the list stands when the row goes in: a past-the-end index appends in the
    // same call, whatever another thread did since the count was read.
    const int row = printing_list.insert_item(std::numeric_limits<int>::max(), "");
    printing_list.set_item_text(row, PrintRow::number, two_digit_number(count + 1));
    printing_list.set_item_text(row, PrintRow::state, JobState::ready_to_print);
    printing_list.set_item_text(row, PrintRow::job_path, job[JobRow::job_path]);
    printing_list.set_item_text(row, PrintRow::pass_time, "N/A");
    printing_list.set_item_text(row, PrintRow::size, job[JobRow::output_size]);
    printing_list.set_item_text(row, PrintRow::copies, job[JobRow::copies]);
    printing_list.set_item_text(row, PrintRow::progress, "0%");
    printing_list.set_item_text(row, PrintRow::embossed_3d, job[JobRow::embossed_3d]);
    printing_list.set_item_text(row, PrintRow::after_print_command, "N/A");
    printing_list.set_item_text(row, PrintRow::direction,
                                job[JobRow::print_direction] == "BiDirection" ? "Bi" : "Uni");
    printing_list.set_item_text(row, PrintRow::expected_time, "N/A");
}
