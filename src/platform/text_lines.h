#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The lines of the small text files the workstation reads its settings from ("hotfpath.ini",
// the settings file, the step settings file, the virtual printers' settings files). They come
// from an installer, from an editor on this machine or from a Windows one, so a line may end in
// CR LF, LF or CR alone, and an editor may have put a UTF-8 byte-order mark in front; the
// lines are the same whichever it was.
namespace platform {

// The lines of content with their line ends removed, a byte-order mark at the start left out.
// A line end after the last line does not start a further line, so an empty text has no line
// and "\r\n" one empty line. Nothing else is removed: blanks and NULs stay in the line. The
// views point into content.
std::vector<std::string_view> text_lines(std::string_view content);

// The same lines read from an open file a piece at a time, so that what a reader holds stays
// the size of one read whatever the file holds (a line of many megabytes, millions of lines).
// Reads from the start of the file with positioned reads, so the descriptor's own position
// plays no part and a second reader on the same descriptor reads the file again.
class TextLineReader {
  public:
    static constexpr std::size_t kDefaultReadBytes = 64 * 1024;
    explicit TextLineReader(int fd, std::size_t read_bytes = kDefaultReadBytes);

    // The next piece of the current line (without line-end characters) and whether the line
    // ends after it; a line may come in several pieces, an empty line as one empty piece that
    // ends it. False when no line is left, or a read failed (failed() then says so).
    bool next(std::string_view& piece, bool& ends_line);

    bool failed() const { return failed_; }
    // Whether the file began with a byte-order mark (known once next() has been called).
    bool began_with_byte_order_mark() const { return byte_order_mark_; }
    // Bytes read from the file so far.
    std::uint64_t bytes_read() const { return offset_; }

  private:
    void fill();

    int fd_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;  // the unhanded bytes are buffer_[begin_, end_)
    std::size_t end_ = 0;
    std::uint64_t offset_ = 0;
    bool started_ = false;
    bool at_end_ = false;
    bool failed_ = false;
    bool byte_order_mark_ = false;
    // A CR ended the last line; an LF right after it belongs to that line end.
    bool after_cr_ = false;
    // Bytes of the current line have been handed (an end of file then ends it).
    bool line_open_ = false;
};

}  // namespace platform
