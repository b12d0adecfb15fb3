#include "pdf_backend/pdf_file_name.h"

#include <algorithm>
#include <cctype>

namespace pdf_backend {
namespace {

constexpr std::string_view kExtension = ".pdf";
// Well below the 255 bytes of a file name, leaving room for the extension and a number.
constexpr std::size_t kMaxTitleBytes = 200;

bool ends_in_pdf(std::string_view name) {
    if (name.size() < kExtension.size()) {
        return false;
    }
    const std::string_view end = name.substr(name.size() - kExtension.size());
    return std::equal(end.begin(), end.end(), kExtension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

bool is_continuation_byte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string pdf_file_name(std::string_view title) {
    std::string name;
    for (const char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        name += (c == '/' || byte < 0x20 || byte == 0x7F) ? '_' : c;
    }
    name.erase(0, name.find_first_not_of(". "));
    if (name.size() > kMaxTitleBytes) {
        std::size_t cut = kMaxTitleBytes;
        while (cut > 0 && is_continuation_byte(name[cut])) {
            --cut;
        }
        name.resize(cut);
    }
    if (name.empty()) {
        name = "untitled";
    }
    if (!ends_in_pdf(name)) {
        name += kExtension;
    }
    return name;
}

std::string numbered_pdf_name(std::string_view name, int n) {
    const std::size_t stem = name.size() - kExtension.size();
    return std::string(name.substr(0, stem)) + "-" + std::to_string(n) +
           std::string(name.substr(stem));
}

}  // namespace pdf_backend
