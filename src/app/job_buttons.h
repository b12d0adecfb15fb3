#pragma once

#include <optional>
#include <string_view>

// Which of the main window's job buttons a selected job's state allows.
struct JobButtons {
    bool save = false;
    bool print = false;
    bool del = false;
    bool remove = false;
    bool preview = false;
};

// The buttons for a job-queue state text; nothing for a state that leaves them as they are
// ("Printing", or any text that is not one of the four).
std::optional<JobButtons> job_buttons_for(std::string_view state);
