// The print system as the set-up asks it, on a stand-in scheduler: every request ends within
// its bound, a request given up can be cancelled, and an answer that lacks what it must hold
// fails the request instead of the program. The dialogs stay answering throughout.
#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>

#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "qt_application.h"
#include "scoped_env.h"
#include "settings/print_spooler.h"
#include "settings/vsprinter_set.h"
#include "stand_in_scheduler.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using settings::PrintSpooler;
using settings::SpoolerFailure;

// Real time that a bound of 30 s at the tests' time scale (0.3 s) stays well inside.
constexpr auto kPromptly = std::chrono::seconds(5);

struct Request {
    const char* what;
    std::function<bool(PrintSpooler&)> answered;
};

const Request kRequests[] = {
    {"the list of printers", [](PrintSpooler& s) { return s.list_queues().has_value(); }},
    {"the list of devices", [](PrintSpooler& s) { return s.pdf_driver().has_value(); }},
    {"deleting Norvaxel_printer_KCMY",
     [](PrintSpooler& s) { return s.delete_queue("Norvaxel_printer_KCMY"); }},
    {"adding Norvaxel_printer_KCMY",
     [](PrintSpooler& s) {
         return s.add_queue({"Norvaxel_printer_KCMY", "Norvaxel printer KCMY", "velquorin-pdf:/x",
                             "velquorin/velquorin-pdf.ppd", "custom_500x700mm_500x700mm"});
     }},
    {"the settings of Norvaxel_printer_KCMY",
     [](PrintSpooler& s) { return s.queue_state("Norvaxel_printer_KCMY").has_value(); }},
};

class CupsSpoolerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(100);
    }
    void TearDown() override { platform::set_time_scale(previous_scale_); }

    test_support::TempDir dir_;
    test_support::StandInScheduler scheduler_{dir_ / "cups.sock"};

  private:
    double previous_scale_ = 1;
};

TEST_F(CupsSpoolerTest, ARequestThatGetsNoAnswerEndsWithinItsBoundNamingWhatDidNotAnswer) {
    for (const Request& request : kRequests) {
        SCOPED_TRACE(request.what);
        const auto spooler = settings::make_cups_spooler(scheduler_.path());
        const auto start = Clock::now();
        EXPECT_FALSE(request.answered(*spooler));
        EXPECT_LT(Clock::now() - start, kPromptly);
        EXPECT_EQ(spooler->last_failure(), SpoolerFailure::NoAnswer);
        EXPECT_EQ(spooler->last_error(),
                  std::string(request.what) + ": no answer from the print system within 30 s");
    }
    EXPECT_GE(scheduler_.connections(), 5);

    // No print system at all: said at once.
    const auto none = settings::make_cups_spooler((dir_ / "nothing.sock").string());
    EXPECT_FALSE(none->list_queues().has_value());
    EXPECT_EQ(none->last_failure(), SpoolerFailure::NoAnswer);
    EXPECT_EQ(none->last_error(), "the list of printers: no print system answers at " +
                                      (dir_ / "nothing.sock").string());
}

TEST_F(CupsSpoolerTest, ACancelEndsTheRequestUnderWayAtOnce) {
    platform::set_time_scale(1);  // a bound of 30 real seconds, which the cancel cuts short
    const auto spooler = settings::make_cups_spooler(scheduler_.path());
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        spooler->cancel();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(spooler->list_queues().has_value());
    EXPECT_LT(Clock::now() - start, kPromptly);
    canceller.join();
    EXPECT_EQ(spooler->last_failure(), SpoolerFailure::NoAnswer);
    EXPECT_FALSE(spooler->pdf_driver().has_value()) << "a cancelled spooler asks nothing more";
}

TEST_F(CupsSpoolerTest, ARequestThatWantsAPasswordIsNotAllowedAndNobodyIsAsked) {
    scheduler_.ask_for_password();
    for (const Request& request : kRequests) {
        SCOPED_TRACE(request.what);
        const auto spooler = settings::make_cups_spooler(scheduler_.path());
        EXPECT_FALSE(request.answered(*spooler));
        EXPECT_EQ(spooler->last_failure(), SpoolerFailure::NotAllowed) << spooler->last_error();
        EXPECT_EQ(spooler->last_error().rfind(request.what, 0), 0U) << spooler->last_error();
    }
}

// A program that was started before CUPS finds it once it is there: the client library keeps
// the first address it found for the thread that asked.
TEST_F(CupsSpoolerTest, TheMachinesPrintSystemIsLookedForAnewEachTime) {
    {
        test_support::ScopedEnv none("CUPS_SERVER", (dir_ / "not-yet.sock").c_str());
        EXPECT_FALSE(settings::make_cups_spooler()->list_queues().has_value());
    }
    test_support::ScopedEnv there("CUPS_SERVER", scheduler_.path().c_str());
    const auto spooler = settings::make_cups_spooler();
    EXPECT_FALSE(spooler->list_queues().has_value());
    EXPECT_EQ(spooler->last_error(),
              "the list of printers: no answer from the print system within 30 s");
}

