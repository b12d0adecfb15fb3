#include "platform/text_lines.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

TextLineReader::TextLineReader(int fd, std::size_t read_bytes)
    : fd_(fd), buffer_(std::max<std::size_t>(read_bytes, kUtf8ByteOrderMark.size())) {}

void TextLineReader::fill() {
    begin_ = 0;
    end_ = 0;
    while (!at_end_ && end_ < buffer_.size()) {
        const ssize_t got =
            ::pread(fd_, buffer_.data() + end_, buffer_.size() - end_, static_cast<off_t>(offset_));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            failed_ = true;
            at_end_ = true;
            return;
        }
        if (got == 0) {
            at_end_ = true;
            break;
        }
        end_ += static_cast<std::size_t>(got);
        offset_ += static_cast<std::uint64_t>(got);
        // One read is enough once it holds what the byte-order mark test needs.
        if (started_ || end_ >= kUtf8ByteOrderMark.size()) {
            break;
        }
    }
    if (!started_) {
        started_ = true;
        if (std::string_view(buffer_.data(), end_).starts_with(kUtf8ByteOrderMark)) {
            byte_order_mark_ = true;
            begin_ = kUtf8ByteOrderMark.size();
        }
    }
}

bool TextLineReader::next(std::string_view& piece, bool& ends_line) {
    if (failed_) {
        return false;
    }
    // A read may hand nothing to take yet (all of it a byte-order mark): read on until the end.
    while (begin_ == end_) {
        if (at_end_) {
            if (failed_ || !line_open_) {
                return false;
            }
            // The last line has no line end.
            line_open_ = false;
            piece = {};
            ends_line = true;
            return true;
        }
        fill();
    }
    if (after_cr_) {
        after_cr_ = false;
        if (buffer_[begin_] == '\n') {
            ++begin_;
            return next(piece, ends_line);
        }
    }
    const char* const start = buffer_.data() + begin_;
    const std::size_t size = end_ - begin_;
    std::size_t at = 0;
    while (at < size && start[at] != '\r' && start[at] != '\n') {
        ++at;
    }
    piece = std::string_view(start, at);
    if (at == size) {
        begin_ = end_;
        ends_line = false;
        line_open_ = true;
        return true;
    }
    after_cr_ = start[at] == '\r';
    begin_ += at + 1;
    ends_line = true;
    line_open_ = false;
    return true;
}

}  // namespace platform
