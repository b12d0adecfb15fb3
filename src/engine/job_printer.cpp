// The job printer: prints the first row of the printing list, from the connection check to the
// file handling after the last copy, on the print-loop thread.

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "engine/channel_arrangement.h"
#include "engine/job_list_rows.h"
#include "engine/job_options.h"
#include "engine/job_printer_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "engine/pass_expansion.h"
#include "engine/pass_masks.h"
#include "engine/prn_reader.h"
#include "engine/step_settings.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"
#include "engine/y_feed.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace {

namespace ui = platform::ui;
using engine::printing_cell;
using engine::set_printing_cell;

constexpr std::uint32_t kEndOfJobWaitMs = 35000;
constexpr std::uint32_t kStatusPollMs = 500;
// The after-print table command moves the table; the printer answers within seconds. The wait
// is bounded so that a printer that never answers cannot hold the print loop for ever.
constexpr std::uint32_t kEndActionLimitMs = 60000;

// Told once when a job cannot be printed at all; the job leaves the printing list.
constexpr const char* kRefusedText =
    "This print file can't be printed: its image size or print mode is outside what the "
    "printer supports.\n";
// A read of the print file failed: at its opening, in its header or in its body.
constexpr const char* kUnreadableText = "Print file can't read.";
constexpr const char* kEndActionText =
    "The printer did not finish the after-print table command; please check the table.";

std::string percent_text(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%2" PRIu64, value);
    return text;
}

void show_band_progress(const std::string& path, std::uint64_t bands_printed, int divisor) {
    set_printing_cell(path, PrintRow::progress, percent_text(100 * bands_printed / divisor));
}

}  // namespace

bool Monitoring_thread::stopped() {
    // A job whose printer was given back (by the abort tail) is stopped whatever the flag says:
    // maintenance that took the printer since clears the flag for its own work.
    return !printer_claim().owns() || g_stop_printing == 1;
}

void Monitoring_thread::hand_off_pass() {
    if (g_pass_sent == 1 && !stopped()) {
        WaitPassDone();  // the previous pass must be finished
    }
    if (!stopped()) {
        SendPassCommand();
    }
    g_pass_sent = 1;
}

void Monitoring_thread::print_window() {
    copy_lines_for_mode();
    advance_pass();
    apply_pass_masks();
    clear_staging_planes();
    expand_pass_buffers();
    send_band_passes();
}

void Monitoring_thread::send_band_passes() {
    // Each pass is packed only while the job owns the printer: a stop in an earlier pass of
    // the band may have given it back, and the transfer buffer may be maintenance's by now.
    if (g_emboss_passes > 0 && g_ink_mode > 1) {
        for (int i = 0; i < g_emboss_passes && printer_claim().owns(); ++i) {
            pack_transfer_buffer_4ch();
            SendBandData();
            hand_off_pass();
        }
    }
    if (!printer_claim().owns()) {
        return;
    }
    pack_transfer_buffer_8ch();
    SendBandData();
    hand_off_pass();
}

bool Monitoring_thread::refuse_unprintable_job(const std::string& path, bool braille) {
    // The header is read and the stepping chosen as the preparation will do it, before the
    // printer is asked anything: a job without stepping, or whose rows or columns do not fit
    // the pass buffers, would print on zero or stale values. Such a job is refused once and
    // leaves the printing list instead of being tried again every 2 seconds for ever.
    g_pass_count = 0;  // an unknown image mode must not keep the last job's pass count
    read_prn_header();
    const bool mode_known = g_pass_count != 0;
    if (braille) {
        g_edge_kind = EDGE_BRAILLE;
    }
    select_stepping();
    if (g_stepping_valid == 1 && g_prn_layout_ok == 1 && mode_known) {
        return false;
    }
    drop_unprintable_job(path, mode_known);
    return true;
}

void Monitoring_thread::drop_unprintable_job(const std::string& path, bool mode_known) {
    g_prn_file.close();
    printer_claim().give_back();
    if (g_prn_read_failed == 1) {
        ui::message_box(kUnreadableText, "", ui::Buttons::Ok);
    } else if (mode_known) {  // the reader has told the operator about an unknown image mode
        ui::message_box(std::string(kRefusedText) + path, "", ui::Buttons::Ok, ui::Icon::Stop);
    }
    engine::delete_printing_row(path);
    engine::set_job_state(path, JobState::wait);
}

