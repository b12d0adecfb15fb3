#include "pdf_backend/hot_folder_uri.h"

namespace pdf_backend {
namespace {

bool is_kept(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::string hot_folder_device_uri(std::string_view folder) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = std::string(kHotFolderScheme) + ":";
    for (const char ch : folder) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_kept(c)) {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

std::optional<std::string> hot_folder_from_device_uri(std::string_view uri) {
    const std::string prefix = std::string(kHotFolderScheme) + ":";
    if (!uri.starts_with(prefix)) {
        return std::nullopt;
    }
    const std::string_view encoded = uri.substr(prefix.size());
    std::string folder;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            folder += encoded[i];
            continue;
        }
        const int high = i + 2 < encoded.size() ? hex_value(encoded[i + 1]) : -1;
        const int low = i + 2 < encoded.size() ? hex_value(encoded[i + 2]) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;  // a broken escape, or a NUL no path can hold
        }
        folder += static_cast<char>(high * 16 + low);
        i += 2;
    }
    // A path only: an authority ("//host") or a relative name names no folder of this machine.
    if (!folder.starts_with('/') || folder.starts_with("//")) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace pdf_backend
