#include "usb/driver/libusb/native_library.h"

#include <libusb.h>

#include <sys/time.h>

#include "platform/clock.h"

namespace usb::libusb {
namespace {

struct NativeDevice : LibDevice {
    explicit NativeDevice(libusb_device* d) : device(libusb_ref_device(d)) {}
    ~NativeDevice() override { libusb_unref_device(device); }
    libusb_device* device;
};

struct NativeHandle : LibHandle {
    explicit NativeHandle(libusb_device_handle* h) : handle(h) {}
    ~NativeHandle() override { libusb_close(handle); }
    libusb_device_handle* handle;
};

struct NativeTransfer : Transfer {
    NativeTransfer() : native(libusb_alloc_transfer(0)) {}
    ~NativeTransfer() override { libusb_free_transfer(native); }
    libusb_transfer* native;
};

Result result_of(int code) {
    switch (code) {
        case LIBUSB_SUCCESS:
            return Result::Ok;
        case LIBUSB_ERROR_IO:
            return Result::Io;
        case LIBUSB_ERROR_ACCESS:
            return Result::Access;
        case LIBUSB_ERROR_NO_DEVICE:
            return Result::NoDevice;
        case LIBUSB_ERROR_NOT_FOUND:
            return Result::NotFound;
        case LIBUSB_ERROR_BUSY:
            return Result::Busy;
        case LIBUSB_ERROR_TIMEOUT:
            return Result::Timeout;
        default:
            return Result::Other;
    }
}

Speed speed_of(int speed) {
    switch (speed) {
        case LIBUSB_SPEED_LOW:
            return Speed::Low;
        case LIBUSB_SPEED_FULL:
            return Speed::Full;
        case LIBUSB_SPEED_HIGH:
            return Speed::High;
        case LIBUSB_SPEED_SUPER:
        case LIBUSB_SPEED_SUPER_PLUS:
            return Speed::Super;
        default:
            return Speed::Unknown;
    }
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_extra(std::vector<std::uint8_t>& out, const unsigned char* extra, int length) {
    if (extra != nullptr && length > 0) {
        out.insert(out.end(), extra, extra + length);
    }
}

}  // namespace

// libusb hands the cached configuration out parsed; the device classes read the table as the
// device sends it, so it is laid out again: each descriptor in its place, the ones libusb does
// not know (a SuperSpeed companion, a class descriptor) from its "extra" bytes behind the one
// they follow.
std::vector<std::uint8_t> raw_configuration(const libusb_config_descriptor& c) {
    std::vector<std::uint8_t> out{
        c.bLength,        c.bDescriptorType, 0,         0, c.bNumInterfaces, c.bConfigurationValue,
        c.iConfiguration, c.bmAttributes,    c.MaxPower};
    out.resize(c.bLength, 0);
    put_extra(out, c.extra, c.extra_length);
    for (int i = 0; i < c.bNumInterfaces; ++i) {
        const libusb_interface& interface = c.interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& d = interface.altsetting[a];
            const std::size_t start = out.size();
            out.insert(out.end(), {d.bLength, d.bDescriptorType, d.bInterfaceNumber,
                                   d.bAlternateSetting, d.bNumEndpoints, d.bInterfaceClass,
                                   d.bInterfaceSubClass, d.bInterfaceProtocol, d.iInterface});
            out.resize(start + d.bLength, 0);
            put_extra(out, d.extra, d.extra_length);
            for (int e = 0; e < d.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = d.endpoint[e];
                const std::size_t at = out.size();
                out.insert(out.end(),
                           {ep.bLength, ep.bDescriptorType, ep.bEndpointAddress, ep.bmAttributes});
                put16(out, ep.wMaxPacketSize);
                out.push_back(ep.bInterval);
                if (ep.bLength >= 9) {
                    out.insert(out.end(), {ep.bRefresh, ep.bSynchAddress});
                }
                out.resize(at + ep.bLength, 0);
                put_extra(out, ep.extra, ep.extra_length);
            }
        }
    }
    out[2] = static_cast<std::uint8_t>(out.size() & 0xFF);
    out[3] = static_cast<std::uint8_t>(out.size() >> 8);
    return out;
}

namespace {

void LIBUSB_CALL transfer_callback(libusb_transfer* native) {
    auto& transfer = *static_cast<Transfer*>(native->user_data);
    transfer.status = static_cast<TransferStatus>(native->status);
    transfer.actual_length = static_cast<std::uint32_t>(native->actual_length);
    // The driver may hand the transfer to its next call from here on: nothing of it is
    // touched after this call.
    transfer.callback(transfer);
}

// libusb keeps one device object for as long as the device is attached and hands that same one
// to the device list and to the hotplug notices, so its address tells the device; while the
// driver holds a reference to it, no other device can be given that address.
std::uintptr_t identity_of(libusb_device* device) {
    return reinterpret_cast<std::uintptr_t>(device);
}

int LIBUSB_CALL hotplug_callback(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                 void* user) {
    const auto& callback = *static_cast<UsbLibrary::HotplugCallback*>(user);
    callback(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, identity_of(device));
    return 0;
}

}  // namespace

NativeLibrary::~NativeLibrary() {
    if (context_ != nullptr) {
        if (hotplug_registered_) {
            libusb_hotplug_deregister_callback(context_, hotplug_handle_);
        }
        libusb_exit(context_);
    }
}

bool NativeLibrary::init() {
    return libusb_init(&context_) == LIBUSB_SUCCESS;
}

std::uint32_t NativeLibrary::version() const {
    const libusb_version* v = libusb_get_version();
    return (std::uint32_t{v->major} << 16) | (std::uint32_t{v->minor} << 8) | v->micro;
}

std::vector<DeviceEntry> NativeLibrary::devices() {
    std::vector<DeviceEntry> entries;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) {
            continue;
        }
        DeviceEntry entry;
        entry.device = std::make_shared<NativeDevice>(device);
        entry.identity = identity_of(device);
        entry.bus = libusb_get_bus_number(device);
        std::uint8_t ports[8] = {};
        const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
        entry.ports.assign(ports, ports + (depth > 0 ? depth : 0));
        entry.address = libusb_get_device_address(device);
        entry.vendor_id = descriptor.idVendor;
        entry.product_id = descriptor.idProduct;
        entry.speed = speed_of(libusb_get_device_speed(device));
        entries.push_back(std::move(entry));
    }
    if (list != nullptr) {
        libusb_free_device_list(list, 1);
    }
    return entries;
}

