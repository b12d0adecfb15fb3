#include "usb/driver/libusb/libusb_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "usb/descriptors.h"
#include "usb/device.h"
#include "usb/driver/libusb/native_library.h"
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

LibusbDriver::LibusbDriver(UsbLibrary& library, PrinterIds ids) : library_(library), ids_(ids) {
    usable_ = library_.init();
    if (!usable_) {
        return;
    }
    hotplug_ = library_.watch_hotplug(
        ids_.vendor_id, ids_.product_id,
        [this](bool arrived, std::uint8_t bus, const std::vector<std::uint8_t>& ports) {
            hotplug_event(arrived, bus, ports);
        });
    events_ = std::thread([this] { run_events(); });
}

LibusbDriver::~LibusbDriver() {
    for (;;) {
        std::uint64_t handle = 0;
        {
            std::lock_guard lock(mutex_);
            if (handles_.empty()) {
                stop_ = true;
                break;
            }
            handle = handles_.begin()->first;
        }
        close(handle);
    }
    if (events_.joinable()) {
        library_.wake_events();
        events_.join();
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
    }
}

void LibusbDriver::hotplug_event(bool arrived, std::uint8_t bus,
                                 const std::vector<std::uint8_t>& ports) {
    if (arrived) {
        return;  // a reopen finds it: the list is read at every count
    }
    // A printer that left: the calls on its handles fail at once from now on, rather than
    // when the library first tries them; the handles stay until their owners reopen.
    std::lock_guard lock(mutex_);
    const std::string path = path_of(bus, ports);
    for (const auto& device : open_devices_) {
        if (device->path == path) {
            device->gone = true;
        }
    }
}

std::vector<DeviceEntry> LibusbDriver::matching_devices() {
    std::vector<DeviceEntry> found;
    if (!usable_) {
        return found;
    }
    for (DeviceEntry& entry : library_.devices()) {
        if (entry.vendor_id == ids_.vendor_id && entry.product_id == ids_.product_id) {
            found.push_back(std::move(entry));
        }
    }
    std::sort(found.begin(), found.end(), bus_order);
    return found;
}

std::unique_ptr<DeviceInterfaceSet> LibusbDriver::present_interfaces(const Guid& guid) {
    auto snapshot = std::make_unique<Snapshot>();
    if (guid != g_driver_interface_guid) {
        return snapshot;
    }
    for (const DeviceEntry& entry : matching_devices()) {
        snapshot->paths.push_back(path_of(entry.bus, entry.ports));
    }
    return snapshot;
}

std::shared_ptr<LibusbDriver::OpenDevice> LibusbDriver::open_device(const std::string& path,
                                                                    std::uint32_t& error) {
    const std::vector<DeviceEntry> entries = matching_devices();
    const auto entry = std::find_if(entries.begin(), entries.end(), [&](const DeviceEntry& e) {
        return path_of(e.bus, e.ports) == path;
    });
    if (entry == entries.end()) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    auto device = std::make_shared<OpenDevice>();
    device->path = path;
    device->entry = *entry;
    Result result = library_.open(*entry->device, device->handle);
    if (result == Result::Ok) {
        library_.device_descriptor(*entry->device, device->device_descriptor);
        const std::uint8_t configurations =
            device->device_descriptor.size() >= kDeviceDescriptorSize
                ? device->device_descriptor[17]
                : 0;
        for (std::uint8_t i = 0; i < configurations; ++i) {
            std::vector<std::uint8_t> table;
            library_.config_descriptor(*entry->device, i, table);
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
    if (std::find(refused_paths_.begin(), refused_paths_.end(), path) == refused_paths_.end()) {
        refused_paths_.push_back(path);
        std::fprintf(stderr, "velquorin: the printer at %s cannot be opened: %s\n", path.c_str(),
                     result == Result::Access ? "permission denied (is the udev rule installed "
                                                "and the user in its group?)"
                     : result == Result::Busy ? "another program has it"
                                              : "the USB library refused it");
    }
    return nullptr;
}

void LibusbDriver::close_device(OpenDevice& device) {
    for (const std::uint8_t number : device.claimed) {
        library_.release_interface(*device.handle, number);
    }
    device.claimed.clear();
    device.handle.reset();
}

std::uint64_t LibusbDriver::open(const std::string& path, std::uint32_t, std::uint32_t& error) {
    std::lock_guard opening(open_mutex_);
    std::shared_ptr<OpenDevice> device;
    {
        std::lock_guard lock(mutex_);
        for (const auto& open : open_devices_) {
            if (open->path == path && !open->gone) {
                device = open;
            }
        }
    }
    if (device == nullptr) {
        device = open_device(path, error);
        if (device == nullptr) {
            return 0;
        }
    }
    std::lock_guard lock(mutex_);
    if (device->users++ == 0) {
        open_devices_.push_back(device);
    }
    const std::uint64_t id = next_handle_++;
    handles_[id] = device;
    error = kErrorNone;
    return id;
}

bool LibusbDriver::close(std::uint64_t handle) {
    std::lock_guard opening(open_mutex_);
    std::shared_ptr<OpenDevice> last;
    {
        std::unique_lock lock(mutex_);
        const auto found = handles_.find(handle);
        if (found == handles_.end()) {
            return false;
        }
        const std::shared_ptr<OpenDevice> device = found->second;
        end_calls_locked(lock, handle);
        handles_.erase(handle);
        if (--device->users == 0) {
            open_devices_.erase(std::find(open_devices_.begin(), open_devices_.end(), device));
            last = device;
        }
    }
    // The last user is gone, and with it every transfer on the device.
    if (last != nullptr) {
        close_device(*last);
    }
    return true;
}

bool LibusbDriver::io_control(std::uint64_t handle, std::uint32_t code, void* in,
                              std::uint32_t in_length, void* out, std::uint32_t out_length,
                              std::uint32_t& returned, std::uint32_t& error) {
    platform::Event event;
    IoRecord record(&event);
    if (io_control_overlapped(handle, code, in, in_length, out, out_length, record) ==
        kErrorPending) {
        wait_done(record, platform::kWaitForever);
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
