#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "engine/step_settings.h"
#include "platform/clock.h"
#include "settings/print_spooler.h"
#include "settings/virtual_printer_setup.h"
#include "temp_dir.h"

// The virtual-printer set-up on a print system of the tests' own making.
namespace test_support {

namespace fs = std::filesystem;
using settings::QueueSpec;
using settings::SpoolerQueue;

// A print system that keeps its queues in memory and fails where a test tells it to.
class ScriptedSpooler : public settings::PrintSpooler {
  public:
    std::optional<std::vector<SpoolerQueue>> list_queues() override {
        std::lock_guard lock(mutex_);
        if (failing("the list of printers")) {
            return std::nullopt;
        }
        return queues;
    }
    std::optional<settings::PdfDriverOffer> pdf_driver() override {
        std::lock_guard lock(mutex_);
        if (failing("the list of devices")) {
            return std::nullopt;
        }
        return settings::PdfDriverOffer{backend, backend ? "velquorin/velquorin-pdf.ppd" : ""};
    }
    bool delete_queue(const std::string& name) override {
        std::lock_guard lock(mutex_);
        if (refuse_delete == name) {
            return refuse("deleting " + name + ": client-error-not-possible");
        }
        if (failing("deleting " + name)) {
            return false;
        }
        deleted.push_back(name);
        std::erase_if(queues, [&](const SpoolerQueue& q) { return q.name == name; });
        return true;
    }
    bool add_queue(const QueueSpec& spec) override {
        std::lock_guard lock(mutex_);
        if (refuse_add == spec.name) {
            return refuse("adding " + spec.name + ": client-error-not-possible");
        }
        if (failing("adding " + spec.name)) {
            return false;
        }
        added.push_back(spec);
        std::erase_if(queues, [&](const SpoolerQueue& q) { return q.name == spec.name; });
        queues.push_back({spec.name, spec.device_uri});
        return true;
    }
    std::optional<settings::QueueState> queue_state(const std::string& name) override {
        std::lock_guard lock(mutex_);
        for (const QueueSpec& spec : added) {
            if (spec.name == name) {
                return settings::QueueState{
                    name == other_uri ? "velquorin-pdf:/elsewhere" : spec.device_uri,
                    name != not_accepting, name == ignore_media ? "iso_a4_210x297mm" : spec.media,
                    name == keeps_shared};
            }
        }
        return std::nullopt;
    }
    settings::SpoolerFailure last_failure() const override { return failure_; }
    std::string last_error() const override { return error_; }
    void cancel() override {}
    void reset() {
        backend = true;
        fails_with.reset();
        fail_at.clear();
        refuse_delete.clear();
        refuse_add.clear();
        ignore_media.clear();
        other_uri.clear();
        not_accepting.clear();
        keeps_shared.clear();
        queues.clear();
        deleted.clear();
        added.clear();
    }

    bool backend = true;
    // The request (by its name in the print system's errors, or any when empty) that fails,
    // and how.
    std::optional<settings::SpoolerFailure> fails_with;
    std::string fail_at;
    std::string refuse_delete;
    std::string refuse_add;
    std::string ignore_media;
    std::string other_uri;
    std::string not_accepting;
    std::string keeps_shared;
    std::vector<SpoolerQueue> queues;
    std::vector<std::string> deleted;
    std::vector<QueueSpec> added;

  private:
    bool failing(const std::string& what) {
        if (!fails_with || (!fail_at.empty() && fail_at != what)) {
            return false;
        }
        failure_ = *fails_with;
        error_ = what + (failure_ == settings::SpoolerFailure::NoAnswer
                             ? ": no answer from the print system within 30 s"
                             : ": Forbidden");
        return true;
    }
    bool refuse(const std::string& error) {
        failure_ = settings::SpoolerFailure::Refused;
        error_ = error;
        return false;
    }

    std::mutex mutex_;
    settings::SpoolerFailure failure_ = settings::SpoolerFailure::NoAnswer;
    std::string error_;
};

inline const SpoolerQueue kOperatorsPdf{"PDF", "ipp://localhost/printers/PDF"};

class VirtualPrinterSetupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() == 0 && !as_root_) {
            GTEST_SKIP() << "the set-up runs as the operator, and root is none: these tests run "
                            "as the operator (CI runs them so)";
        }
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        // The settings root as start-up makes it: the data folder in the operator's home plus
        // the model folder.
        dir_.emplace(home_of(::geteuid()));
        g_settings_root = (dir_->path() / "data" / "NorvaxelQ800X").string();
        fs::create_directories(g_settings_root);
        engine::create_virtual_hot_folders();
    }
    void TearDown() override {
        g_settings_root.clear();
        platform::set_time_scale(previous_scale_);
    }

    settings::SetupOutcome run() {
        settings::SetupProgress progress;
        progress.position = [this](int p) { positions_.push_back(p); };
        progress.spooler_error = [this](const std::string& text) { errors_.push_back(text); };
        progress.list_error = [this] { errors_.push_back("error"); };
        return settings::configure_virtual_printers(spooler_, progress);
    }
    std::vector<std::string> added_names() const {
        std::vector<std::string> names;
        for (const QueueSpec& spec : spooler_.added) {
            names.push_back(spec.name);
        }
        return names;
    }
    static std::vector<std::string> own_names() {
        std::vector<std::string> names;
        for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
            names.emplace_back(printer.name);
        }
        return names;
    }
    fs::path hot_folder(std::string_view layout) const {
        return fs::path(g_settings_root) / "VirtualHotFolder" / std::string(layout);
    }

    // The root run's own test says what the set-up does for root.
    bool as_root_ = false;
    std::optional<test_support::TempDir> dir_;
    ScriptedSpooler spooler_;
    std::vector<int> positions_;
    std::vector<std::string> errors_;

  private:
    double previous_scale_ = 1;
};

}  // namespace test_support