bool Monitoring_thread::stopped_in_setup() {
    if (!stopped()) {
        return false;
    }
    // The primitive that stopped has closed the file and marked the printer idle; made sure of
    // here, since a printer left marked busy would never be tried again. The job gives back
    // only its own claim: one the abort tail already gave back, maybe to maintenance that took
    // the printer during its pause, stays given back.
    g_prn_file.close();
    printer_claim().give_back();
    return true;
}

bool Monitoring_thread::send_setup_commands() {
    // In their order, with a stop check after each.
    const std::function<void()> steps[] = {
        [this] { SendDirection(); },
        [this] { SendRotaryMode(); },
        [this] { SendEmbossPasses(0); },
        [this] {
            if (g_rotary_mode == 0) {
                select_start_offset();
                SendYPosition();
                // A stop at the start position has given the printer back, perhaps to
                // maintenance already: the start-ready is not the job's to send.
                if (!stopped()) {
                    SendStartReady();
                }
            }
        },
        [this] {
            platform::sleep_ms(100);
            SendColumnCount();
        },
        [this] { WaitCommandAckOrAbort(); },
        [this] {
            if (g_ink_mode > 1 && g_ink_mode != 4) {
                SendEmbossPasses(static_cast<std::uint8_t>(g_emboss_passes));
            }
        },
        [this] { SendUvSetting(static_cast<std::uint8_t>(g_uv_setting)); },
        [this] { SendInkMode(); },
        [this] { SendNotVarnishOnly(); },
        [this] {
            compute_y_feed_steps();
            SendYPosition();
        },
    };
    for (const std::function<void()>& step : steps) {
        step();
        if (stopped_in_setup()) {
            return false;
        }
    }
    return true;
}

void Monitoring_thread::wait_end_action(std::uint8_t command) {
    g_command_buffer[0] = kFrameStart;
    g_command_buffer[1] = command;
    g_command_length = 2;
    SendCommand();
    const std::uint32_t start = platform::tick_count();
    std::uint8_t status = ReadStatus();
    // Bounded, and ended by the printer's stop: the answer is otherwise the only way out.
    // Either way out stops the job, as every wait that meets the stop or gives up does: the
    // table did not finish, so the copy is not counted as printed.
    while (!is_end_action_done(status)) {
        if (status == STATUS_ABORTED) {
            abort_tail();
            return;
        }
        if (platform::tick_count() - start > kEndActionLimitMs) {
            g_stop_printing = 1;
            g_command_buffer[0] = kFrameStart;
            g_command_buffer[1] = CMD_STOP;
            g_command_length = 2;
            SendCommand();
            ui::message_box(kEndActionText, "", ui::Buttons::Ok, ui::Icon::Warning);
            return;
        }
        platform::sleep_ms(kStatusPollMs);
        status = ReadStatus();
    }
}

