#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The vendor and product id by which the real driver knows the printer. They are the
// printer's, not the program's, so the operator sets them: VELQUORIN_USB_ID=vvvv:pppp (hex, as
// lsusb shows them) wins; otherwise the line usb_id=vvvv:pppp of the configuration file
// (velquorin.conf in the system configuration folder, installed with the build's id);
// otherwise the id the program was built with, if any. There is no id of its own: a guessed
// one could be another maker's device, which would then be claimed and sent printer commands.
namespace usb::libusb {

struct PrinterIds {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;

    friend bool operator==(const PrinterIds&, const PrinterIds&) = default;
};

// "3a2c:0800" (hex, either case); none for anything else.
std::optional<PrinterIds> parse_usb_id(std::string_view text);

// The ids from an environment value (null: unset) and a configuration file, else the
// fallback (none: no printer). A value that is there but not an id is skipped with a line in
// warning.
std::optional<PrinterIds> printer_ids(const char* environment, const std::filesystem::path& file,
                                      std::optional<PrinterIds> fallback, std::string& warning);

// The ids the program uses: VELQUORIN_USB_ID, the installed configuration file, the build's
// id; none when none of them names one. A skipped value is told on the standard error.
std::optional<PrinterIds> program_printer_ids();

// The configuration file the program reads.
std::filesystem::path configuration_file();

}  // namespace usb::libusb
