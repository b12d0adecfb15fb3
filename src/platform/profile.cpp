#include "platform/profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/text_lines.h"

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

// A part of a line (a section name, a key, a value) without the blanks around it, of which only
// the first `cap` bytes are kept: as much as the caller compares or copies, however long the
// line is.
class BoundedField {
  public:
    void reset(std::size_t cap) {
        cap_ = cap;
        text_.clear();
        blanks_.clear();
        started_ = false;
        blank_overflow_ = false;
        overflow_ = false;
    }
    void add(char c) {
        if (overflow_) {
            return;
        }
        if (is_blank(c)) {
            // Kept aside until a later non-blank shows they are inside the field.
            if (started_) {
                if (blanks_.size() < cap_) {
                    blanks_.push_back(c);
                } else {
                    blank_overflow_ = true;
                }
            }
            return;
        }
        started_ = true;
        if (blank_overflow_) {
            overflow_ = true;
            return;
        }
        put(blanks_);
        blanks_.clear();
        put(std::string_view(&c, 1));
    }
    // The field, or its first cap bytes when overflowed() says it is longer.
    const std::string& text() const { return text_; }
    bool overflowed() const { return overflow_; }

  private:
    void put(std::string_view bytes) {
        const std::size_t room = cap_ - text_.size();
        if (bytes.size() > room) {
            text_.append(bytes.substr(0, room));
            overflow_ = true;
            return;
        }
        text_.append(bytes);
    }

    std::size_t cap_ = 0;
    std::string text_;
    std::string blanks_;
    bool started_ = false;
    bool blank_overflow_ = false;
    bool overflow_ = false;
};

enum class LineKind { Other, Section, Entry };

// One line of the file, fed in pieces, classified: "[name]" opens a section; a line that is
// empty, blank or starts with ';' (after blanks) is a remark; any other is an entry "key=value"
// (all key without '='). A NUL ends what the line says: nothing after it can be handed back
// inside a NUL-separated section.
class LineParser {
  public:
    // name_cap bytes of a section name or a key are kept, value_cap bytes of a value; with
    // entry_fields false an entry's key and value are not looked at.
    void start(std::size_t name_cap, std::size_t value_cap, bool entry_fields) {
        state_ = State::Lead;
        kind_ = LineKind::Other;
        has_equals_ = false;
        blank_ = true;
        entry_fields_ = entry_fields;
        name_.reset(name_cap);
        value_.reset(value_cap);
    }
    void feed(std::string_view piece) {
        for (const char c : piece) {
            if (state_ == State::Rest) {
                return;  // nothing after this point matters, and the line is no blank one
            }
            if (!is_blank(c)) {
                blank_ = false;
            }
            step(c);
        }
    }

    LineKind kind() const { return kind_; }
    // The section name, or the entry's key.
    const BoundedField& name() const { return name_; }
    const BoundedField& value() const { return value_; }
    bool has_equals() const { return has_equals_; }
    // Empty, or blanks only (a NUL counts as no blank).
    bool blank() const { return blank_; }

  private:
    enum class State { Lead, Name, Key, Value, Rest };

    void step(char c) {
        switch (state_) {
            case State::Lead:
                if (is_blank(c)) {
                    return;
                }
                if (c == '\0' || c == ';') {
                    state_ = State::Rest;
                } else if (c == '[') {
                    kind_ = LineKind::Section;
                    state_ = State::Name;
                } else {
                    kind_ = LineKind::Entry;
                    state_ = entry_fields_ ? State::Key : State::Rest;
                    step(c);
                }
                return;
            case State::Name:
                if (c == ']' || c == '\0') {
                    state_ = State::Rest;
                } else {
                    name_.add(c);
                }
                return;
            case State::Key:
                if (c == '\0') {
                    state_ = State::Rest;
                } else if (c == '=') {
                    has_equals_ = true;
                    state_ = State::Value;
                } else {
                    name_.add(c);
                }
                return;
            case State::Value:
                if (c == '\0') {
                    state_ = State::Rest;
                } else {
                    value_.add(c);
                }
                return;
            case State::Rest:
                return;
        }
    }

    State state_ = State::Lead;
    LineKind kind_ = LineKind::Other;
    bool has_equals_ = false;
    bool blank_ = true;
    bool entry_fields_ = false;
    BoundedField name_;
    BoundedField value_;
};