void Monitoring_thread::PrintJob(const std::string& path) {
    // 1. Idle gate.
    if (g_printer_idle != 1) {
        return;
    }
    // 2. Connection. The thread's own device only: no shared state is touched before the claim.
    const std::uint8_t count = usb_device->DeviceCount();
    if (count == 0) {
        set_printing_cell(path, PrintRow::state, JobState::connect_failed);
        engine::show_main_window_bitmap(engine::IDC_CONNECTION_PICTURE,
                                        engine::IDB_PRINTER_NOT_CONNECTED);
        return;
    }
    for (std::uint8_t dev = 0; dev < count; ++dev) {
        usb_device->Open(dev);
    }
    engine::show_main_window_bitmap(engine::IDC_CONNECTION_PICTURE, engine::IDB_PRINTER_CONNECTED);
    // 3. Other printer work started meanwhile. The printer is claimed here in one step, so that
    // maintenance starting between this test and the file's opening cannot run beside the job;
    // from here the job owns the printer until it gives it back, once.
    if (!printer_claim().take()) {
        ui::message_box(
            "There has one task not print finished, please close this program and restart to "
            "print again!",
            "", ui::Buttons::Ok);
        return;
    }
    // 4. The print file. Unreadable, the printer is given back before the operator is told.
    if (!open_prn_file(path)) {
        printer_claim().give_back();
        ui::message_box(kUnreadableText, "", ui::Buttons::Ok);
        return;
    }

    // 5. The row's values, then the settings file. A job whose printing row is gone (taken out
    // of printing since the print loop read it) is not printed, and its file stays.
    const std::optional<engine::PrintRowOptions> options = engine::read_print_row_options(path);
    if (!options) {
        g_prn_file.close();
        printer_claim().give_back();
        return;
    }
    const bool braille = options->emboss == "Braille";
    g_emboss_passes = engine::emboss_passes_for(options->emboss);
    const bool unidirectional = options->direction == "Uni";
    const engine::JobSettings settings = engine::read_job_settings(braille);

    if (refuse_unprintable_job(path, braille)) {
        return;
    }

    // 6. Ready check.
    g_stop_printing = 0;
    g_reconnect_cancelled = 0;
    CheckPrinterReady();
    if (stopped()) {
        engine::show_media_out(path);
        stopped_in_setup();
        return;
    }
    // 7. Printing: the job commits here, before the first set-up command, and only while its
    // printing row is there and first; the operator may have taken it out of printing, or
    // sent it again behind others, up to this call.
    if (!engine::commit_job_rows(path)) {
        g_prn_file.close();
        printer_claim().give_back();
        return;
    }

    // 8. Preparation.
    load_step_settings();
    read_prn_header();
    if (braille) {
        g_edge_kind = EDGE_BRAILLE;
    }
    select_stepping();
    DrainStatus();
    clear_staging_planes();
    clear_print_planes();
    clear_transfer_buffer();
    g_pass_sent = 0;
    g_pass_toggle = 0;
    g_band_index = 0;
    g_blank_lines = 0;
    g_skip_state = 0;
    g_ink_seen = 0;
    read_prn_header();
    g_direction = unidirectional ? 0 : 1;
    g_uv_setting = engine::uv_setting_for(settings.uv_entry, g_direction);
    if (braille) {
        g_uv_setting = 0;
        g_direction = 1;
    }
    // A header that read moments ago and fails now: the job ends before the printer is asked
    // anything more, as one whose header never read.
    if (g_prn_read_failed == 1) {
        drop_unprintable_job(path, true);
        return;
    }

    // 9. Idle wait, then the pass timing starts afresh.
    WaitPrinterIdle();
    g_first_pass_seen = 0;
    g_pass_timing_calibrated = 0;
    g_first_pass_tick = 0;
    g_pass_timeout_ms = kInitialPassTimeoutMs;
    if (stopped()) {
        engine::delete_printing_row(path);
        engine::set_job_state(path, JobState::wait);
        stopped_in_setup();
        return;
    }

    // 10. Set-up commands; a stop leaves both rows, so the job starts again.
    if (!send_setup_commands()) {
        return;
    }

    // 11. Progress source.
    const int divisor = engine::band_progress_divisor(printing_cell(path, PrintRow::pass_time));
    std::uint64_t bands_printed = 0;

    // 12. Band loop.
    while (g_lines_left > 0 && !stopped()) {
        g_pass_done = 0;
        shift_input_window();
        seek_prn_band();
        read_band_from_prn();
        stop_on_read_error();
        detect_blank_band();
        compute_skip_position();
        bool print_band = g_skip_state == SKIP_PRINT && !stopped();
        if (g_skip_state == SKIP_REPOSITION) {
            if (g_pass_sent == 1) {
                WaitPassDone();
            }
            if (!stopped()) {
                SendYPosition();  // the gap's distance
            }
            if (!stopped()) {
                SendSkipFeed();
            }
            if (!stopped()) {
                SendSkipFeedWait();  // also clears g_pass_sent
            }
            if (!stopped()) {
                compute_y_feed_steps();
                SendYPosition();  // the pass feed again
            }
            g_skip_state = SKIP_PRINT;
            print_band = !stopped();
        }
        if (print_band) {
            g_ink_seen = 1;
            print_window();
            ++bands_printed;
        }
        if (divisor > 0) {
            show_band_progress(path, bands_printed, divisor);
        } else {
            const std::uint64_t done = g_prn_line_count - g_lines_left;
            set_printing_cell(path, PrintRow::progress,
                              percent_text(done * 100 / g_prn_line_count));
        }
    }

    // 13.-18. only while the job still owns the printer. A stop in the band loop leaves it the
    // job's, and the end-of-job wait runs as after every stop; once an abort tail has given it
    // back, the printer, its transfer buffer and its pass flags may be maintenance's already.
    if (printer_claim().owns()) {
        finish_job(path, divisor, bands_printed);
    }
    g_prn_file.close();
    // 19.
    set_printing_cell(path, PrintRow::progress, "");
    const bool was_stopped = stopped();
    printer_claim().give_back();

    // A file that could not be read was not printed: it is kept, whatever the settings say of
    // a cancelled job, for the operator to look into.
    engine::JobSettings filing = settings;
    if (g_prn_read_failed == 1) {
        ui::message_box(kUnreadableText, "", ui::Buttons::Ok);
        filing.keep_cancelled = true;
    }

    // 20. Copies.
    const int copies = engine::count_down_copies(path, was_stopped);
    // 21, 22. The job row, then the print file.
    engine::file_printed_job(path, was_stopped, copies, filing);
}

