#pragma once

#include <string>

#include "usb/driver/libusb/printer_ids.h"
#include "usb/driver/libusb/usb_library.h"

// What the real printer's driver tells the operator when it finds a printer that it cannot
// open, or has no id to look for one by.
namespace usb::libusb {

// The box for the printer of ids, found at path (entry), that refused to open with reason:
// which device it is, why, and what to do about it.
std::string refusal_text(const PrinterIds& ids, const DeviceEntry& entry, const std::string& path,
                         Result reason);

// The line for a driver that was given no id.
std::string missing_id_text();

}  // namespace usb::libusb
