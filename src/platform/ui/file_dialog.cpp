#include "platform/ui/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

#include "platform/ui/qt_convert.h"
#include "platform/ui/responder.h"
#include "platform/ui/ui_thread.h"

namespace platform::ui {
namespace {

ResponderSlot<FileDialogResponder>& responder() {
    static ResponderSlot<FileDialogResponder> slot;
    return slot;
}

// The dialog reads each entry's patterns from the parentheses at its end; an entry whose name
// already ends with its patterns in parentheses is shown as it is.
QStringList filter_list(const std::vector<FileFilter>& filters) {
    QStringList result;
    for (const FileFilter& filter : filters) {
        QString patterns = to_qt(filter.pattern);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString name = to_qt(filter.name);
        if (name.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')'))) {
            result << name;
        } else {
            result << name + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
    }
    return result;
}

std::vector<std::string> run_dialog(const FileDialogRecord& record) {
    const FileDialogOptions& options = record.options;
    QFileDialog dialog(QApplication::activeModalWidget(), to_qt(options.title),
                       to_qt(options.initial_path));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filter_list(options.filters));
    dialog.setDefaultSuffix(to_qt(options.default_extension));
    if (record.kind == FileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.overwrite_prompt);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(options.multiple_selection ? QFileDialog::ExistingFiles
                                                      : QFileDialog::ExistingFile);
    }
    std::vector<std::string> chosen;
    if (dialog.exec() == QDialog::Accepted) {
        for (const QString& path : dialog.selectedFiles()) {
            chosen.push_back(from_qt(path));
        }
    }
    return chosen;
}

std::vector<std::string> ask(const FileDialogRecord& record) {
    if (const FileDialogResponder choose = responder().get()) {
        return choose(record);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return {};
    }
    return ui_call([&] { return run_dialog(record); });
}

}  // namespace

FileDialogResponder set_file_dialog_responder(FileDialogResponder next) {
    return responder().replace(std::move(next));
}

std::vector<std::string> open_file_dialog(const FileDialogOptions& options) {
    std::vector<std::string> chosen = ask(FileDialogRecord{FileDialogKind::Open, options});
    if (!options.multiple_selection && chosen.size() > 1) {
        chosen.resize(1);
    }
    return chosen;
}

std::optional<std::string> save_file_dialog(const FileDialogOptions& options) {
    const std::vector<std::string> chosen = ask(FileDialogRecord{FileDialogKind::Save, options});
    if (chosen.empty()) {
        return std::nullopt;
    }
    return chosen.front();
}

}  // namespace platform::ui
