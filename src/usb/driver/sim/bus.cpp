#include "usb/driver/sim/bus.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "platform/clock.h"
#include "platform/thread.h"
#include "usb/device.h"
#include "usb/driver/sim/firmware.h"

namespace usb::sim {
namespace {

bool shares_all(std::uint32_t flags) {
    return (flags & kShareRead) != 0 && (flags & kShareWrite) != 0;
}

class Snapshot : public DeviceInterfaceSet {
  public:
    explicit Snapshot(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    EnumResult interface_at(std::uint32_t index) const override {
        return index < paths_.size() ? EnumResult::Ok : EnumResult::NoMoreItems;
    }
    std::string interface_path(std::uint32_t index) const override {
        return index < paths_.size() ? paths_[index] : std::string();
    }

  private:
    std::vector<std::string> paths_;
};

}  // namespace

Printer::Printer(Bus& bus, std::string path, const PrinterSpec& spec,
                 std::shared_ptr<PrinterModel> model)
    : bus_(bus),
      path_(std::move(path)),
      spec_(spec),
      tables_(DescriptorTables::build(spec)),
      address_(static_cast<std::uint8_t>(bus.printers_.size() + 1)),
      model_(std::move(model)) {}

void Printer::unplug() {
    std::unique_lock lock(bus_.mutex_);
    plugged_ = false;
    ++generation_;
    pipe_free_at_.clear();
    bus_.cancel_locked(
        lock, [this](const Bus::Pending& p) { return p.printer == this; }, kErrorDeviceGone);
}

void Printer::replug() {
    std::lock_guard lock(bus_.mutex_);
    plugged_ = true;
    replug_pending_ = false;
}

void Printer::unplug_for(std::uint32_t ms) {
    unplug();
    std::lock_guard lock(bus_.mutex_);
    replug_pending_ = true;
    replug_at_ = platform::tick_count() + ms;
    bus_.changed_.notify_all();
}

void Printer::replug_if_due_locked(std::uint32_t now) const {
    if (replug_pending_ && static_cast<std::int32_t>(now - replug_at_) >= 0) {
        plugged_ = true;
        replug_pending_ = false;
    }
}

bool Printer::plugged() const {
    std::lock_guard lock(bus_.mutex_);
    replug_if_due_locked(platform::tick_count());
    return plugged_;
}

void Printer::hold_next(TransferKind kind, int count) {
    std::lock_guard lock(bus_.mutex_);
    holds_[static_cast<std::size_t>(kind)] += count;
}

void Printer::set_model(std::shared_ptr<PrinterModel> model) {
    std::lock_guard lock(bus_.mutex_);
    model_ = std::move(model);
}

std::shared_ptr<PrinterModel> Printer::model() const {
    std::lock_guard lock(bus_.mutex_);
    return model_;
}

std::size_t Printer::open_handles() const {
    std::lock_guard lock(bus_.mutex_);
    return static_cast<std::size_t>(
        std::count_if(bus_.handles_.begin(), bus_.handles_.end(), [this](const auto& entry) {
            return entry.second.printer == this && entry.second.generation == generation_;
        }));
}

Bus::Bus() : thread_([this] { run(); }) {}

Bus::~Bus() {
    {
        std::unique_lock lock(mutex_);
        stop_ = true;
        cancel_locked(
            lock, [](const Pending&) { return true; }, kErrorAborted);
    }
    changed_.notify_all();
    thread_.join();
}

std::shared_ptr<Printer> Bus::add_printer(const PrinterSpec& spec,
                                          std::shared_ptr<PrinterModel> model) {
    if (model == nullptr) {
        model = std::make_shared<RecordingModel>();
    }
    std::lock_guard lock(mutex_);
    const std::string path = "sim:usb/printer-" + std::to_string(printers_.size() + 1);
    std::shared_ptr<Printer> printer(new Printer(*this, path, spec, std::move(model)));
    printers_.push_back(printer);
    return printer;
}

std::vector<std::shared_ptr<Printer>> Bus::printers() const {
    std::lock_guard lock(mutex_);
    return printers_;
}

std::vector<TransferLogEntry> Bus::transfer_log() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void Bus::clear_transfer_log() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

std::size_t Bus::pending_transfers() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::unique_ptr<DeviceInterfaceSet> Bus::present_interfaces(const Guid& guid) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    const std::uint32_t now = platform::tick_count();
    for (const auto& printer : printers_) {
        printer->replug_if_due_locked(now);
        const Guid& own =
            printer->spec_.guid == Guid{} ? g_driver_interface_guid : printer->spec_.guid;
        if (printer->plugged_ && own == guid) {
            paths.push_back(printer->path_);
        }
    }
    return std::make_unique<Snapshot>(std::move(paths));
}

std::uint64_t Bus::open(const std::string& path, std::uint32_t flags, std::uint32_t& error) {
    std::lock_guard lock(mutex_);
    const std::uint32_t now = platform::tick_count();
    const auto found = std::find_if(printers_.begin(), printers_.end(), [&](const auto& printer) {
        printer->replug_if_due_locked(now);
        return printer->path_ == path && printer->plugged_;
    });
    if (found == printers_.end()) {
        error = kErrorFileNotFound;
        return 0;
    }
    Printer* printer = found->get();
    for (const auto& [id, handle] : handles_) {
        if (handle.printer == printer && handle.generation == printer->generation_ &&
            (!shares_all(handle.flags) || !shares_all(flags))) {
            error = kErrorSharingViolation;
            return 0;
        }
    }
    const std::uint64_t id = next_handle_++;
    handles_[id] = Handle{printer, printer->generation_, flags};
    error = kErrorNone;
    return id;
}

bool Bus::close(std::uint64_t handle) {
    std::unique_lock lock(mutex_);
    if (handles_.find(handle) == handles_.end()) {
        return false;
    }
    cancel_locked(
        lock, [handle](const Pending& p) { return p.handle == handle; }, kErrorAborted);
    handles_.erase(handle);
    return true;
}

bool Bus::io_control(std::uint64_t handle, std::uint32_t code, void* in, std::uint32_t in_length,
                     void* out, std::uint32_t out_length, std::uint32_t& returned,
                     std::uint32_t& error) {
    platform::Event event;
    IoRecord record(&event);
    std::uint32_t begun = kErrorNone;
    {
        std::unique_lock lock(mutex_);
        begun = submit_locked(handle, code, static_cast<std::uint8_t*>(in), in_length,
                              static_cast<std::uint8_t*>(out), out_length, record, true);
    }
    if (begun == kErrorPending) {
        wait_done(record, platform::kWaitForever);
    }
    return record.result(returned, error);
}

std::uint32_t Bus::io_control_overlapped(std::uint64_t handle, std::uint32_t code, void* in,
                                         std::uint32_t in_length, void* out,
                                         std::uint32_t out_length, IoRecord& record) {
    std::unique_lock lock(mutex_);
    if (code != kCodeAbortPipe) {
        return submit_locked(handle, code, static_cast<std::uint8_t*>(in), in_length,
                             static_cast<std::uint8_t*>(out), out_length, record, false);
    }
    record.begin();
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        record.complete(0, kErrorInvalidHandle);
        return kErrorInvalidHandle;
    }
    Printer* printer = found->second.printer;
    if (!printer->plugged_ || found->second.generation != printer->generation_) {
        record.complete(0, kErrorDeviceGone);
        return kErrorDeviceGone;
    }
    if (in == nullptr || in_length < 1) {
        record.complete(0, kErrorInvalidParameter);
        return kErrorInvalidParameter;
    }
    const std::uint8_t pipe = *static_cast<const std::uint8_t*>(in);
    cancel_locked(
        lock, [&](const Pending& p) { return p.printer == printer && p.pipe == pipe; },
        kErrorAborted);
    printer->pipe_free_at_.erase(pipe);
    record.complete(0, kErrorNone);
    return kErrorNone;
}

