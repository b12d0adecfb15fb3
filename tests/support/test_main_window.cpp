#include "test_main_window.h"

#include <atomic>
#include <thread>

#include "engine/job_list_rows.h"

namespace test_support {

namespace ui = platform::ui;

TestMainWindow::TestMainWindow()
    : jobs_(dialog_.add<ui::ListCtrl>(IDC_JOB_QUEUE_LIST, ui::Rect::from_size(0, 0, 800, 300))),
      printing_(
          dialog_.add<ui::ListCtrl>(IDC_PRINTING_LIST, ui::Rect::from_size(0, 300, 800, 300))) {
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        jobs_.insert_column(c, JobRow::kColumns[c].title, 80);
    }
    for (int c = 0; c < PrintRow::kColumnCount; ++c) {
        printing_.insert_column(c, PrintRow::kColumns[c].title, 60);
    }
    engine::register_main_window(this);
}

TestMainWindow::~TestMainWindow() {
    engine::register_main_window(nullptr);
}

ui::ListCtrl* TestMainWindow::list(int id) {
    if (id == IDC_JOB_QUEUE_LIST) {
        return &jobs_;
    }
    if (id == IDC_PRINTING_LIST) {
        return &printing_;
    }
    return nullptr;
}

void TestMainWindow::show_bitmap(int picture_id, int bitmap) {
    if (picture_id != engine::IDC_CONNECTION_PICTURE) {
        return;
    }
    std::function<void(int)> hook;
    {
        std::lock_guard lock(mutex_);
        bitmaps_.push_back(bitmap);
        hook = bitmap_hook_;
    }
    if (hook) {
        hook(bitmap);
    }
}

void TestMainWindow::on_bitmap(std::function<void(int)> hook) {
    std::lock_guard lock(mutex_);
    bitmap_hook_ = std::move(hook);
}

std::vector<int> TestMainWindow::bitmaps() const {
    std::lock_guard lock(mutex_);
    return bitmaps_;
}

void TestMainWindow::enable_button(int id, bool enabled) {
    std::lock_guard lock(mutex_);
    buttons_[id] = enabled;
}

void TestMainWindow::set_control_text(int id, std::string_view text) {
    std::lock_guard lock(mutex_);
    texts_[id] = std::string(text);
}

std::optional<bool> TestMainWindow::button_enabled(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = buttons_.find(id);
    return it != buttons_.end() ? std::optional<bool>(it->second) : std::nullopt;
}

std::string TestMainWindow::control_text(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = texts_.find(id);
    return it != texts_.end() ? it->second : std::string();
}

void TestMainWindow::add_job(const std::string& path, const std::string& copies,
                             const std::string& emboss, const std::string& direction) {
    const int row = jobs_.insert_item(jobs_.item_count(), path);
    jobs_.set_item_text(row, JobRow::state, JobState::ready_to_print);
    jobs_.set_item_text(row, JobRow::copies, copies);
    jobs_.set_item_text(row, JobRow::embossed_3d, emboss);
    jobs_.set_item_text(row, JobRow::print_direction, direction);
    JobRowTexts texts;
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        texts[c] = jobs_.item_text(row, c);
    }
    append_print_row(printing_, texts);
}

std::vector<std::string> TestMainWindow::column(ui::ListCtrl& list, int column) const {
    std::vector<std::string> texts;
    for (int row = 0; row < list.item_count(); ++row) {
        texts.push_back(list.item_text(row, column));
    }
    return texts;
}

bool run_off_ui_thread(const std::function<void()>& work, int timeout_ms) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool finished = pump_events_until([&] { return done.load(); }, timeout_ms);
    // Late work may be waiting for a call onto this thread: it is served until the work ends,
    // so a slow or failing test reports false instead of locking up in the join.
    while (!done.load()) {
        pump_events_until([&] { return done.load(); }, 1000);
    }
    worker.join();
    return finished;
}

}  // namespace test_support
