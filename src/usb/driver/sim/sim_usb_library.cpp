#include "usb/driver/sim/sim_usb_library.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/clock.h"
#include "usb/descriptors.h"
#include "usb/transfer_header.h"

namespace usb::sim {

using libusb::Result;
using libusb::TransferStatus;
using libusb::TransferType;

namespace {

constexpr std::uint8_t kGetDescriptorRequestType = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
// The longest real wait of handle_events without a look at what is due.
constexpr std::int64_t kLongestWaitUs = 20'000;

// Set while a callback of this library runs on the thread.
thread_local bool in_callback = false;

std::uint64_t nanoseconds_since(std::chrono::steady_clock::time_point start) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
}

}  // namespace

struct SimUsbLibrary::SimTransfer : libusb::Transfer {
    SimUsbLibrary* library = nullptr;
    bool in_flight = false;  // guarded by the library's lock

    ~SimTransfer() override {
        std::lock_guard lock(library->mutex_);
        if (in_flight) {
            ++library->breaches_;
            library->flights_.remove_if([this](const Flight& f) { return f.transfer == this; });
        }
    }
};

struct SimUsbLibrary::SimHandle : libusb::LibHandle {
    SimUsbLibrary* library = nullptr;
    Device* device = nullptr;
    std::uint32_t generation = 0;
    std::vector<std::uint8_t> claimed;

    ~SimHandle() override {
        std::lock_guard lock(library->mutex_);
        --library->open_handles_;
        for (const Flight& flight : library->flights_) {
            if (flight.transfer->handle == this) {
                ++library->breaches_;
            }
        }
        if (generation == device->generation_) {
            for (const std::uint8_t number : claimed) {
                device->claimed_[number] = false;
            }
        }
    }
};

SimUsbLibrary::Device::Device(SimUsbLibrary& library, const PrinterSpec& spec, std::uint8_t bus,
                              std::vector<std::uint8_t> ports, std::shared_ptr<PrinterModel> model)
    : library_(library),
      spec_(spec),
      tables_(DescriptorTables::build(spec)),
      bus_(bus),
      ports_(std::move(ports)),
      model_(std::move(model)) {}

void SimUsbLibrary::Device::unplug() {
    std::lock_guard lock(library_.mutex_);
    library_.unplug_locked(*this);
}

void SimUsbLibrary::Device::replug() {
    std::lock_guard lock(library_.mutex_);
    library_.replug_locked(*this);
}

void SimUsbLibrary::Device::unplug_for(std::uint32_t ms) {
    std::lock_guard lock(library_.mutex_);
    library_.unplug_locked(*this);
    replug_pending_ = true;
    replug_at_ = platform::tick_count() + ms;
}

std::shared_ptr<PrinterModel> SimUsbLibrary::Device::model() const {
    return model_;
}

std::uint8_t SimUsbLibrary::Device::address() const {
    std::lock_guard lock(library_.mutex_);
    return address_;
}

void SimUsbLibrary::Device::refuse_open(Result result) {
    std::lock_guard lock(library_.mutex_);
    open_result_ = result;
}

void SimUsbLibrary::Device::halt_endpoint(std::uint8_t address) {
    std::lock_guard lock(library_.mutex_);
    halted_[address] = true;
}

SimUsbLibrary::~SimUsbLibrary() {
    std::lock_guard lock(mutex_);
    for (const Flight& flight : flights_) {
        flight.transfer->in_flight = false;
    }
    flights_.clear();
}

std::shared_ptr<SimUsbLibrary::Device> SimUsbLibrary::add_printer(
    const PrinterSpec& spec, std::uint8_t bus, std::vector<std::uint8_t> ports,
    std::shared_ptr<PrinterModel> model) {
    if (model == nullptr) {
        model = std::make_shared<RecordingModel>();
    }
    std::shared_ptr<Device> device(
        new Device(*this, spec, bus, std::move(ports), std::move(model)));
    std::lock_guard lock(mutex_);
    device->address_ = next_address_++;
    device->identity_ = next_identity_++;
    devices_.push_back(device);
    return device;
}