std::uint32_t Bus::answer_information(const Printer& printer, std::uint32_t code, std::uint8_t* out,
                                      std::uint32_t out_length, std::uint32_t& returned) const {
    InformationAnswer answer;
    switch (code) {
        case kCodeDriverVersion:
            answer.put_u32(0x00010002);
            break;
        case kCodeUsbdiVersion:
            answer.put_u32(0x00000600);
            break;
        case kCodeAltInterface:
            answer.put_u8(0);
            break;
        case kCodeUsbAddress:
            answer.put_u8(printer.address_);
            break;
        case kCodeDeviceName:
            answer.put_name("sim-usb-" + std::to_string(printer.address_));
            break;
        case kCodeFriendlyName:
            answer.put_name("Q800X printer (simulated)");
            break;
        case kCodeBusSpeed:
            answer.put_u32(printer.spec_.speed == LinkSpeed::Super  ? kSpeedSuper
                           : printer.spec_.speed == LinkSpeed::High ? kSpeedHigh
                                                                    : kSpeedFull);
            break;
        default:
            returned = 0;
            return kErrorInvalidParameter;
    }
    return answer.deliver(out, out_length, returned);
}

void Bus::log_locked(std::uint64_t handle, std::uint32_t code, const std::uint8_t* header,
                     std::uint32_t in_length, std::uint32_t out_length) {
    TransferLogEntry entry;
    entry.handle = handle;
    entry.code = code;
    std::memcpy(entry.header.data(), header, kTransferHeaderSize);
    entry.in_length = in_length;
    entry.out_length = out_length;
    log_.push_back(entry);
    if (log_.size() > kLogLength) {
        log_.pop_front();
    }
}

