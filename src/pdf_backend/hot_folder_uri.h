#pragma once

#include <optional>
#include <string>
#include <string_view>

// The device URI of a virtual printer's queue names the hot folder its PDFs go to: the backend's
// scheme, a colon, and the folder's absolute path, every byte other than letters, digits, "-",
// ".", "_", "~" and "/" written as "%" and two hex digits ("velquorin-pdf:/home/ann/My%20PDFs").
namespace pdf_backend {

inline constexpr std::string_view kHotFolderScheme = "velquorin-pdf";

std::string hot_folder_device_uri(std::string_view folder);

// The folder a device URI names; nothing when the URI is not of this scheme, is not well
// formed, or names no absolute path.
std::optional<std::string> hot_folder_from_device_uri(std::string_view uri);

}  // namespace pdf_backend