void SimUsbLibrary::unplug_locked(Device& device) {
    if (!device.plugged_) {
        return;
    }
    device.plugged_ = false;
    ++device.generation_;
    device.claimed_ = {};
    device.halted_ = {};
    if (hotplug_offered_) {
        hotplug_events_.push_back({false, device.identity_});
    }
    changed_.notify_all();
}

void SimUsbLibrary::replug_locked(Device& device) {
    device.replug_pending_ = false;
    if (device.plugged_) {
        return;
    }
    device.plugged_ = true;
    // A device plugged in again gets a new address, as on a real bus, and is another device
    // to the library.
    device.address_ = next_address_++;
    device.identity_ = next_identity_++;
    if (hotplug_offered_) {
        hotplug_events_.push_back({true, device.identity_});
    }
    changed_.notify_all();
}

void SimUsbLibrary::replug_due_locked(std::uint32_t now) {
    for (const auto& device : devices_) {
        if (device->replug_pending_ && static_cast<std::int32_t>(now - device->replug_at_) >= 0) {
            replug_locked(*device);
        }
    }
}

void SimUsbLibrary::hold_next(TransferKind kind, int count) {
    std::lock_guard lock(mutex_);
    holds_[static_cast<std::size_t>(kind)] += count;
}

void SimUsbLibrary::hold_cancels(bool hold) {
    std::lock_guard lock(mutex_);
    hold_cancels_ = hold;
    changed_.notify_all();
}

void SimUsbLibrary::release_cancels_at_wake() {
    std::lock_guard lock(mutex_);
    release_cancels_at_wake_ = true;
}

void SimUsbLibrary::hold_clears(bool hold) {
    std::lock_guard lock(mutex_);
    hold_clears_ = hold;
    changed_.notify_all();
}

std::size_t SimUsbLibrary::clears_waiting() const {
    std::lock_guard lock(mutex_);
    return clears_waiting_;
}

void SimUsbLibrary::offer_hotplug(bool offered) {
    std::lock_guard lock(mutex_);
    hotplug_offered_ = offered;
}

void SimUsbLibrary::hold_hotplug(bool hold) {
    std::lock_guard lock(mutex_);
    hold_hotplug_ = hold;
    changed_.notify_all();
}

void SimUsbLibrary::refuse_cancels(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_cancels_ = refuse;
}

void SimUsbLibrary::end_transfers_on_unplug(bool end) {
    std::lock_guard lock(mutex_);
    end_on_unplug_ = end;
    changed_.notify_all();
}

void SimUsbLibrary::set_usb_access(bool access) {
    std::lock_guard lock(mutex_);
    usb_access_ = access;
}

std::size_t SimUsbLibrary::transfers_in_flight() const {
    std::lock_guard lock(mutex_);
    return flights_.size();
}

std::size_t SimUsbLibrary::submissions() const {
    std::lock_guard lock(mutex_);
    return submissions_;
}

const std::uint8_t* SimUsbLibrary::last_bulk_buffer() const {
    std::lock_guard lock(mutex_);
    return last_bulk_buffer_;
}

std::size_t SimUsbLibrary::breaches() const {
    std::lock_guard lock(mutex_);
    return breaches_;
}

std::size_t SimUsbLibrary::descriptor_requests(std::uint8_t type) const {
    std::lock_guard lock(mutex_);
    return descriptor_requests_[type];
}

std::size_t SimUsbLibrary::open_handles() const {
    std::lock_guard lock(mutex_);
    return open_handles_;
}

std::size_t SimUsbLibrary::halt_clears() const {
    std::lock_guard lock(mutex_);
    return halt_clears_;
}

std::size_t SimUsbLibrary::hotplug_notices_delivered() const {
    std::lock_guard lock(mutex_);
    return hotplug_delivered_;
}

bool SimUsbLibrary::init() {
    std::lock_guard lock(mutex_);
    return usb_access_;
}