bool is_section(const LineParser& line, std::string_view section) {
    return line.kind() == LineKind::Section && !line.name().overflowed() &&
           same_name(line.name().text(), section);
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
    // Only a regular file is read, and without waiting: a pipe of that name reads as missing.
    const FileHandle fd = open_regular_file(file);
    result.file_read = fd.is_open();
    if (buffer.size() < 2) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        return result;
    }
    // The section's strings with their NULs, up to the extra NUL: at most size - 1 bytes.
    const std::size_t limit = buffer.size() - 1;
    std::size_t out = 0;
    bool cut = false;
    // Places bytes; false when they do not all fit (the section is then cut there).
    const auto put = [&](std::string_view bytes, bool overflowed) {
        const std::size_t room = limit - out;
        const std::size_t taken = std::min(room, bytes.size());
        std::copy_n(bytes.data(), taken, buffer.data() + out);
        out += taken;
        cut = overflowed || bytes.size() > room;
        return !cut;
    };
    if (fd.is_open()) {
        // Read as a stream, one line at a time, and no further than the section, or than the
        // buffer can take of it: a file of any size costs what the buffer costs.
        TextLineReader lines(fd.get());
        LineParser line;
        bool inside = false;
        const auto begin_line = [&] {
            const std::size_t room = limit - out + 1;
            line.start(inside ? room : section.size(), room, inside);
        };
        begin_line();
        std::string_view piece;
        bool ends_line = false;
        bool done = false;
        while (!done && lines.next(piece, ends_line)) {
            line.feed(piece);
            // An entry longer than the room left is cut there: nothing after it is read.
            const bool too_long = inside && line.kind() == LineKind::Entry &&
                                  (line.name().overflowed() || line.value().overflowed());
            if (!ends_line && !too_long) {
                continue;
            }
            if (!inside) {
                inside = is_section(line, section);
            } else if (line.kind() == LineKind::Section) {
                done = true;  // the first section of that name has ended
            } else if (line.kind() == LineKind::Entry) {
                done = !put(line.name().text(), line.name().overflowed()) ||
                       (line.has_equals() && !put("=", false)) ||
                       !put(line.value().text(), line.value().overflowed()) ||
                       !put(std::string_view("\0", 1), false);
            }
            begin_line();
        }
        if (lines.failed()) {
            // A file whose reading failed part-way reads as one that could not be read.
            result.file_read = false;
            out = 0;
            cut = false;
        }
    }
    if (cut) {
        buffer[buffer.size() - 2] = '\0';
        buffer[buffer.size() - 1] = '\0';
        result.length = buffer.size() - 2;
        result.cut = true;
        return result;
    }
    buffer[out] = '\0';
    if (out == 0) {
        buffer[1] = '\0';
    }
    result.length = out;
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

// Where a write changes the file: found by a first pass over it, made by a second, both read
// as a stream, so that a file of any size is rewritten in the memory of a few lines.
struct SectionPlan {
    bool section_found = false;
    std::uint64_t header_line = 0;
    // The section's last entry line (its header when it has none).
    std::uint64_t last_entry_line = 0;
    // Per key looked for: the line of its first entry in the section and the key's spelling
    // there.
    std::vector<std::optional<std::pair<std::uint64_t, std::string>>> first_entry;
    std::uint64_t line_count = 0;
    bool last_line_blank = false;
    bool byte_order_mark = false;
};

// The first pass. False when the file could not be read.
bool plan_section(int fd, std::string_view section, std::span<const std::string> keys,
                  SectionPlan& plan) {
    plan.first_entry.assign(keys.size(), std::nullopt);
    if (fd < 0) {
        return true;  // no file yet: nothing in it
    }
    std::size_t name_cap = section.size();
    for (const std::string& key : keys) {
        name_cap = std::max(name_cap, key.size());
    }
    TextLineReader lines(fd);
    LineParser line;
    enum class Where { Before, Inside, After } where = Where::Before;
    line.start(name_cap, 0, false);
    std::string_view piece;
    bool ends_line = false;
    while (lines.next(piece, ends_line)) {
        line.feed(piece);
        if (!ends_line) {
            continue;
        }
        const std::uint64_t index = plan.line_count++;
        plan.last_line_blank = line.blank();
        if (line.kind() == LineKind::Section) {
            if (where == Where::Before && is_section(line, section)) {
                where = Where::Inside;
                plan.section_found = true;
                plan.header_line = plan.last_entry_line = index;
            } else if (where == Where::Inside) {
                where = Where::After;
            }
        } else if (line.kind() == LineKind::Entry && where == Where::Inside) {
            plan.last_entry_line = index;
            for (std::size_t k = 0; k < keys.size() && !line.name().overflowed(); ++k) {
                if (!plan.first_entry[k] && same_name(line.name().text(), keys[k])) {
                    plan.first_entry[k].emplace(index, line.name().text());
                    break;
                }
            }
        }
        line.start(name_cap, 0, where == Where::Inside);
    }
    plan.byte_order_mark = lines.began_with_byte_order_mark();
    return !lines.failed();
}

struct SectionEdits {
    // Lines taken out or replaced, in line order; no text: taken out.
    std::vector<std::pair<std::uint64_t, std::optional<std::string>>> lines;
    // Lines put after line insert_after of the section, or in a new section at the end.
    std::uint64_t insert_after = 0;
    std::vector<std::string> inserted;
};

