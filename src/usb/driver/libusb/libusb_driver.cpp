#include "usb/driver/libusb/libusb_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "usb/descriptors.h"
#include "usb/device.h"
#include "usb/driver/libusb/native_library.h"
#include "usb/driver/libusb/operator_notices.h"
#include "usb/transfer_header.h"

namespace usb::libusb {
namespace {

// How long one wait of the event thread lasts when nothing wakes it: the stop flag is looked
// at this often.
constexpr std::uint32_t kEventWaitMs = 200;

std::uint32_t error_of(Result result) {
    switch (result) {
        case Result::Ok:
            return kErrorNone;
        case Result::Access:
            return kErrorAccessDenied;
        case Result::NoDevice:
        case Result::NotFound:
            return kErrorDeviceGone;
        case Result::Busy:
            return kErrorSharingViolation;
        case Result::Timeout:
            return kErrorTimeout;
        default:
            return kErrorGeneralFailure;
    }
}

bool bus_order(const DeviceEntry& a, const DeviceEntry& b) {
    if (a.bus != b.bus) {
        return a.bus < b.bus;
    }
    return a.ports < b.ports;
}

// Walks a configuration descriptor: the interfaces (alternate setting 0) and the endpoints
// with their attributes.
void read_configuration(const std::vector<std::uint8_t>& table,
                        std::vector<std::uint8_t>& interfaces,
                        std::map<std::uint8_t, std::uint8_t>& endpoints) {
    std::size_t at = 0;
    while (at + 2 <= table.size()) {
        const std::uint8_t length = table[at];
        if (length < 2 || at + length > table.size()) {
            break;  // the device class judges a malformed table; nothing more is read here
        }
        const std::uint8_t type = table[at + 1];
        if (type == kDescriptorInterface && length >= kInterfaceDescriptorSize &&
            table[at + 3] == 0 &&
            std::find(interfaces.begin(), interfaces.end(), table[at + 2]) == interfaces.end()) {
            interfaces.push_back(table[at + 2]);
        } else if (type == kDescriptorEndpoint && length >= kEndpointDescriptorSize) {
            endpoints[table[at + 2]] = table[at + 3];
        }
        at += length;
    }
}

}  // namespace

struct LibusbDriver::Snapshot : DeviceInterfaceSet {
    std::vector<std::string> paths;

    EnumResult interface_at(std::uint32_t index) const override {
        return index < paths.size() ? EnumResult::Ok : EnumResult::NoMoreItems;
    }
    std::string interface_path(std::uint32_t index) const override {
        return index < paths.size() ? paths[index] : std::string();
    }
};

LibusbDriver::LibusbDriver(UsbLibrary& library, std::optional<PrinterIds> ids)
    : library_(library), ids_(ids) {
    usable_ = library_.init();
    if (!usable_) {
        return;
    }
    if (ids_) {
        hotplug_ = library_.watch_hotplug(
            ids_->vendor_id, ids_->product_id,
            [this](bool arrived, std::uintptr_t identity) { hotplug_event(arrived, identity); });
    }
    events_ = std::thread([this] { run_events(); });
}

LibusbDriver::~LibusbDriver() {
    for (;;) {
        std::uint64_t handle = 0;
        {
            std::lock_guard lock(mutex_);
            if (handles_.empty()) {
                break;
            }
            handle = handles_.begin()->first;
        }
        close(handle);
    }
    {
        std::unique_lock lock(mutex_);
        // What was let go of ends at the latest at its libusb time-out.
        const std::uint32_t start = platform::tick_count();
        const std::uint32_t limit = kTransferBackstopMs + kAbortWaitMs;
        while (!calls_.empty() && platform::tick_count() - start < limit) {
            called_back_.wait_for(lock, std::chrono::milliseconds(10));
        }
        stop_ = true;
    }
    // The event thread ends first: until it has, a callback may still come for a call that is
    // given up on below, and it needs that call's transfer.
    if (events_.joinable()) {
        library_.wake_events();
        events_.join();
    }
    std::vector<std::shared_ptr<OpenDevice>> devices;
    {
        std::lock_guard lock(mutex_);
        // The library keeps these transfers: neither they nor their devices may be freed.
        for (Call& call : calls_) {
            static_cast<void>(call.transfer.release());
            static_cast<void>(call.device->handle.release());
        }
        devices.swap(devices_);
    }
    for (const auto& device : devices) {
        close_device(*device);
    }
}

std::string LibusbDriver::path_of(std::uint8_t bus, const std::vector<std::uint8_t>& ports) {
    std::string path = "usb:" + std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        path += (i > 0 ? "." : "") + std::to_string(ports[i]);
    }
    return ports.empty() ? path + "0" : path;
}

std::size_t LibusbDriver::transfers_under_way() const {
    std::lock_guard lock(mutex_);
    return calls_.size();
}

