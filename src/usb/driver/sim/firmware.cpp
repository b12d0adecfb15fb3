#include "usb/driver/sim/firmware.h"

#include "platform/clock.h"
#include "usb/driver/sim/cable.h"

namespace usb::sim {
namespace {

// The command codes and status bytes as the printer knows them.
constexpr std::uint8_t kColumnCount = 0x01;
constexpr std::uint8_t kPassForward = 0x02;
constexpr std::uint8_t kPassBackward = 0x03;
constexpr std::uint8_t kAckRequest = 0x05;
constexpr std::uint8_t kHeadCleaning = 0x08;
constexpr std::uint8_t kWaitIdle = 0x35;
constexpr std::uint8_t kPassUni = 0x38;
constexpr std::uint8_t kPassCount = 0x39;
constexpr std::uint8_t kStop = 0x55;
constexpr std::uint8_t kYPosition = 0x62;
constexpr std::uint8_t kStartReady = 0x70;
constexpr std::uint8_t kSkipFeed = 0x73;
constexpr std::uint8_t kSkipFeedWait = 0x74;
constexpr std::uint8_t kResyncQuery = 0x87;
constexpr std::uint8_t kDirection = 0x88;
constexpr std::uint8_t kIdleHeartbeat = 0xA3;
constexpr std::uint8_t kCheckReady = 0xA6;
constexpr std::uint8_t kEndYMoveBack = 0xA7;
constexpr std::uint8_t kEndAutoYz = 0xA9;
constexpr std::uint8_t kEndOfPrint = 0xAA;
constexpr std::uint8_t kInkChargingInstall = 0xC1;
constexpr std::uint8_t kInkChargingMaintenance = 0xC2;

constexpr std::uint8_t kReady = 0x05;
constexpr std::uint8_t kIdle = '5';
constexpr std::uint8_t kPassAccepted = 'P';
constexpr std::uint8_t kPassDone = 'U';
constexpr std::uint8_t kResyncOk = 'a';
constexpr std::uint8_t kStartReadyOk = 'p';
constexpr std::uint8_t kSkipFeedDone = 't';
constexpr std::uint8_t kCheckReadyOk = 0xA6;
constexpr std::uint8_t kBusy = 0x00;
constexpr std::uint8_t kJobFinished = 0xF1;
constexpr std::uint8_t kAborted = 0xF0;

constexpr std::uint8_t kCommandRequest = 0x01;
constexpr std::uint8_t kStatusRequest = 0x81;

// The columns the printer adds to the image's pixels.
constexpr std::uint32_t kColumnMargin = 904;

std::uint32_t u32_at(std::span<const std::uint8_t> frame) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && 2 + i < frame.size(); ++i) {
        value |= std::uint32_t{frame[2 + i]} << (8 * i);
    }
    return value;
}

bool expired(std::uint32_t due, std::uint32_t now) {
    return static_cast<std::int32_t>(now - due) >= 0;
}

// The questions whose answer says whether the printer can take work.
bool asks_readiness(std::uint8_t code) {
    return code == kAckRequest || code == kWaitIdle || code == kCheckReady || code == kStartReady;
}

}  // namespace

Firmware::Firmware(std::unique_ptr<Recorder> recorder) : recorder_(std::move(recorder)) {}

void Firmware::attach(Cable* printer) {
    std::lock_guard lock(mutex_);
    printer_ = printer;
}

void Firmware::answer_at(std::uint8_t code, int n, std::uint8_t status) {
    std::lock_guard lock(mutex_);
    scripted_answers_[{code, n}] = status;
}

void Firmware::never_finish_pass(int n) {
    std::lock_guard lock(mutex_);
    passes_never_done_.insert(n);
}

void Firmware::lose_connection_at_piece(int n, std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    lost_pieces_[n] = ms;
}

