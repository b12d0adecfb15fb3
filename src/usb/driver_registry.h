#pragma once

#include <string_view>

#include "usb/driver.h"

// Which driver answers for the printer. VELQUORIN_PRINTER=sim chooses the simulated printer
// (tests, the demo); without it the real driver is used. Until a real driver is built that
// means no printer is present: the operator sees a failed connection, never a print that
// silently went nowhere.
namespace usb {

// The driver the device objects use when none is given to them: the one set with set_driver,
// else the one VELQUORIN_PRINTER names (read once).
Driver& current_driver();

// Replaces the driver that current_driver() returns; null goes back to the environment's
// choice. Returns the one set before (null when none was).
Driver* set_driver(Driver* driver);

// The driver for a value of VELQUORIN_PRINTER: "sim" the program's simulated printer, anything
// else (empty included) the real driver.
Driver& driver_named(std::string_view name);

// Stands in for the real driver until it exists: no device interface is ever present.
class AbsentDriver : public Driver {
  public:
    std::unique_ptr<DeviceInterfaceSet> present_interfaces(const Guid& guid) override;
    std::uint64_t open(const std::string& path, std::uint32_t flags, std::uint32_t& error) override;
    bool close(std::uint64_t handle) override;
    bool io_control(std::uint64_t handle, std::uint32_t code, void* in, std::uint32_t in_length,
                    void* out, std::uint32_t out_length, std::uint32_t& returned,
                    std::uint32_t& error) override;
    std::uint32_t io_control_overlapped(std::uint64_t handle, std::uint32_t code, void* in,
                                        std::uint32_t in_length, void* out,
                                        std::uint32_t out_length, IoRecord& record) override;
};

}  // namespace usb