void LibusbDriver::run_events() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) {
                return;
            }
        }
        library_.handle_events(kEventWaitMs);
        // Outside every callback now. A thread that holds open_mutex_ may be waiting for this
        // one's callbacks, so it is only tried.
        if (open_mutex_.try_lock()) {
            release_gone_devices();
            open_mutex_.unlock();
        }
    }
}

void LibusbDriver::hotplug_event(bool arrived, std::uintptr_t identity) {
    if (arrived) {
        return;  // a reopen finds it: the list is read at every count
    }
    // The device that left, itself: a notice that comes late must not take a printer plugged
    // in again meanwhile, at the same port, for the one that went. Its calls fail at once from
    // now on; its handle is released once no transfer of it is under way.
    std::lock_guard lock(mutex_);
    for (const auto& device : devices_) {
        if (device->entry.identity == identity) {
            device->gone = true;
        }
    }
}

std::vector<DeviceEntry> LibusbDriver::present_devices() {
    std::vector<DeviceEntry> found;
    if (!usable_) {
        return found;
    }
    if (!ids_) {
        const std::string text = missing_id_text();
        if (told_.insert(text).second) {
            std::fputs(text.c_str(), stderr);
        }
        return found;
    }
    for (DeviceEntry& entry : library_.devices()) {
        if (entry.vendor_id == ids_->vendor_id && entry.product_id == ids_->product_id) {
            found.push_back(std::move(entry));
        }
    }
    std::sort(found.begin(), found.end(), bus_order);
    // A device that is no longer listed is gone, hotplug notice or not: so the workers that
    // never transfer let go of an unplugged printer too.
    std::lock_guard lock(mutex_);
    for (const auto& device : devices_) {
        const bool listed = std::any_of(found.begin(), found.end(), [&](const DeviceEntry& e) {
            return e.identity == device->entry.identity;
        });
        if (!listed) {
            device->gone = true;
        }
    }
    return found;
}

std::unique_ptr<DeviceInterfaceSet> LibusbDriver::present_interfaces(const Guid& guid) {
    auto snapshot = std::make_unique<Snapshot>();
    if (guid != g_driver_interface_guid) {
        return snapshot;
    }
    {
        std::lock_guard opening(open_mutex_);
        for (const DeviceEntry& entry : present_devices()) {
            // A printer that is there but cannot be opened is not connected.
            std::uint32_t error = 0;
            if (device_for(entry, error) != nullptr) {
                snapshot->paths.push_back(path_of(entry.bus, entry.ports));
            }
        }
        release_gone_devices();
    }
    tell_operator();
    return snapshot;
}

std::shared_ptr<LibusbDriver::OpenDevice> LibusbDriver::device_for(const DeviceEntry& entry,
                                                                   std::uint32_t& error) {
    {
        std::lock_guard lock(mutex_);
        for (const auto& device : devices_) {
            if (!device->gone && device->entry.identity == entry.identity) {
                return device;
            }
        }
    }
    std::shared_ptr<OpenDevice> device = open_device(entry, error);
    if (device != nullptr) {
        std::lock_guard lock(mutex_);
        devices_.push_back(device);
    }
    return device;
}

std::shared_ptr<LibusbDriver::OpenDevice> LibusbDriver::open_device(const DeviceEntry& entry,
                                                                    std::uint32_t& error) {
    auto device = std::make_shared<OpenDevice>();
    device->path = path_of(entry.bus, entry.ports);
    device->entry = entry;
    Result result = library_.open(*entry.device, device->handle);
    if (result == Result::Ok) {
        library_.device_descriptor(*entry.device, device->device_descriptor);
        const std::uint8_t configurations =
            device->device_descriptor.size() >= kDeviceDescriptorSize
                ? device->device_descriptor[17]
                : 0;
        for (std::uint8_t i = 0; i < configurations; ++i) {
            std::vector<std::uint8_t> table;
            library_.config_descriptor(*entry.device, i, table);
            device->configurations.push_back(std::move(table));
        }
        std::vector<std::uint8_t> interfaces;
        if (!device->configurations.empty()) {
            read_configuration(device->configurations[0], interfaces, device->endpoint_attributes);
        }
        for (const std::uint8_t number : interfaces) {
            result = library_.claim_interface(*device->handle, number);
            if (result != Result::Ok) {
                break;
            }
            device->claimed.push_back(number);
        }
    }
    if (result == Result::Ok) {
        return device;
    }
    if (device->handle != nullptr) {
        close_device(*device);
    }
    error = error_of(result);
    // Told once for each printer and reason; a printer unplugged meanwhile is only gone.
    if (result != Result::NoDevice && result != Result::NotFound) {
        const std::string text = refusal_text(*ids_, entry, device->path, result);
        if (told_.insert(text).second) {
            std::fprintf(stderr, "velquorin: %s\n", text.c_str());
            untold_.push_back(text);
        }
    }
    return nullptr;
}