Result NativeLibrary::device_descriptor(LibDevice& device, std::vector<std::uint8_t>& raw) {
    libusb_device_descriptor d{};
    const int code = libusb_get_device_descriptor(static_cast<NativeDevice&>(device).device, &d);
    if (code != LIBUSB_SUCCESS) {
        return result_of(code);
    }
    raw = {d.bLength, d.bDescriptorType};
    put16(raw, d.bcdUSB);
    raw.insert(raw.end(),
               {d.bDeviceClass, d.bDeviceSubClass, d.bDeviceProtocol, d.bMaxPacketSize0});
    put16(raw, d.idVendor);
    put16(raw, d.idProduct);
    put16(raw, d.bcdDevice);
    raw.insert(raw.end(), {d.iManufacturer, d.iProduct, d.iSerialNumber, d.bNumConfigurations});
    return Result::Ok;
}

Result NativeLibrary::config_descriptor(LibDevice& device, std::uint8_t index,
                                        std::vector<std::uint8_t>& raw) {
    libusb_config_descriptor* config = nullptr;
    const int code =
        libusb_get_config_descriptor(static_cast<NativeDevice&>(device).device, index, &config);
    if (code != LIBUSB_SUCCESS) {
        return result_of(code);
    }
    raw = raw_configuration(*config);
    libusb_free_config_descriptor(config);
    return Result::Ok;
}

