#include "usb/driver_registry.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "usb/driver/libusb/libusb_driver.h"
#include "usb/driver/sim/bus.h"

namespace usb {
namespace {

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
    if (name == "sim") {
        return sim::program_bus();
    }
    return libusb::program_driver();
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

}  // namespace usb