void LibusbDriver::tell_operator() {
    std::vector<std::string> texts;
    {
        std::lock_guard opening(open_mutex_);
        texts.swap(untold_);
    }
    for (const std::string& text : texts) {
        platform::ui::message_box(text, "", platform::ui::Buttons::Ok, platform::ui::Icon::Warning);
    }
}

void LibusbDriver::close_device(OpenDevice& device) {
    if (device.handle == nullptr) {
        return;
    }
    for (const std::uint8_t number : device.claimed) {
        library_.release_interface(*device.handle, number);
    }
    device.claimed.clear();
    device.handle.reset();
}

void LibusbDriver::release_gone_devices() {
    std::vector<std::shared_ptr<OpenDevice>> released;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(devices_, [&](const std::shared_ptr<OpenDevice>& device) {
            const bool in_use = std::any_of(calls_.begin(), calls_.end(), [&](const Call& call) {
                return call.device == device;
            });
            if (!device->gone || in_use) {
                return false;
            }
            released.push_back(device);
            return true;
        });
    }
    // Gone, and no call can reach the library through it any more: an abort finds nothing
    // under way, every other call fails at once.
    for (const auto& device : released) {
        close_device(*device);
    }
}

std::uint64_t LibusbDriver::open(const std::string& path, std::uint32_t, std::uint32_t& error) {
    std::shared_ptr<OpenDevice> device;
    std::uint32_t failure = kErrorFileNotFound;  // no printer at that path
    {
        std::lock_guard opening(open_mutex_);
        for (const DeviceEntry& entry : present_devices()) {
            if (path_of(entry.bus, entry.ports) == path) {
                device = device_for(entry, failure);
                break;
            }
        }
        if (device != nullptr) {
            std::lock_guard lock(mutex_);
            const std::uint64_t id = next_handle_++;
            handles_[id] = device;
            error = kErrorNone;
            return id;
        }
    }
    error = failure;
    tell_operator();
    return 0;
}

bool LibusbDriver::close(std::uint64_t handle) {
    std::lock_guard opening(open_mutex_);
    {
        std::unique_lock lock(mutex_);
        const auto found = handles_.find(handle);
        if (found == handles_.end()) {
            return false;
        }
        end_calls_locked(lock, handle);
        // The device stays open while it is present, for the next user: the workers reopen it
        // after every failed transfer, and the next count finds it open.
        handles_.erase(handle);
    }
    release_gone_devices();
    return true;
}

bool LibusbDriver::io_control(std::uint64_t handle, std::uint32_t code, void* in,
                              std::uint32_t in_length, void* out, std::uint32_t out_length,
                              std::uint32_t& returned, std::uint32_t& error) {
    platform::Event event;
    IoRecord record(&event);
    // Every transfer has a libusb time-out; one that does not end even so is let go of.
    if (io_control_overlapped(handle, code, in, in_length, out, out_length, record) ==
            kErrorPending &&
        !wait_done(record, kTransferBackstopMs + kAbortWaitMs)) {
        abandon(record);
    }
    return record.result(returned, error);
}

std::uint32_t LibusbDriver::answer_information(const OpenDevice& device, std::uint32_t code,
                                               std::uint8_t* out, std::uint32_t out_length,
                                               std::uint32_t& returned) const {
    InformationAnswer answer;
    switch (code) {
        case kCodeDriverVersion:
            answer.put_u32(library_.version());
            break;
        case kCodeUsbdiVersion:
            // The USB version the device says it follows.
            answer.put_u32(device.device_descriptor.size() >= 4
                               ? read_u16(device.device_descriptor.data() + 2)
                               : 0);
            break;
        case kCodeAltInterface:
            // Claiming leaves the interface at its first alternate setting.
            answer.put_u8(0);
            break;
        case kCodeUsbAddress:
            answer.put_u8(device.entry.address);
            break;
        case kCodeDeviceName: {
            char name[32];
            std::snprintf(name, sizeof name, "/dev/bus/usb/%03u/%03u", device.entry.bus,
                          device.entry.address);
            answer.put_name(name);
            break;
        }
        case kCodeFriendlyName:
            answer.put_name("Q800X printer at " + device.path);
            break;
        case kCodeBusSpeed:
            answer.put_u32(device.entry.speed == Speed::Super  ? kSpeedSuper
                           : device.entry.speed == Speed::High ? kSpeedHigh
                           : device.entry.speed == Speed::Full ? kSpeedFull
                                                               : 0);
            break;
        default:
            returned = 0;
            return kErrorInvalidParameter;
    }
    return answer.deliver(out, out_length, returned);
}

LibusbDriver& program_driver() {
    // Never destroyed: workers may still be in a transfer while the process ends, and the
    // system closes the devices then.
    static LibusbDriver* const driver = new LibusbDriver(*new NativeLibrary, program_printer_ids());
    return *driver;
}

}  // namespace usb::libusb