Result NativeLibrary::open(LibDevice& device, std::unique_ptr<LibHandle>& handle) {
    libusb_device_handle* native = nullptr;
    const int code = libusb_open(static_cast<NativeDevice&>(device).device, &native);
    if (code != LIBUSB_SUCCESS) {
        return result_of(code);
    }
    handle = std::make_unique<NativeHandle>(native);
    return Result::Ok;
}

Result NativeLibrary::claim_interface(LibHandle& handle, std::uint8_t number) {
    libusb_device_handle* native = static_cast<NativeHandle&>(handle).handle;
    // The kernel's own printer driver may hold the interface; it gets it back on release.
    libusb_set_auto_detach_kernel_driver(native, 1);
    return result_of(libusb_claim_interface(native, number));
}

void NativeLibrary::release_interface(LibHandle& handle, std::uint8_t number) {
    libusb_release_interface(static_cast<NativeHandle&>(handle).handle, number);
}

Result NativeLibrary::clear_halt(LibHandle& handle, std::uint8_t endpoint) {
    return result_of(libusb_clear_halt(static_cast<NativeHandle&>(handle).handle, endpoint));
}

std::unique_ptr<Transfer> NativeLibrary::new_transfer() {
    return std::make_unique<NativeTransfer>();
}

Result NativeLibrary::submit(Transfer& transfer) {
    libusb_transfer* native = static_cast<NativeTransfer&>(transfer).native;
    if (native == nullptr) {
        return Result::Other;
    }
    native->dev_handle = static_cast<NativeHandle*>(transfer.handle)->handle;
    native->flags = 0;
    native->endpoint = transfer.endpoint;
    native->type = transfer.type == TransferType::Control     ? LIBUSB_TRANSFER_TYPE_CONTROL
                   : transfer.type == TransferType::Interrupt ? LIBUSB_TRANSFER_TYPE_INTERRUPT
                                                              : LIBUSB_TRANSFER_TYPE_BULK;
    // The program's time-outs run on its clock; libusb's are real milliseconds.
    std::uint32_t timeout = 0;
    if (transfer.timeout_ms > 0) {
        const std::int64_t real_ms = platform::real_microseconds(transfer.timeout_ms) / 1000;
        timeout = real_ms < 1 ? 1 : static_cast<std::uint32_t>(real_ms);
    }
    native->timeout = timeout;
    native->buffer = transfer.buffer;
    native->length = static_cast<int>(transfer.length);
    native->callback = transfer_callback;
    native->user_data = &transfer;
    native->num_iso_packets = 0;
    return result_of(libusb_submit_transfer(native));
}

Result NativeLibrary::cancel(Transfer& transfer) {
    return result_of(libusb_cancel_transfer(static_cast<NativeTransfer&>(transfer).native));
}

void NativeLibrary::handle_events(std::uint32_t timeout_ms) {
    timeval wait{};
    wait.tv_sec = timeout_ms / 1000;
    wait.tv_usec = static_cast<suseconds_t>((timeout_ms % 1000) * 1000);
    libusb_handle_events_timeout_completed(context_, &wait, nullptr);
}

void NativeLibrary::wake_events() {
    libusb_interrupt_event_handler(context_);
}

bool NativeLibrary::watch_hotplug(std::uint16_t vendor_id, std::uint16_t product_id,
                                  HotplugCallback callback) {
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
        return false;
    }
    hotplug_ = std::move(callback);
    libusb_hotplug_callback_handle handle = 0;
    const int code = libusb_hotplug_register_callback(
        context_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, 0,
        vendor_id, product_id, LIBUSB_HOTPLUG_MATCH_ANY, hotplug_callback, &hotplug_, &handle);
    hotplug_registered_ = code == LIBUSB_SUCCESS;
    hotplug_handle_ = handle;
    return hotplug_registered_;
}

}  // namespace usb::libusb