// The answers of a print system, each right or with a number where a text must be.
void answer(ipp_t* request, ipp_t* response, ipp_op_t wrong) {
    const ipp_op_t op = ippGetOperation(request);
    const auto text = [&](ipp_tag_t tag, const char* name, const char* value) {
        if (op == wrong) {
            ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_INTEGER, name, 7);
        } else {
            ippAddString(response, IPP_TAG_PRINTER, tag, name, nullptr, value);
        }
    };
    switch (op) {
        case IPP_OP_CUPS_GET_PRINTERS:
            text(IPP_TAG_NAME, "printer-name", "Q");
            ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, "ipp://q");
            break;
        case IPP_OP_CUPS_GET_DEVICES:
            text(IPP_TAG_URI, "device-uri", "velquorin-pdf:/");
            break;
        case IPP_OP_CUPS_GET_PPDS:
            text(IPP_TAG_NAME, "ppd-name", "velquorin/velquorin-pdf.ppd");
            ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "ppd-make-and-model", nullptr,
                         "Velquorin PDF hot folder");
            break;
        case IPP_OP_GET_PRINTER_ATTRIBUTES:
            text(IPP_TAG_URI, "device-uri", "velquorin-pdf:/x");
            ippAddBoolean(response, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
            ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "media-default", nullptr,
                         "custom_500x700mm_500x700mm");
            break;
        default:
            break;
    }
}

TEST_F(CupsSpoolerTest, AnAnswerLackingAStringItMustHoldFailsTheRequestInsteadOfTheProgram) {
    const auto spooler = settings::make_cups_spooler(scheduler_.path());
    scheduler_.answer_with(
        [](ipp_t* request, ipp_t* response) { answer(request, response, IPP_OP_CUPS_NONE); });
    const auto queues = spooler->list_queues();
    ASSERT_TRUE(queues.has_value()) << spooler->last_error();
    ASSERT_EQ(queues->size(), 1U);
    EXPECT_EQ(queues->front().name, "Q");
    EXPECT_EQ(queues->front().device_uri, "ipp://q");
    const auto driver = spooler->pdf_driver();
    ASSERT_TRUE(driver.has_value()) << spooler->last_error();
    EXPECT_TRUE(driver->backend);
    EXPECT_EQ(driver->ppd_name, "velquorin/velquorin-pdf.ppd");
    const auto state = spooler->queue_state("Q");
    ASSERT_TRUE(state.has_value()) << spooler->last_error();
    EXPECT_EQ(state->device_uri, "velquorin-pdf:/x");
    EXPECT_TRUE(state->accepting);
    EXPECT_EQ(state->media, "custom_500x700mm_500x700mm");

    const std::pair<ipp_op_t, const Request*> wrongs[] = {
        {IPP_OP_CUPS_GET_PRINTERS, &kRequests[0]},
        {IPP_OP_CUPS_GET_DEVICES, &kRequests[1]},
        {IPP_OP_CUPS_GET_PPDS, &kRequests[1]},
        {IPP_OP_GET_PRINTER_ATTRIBUTES, &kRequests[4]},
    };
    for (const auto& [wrong, request] : wrongs) {
        SCOPED_TRACE(ippOpString(wrong));
        scheduler_.answer_with(
            [wrong = wrong](ipp_t* request, ipp_t* response) { answer(request, response, wrong); });
        EXPECT_FALSE(request->answered(*spooler));
        EXPECT_EQ(spooler->last_failure(), SpoolerFailure::Refused);
        EXPECT_NE(spooler->last_error().find("the print system's answer lacks"), std::string::npos)
            << spooler->last_error();
    }
}

// The dialogs on a print system that never answers.
class SilentPrintSystemDialogs : public CupsSpoolerTest {
  protected:
    void SetUp() override {
        CupsSpoolerTest::SetUp();
        settings::use_print_system(nullptr, scheduler_.path());
    }
    void TearDown() override {
        settings::use_print_system(nullptr);
        CupsSpoolerTest::TearDown();
    }
    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
};

TEST_F(SilentPrintSystemDialogs, TheDriverCheckSaysWhatDidNotAnswerAndTheWindowAnswersMeanwhile) {
    // A bound of 3 s: long enough that a window slow to open on a busy machine still finds the
    // check waiting, so the ticks count what the window served while it waited.
    platform::set_time_scale(10);
    vsprinter_set dialog;
    auto* status = dialog.control<platform::ui::Static>(vsprinter_set::IDC_STATUS);
    int ticks = 0;  // events the window served while it waited
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(5);
    test_support::run_modal(dialog, [&] {
        EXPECT_FALSE(dialog.item(vsprinter_set::IDC_START)->is_enabled());
        ticks = 0;
        ASSERT_TRUE(test_support::pump_events_until(
            [&] { return status->text().find("did not answer") != std::string::npos; }));
        dialog.control<platform::ui::Button>(platform::ui::kIdCancel)->click();
    });
    EXPECT_EQ(status->text(),
              "The print system (CUPS) did not answer: the list of printers: no answer from the "
              "print system within 30 s");
    EXPECT_FALSE(dialog.item(vsprinter_set::IDC_START)->is_enabled());
    EXPECT_GT(ticks, 10);
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"error"});
}

TEST_F(SilentPrintSystemDialogs, CloseEndsTheDriverCheckAtOnce) {
    platform::set_time_scale(1);  // the request's bound is 30 real seconds
    const auto start = Clock::now();
    {
        vsprinter_set dialog;
        const int code = test_support::run_modal(dialog, [&] {
            dialog.control<platform::ui::Button>(platform::ui::kIdCancel)->click();
        });
        EXPECT_EQ(code, platform::ui::kIdCancel);
    }
    EXPECT_LT(Clock::now() - start, kPromptly);
}

TEST_F(SilentPrintSystemDialogs, TheConfigurationEndsWithWhatDidNotAnswer) {
    vsprinter_setting_progress dialog;
    const int code = test_support::run_modal(dialog, [] {});
    EXPECT_EQ(code, kSetupSpoolerNotAnswering);
    EXPECT_EQ(dialog.outcome().detail,
              "the list of printers: no answer from the print system within 30 s");
    EXPECT_NE(settings::virtual_printer_setup_message(dialog.outcome())
                  .find("the print system (CUPS) did not answer"),
              std::string::npos);
}

}  // namespace