// The second pass: every line as it stands but those the edits name, with CR LF line ends and
// the byte-order mark the file began with, if any.
bool write_edited(int fd, std::string_view section, const SectionPlan& plan,
                  const SectionEdits& edits, ContentWriter& out) {
    if (plan.byte_order_mark && !out.append(kUtf8ByteOrderMark)) {
        return false;
    }
    const auto put_line = [&](std::string_view text) {
        return out.append(text) && out.append("\r\n");
    };
    const auto put_inserted = [&] {
        for (const std::string& text : edits.inserted) {
            if (!put_line(text)) {
                return false;
            }
        }
        return true;
    };
    if (fd >= 0) {
        TextLineReader lines(fd);
        auto edit = edits.lines.begin();
        std::uint64_t index = 0;
        bool line_begins = true;
        bool copied = true;  // whether the current line is copied as it stands
        std::string_view piece;
        bool ends_line = false;
        while (lines.next(piece, ends_line)) {
            if (line_begins) {
                copied = edit == edits.lines.end() || edit->first != index;
                if (!copied && edit->second && !out.append(*edit->second)) {
                    return false;
                }
                line_begins = false;
            }
            if (copied && !out.append(piece)) {
                return false;
            }
            if (!ends_line) {
                continue;
            }
            const bool kept = copied || (edit != edits.lines.end() && edit->second);
            if (!copied) {
                ++edit;
            }
            if (kept && !out.append("\r\n")) {
                return false;
            }
            if (plan.section_found && index == edits.insert_after && !put_inserted()) {
                return false;
            }
            ++index;
            line_begins = true;
        }
        if (lines.failed()) {
            return false;
        }
    }
    if (plan.section_found) {
        return true;
    }
    // A new section at the end of the file, a blank line before it.
    if (plan.line_count > 0 && !plan.last_line_blank && !out.append("\r\n")) {
        return false;
    }
    return put_line("[" + std::string(section) + "]") && put_inserted();
}

// The file planned and rewritten under the write lock; make_edits turns the plan into edits.
bool rewrite_section(const std::filesystem::path& file, std::string_view section,
                     std::span<const std::string> keys,
                     const std::function<SectionEdits(const SectionPlan&)>& make_edits) {
    std::lock_guard guard(write_lock());
    // A file that does not exist yet is made; one that is there must be a readable regular file.
    FileHandle fd;
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        fd = open_regular_file(file);
        if (!fd.is_open()) {
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }
    SectionPlan plan;
    if (!plan_section(fd.get(), section, keys, plan)) {
        return false;
    }
    const SectionEdits edits = make_edits(plan);
    // A settings file an installer links elsewhere stays that file: the link is followed.
    return replace_file_contents(
        file, [&](ContentWriter& out) { return write_edited(fd.get(), section, plan, edits, out); },
        Links::Followed);
}

}  // namespace

bool write_profile_strings(const std::filesystem::path& file, std::string_view section,
                           std::span<const ProfileEntry> entries) {
    section = trim(section);
    if (!valid_section(section)) {
        return false;
    }
    // One key written twice keeps the place of the first write and the value of the last, as
    // two writes one after the other would leave it.
    std::vector<std::string> keys;
    std::vector<std::string> values;
    for (const ProfileEntry& entry : entries) {
        const std::string_view key = trim(entry.key);
        if (!valid_entry(key, entry.value)) {
            return false;
        }
        const auto same = std::find_if(keys.begin(), keys.end(),
                                       [&](const std::string& k) { return same_name(k, key); });
        if (same != keys.end()) {
            values[static_cast<std::size_t>(same - keys.begin())] = entry.value;
        } else {
            keys.emplace_back(key);
            values.push_back(entry.value);
        }
    }
    return rewrite_section(file, section, keys, [&](const SectionPlan& plan) {
        SectionEdits edits;
        edits.insert_after = plan.last_entry_line;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (plan.first_entry[k]) {
                // The key keeps its place and the spelling it has in the file.
                edits.lines.emplace_back(plan.first_entry[k]->first,
                                         plan.first_entry[k]->second + "=" + values[k]);
            } else {
                edits.inserted.push_back(keys[k] + "=" + values[k]);
            }
        }
        std::sort(edits.lines.begin(), edits.lines.end());
        return edits;
    });
}

bool write_profile_string(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value) {
    const ProfileEntry entry{std::string(key), std::string(value)};
    return write_profile_strings(file, section, std::span(&entry, 1));
}

bool write_profile_section(const std::filesystem::path& file, std::string_view section,
                           std::span<const ProfileEntry> entries) {
    section = trim(section);
    if (!valid_section(section)) {
        return false;
    }
    std::vector<std::string> keys;
    std::vector<std::string> written;
    for (const ProfileEntry& entry : entries) {
        const std::string_view key = trim(entry.key);
        if (!valid_entry(key, entry.value)) {
            return false;
        }
        if (std::none_of(keys.begin(), keys.end(),
                         [&](const std::string& k) { return same_name(k, key); })) {
            keys.emplace_back(key);
        }
        written.push_back(std::string(key) + "=" + entry.value);
    }
    return rewrite_section(file, section, keys, [&](const SectionPlan& plan) {
        SectionEdits edits;
        edits.insert_after = plan.header_line;
        edits.inserted = written;
        for (const auto& first : plan.first_entry) {
            if (first) {
                edits.lines.emplace_back(first->first, std::nullopt);
            }
        }
        std::sort(edits.lines.begin(), edits.lines.end());
        return edits;
    });
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
