#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Ini ("private profile") files: the settings file and the step settings file are read a whole
// section at a time and written one key at a time, with the semantics those files were made
// for.
//
// File format read: "[section]" lines open a section; inside a section every other line that is
// not blank and does not start with ';' (after leading blanks) is an entry "key=value". Blanks
// (spaces, tabs) around the key and around the value are not part of them. A line without '='
// is an entry that is all key. Lines before the first section belong to no section. Section and
// key names compare without regard to ASCII letter case; where a name appears twice, the first
// one counts. Lines may end in CR LF, LF or CR alone, and a UTF-8 byte-order mark in front of
// the first line is not part of it (an editor's mark would otherwise hide the first section).
// Only a regular file is read, never one that could make the reader wait (a pipe).
//
// Files are read and written as streams, a line at a time: the reader stops once it has the
// section (or as much of it as the buffer takes), and a write holds no more than a few lines, so
// a file of any size costs no more memory than a small one.
//
// Nothing is cached: every call reads the file again, so a change by another writer between
// two calls is always seen.
namespace platform {

struct ProfileSectionResult {
    // Bytes placed in the buffer, not counting the final extra NUL (size - 2 when the section
    // did not fit).
    std::size_t length = 0;
    // False when the file could not be opened (missing, unreadable or not a regular file) or
    // its reading failed part-way; the buffer then holds an empty section.
    bool file_read = false;
    // True when the section did not fit and the buffer holds only its beginning.
    bool cut = false;
};

// Reads a whole section into buffer as consecutive NUL-terminated "key=value" strings with an
// extra NUL after the last (an empty or missing section gives two NULs). The rest of the buffer
// is left as it is, so callers that zero it first find zeros after the data.
//
// When the section does not fit, the buffer holds as much of it as fits in size - 2 bytes, the
// last string cut where the room ends, followed by two NULs, and the length is size - 2. A
// buffer of fewer than two bytes gets what fits of the two NULs and length 0.
ProfileSectionResult read_profile_section(const std::filesystem::path& file,
                                          std::string_view section, std::span<char> buffer);

// Writes key=value into section. An existing key (the first of that name in the first section
// of that name) keeps its place and its spelling and gets the new value; a new key is appended
// after the section's last entry (after its header when it has none); a missing section is
// appended at the end of the file; a missing file is created (its folder must exist). The whole
// file is written with CR LF line ends (and the byte-order mark it began with, if any) to a
// temporary file beside it and then renamed over it, so a crash leaves either the old or the new
// file, never half of one. Writes from threads of this process are serialised.
//
// Blanks around the section and key names are not part of them. False when the file cannot be
// read or written, or the section or key is empty or holds what cannot stand there (a line end
// or NUL, a ']' in the section, a '=' in the key, a key starting with ';' or '['), or the value
// holds a line end or NUL; the file is then unchanged.
bool write_profile_string(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value);

struct ProfileEntry {
    std::string key;
    std::string value;
};

// Several keys in one write of the file, which then holds what write_profile_string for each
// of them, one after the other, would leave. False, with the file unchanged, when one of them
// could not be written.
bool write_profile_strings(const std::filesystem::path& file, std::string_view section,
                           std::span<const ProfileEntry> entries);

// Puts these entries at the head of section, in this order, right after its header: the first
// entry of each of their keys that the section held leaves its place; every other line of the
// section (remarks, blank lines, other entries, a second entry of a key, a line no key can name
// such as "=5") stays as it stands, after them, and the other sections as they are. A missing
// section is appended at the end of the file, a missing file is created. Written as
// write_profile_string writes, and false, with the file unchanged, where that would be.
bool write_profile_section(const std::filesystem::path& file, std::string_view section,
                           std::span<const ProfileEntry> entries);

// What the positional walk does with an entry that has no '='.
enum class EntryWithoutEquals {
    // The value text starts after the entry's own NUL, so the following string is taken as its
    // value and the walk goes on after that string (the walk of the settings file).
    TakesNextString,
    // The entry has an empty value and the next string is the next entry.
    HasEmptyValue,
};

// The positional walk over a section buffer: for entry k = 1..count, find the first '=' of the
// string that starts at the walk's position, take the text after it up to its NUL as value k,
// and go on one byte after that NUL. Positions past the end of the buffer give empty texts. The
// views point into buffer.
std::vector<std::string_view> section_values_by_position(std::span<const char> buffer, int count,
                                                         EntryWithoutEquals rule);

// The decimal integer at the start of text: optional leading white space, an optional sign,
// then digits up to the first other character. No digits give 0; a number beyond the range of int
// gives the nearest int.
int leading_integer(std::string_view text);

// The decimal number at the start of text, read the same way: white space, a sign, then digits
// with at most one point among them (no exponent: "1e5" reads 1). Nothing that reads as a number
// gives 0.
double leading_decimal(std::string_view text);

}  // namespace platform