std::vector<libusb::DeviceEntry> SimUsbLibrary::devices() {
    std::lock_guard lock(mutex_);
    replug_due_locked(platform::tick_count());
    std::vector<libusb::DeviceEntry> entries;
    for (const auto& device : devices_) {
        if (!device->plugged_) {
            continue;
        }
        libusb::DeviceEntry entry;
        entry.device = device;
        entry.identity = device->identity_;
        entry.bus = device->bus_;
        entry.ports = device->ports_;
        entry.address = device->address_;
        entry.vendor_id = device->spec_.vendor_id;
        entry.product_id = device->spec_.product_id;
        entry.speed = device->spec_.speed == LinkSpeed::Super  ? libusb::Speed::Super
                      : device->spec_.speed == LinkSpeed::High ? libusb::Speed::High
                                                               : libusb::Speed::Full;
        entries.push_back(std::move(entry));
    }
    return entries;
}

Result SimUsbLibrary::device_descriptor(libusb::LibDevice& device, std::vector<std::uint8_t>& raw) {
    raw = static_cast<Device&>(device).tables_.device;
    return Result::Ok;
}

Result SimUsbLibrary::config_descriptor(libusb::LibDevice& device, std::uint8_t index,
                                        std::vector<std::uint8_t>& raw) {
    const auto table =
        static_cast<Device&>(device).tables_.descriptor(kDescriptorConfiguration, index);
    if (!table) {
        return Result::NotFound;
    }
    raw = *table;
    return Result::Ok;
}

Result SimUsbLibrary::open(libusb::LibDevice& device, std::unique_ptr<libusb::LibHandle>& handle) {
    auto& sim = static_cast<Device&>(device);
    std::lock_guard lock(mutex_);
    if (!sim.plugged_) {
        return Result::NoDevice;
    }
    if (sim.open_result_ != Result::Ok) {
        return sim.open_result_;
    }
    auto opened = std::make_unique<SimHandle>();
    opened->library = this;
    opened->device = &sim;
    opened->generation = sim.generation_;
    ++open_handles_;
    handle = std::move(opened);
    return Result::Ok;
}

Result SimUsbLibrary::claim_interface(libusb::LibHandle& handle, std::uint8_t number) {
    auto& sim = static_cast<SimHandle&>(handle);
    std::lock_guard lock(mutex_);
    if (!sim.device->plugged_ || sim.generation != sim.device->generation_) {
        return Result::NoDevice;
    }
    if (std::find(sim.claimed.begin(), sim.claimed.end(), number) != sim.claimed.end()) {
        return Result::Ok;
    }
    if (sim.device->claimed_[number]) {
        return Result::Busy;  // another handle has it, as usbfs answers
    }
    sim.device->claimed_[number] = true;
    sim.claimed.push_back(number);
    return Result::Ok;
}

void SimUsbLibrary::release_interface(libusb::LibHandle& handle, std::uint8_t number) {
    auto& sim = static_cast<SimHandle&>(handle);
    std::lock_guard lock(mutex_);
    const auto found = std::find(sim.claimed.begin(), sim.claimed.end(), number);
    if (found == sim.claimed.end()) {
        return;
    }
    sim.claimed.erase(found);
    if (sim.generation == sim.device->generation_) {
        sim.device->claimed_[number] = false;
    }
}

Result SimUsbLibrary::clear_halt(libusb::LibHandle& handle, std::uint8_t endpoint) {
    auto& sim = static_cast<SimHandle&>(handle);
    std::unique_lock lock(mutex_);
    if (in_callback) {
        ++breaches_;  // a request that waits for the device, made where nothing may wait
    }
    ++clears_waiting_;
    changed_.wait(lock, [&] { return !hold_clears_; });
    --clears_waiting_;
    if (!sim.device->plugged_ || sim.generation != sim.device->generation_) {
        return Result::NoDevice;
    }
    sim.device->halted_[endpoint] = false;
    ++halt_clears_;
    return Result::Ok;
}

std::unique_ptr<libusb::Transfer> SimUsbLibrary::new_transfer() {
    auto transfer = std::make_unique<SimTransfer>();
    transfer->library = this;
    return transfer;
}

