#include "platform/text_lines.h"

namespace platform {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::vector<std::string_view> text_lines(std::string_view content) {
    if (content.starts_with(kUtf8ByteOrderMark)) {
        content.remove_prefix(kUtf8ByteOrderMark.size());
    }
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
        // CR LF is one line end.
        if (content[end] == '\r' && start < content.size() && content[start] == '\n') {
            ++start;
        }
    }
    return lines;
}

}  // namespace platform
