#pragma once

#include <string_view>

#include "usb/driver.h"

// Which driver answers for the printer. VELQUORIN_PRINTER=sim chooses the simulated printer
// (tests, the demo); without it the real printer is driven over libusb, and with no printer
// plugged in none is present: the operator sees a failed connection, never a print that
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

}  // namespace usb
