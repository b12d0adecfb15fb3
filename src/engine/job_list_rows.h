#pragma once

// The row layouts of the main window's two job lists, by column index, and the texts of their
// state column. Every layer that works on jobs reads and writes these cells, so the layouts
// live below the main window; the lists themselves are the main window's (app/job_lists.h).

#include <array>
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
