#include "usb/driver/libusb/printer_ids.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/text_lines.h"

#ifndef VELQUORIN_CONF_FILE
#define VELQUORIN_CONF_FILE "/etc/velquorin/velquorin.conf"
#endif
#ifndef VELQUORIN_BUILD_USB_ID
#define VELQUORIN_BUILD_USB_ID ""
#endif

namespace usb::libusb {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::optional<std::uint16_t> hex16(std::string_view text) {
    if (text.size() != 4) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<PrinterIds> parse_usb_id(std::string_view text) {
    text = trimmed(text);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto vendor = hex16(text.substr(0, colon));
    const auto product = hex16(text.substr(colon + 1));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return PrinterIds{*vendor, *product};
}

std::optional<PrinterIds> printer_ids(const char* environment, const std::filesystem::path& file,
                                      std::optional<PrinterIds> fallback, std::string& warning) {
    warning.clear();
    if (environment != nullptr) {
        if (const auto ids = parse_usb_id(environment)) {
            return *ids;
        }
        warning += "VELQUORIN_USB_ID=" + std::string(environment) +
                   " is not vendor:product in hex (vvvv:pppp); it is not used\n";
    }
    // Read as every configuration file is: a regular file only, never waited on.
    const std::string content = platform::read_regular_file(file).value_or("");
    for (const std::string_view line : platform::text_lines(content)) {
        const std::string_view text = trimmed(line);
        const auto equals = text.find('=');
        if (text.empty() || text[0] == '#' || equals == std::string_view::npos ||
            trimmed(text.substr(0, equals)) != "usb_id") {
            continue;
        }
        if (const auto ids = parse_usb_id(text.substr(equals + 1))) {
            return *ids;
        }
        warning += file.string() + ": \"" + std::string(text) +
                   "\" is not usb_id=vendor:product in hex; it is not used\n";
    }
    return fallback;
}

std::filesystem::path configuration_file() {
    return VELQUORIN_CONF_FILE;
}

std::optional<PrinterIds> program_printer_ids() {
    std::string warning;
    const std::optional<PrinterIds> ids =
        printer_ids(std::getenv("VELQUORIN_USB_ID"), configuration_file(),
                    parse_usb_id(VELQUORIN_BUILD_USB_ID), warning);
    if (!warning.empty()) {
        std::fputs(warning.c_str(), stderr);
    }
    return ids;
}

}  // namespace usb::libusb
