#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/ui/dialog.h"
#include "platform/ui/list_ctrl.h"
#include "qt_application.h"

namespace test_support {

// The main window as the workers see it: the job queue and the printing list with their
// columns, and the connection picture, the buttons and the labels, whose changes are recorded.
// Registered while it lives. Made on the test's main thread, which is the UI thread; workers' list
// calls are served while the test pumps events.
class TestMainWindow : public engine::MainWindowAccess {
  public:
    TestMainWindow();
    ~TestMainWindow() override;

    platform::ui::ListCtrl* list(int id) override;
    void show_bitmap(int picture_id, int bitmap) override;
    void enable_button(int id, bool enabled) override;
    void set_control_text(int id, std::string_view text) override;

    platform::ui::ListCtrl& jobs() { return jobs_; }
    platform::ui::ListCtrl& printing() { return printing_; }
    std::vector<int> bitmaps() const;
    // Called with each bitmap the connection picture is given, on the thread that gives it
    // (empty removes it): for a test to act at that moment.
    void on_bitmap(std::function<void(int)> hook);
    // The state each button was last given; nullopt for one never enabled or disabled.
    std::optional<bool> button_enabled(int id) const;
    // The text each control was last given; empty for one never set.
    std::string control_text(int id) const;

    // A job-list row and its printing-list row as the operator's Print makes them: the job
    // row "Ready to print" with its copies, emboss and direction, the printing row from it.
    void add_job(const std::string& path, const std::string& copies = "1",
                 const std::string& emboss = "N/A", const std::string& direction = "BiDirection");

    // Texts of one column of every row.
    std::vector<std::string> column(platform::ui::ListCtrl& list, int column) const;

  private:
    QtApplication app_;
    platform::ui::Dialog dialog_{"Velquorin", platform::ui::Size{800, 600}};
    platform::ui::ListCtrl& jobs_;
    platform::ui::ListCtrl& printing_;
    mutable std::mutex mutex_;
    std::vector<int> bitmaps_;
    std::function<void(int)> bitmap_hook_;
    std::map<int, bool> buttons_;
    std::map<int, std::string> texts_;
};

// Runs work on a thread of its own while the UI thread serves its calls; returns when it is
// done (false when it did not end within timeout_ms of real time).
bool run_off_ui_thread(const std::function<void()>& work, int timeout_ms = 60000);

}  // namespace test_support
