#pragma once

// The row layouts of the main window's two job lists, by column index, and the texts of their
// state column. Every layer that works on jobs reads and writes these cells, so the layouts
// live below the main window; the lists themselves are the main window's (app/job_lists.h).

#include <array>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

inline constexpr int IDC_JOB_QUEUE_LIST = 1006;
inline constexpr int IDC_PRINTING_LIST = 1010;

// A column as the main window creates it: its title and its width as a fraction of the
// client width less 30 pixels.
struct ColumnSpec {
    std::string_view title;
    double width;
};

// One row of the job queue: nine text columns; the path in column 0 is the row's key.
struct JobRow {
    enum Column : int {
        job_path,
        state,
        print_mode,
        output_size,
        date_modified,
        copies,
        resolution,
        embossed_3d,
        print_direction,
    };
    static constexpr int kColumnCount = 9;
    static constexpr std::array<ColumnSpec, kColumnCount> kColumns{{
        {"Job Title", 0.28},
        {"State", 0.054},
        {"Print Mode", 0.07},
        {"Output Size", 0.1171},
        {"Date Modified", 0.1351},
        {"Copies", 0.045},
        {"Resolution", 0.09},
        {"3D Embossed", 0.09},
        {"Print Direction", 0.09},
    }};
};

// One row of the printing list, in print order; row 0 is the job being printed or next.
struct PrintRow {
    enum Column : int {
        number,
        state,
        job_path,
        size,
        copies,
        progress,
        embossed_3d,
        after_print_command,
        direction,
        expected_time,
        pass_time,
    };
    static constexpr int kColumnCount = 11;
    static constexpr std::array<ColumnSpec, kColumnCount> kColumns{{
        {"#", 0.037},
        {"State", 0.1},
        {"Job Title", 0.22},
        {"Size", 0.1},
        {"Copies", 0.048},
        {"progress", 0.2},
        {"3D Embossed", 0.08},
        {"ASC", 0.08},
        {"PD", 0.04},
        {"Expected time", 0.09},
        {"Pass time", 0},  // hidden: the band count the job printer computes its progress from
    }};
};

// The texts of the state column of both lists.
struct JobState {
    static constexpr std::string_view generating_data = "Generating data......";
    static constexpr std::string_view wait = "Wait";
    static constexpr std::string_view error = "Error";
    static constexpr std::string_view ready_to_print = "Ready to print";
    static constexpr std::string_view printing = "Printing";
    // Shown by the printing list only.
    static constexpr std::string_view media_out = "Tabel/Media Out";
    static constexpr std::string_view connect_failed = "Connect failed";
};

using JobRowTexts = std::array<std::string, JobRow::kColumnCount>;

// "%2d": a blank before a single digit.
inline std::string two_digit_number(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%2d", value);
    return text;
}

// The label over the job queue: "Job queue ( 0 )" at start.
inline std::string job_queue_label(int row_count) {
    return "Job queue (" + two_digit_number(row_count) + " )";
}

// The first row, from the top, whose cell in `column` is exactly `path`; -1 when none. Every
// look-up of a job's row by its path, in either list, is this one: names that differ only in
// letter case are two files, so a row whose title matches only without case is another job's.
// List is either job list (any type with item_count and item_text); called on the
// user-interface thread, in the same call that uses the row, where the rows cannot change
// under the search.
template <class List>
int find_row_with_path(const List& list, int column, std::string_view path) {
    const int count = list.item_count();
    for (int row = 0; row < count; ++row) {
        if (list.item_text(row, column) == path) {
            return row;
        }
    }
    return -1;
}

// The nine texts of a job-queue row, as one read of each cell (empty texts for a row that is
// not there). List is the job queue (any type with item_text).
template <class List>
JobRowTexts read_job_row(const List& jobs, int row) {
    JobRowTexts texts;
    for (int column = 0; column < JobRow::kColumnCount; ++column) {
        texts[column] = jobs.item_text(row, column);
    }
    return texts;
}

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