bool Bus::take_hold_locked(Printer& printer, TransferKind kind) {
    int& holds = printer.holds_[static_cast<std::size_t>(kind)];
    if (holds <= 0) {
        return false;
    }
    --holds;
    return true;
}

std::uint32_t Bus::submit_locked(std::uint64_t handle, std::uint32_t code, std::uint8_t* in,
                                 std::uint32_t in_length, std::uint8_t* out,
                                 std::uint32_t out_length, IoRecord& record, bool synchronous) {
    record.begin();
    const auto fail = [&record](std::uint32_t error) {
        record.complete(0, error);
        return error;
    };
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return fail(kErrorInvalidHandle);
    }
    Printer& printer = *found->second.printer;
    if (!printer.plugged_ || found->second.generation != printer.generation_) {
        return fail(kErrorDeviceGone);
    }
    if (code != kCodeControlTransfer && code != kCodeBufferedTransfer &&
        code != kCodeDirectTransfer) {
        std::uint32_t returned = 0;
        const std::uint32_t error = answer_information(printer, code, out, out_length, returned);
        record.complete(returned, error);
        return error;
    }
    if (in == nullptr || in_length < kTransferHeaderSize) {
        return fail(kErrorInvalidParameter);
    }
    log_locked(handle, code, in, in_length, out_length);
    const TransferHeader header = TransferHeader::read(in);
    const std::uint32_t now = platform::tick_count();

    // A waiter whose time-out comes before this bus's thread has run may complete it itself.
    record.set_completer(this);
    Pending p;
    p.handle = handle;
    p.printer = &printer;
    p.header = in;
    p.record = &record;
    // A header whose data area is not inside the block it came with is refused, never read.
    const bool data_in_block = header.data_offset == kTransferHeaderSize &&
                               kTransferHeaderSize + std::uint64_t{header.data_length} <= in_length;
    if (code == kCodeControlTransfer) {
        if (!data_in_block || header.data_length != header.length) {
            return fail(kErrorInvalidParameter);
        }
        p.pipe = 0;
        p.data = in + kTransferHeaderSize;
        p.data_length = header.data_length;
        p.data_offset = kTransferHeaderSize;
        p.work = ((header.request_type >> 5) & 3) == 1 ? Work::Class : Work::Standard;
        p.has_due = true;
        p.due = now + kControlLatencyMs;
        if (p.work == Work::Class && !synchronous) {
            p.held = take_hold_locked(printer, (header.request_type & 0x80) != 0
                                                   ? TransferKind::ClassIn
                                                   : TransferKind::ClassOut);
        }
    } else {
        if (header.endpoint != kBulkOutAddress && header.endpoint != kBulkInAddress) {
            return fail(kErrorInvalidParameter);
        }
        if (code == kCodeBufferedTransfer) {
            if (!data_in_block) {
                return fail(kErrorInvalidParameter);
            }
            p.data = in + kTransferHeaderSize;
            p.data_length = header.data_length;
            p.data_offset = kTransferHeaderSize;
        } else {
            if (out == nullptr && out_length > 0) {
                return fail(kErrorInvalidParameter);
            }
            p.data = out;
            p.data_length = out_length;
            p.data_offset = 0;
        }
        p.pipe = header.endpoint;
        if ((header.endpoint & 0x80) != 0) {
            // The printer has nothing to send: an IN transfer waits until it is aborted.
            p.work = Work::BulkIn;
        } else {
            p.work = Work::BulkOut;
            p.held = !synchronous && take_hold_locked(printer, TransferKind::BulkOut);
            if (!p.held) {
                // One transfer at a time on a pipe: this one starts when the last one is done.
                std::uint32_t& free_at = printer.pipe_free_at_[p.pipe];
                const std::uint32_t start =
                    static_cast<std::int32_t>(free_at - now) > 0 ? free_at : now;
                p.due = start + transfer_time_ms(p.data_length, printer.spec_.speed);
                p.has_due = true;
                free_at = p.due;
            }
        }
    }
    pending_.push_back(p);
    changed_.notify_all();
    return kErrorPending;
}

Bus& program_bus() {
    static Bus bus;
    static const bool populated = [] {
        auto firmware = std::make_shared<Firmware>(Recorder::from_environment());
        firmware->attach(bus.add_printer(PrinterSpec::usb2(), firmware).get());
        return true;
    }();
    (void)populated;
    return bus;
}

}  // namespace usb::sim
