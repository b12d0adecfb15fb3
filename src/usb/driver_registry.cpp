#include "usb/driver_registry.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "usb/driver/sim/bus.h"

namespace usb {
namespace {

class EmptySet : public DeviceInterfaceSet {
  public:
    EnumResult interface_at(std::uint32_t) const override { return EnumResult::NoMoreItems; }
    std::string interface_path(std::uint32_t) const override { return {}; }
};

std::atomic<Driver*>& chosen() {
    static std::atomic<Driver*> driver{nullptr};
    return driver;
}

Driver& environment_driver() {
    static Driver* const driver = [] {
        const char* value = std::getenv("VELQUORIN_PRINTER");
        const std::string name = value != nullptr ? value : "";
        if (!name.empty() && name != "sim") {
            std::fprintf(stderr, "VELQUORIN_PRINTER=%s is not known; using the USB driver\n",
                         name.c_str());
        }
        return &driver_named(name);
    }();
    return *driver;
}

}  // namespace

Driver& driver_named(std::string_view name) {
    static AbsentDriver real;
    if (name == "sim") {
        return sim::program_bus();
    }
    return real;
}

Driver& current_driver() {
    if (Driver* driver = chosen().load()) {
        return *driver;
    }
    return environment_driver();
}

Driver* set_driver(Driver* driver) {
    return chosen().exchange(driver);
}

std::unique_ptr<DeviceInterfaceSet> AbsentDriver::present_interfaces(const Guid&) {
    return std::make_unique<EmptySet>();
}

std::uint64_t AbsentDriver::open(const std::string&, std::uint32_t, std::uint32_t& error) {
    error = kErrorFileNotFound;
    return 0;
}

bool AbsentDriver::close(std::uint64_t) {
    return false;
}

bool AbsentDriver::io_control(std::uint64_t, std::uint32_t, void*, std::uint32_t, void*,
                              std::uint32_t, std::uint32_t& returned, std::uint32_t& error) {
    returned = 0;
    error = kErrorInvalidHandle;
    return false;
}

std::uint32_t AbsentDriver::io_control_overlapped(std::uint64_t, std::uint32_t, void*,
                                                  std::uint32_t, void*, std::uint32_t,
                                                  IoRecord& record) {
    record.complete(0, kErrorInvalidHandle);
    return kErrorInvalidHandle;
}

}  // namespace usb