void Monitoring_thread::stop_on_read_error() {
    if (g_prn_read_failed != 1 || stopped()) {
        return;
    }
    // The rest of the file is not the job: the job stops, and the printer, which would wait
    // for the rest, is told to stop too, as after a wait that gave up.
    g_stop_printing = 1;
    g_command_buffer[0] = kFrameStart;
    g_command_buffer[1] = CMD_STOP;
    g_command_length = 2;
    SendCommand();
}

void Monitoring_thread::finish_job(const std::string& path, int divisor,
                                   std::uint64_t bands_printed) {
    // 13. Tail bands: the lines still in the window pass under every nozzle row.
    if (g_skip_state == SKIP_PRINT) {
        compute_tail_bands();
        for (std::uint32_t i = 0; i < g_tail_bands; ++i) {
            if (!stopped()) {
                g_pass_done = 0;
                shift_input_window();
                clear_step_rows();
                // The mask phase moves on with every pass, tail bands included: held, it left
                // the tail's feathered lines printed twice or not at all.
                print_window();
                ++bands_printed;
            }
            if (divisor > 0) {
                show_band_progress(path, bands_printed, divisor);
            }
        }
    }
    // 14. The empty passes that end a 2Vanish job.
    if (g_ink_mode == 4) {
        compute_trailing_passes();
        for (std::uint32_t i = 0; i < g_trailing_passes; ++i) {
            g_pass_done = 0;
            if (!stopped()) {
                hand_off_pass();
            }
        }
    }
    // 15. The window is emptied; nothing is sent.
    for (std::uint32_t i = 0; i < g_tail_bands; ++i) {
        shift_input_window();
        clear_step_rows();
        copy_lines_for_mode();
    }
    // 16. End of job.
    if (!stopped()) {
        DrainStatus();
    }
    g_prn_file.close();
    g_pass_done = 0;
    if (!stopped()) {
        SendEndOfPrint();
    }
    // 17. The printer finishes the job (also after a stop), unless the reconnect was
    // cancelled. A printer that reports it stopped here ends the job as every wait that
    // meets the stop does: the copy was not printed, so it is neither counted down nor
    // filed. A stop in a tail band may have given the printer back already: then the
    // printer, and its stopped status, may be maintenance's.
    if (g_reconnect_cancelled != 1 && printer_claim().owns()) {
        wait_job_finished();
    }
    // 18. After-print table command, as the job's row reads now: the operator may have
    // chosen it while the job printed.
    if (!stopped() && g_reconnect_cancelled != 1) {
        const std::uint8_t after_print =
            engine::after_print_command_for(printing_cell(path, PrintRow::after_print_command));
        if (after_print != 0) {
            wait_end_action(after_print);
        }
    }
}

void Monitoring_thread::wait_job_finished() {
    const std::uint32_t start = platform::tick_count();
    for (std::uint8_t status = ReadStatus(); status != STATUS_JOB_FINISHED; status = ReadStatus()) {
        if (status == STATUS_ABORTED) {
            abort_tail();
            return;
        }
        if (platform::tick_count() - start > kEndOfJobWaitMs) {
            return;
        }
        platform::sleep_ms(kStatusPollMs);
    }
}