Result SimUsbLibrary::submit(libusb::Transfer& transfer) {
    const auto start = std::chrono::steady_clock::now();
    auto& sim = static_cast<SimTransfer&>(transfer);
    auto* handle = static_cast<SimHandle*>(transfer.handle);
    std::lock_guard lock(mutex_);
    if (sim.in_flight) {
        ++breaches_;
        return Result::Busy;
    }
    if (!handle->device->plugged_ || handle->generation != handle->device->generation_) {
        return Result::NoDevice;
    }
    ++submissions_;
    Flight flight;
    flight.transfer = &sim;
    flight.device = handle->device;
    flight.generation = handle->generation;
    flight.buffer = transfer.buffer;
    flight.length = transfer.length;
    flight.due = platform::tick_count() + transfer.timeout_ms;
    if (transfer.type == TransferType::Control && transfer.length >= libusb::kSetupPacketSize &&
        ((transfer.buffer[0] >> 5) & 3) == 1) {
        int& holds = holds_[static_cast<std::size_t>(
            (transfer.buffer[0] & 0x80) != 0 ? TransferKind::ClassIn : TransferKind::ClassOut)];
        flight.held = holds > 0 && holds-- > 0;
    } else if (transfer.type != TransferType::Control && (transfer.endpoint & 0x80) == 0) {
        last_bulk_buffer_ = transfer.buffer;
        int& holds = holds_[static_cast<std::size_t>(TransferKind::BulkOut)];
        flight.held = holds > 0 && holds-- > 0;
    } else if (transfer.type != TransferType::Control) {
        flight.held = true;  // the printer has nothing to send
    }
    sim.in_flight = true;
    flights_.push_back(flight);
    changed_.notify_all();
    transfer_ns_ += nanoseconds_since(start);
    return Result::Ok;
}

Result SimUsbLibrary::cancel(libusb::Transfer& transfer) {
    std::lock_guard lock(mutex_);
    for (Flight& flight : flights_) {
        if (flight.transfer == &transfer) {
            if (flight.completing || flight.cancelled) {
                return Result::NotFound;
            }
            if (refuse_cancels_) {
                return Result::Io;
            }
            flight.cancelled = true;
            changed_.notify_all();
            return Result::Ok;
        }
    }
    return Result::NotFound;
}

std::list<SimUsbLibrary::Flight>::iterator SimUsbLibrary::ready_locked(std::uint32_t now,
                                                                       TransferStatus& status) {
    for (auto it = flights_.begin(); it != flights_.end(); ++it) {
        if (it->completing) {
            continue;
        }
        const bool timed_out =
            it->transfer->timeout_ms > 0 && static_cast<std::int32_t>(now - it->due) >= 0;
        if (!it->device->plugged_ || it->generation != it->device->generation_) {
            if (end_on_unplug_ || it->cancelled || timed_out) {
                status = TransferStatus::NoDevice;
                return it;
            }
            continue;
        }
        if (it->cancelled) {
            if (hold_cancels_) {
                continue;
            }
            status = TransferStatus::Cancelled;
            return it;
        }
        if (it->held) {
            if (timed_out) {
                status = TransferStatus::TimedOut;
                return it;
            }
            continue;
        }
        if (it->transfer->type != TransferType::Control &&
            it->device->halted_[it->transfer->endpoint]) {
            status = TransferStatus::Stall;
            return it;
        }
        status = TransferStatus::Completed;  // the firmware's turn
        return it;
    }
    return flights_.end();
}

