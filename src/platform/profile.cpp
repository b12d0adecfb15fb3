#include "platform/profile.h"

#include "platform/files.h"
#include "platform/text_lines.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

namespace platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool same_name(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

enum class LineKind { Other, Section, Entry };

// One line of the file, its line end removed, classified.
struct Line {
    std::string text;
    LineKind kind = LineKind::Other;
    std::string name;   // section name or key
    std::string value;  // entry value
    bool has_equals = false;
};

void classify(Line& line) {
    // A NUL cannot be handed back inside a NUL-separated section; the line ends there.
    std::string_view text(line.text.data(),
                          std::min(line.text.size(), std::strlen(line.text.c_str())));
    text = trim(text);
    if (text.empty() || text.front() == ';') {
        line.kind = LineKind::Other;
        return;
    }
    if (text.front() == '[') {
        line.kind = LineKind::Section;
        std::string_view name = text.substr(1);
        name = name.substr(0, name.find(']'));
        line.name = std::string(trim(name));
        return;
    }
    line.kind = LineKind::Entry;
    const auto equals = text.find('=');
    line.has_equals = equals != std::string_view::npos;
    line.name = std::string(trim(text.substr(0, equals)));
    line.value = line.has_equals ? std::string(trim(text.substr(equals + 1))) : std::string();
}

// The file's lines, classified; a byte-order mark in front of the first is not part of it.
std::vector<Line> split_lines(const std::string& content) {
    std::vector<Line> lines;
    for (const std::string_view text : text_lines(content)) {
        Line line;
        line.text = std::string(text);
        classify(line);
        lines.push_back(std::move(line));
    }
    return lines;
}

// [first, end) lines of the first section named section; first is the header's index.
struct SectionSpan {
    std::size_t header = 0;
    std::size_t end = 0;
};

std::optional<SectionSpan> find_section(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && same_name(lines[i].name, section)) {
            std::size_t end = i + 1;
            while (end < lines.size() && lines[end].kind != LineKind::Section) {
                ++end;
            }
            return SectionSpan{i, end};
        }
    }
    return std::nullopt;
}

bool clean(std::string_view text, std::string_view forbidden) {
    return text.find_first_of(forbidden) == std::string_view::npos &&
           text.find('\0') == std::string_view::npos;
}

std::mutex& write_lock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

ProfileSectionResult read_profile_section(const std::filesystem::path& file,
                                          std::string_view section, std::span<char> buffer) {
    ProfileSectionResult result;
    std::string data;
    // Only a regular file is read, and without waiting: a pipe of that name reads as missing.
    if (const auto content = read_regular_file(file)) {
        result.file_read = true;
        const std::vector<Line> lines = split_lines(*content);
        if (const auto span = find_section(lines, section)) {
            for (std::size_t i = span->header + 1; i < span->end; ++i) {
                const Line& line = lines[i];
                if (line.kind != LineKind::Entry) {
                    continue;
                }
                data.append(line.name);
                if (line.has_equals) {
                    data.push_back('=');
                    data.append(line.value);
                }
                data.push_back('\0');
            }
        }
    }
    if (buffer.size() < 2) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        result.length = 0;
        return result;
    }
    // data holds every string with its NUL; the extra NUL comes on top.
    if (data.size() + 1 <= buffer.size()) {
        std::copy(data.begin(), data.end(), buffer.begin());
        buffer[data.size()] = '\0';
        if (data.empty()) {
            buffer[1] = '\0';
        }
        result.length = data.size();
        return result;
    }
    const std::size_t room = buffer.size() - 2;
    std::copy_n(data.begin(), room, buffer.begin());
    buffer[room] = '\0';
    buffer[room + 1] = '\0';
    result.length = room;
    return result;
}

namespace {

bool valid_section(std::string_view section) {
    return !section.empty() && clean(section, "\r\n]");
}

bool valid_entry(std::string_view key, std::string_view value) {
    return !key.empty() && clean(key, "\r\n=") && key.front() != ';' && key.front() != '[' &&
           clean(value, "\r\n");
}

// The file's content before a write: empty for a file that does not exist yet, nothing when it
// cannot be read.
std::optional<std::string> content_to_rewrite(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        return read_regular_file(file);
    }
    if (errno != ENOENT) {
        return std::nullopt;
    }
    return std::string();
}

// The lines of the file as they stand.
std::vector<std::string> line_texts(const std::vector<Line>& lines) {
    std::vector<std::string> out;
    out.reserve(lines.size() + 3);
    for (const Line& line : lines) {
        out.push_back(line.text);
    }
    return out;
}

// A new section at the end of the file, a blank line before it.
void append_section(std::vector<std::string>& out, std::string_view section) {
    if (!out.empty() && !trim(out.back()).empty()) {
        out.emplace_back();
    }
    out.push_back("[" + std::string(section) + "]");
}