void Firmware::set_silent(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

void Firmware::set_bidir_pass_delay_ms(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    bidir_delay_ms_ = ms;
}

Firmware::State Firmware::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::uint32_t Firmware::pass_time_ms() const {
    std::lock_guard lock(mutex_);
    return pass_time_locked();
}

std::uint32_t Firmware::pass_time_locked() const {
    // 5.8 ms per millimetre of image width and 1000 ms per pass; a bidirectional pass takes
    // half of that plus the stepping's pause.
    const std::uint32_t pixels =
        state_.column_count > kColumnMargin ? state_.column_count - kColumnMargin : 0;
    const double width_mm = pixels * 25.4 / 720.0;
    const double uni = 5.8 * width_mm + 1000.0;
    const double ms = state_.direction != 0 ? uni / 2 + bidir_delay_ms_ : uni;
    return static_cast<std::uint32_t>(ms + 0.5);
}

void Firmware::finish_pass_locked() {
    state_.pass_in_progress = false;
    ++state_.passes_done;
    // Reported at once when nothing else was asked since the pass; otherwise once, before the
    // answer to what was asked. A pass that ends before its acceptance was read still answers
    // the pass command with the acceptance first: the host's pause before that read is no
    // reason to take the pass again.
    if (pass_answer_unread_) {
        interrupt_ = kPassAccepted;
        status_ = kPassDone;
    } else if (command_since_pass_) {
        interrupt_ = kPassDone;
    } else {
        status_ = kPassDone;
    }
}

void Firmware::advance_locked(std::uint32_t now) {
    if (state_.pass_in_progress && !pass_never_done_ && expired(pass_due_, now)) {
        finish_pass_locked();
    }
    if (feed_due_ && expired(*feed_due_, now)) {
        feed_due_.reset();
        if (status_ == kBusy) {
            status_ = kSkipFeedDone;
        }
    }
    if (end_action_due_ && expired(end_action_due_->first, now)) {
        status_ = end_action_due_->second;
        end_action_due_.reset();
    }
    if (maintenance_due_ && expired(*maintenance_due_, now)) {
        maintenance_due_.reset();
        state_.maintenance = 0;
        if (status_ == kBusy) {
            status_ = answer_after_maintenance_;
        }
    }
    if (job_finish_due_ && !state_.pass_in_progress && expired(*job_finish_due_, now)) {
        status_ = kJobFinished;
        state_.job_running = false;
        job_finish_due_.reset();
    }
}

void Firmware::stop_locked() {
    state_.pass_in_progress = false;
    state_.job_running = false;
    interrupt_.reset();
}

void Firmware::command_locked(std::span<const std::uint8_t> frame) {
    // Bounded: a printer of the demo runs all day.
    state_.commands.emplace_back(frame.begin(), frame.end());
    if (state_.commands.size() > kKeptCommands) {
        state_.commands.pop_front();
    }
    if (frame.size() < 2) {
        return;
    }
    const std::uint8_t code = frame[1];
    const int n = ++command_counts_[code];
    const std::uint32_t now = platform::tick_count();
    command_since_pass_ = true;
    pass_answer_unread_ = false;
    const auto scripted = scripted_answers_.find({code, n});
    if (scripted != scripted_answers_.end()) {
        // A fault in place of what the command would do. A printer that reports it stopped has
        // stopped: the pass it was printing is over and never reported done, so no job after
        // it meets that report in place of the answer to its own first question.
        status_ = scripted->second;
        if (status_ == kAborted) {
            stop_locked();
        }
        return;
    }
    // What ended before the command arrived is over, and its status gives way to the
    // command's answer: a job that finished while nobody asked must not answer the next
    // acknowledgement request with its end.
    if (maintenance_due_ && expired(*maintenance_due_, now)) {
        maintenance_due_.reset();
        state_.maintenance = 0;
    }
    if (job_finish_due_ && !state_.pass_in_progress && expired(*job_finish_due_, now)) {
        job_finish_due_.reset();
        state_.job_running = false;
    }
    if (maintenance_due_ && asks_readiness(code)) {
        // Busy with its own cleaning or charging: the answer comes when that is over.
        answer_after_maintenance_ = code == kWaitIdle     ? kIdle
                                    : code == kCheckReady ? kCheckReadyOk
                                    : code == kStartReady ? kStartReadyOk
                                                          : kReady;
        status_ = kBusy;
        return;
    }
    switch (code) {
        case kHeadCleaning:
        case kInkChargingInstall:
        case kInkChargingMaintenance:
            state_.maintenance = code;
            maintenance_due_ = now + (code == kHeadCleaning         ? kHeadCleaningMs
                                      : code == kInkChargingInstall ? kInkChargingInstallMs
                                                                    : kInkChargingMaintenanceMs);
            status_ = kBusy;
            break;
        case kPassCount:
            status_ = kReady;
            break;
        case kPassUni:
        case kPassForward:
        case kPassBackward: {
            const int pass = ++state_.passes_started;
            state_.pass_in_progress = true;
            state_.job_running = true;
            pass_never_done_ = passes_never_done_.count(pass) > 0;
            pass_due_ = now + pass_time_locked();
            command_since_pass_ = false;
            pass_answer_unread_ = true;
            status_ = kPassAccepted;
            break;
        }
        case kColumnCount:
            state_.column_count = u32_at(frame);
            status_ = kReady;
            break;
        case kDirection:
            state_.direction = frame.size() > 2 ? frame[2] : 0;
            status_ = kReady;
            break;
        case kYPosition:
            state_.y_position = u32_at(frame);
            status_ = kReady;
            break;
        case kCheckReady:
            state_.job_running = true;
            status_ = kCheckReadyOk;
            break;
        case kWaitIdle:
            status_ = kIdle;
            break;
        case kAckRequest:
            status_ = kReady;
            break;
        case kStartReady:
            status_ = kStartReadyOk;
            break;
        case kSkipFeed:
            feed_due_ = now + kSkipFeedMs;
            break;
        case kSkipFeedWait:
            status_ = feed_due_ ? kBusy : kSkipFeedDone;
            break;
        case kResyncQuery:
            status_ = kResyncOk;
            break;
        case kEndYMoveBack:
        case kEndAutoYz:
            status_ = kBusy;
            end_action_due_ = std::pair{now + kEndActionMs, code};
            break;
        case kEndOfPrint:
            job_finish_due_ = (state_.pass_in_progress ? pass_due_ : now) + kJobFinishMs;
            break;
        case kStop:
            stop_locked();
            break;
        case kIdleHeartbeat:
            break;
        default:
            // Set-up and maintenance commands: taken.
            status_ = kReady;
            break;
    }
}

ClassAnswer Firmware::class_request(const SetupPacket& setup, std::span<std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (silent_) {
        return {ClassReply::NoAnswer, 0};
    }
    if (!setup.device_to_host()) {
        if (setup.request != kCommandRequest) {
            return {ClassReply::Stall, 0};
        }
        if (recorder_) {
            recorder_->command(data);
        }
        command_locked(data);
        return {ClassReply::Done, data.size()};
    }
    if (setup.request != kStatusRequest || data.empty()) {
        return {ClassReply::Stall, 0};
    }
    advance_locked(platform::tick_count());
    std::uint8_t answer = status_;
    if (interrupt_) {
        answer = *interrupt_;
        interrupt_.reset();
    }
    pass_answer_unread_ = false;
    data[0] = answer;
    if (recorder_) {
        recorder_->status(answer);
    }
    return {ClassReply::Done, 1};
}

void Firmware::bulk_out(std::uint8_t, std::span<const std::uint8_t> data) {
    Cable* printer = nullptr;
    std::uint32_t lost_ms = 0;
    {
        std::lock_guard lock(mutex_);
        const auto lost = lost_pieces_.find(++pieces_);
        if (lost != lost_pieces_.end()) {
            // The cable goes in the middle of this piece: none of it counts.
            printer = printer_;
            lost_ms = lost->second;
        } else {
            state_.bulk_bytes += data.size();
            if (recorder_) {
                recorder_->bulk(data);
            }
        }
    }
    if (printer != nullptr) {
        printer->unplug_for(lost_ms);
    }
}

}  // namespace usb::sim