bool SimUsbLibrary::perform(Flight& flight, TransferStatus& status, std::uint32_t& actual) {
    const auto start = std::chrono::steady_clock::now();
    libusb::Transfer& transfer = *flight.transfer;
    Device& device = *flight.device;
    bool answered = true;
    status = TransferStatus::Stall;
    actual = 0;
    if (transfer.type == TransferType::Control) {
        std::uint8_t* setup = transfer.buffer;
        const SetupPacket packet{setup[0], setup[1], read_u16(setup + 2), read_u16(setup + 4),
                                 read_u16(setup + 6)};
        std::uint8_t* data = setup + libusb::kSetupPacketSize;
        const std::uint32_t room =
            std::min<std::uint32_t>(packet.length, transfer.length - libusb::kSetupPacketSize);
        if (packet.request_type == kGetDescriptorRequestType && packet.request == kGetDescriptor) {
            const auto type = static_cast<std::uint8_t>(packet.value >> 8);
            {
                std::lock_guard lock(mutex_);
                ++descriptor_requests_[type];
            }
            if (const auto table =
                    device.tables_.descriptor(type, static_cast<std::uint8_t>(packet.value))) {
                actual = std::min<std::uint32_t>(room, static_cast<std::uint32_t>(table->size()));
                std::memcpy(data, table->data(), actual);
                status = TransferStatus::Completed;
            }
        } else if (((packet.request_type >> 5) & 3) == 1) {
            const ClassAnswer answer =
                device.model_->class_request(packet, std::span<std::uint8_t>(data, room));
            if (answer.reply == ClassReply::NoAnswer) {
                answered = false;
            } else if (answer.reply == ClassReply::Done) {
                actual = std::min<std::uint32_t>(room, static_cast<std::uint32_t>(answer.length));
                status = TransferStatus::Completed;
            }
        }
    } else {
        device.model_->bulk_out(transfer.endpoint,
                                std::span<const std::uint8_t>(transfer.buffer, transfer.length));
        actual = transfer.length;
        status = TransferStatus::Completed;
    }
    transfer_ns_ += nanoseconds_since(start);
    return answered;
}

void SimUsbLibrary::handle_events(std::uint32_t timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::unique_lock lock(mutex_);
    for (bool handled = false;;) {
        const std::uint32_t now = platform::tick_count();
        replug_due_locked(now);
        if (!hotplug_events_.empty() && !hold_hotplug_) {
            const Hotplug event = hotplug_events_.front();
            hotplug_events_.pop_front();
            if (hotplug_) {
                const HotplugCallback callback = hotplug_;
                lock.unlock();
                in_callback = true;
                callback(event.arrived, event.identity);
                in_callback = false;
                lock.lock();
            }
            ++hotplug_delivered_;
            handled = true;
            continue;
        }
        TransferStatus status = TransferStatus::Completed;
        const auto ready = ready_locked(now, status);
        if (ready != flights_.end()) {
            ready->completing = true;
            const std::uint32_t generation = ready->device->generation_;
            std::uint32_t actual = 0;
            if (status == TransferStatus::Completed) {
                lock.unlock();
                const bool answered = perform(*ready, status, actual);
                lock.lock();
                if (!answered) {
                    // A firmware that stays silent: the transfer waits for its time-out.
                    ready->completing = false;
                    ready->held = true;
                    continue;
                }
                // The cable went while the firmware took this transfer: none of it counts.
                if (ready->generation != generation || generation != ready->device->generation_ ||
                    !ready->device->plugged_) {
                    status = TransferStatus::NoDevice;
                    actual = 0;
                }
            }
            SimTransfer* transfer = ready->transfer;
            if (transfer->buffer != ready->buffer || transfer->length != ready->length) {
                ++breaches_;
            }
            flights_.erase(ready);
            transfer->in_flight = false;
            transfer->status = status;
            transfer->actual_length = actual;
            lock.unlock();
            in_callback = true;
            transfer->callback(*transfer);
            in_callback = false;
            lock.lock();
            handled = true;
            continue;
        }
        if (handled || woken_) {
            woken_ = false;
            return;
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return;
        }
        changed_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                    left, std::chrono::microseconds(kLongestWaitUs)));
    }
}

void SimUsbLibrary::wake_events() {
    std::lock_guard lock(mutex_);
    if (release_cancels_at_wake_) {
        release_cancels_at_wake_ = false;
        hold_cancels_ = false;
    }
    woken_ = true;
    changed_.notify_all();
}

bool SimUsbLibrary::watch_hotplug(std::uint16_t, std::uint16_t, HotplugCallback callback) {
    std::lock_guard lock(mutex_);
    if (!hotplug_offered_) {
        return false;
    }
    hotplug_ = std::move(callback);
    return true;
}

}  // namespace usb::sim