// Writes the lines with CR LF line ends; a byte-order mark the file began with stays where it
// was.
bool write_lines(const std::filesystem::path& file, const std::string& content,
                 const std::vector<std::string>& out) {
    std::string written =
        content.starts_with(kUtf8ByteOrderMark) ? std::string(kUtf8ByteOrderMark) : std::string();
    for (const std::string& line : out) {
        written += line;
        written += "\r\n";
    }
    // A settings file an installer links elsewhere stays that file: the link is followed.
    return replace_file_contents(file, written, Links::Followed);
}

}  // namespace

bool write_profile_string(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    if (!valid_section(section) || !valid_entry(key, value)) {
        return false;
    }
    std::lock_guard guard(write_lock());
    const std::optional<std::string> content = content_to_rewrite(file);
    if (!content) {
        return false;
    }

    std::vector<Line> lines = split_lines(*content);
    std::string entry = std::string(key) + "=" + std::string(value);
    std::vector<std::string> out = line_texts(lines);
    if (const auto span = find_section(lines, section)) {
        std::size_t insert_at = span->header + 1;
        bool replaced = false;
        for (std::size_t i = span->header + 1; i < span->end; ++i) {
            if (lines[i].kind != LineKind::Entry) {
                continue;
            }
            if (same_name(lines[i].name, key)) {
                // The key keeps its place and the spelling it has in the file.
                out[i] = lines[i].name + "=" + std::string(value);
                replaced = true;
                break;
            }
            insert_at = i + 1;
        }
        if (!replaced) {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
        }
    } else {
        append_section(out, section);
        out.push_back(entry);
    }
    return write_lines(file, *content, out);
}

bool write_profile_section(const std::filesystem::path& file, std::string_view section,
                           std::span<const ProfileEntry> entries) {
    section = trim(section);
    if (!valid_section(section)) {
        return false;
    }
    std::vector<std::string> written_entries;
    for (const ProfileEntry& entry : entries) {
        const std::string_view key = trim(entry.key);
        if (!valid_entry(key, entry.value)) {
            return false;
        }
        written_entries.push_back(std::string(key) + "=" + entry.value);
    }
    std::lock_guard guard(write_lock());
    const std::optional<std::string> content = content_to_rewrite(file);
    if (!content) {
        return false;
    }

    const std::vector<Line> lines = split_lines(*content);
    std::vector<std::string> out;
    if (const auto span = find_section(lines, section)) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i > span->header && i < span->end && lines[i].kind == LineKind::Entry) {
                continue;
            }
            out.push_back(lines[i].text);
            if (i == span->header) {
                out.insert(out.end(), written_entries.begin(), written_entries.end());
            }
        }
    } else {
        out = line_texts(lines);
        append_section(out, section);
        out.insert(out.end(), written_entries.begin(), written_entries.end());
    }
    return write_lines(file, *content, out);
}

std::vector<std::string_view> section_values_by_position(std::span<const char> buffer, int count,
                                                         EntryWithoutEquals rule) {
    const std::size_t size = buffer.size();
    // The string at pos, ending at its NUL or at the end of the buffer.
    auto string_at = [&](std::size_t pos) -> std::string_view {
        if (pos >= size) {
            return {};
        }
        const char* start = buffer.data() + pos;
        const void* nul = std::memchr(start, '\0', size - pos);
        const std::size_t length =
            nul == nullptr ? size - pos
                           : static_cast<std::size_t>(static_cast<const char*>(nul) - start);
        return {start, length};
    };
    std::vector<std::string_view> values;
    values.reserve(static_cast<std::size_t>(std::max(count, 0)));
    std::size_t pos = 0;
    for (int k = 0; k < count; ++k) {
        const std::string_view entry = string_at(pos);
        const std::size_t equals = entry.find('=');
        std::size_t value_start;
        if (equals != std::string_view::npos) {
            value_start = pos + equals + 1;
        } else if (rule == EntryWithoutEquals::TakesNextString) {
            value_start = pos + entry.size() + 1;
        } else {
            value_start = pos + entry.size();
        }
        const std::string_view value = string_at(value_start);
        values.push_back(value);
        pos = value_start + value.size() + 1;
    }
    return values;
}

namespace {

// Where the digits of a number at the start of text begin, past white space and a sign.
std::size_t number_digits_start(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

int leading_integer(std::string_view text) {
    bool negative = false;
    std::size_t i = number_digits_start(text, negative);
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min<long long>(magnitude * 10 + (text[i] - '0'), 1LL + INT_MAX);
    }
    const long long number = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

double leading_decimal(std::string_view text) {
    bool negative = false;
    const std::size_t i = number_digits_start(text, negative);
    // Only digits and a point: the conversion below would also take "inf" and "nan".
    if (i == text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
        return 0;
    }
    double value = 0;
    const char* const digits = text.data() + i;
    const auto [end, error] =
        std::from_chars(digits, text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end == digits) {
        return 0;
    }
    return negative ? -value : value;
}

}  // namespace platform
