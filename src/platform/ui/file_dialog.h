#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// One entry of a file dialog's type list, for example {"Postscript file(*.prn)", "*.prn"}.
// Several patterns are separated by ";". Patterns match names without regard to case.
struct FileFilter {
    std::string name;
    std::string pattern;
};

struct FileDialogOptions {
    std::string title;
    std::vector<FileFilter> filters;
    // Added to a chosen save name that has no extension ("prn", without the dot).
    std::string default_extension;
    // The folder or file the dialog starts at; empty for the last one used.
    std::string initial_path;
    bool multiple_selection = false;
    // A save over an existing file asks first.
    bool overwrite_prompt = false;
};

enum class FileDialogKind { Open, Save };

struct FileDialogRecord {
    FileDialogKind kind = FileDialogKind::Open;
    FileDialogOptions options;
};

// Chooses in place of the operator: the chosen paths, none for Cancel.
using FileDialogResponder = std::function<std::vector<std::string>(const FileDialogRecord&)>;
FileDialogResponder set_file_dialog_responder(FileDialogResponder responder);

// Both dialogs may be opened from any thread; they run modally on the UI thread while the
// caller waits. Without an application they answer Cancel.
// The chosen files in the order the dialog gives them; empty for Cancel.
std::vector<std::string> open_file_dialog(const FileDialogOptions& options);
// The chosen path; nothing for Cancel.
std::optional<std::string> save_file_dialog(const FileDialogOptions& options);

}  // namespace platform::ui
