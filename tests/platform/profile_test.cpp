#include "platform/profile.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <array>
#include <climits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/text_lines.h"
#include "resource_use.h"
#include "temp_dir.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

// The section as the bytes the reader leaves in a zeroed buffer, up to and with the extra NUL
// (both NULs of an empty section).
std::string read_section(const std::filesystem::path& file, std::string_view section,
                         std::size_t size = 20000,
                         platform::ProfileSectionResult* result = nullptr) {
    std::vector<char> buffer(size, '\0');
    const auto read = platform::read_profile_section(file, section, buffer);
    if (result != nullptr) {
        *result = read;
    }
    return std::string(buffer.data(), std::min(size, std::max<std::size_t>(read.length + 1, 2)));
}

using namespace std::string_literals;

TEST(Profile, SectionReadsAsNulSeparatedEntries) {
    TempDir dir;
    write_file(dir / "a.ini",
               "top=before any section\n"
               "[Other]\r\n"
               "x=1\r\n"
               "[ Overall Situation ]\r\n"
               "; a remark\r\n"
               "\r\n"
               "  feather set =  2  \r\n"
               "UV set=1\n"
               "a line without equals\r\n"
               "\t; indented remark\n"
               "empty=\r\n"
               "url=a=b\r\n"
               "[next]\r\n"
               "y=2");
    platform::ProfileSectionResult result;
    const std::string expected =
        "feather set=2\0UV set=1\0a line without equals\0empty=\0url=a=b\0\0"s;
    EXPECT_EQ(read_section(dir / "a.ini", "overall situation", 20000, &result), expected);
    EXPECT_TRUE(result.file_read);
    EXPECT_EQ(result.length, expected.size() - 1);
    EXPECT_EQ(read_section(dir / "a.ini", "NEXT"), "y=2\0\0"s);

    EXPECT_EQ(read_section(dir / "a.ini", "missing", 20000, &result), "\0\0"s);
    EXPECT_TRUE(result.file_read);
    EXPECT_EQ(result.length, 0u);
    EXPECT_EQ(read_section(dir / "none.ini", "overall situation", 20000, &result), "\0\0"s);
    EXPECT_FALSE(result.file_read);
    std::filesystem::create_directory(dir / "folder.ini");
    read_section(dir / "folder.ini", "overall situation", 20000, &result);
    EXPECT_FALSE(result.file_read);
    EXPECT_FALSE(platform::write_profile_string(dir / "folder.ini", "s", "k", "v"));
}

// Files saved by another editor: a byte-order mark in front, lines ended by CR alone, or both.
// Each reads as the plain file does, and a write keeps the mark and the key's place.
TEST(Profile, AByteOrderMarkAndEveryKindOfLineEndReadAlike) {
    TempDir dir;
    const auto file = dir / "a.ini";
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* name;
        std::string prefix;
        const char* end;
    };
    for (const Case& c : {Case{"CR LF", "", "\r\n"}, Case{"LF", "", "\n"}, Case{"CR", "", "\r"},
                          Case{"mark, CR LF", bom, "\r\n"}, Case{"mark, CR", bom, "\r"}}) {
        const std::string end = c.end;
        write_file(file, c.prefix + "[overall situation]" + end + "feather set=2" + end +
                             "Print_job_set=1" + end + end + "[next]" + end + "y=2");
        EXPECT_EQ(read_section(file, "overall situation"), "feather set=2\0Print_job_set=1\0\0"s)
            << c.name;
        EXPECT_EQ(read_section(file, "next"), "y=2\0\0"s) << c.name;
        ASSERT_TRUE(platform::write_profile_string(file, "overall situation", "Print_job_set", "0"))
            << c.name;
        EXPECT_EQ(read_file(file), c.prefix +
                                       "[overall situation]\r\nfeather set=2\r\n"
                                       "Print_job_set=0\r\n\r\n[next]\r\ny=2\r\n")
            << c.name;
    }
}

TEST(Profile, ASectionTooLargeIsCutAndStillEndsInTwoNuls) {
    TempDir dir;
    write_file(dir / "a.ini", "[s]\r\nab=1\r\ncd=2\r\n");  // "ab=1\0cd=2\0\0": 11 bytes
    struct Case {
        std::size_t size;
        std::string bytes;
        std::size_t length;
    };
    for (const Case& c : {Case{11, "ab=1\0cd=2\0\0"s, 10}, Case{10, "ab=1\0cd=\0\0"s, 8},
                          Case{6, "ab=1\0\0"s, 4}, Case{4, "ab\0\0"s, 2}, Case{2, "\0\0"s, 0}}) {
        std::vector<char> buffer(c.size, 'X');
        const auto result = platform::read_profile_section(dir / "a.ini", "s", buffer);
        EXPECT_EQ(result.length, c.length) << c.size;
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), c.bytes) << c.size;
    }
}

TEST(Profile, WriterKeepsPlacesAppendsAndCreates) {
    TempDir dir;
    const auto file = dir / "a.ini";
    write_file(file,
               "[overall situation]\n"
               "First=1\n"
               "; remark\n"
               "second = 2\n"
               "\n"
               "[other]\n"
               "z=9\n");
    ASSERT_TRUE(platform::write_profile_string(file, "Overall Situation", "SECOND", "20"));
    ASSERT_TRUE(platform::write_profile_string(file, "overall situation", "third", "3"));
    ASSERT_TRUE(platform::write_profile_string(file, "other", "z", ""));
    ASSERT_TRUE(platform::write_profile_string(file, "new", "k", "v"));
    EXPECT_EQ(read_file(file),
              "[overall situation]\r\n"
              "First=1\r\n"
              "; remark\r\n"
              "second=20\r\n"
              "third=3\r\n"
              "\r\n"
              "[other]\r\n"
              "z=\r\n"
              "\r\n"
              "[new]\r\n"
              "k=v\r\n");

    // A missing file is created holding only what was written, in write order.
    const auto fresh = dir / "fresh.ini";
    ASSERT_TRUE(platform::write_profile_string(fresh, "s", "b", "2"));
    ASSERT_TRUE(platform::write_profile_string(fresh, "s", "a", "1"));
    EXPECT_EQ(read_file(fresh), "[s]\r\nb=2\r\na=1\r\n");

    // Nothing but the settings file is left in the folder.
    const auto entries = platform::list_folder(dir.path());
    ASSERT_TRUE(entries.has_value());
    EXPECT_EQ(entries->size(), 2u);
}

// A section written whole: the new entries stand right after its header in their order, the
// first entry of each of their keys leaves its place, and every other line of the section
// stays as it stands (a line no key can name, "=5", included); a missing section or file is
// made.
TEST(Profile, SectionWriterPutsTheEntriesFirstAndKeepsEveryOtherLine) {
    TempDir dir;
    const auto file = dir / "a.ini";
    write_file(file,
               "\xEF\xBB\xBF[first]\n"
               "a=1\n"
               "[ Overall Situation ]\n"
               "old=1\n"
               "B = 9\n"
               "; remark\n"
               "=5\n"
               "no equals\n"
               "b=second\n"
               "\n"
               "[other]\n"
               "z=9\n");
    const std::vector<platform::ProfileEntry> entries = {{"b", "2"}, {" a ", "1"}, {"c", ""}};
    ASSERT_TRUE(platform::write_profile_section(file, "overall situation", entries));
    EXPECT_EQ(read_file(file),
              "\xEF\xBB\xBF[first]\r\n"
              "a=1\r\n"
              "[ Overall Situation ]\r\n"
              "b=2\r\n"
              "a=1\r\n"
              "c=\r\n"
              "old=1\r\n"
              "; remark\r\n"
              "=5\r\n"
              "no equals\r\n"
              "b=second\r\n"
              "\r\n"
              "[other]\r\n"
              "z=9\r\n");

    ASSERT_TRUE(platform::write_profile_section(file, "new", entries));
    EXPECT_TRUE(read_file(file).ends_with("z=9\r\n\r\n[new]\r\nb=2\r\na=1\r\nc=\r\n"));
    const auto fresh = dir / "fresh.ini";
    ASSERT_TRUE(platform::write_profile_section(fresh, "s", entries));
    EXPECT_EQ(read_file(fresh), "[s]\r\nb=2\r\na=1\r\nc=\r\n");

    // One entry that cannot stand in a file refuses the whole write.
    const std::string before = read_file(fresh);
    const std::vector<platform::ProfileEntry> bad = {{"b", "2"}, {"k=", "1"}};
    EXPECT_FALSE(platform::write_profile_section(fresh, "s", bad));
    EXPECT_FALSE(platform::write_profile_section(fresh, "s]", entries));
    EXPECT_EQ(read_file(fresh), before);
}

// Several keys in one write leave what one write after the other leaves: places kept, new keys
// appended in order, a key named twice with its last value at its first place.
TEST(Profile, SeveralKeysInOneWriteLeaveWhatSuccessiveWritesLeave) {
    TempDir dir;
    const std::string before = "[s]\r\nk1=1\r\n; remark\r\nK2=2\r\n\r\n[t]\r\nk1=x\r\n";
    const std::vector<platform::ProfileEntry> entries = {
        {"k2", "20"}, {"new", "a"}, {"k1", "10"}, {"NEW", "b"}};
    write_file(dir / "one.ini", before);
    write_file(dir / "each.ini", before);
    ASSERT_TRUE(platform::write_profile_strings(dir / "one.ini", "s", entries));
    for (const auto& entry : entries) {
        ASSERT_TRUE(platform::write_profile_string(dir / "each.ini", "s", entry.key, entry.value));
    }
    EXPECT_EQ(read_file(dir / "one.ini"), read_file(dir / "each.ini"));
    EXPECT_EQ(read_file(dir / "one.ini"),
              "[s]\r\nk1=10\r\n; remark\r\nK2=20\r\nnew=b\r\n\r\n[t]\r\nk1=x\r\n");
    const std::vector<platform::ProfileEntry> bad = {{"k1", "1"}, {"", "1"}};
    EXPECT_FALSE(platform::write_profile_strings(dir / "one.ini", "s", bad));
}

// The lines read a piece at a time are the lines of the whole text, whatever the size of each
// read: a line end or a byte-order mark split between two reads included.
TEST(Profile, LinesReadInPiecesAreTheLinesOfTheWholeText) {
    TempDir dir;
    const std::string texts[] = {"",
                                 "\r\n",
                                 "a",
                                 "a\r\nb\rc\n\nd",
                                 "\xEF\xBB\xBF",
                                 "\xEF\xBB\xBF\r\r\n\n[s]\r\nk=v\r\n",
                                 "\xEF\xBBx\n",
                                 "long line without end \0 and a NUL"s};
    for (const std::string& text : texts) {
        write_file(dir / "t.txt", text);
        const platform::FileHandle fd = platform::open_regular_file(dir / "t.txt");
        ASSERT_TRUE(fd.is_open());
        std::vector<std::string> expected;
        for (const std::string_view line : platform::text_lines(text)) {
            expected.emplace_back(line);
        }
        for (std::size_t read_bytes = 1; read_bytes <= 6; ++read_bytes) {
            platform::TextLineReader reader(fd.get(), read_bytes);
            std::vector<std::string> lines;
            std::string line;
            std::string_view piece;
            bool ends_line = false;
            while (reader.next(piece, ends_line)) {
                line += piece;
                if (ends_line) {
                    lines.push_back(std::exchange(line, {}));
                }
            }
            EXPECT_FALSE(reader.failed());
            EXPECT_EQ(lines, expected) << text << " in reads of " << read_bytes;
        }
    }
}

// A settings file padded far past its section costs what a small one costs: the reader reads
// no further than the section, or than its buffer takes of it, and whatever it must read
// through (megabytes of remarks before the section) never gathers in memory. So does a write.
// Measured as the bytes the reading thread reads and the peak memory of a child doing the work.
TEST(Profile, AFilePaddedFarPastItsSectionIsReadAndWrittenWithinBounds) {
    TempDir dir;
    constexpr std::size_t kPadding = 8u << 20;
    std::string remarks;
    while (remarks.size() < kPadding) {
        remarks += ";pad\r\n";
    }
    const std::string section = "[overall situation]\r\nfeather set=2\r\nUV set=1\r\n";
    const std::string after = section + "[padding]\r\n" + remarks;
    const std::string long_value =
        "[overall situation]\r\nk=" + std::string(kPadding, 'x') + "\r\nnext=1\r\n";
    write_file(dir / "after.ini", after);
    write_file(dir / "before.ini", remarks + section);
    write_file(dir / "long.ini", long_value);
    constexpr std::uint64_t kMemoryBound = 4u << 20;

    std::string read;
    const std::uint64_t after_bytes = test_support::bytes_read_by(
        [&] { read = read_section(dir / "after.ini", "overall situation"); });
    EXPECT_EQ(read, "feather set=2\0UV set=1\0\0"s);
    EXPECT_LT(after_bytes, 1u << 20);

    platform::ProfileSectionResult result;
    const std::uint64_t long_bytes = test_support::bytes_read_by(
        [&] { read = read_section(dir / "long.ini", "overall situation", 20000, &result); });
    EXPECT_TRUE(result.cut);
    EXPECT_TRUE(read == "k=" + std::string(19996, 'x') + "\0"s) << read.size();
    EXPECT_LT(long_bytes, 1u << 20);

    for (const char* name : {"before.ini", "after.ini"}) {
        SCOPED_TRACE(name);
        const auto read_growth = test_support::peak_memory_growth_of([&] {
            if (read_section(dir / name, "overall situation") != "feather set=2\0UV set=1\0\0"s) {
                ::_exit(3);
            }
        });
        ASSERT_TRUE(read_growth.has_value());
        EXPECT_LT(*read_growth, kMemoryBound);
        const auto write_growth = test_support::peak_memory_growth_of([&] {
            if (!platform::write_profile_string(dir / name, "overall situation", "UV set", "0")) {
                ::_exit(3);
            }
        });
        ASSERT_TRUE(write_growth.has_value());
        EXPECT_LT(*write_growth, kMemoryBound);
        EXPECT_EQ(read_section(dir / name, "overall situation"), "feather set=2\0UV set=0\0\0"s);
    }
    EXPECT_EQ(read_file(dir / "after.ini").size(), after.size());
}

TEST(Profile, WriterRefusesWhatCannotStandInAFile) {
    TempDir dir;
    const auto file = dir / "a.ini";
    write_file(file, "[s]\r\nk=1\r\n");
    for (const auto& [section, key, value] :
         std::vector<std::array<std::string, 3>>{{"s", "", "1"},
                                                 {"", "k", "1"},
                                                 {"s", "a=b", "1"},
                                                 {"s", ";k", "1"},
                                                 {"s", "[k", "1"},
                                                 {"s]", "k", "1"},
                                                 {"s", "k\n", "1"},
                                                 {"s", "k", "1\r\nx=2"},
                                                 {"s", "k", "1\0"s}}) {
        EXPECT_FALSE(platform::write_profile_string(file, section, key, value)) << key << value;
    }
    EXPECT_EQ(read_file(file), "[s]\r\nk=1\r\n");
    EXPECT_FALSE(platform::write_profile_string(dir / "no" / "a.ini", "s", "k", "1"));
}

TEST(Profile, EveryReadSeesTheFileAsItIsNow) {
    TempDir dir;
    const auto file = dir / "a.ini";
    write_file(file, "[s]\r\nk=1\r\n");
    EXPECT_EQ(read_section(file, "s"), "k=1\0\0"s);
    write_file(file, "[s]\r\nk=2\r\n");
    EXPECT_EQ(read_section(file, "s"), "k=2\0\0"s);
}

TEST(Profile, WritesFromManyThreadsAreAllKept) {
    TempDir dir;
    const auto file = dir / "a.ini";
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_TRUE(platform::write_profile_string(file, "s", key, "1"));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    std::vector<char> buffer(20000, '\0');
    platform::read_profile_section(file, "s", buffer);
    const std::string text(buffer.begin(), buffer.end());
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            EXPECT_NE(text.find("k" + std::to_string(t) + "_" + std::to_string(i) + "=1"s),
                      std::string::npos);
        }
    }
}

TEST(Profile, PositionalWalk) {
    using Rule = platform::EntryWithoutEquals;
    struct Case {
        std::string buffer;
        Rule rule;
        std::vector<std::string> values;
    };
    const std::vector<Case> cases = {
        {"a=1\0b=2\0\0"s, Rule::TakesNextString, {"1", "2", "", ""}},
        // An entry without '=' takes the following string as its value.
        {"a=1\0note\0b=2\0c=3\0\0"s, Rule::TakesNextString, {"1", "b=2", "3", ""}},
        {"a=1\0note\0b=2\0c=3\0\0"s, Rule::HasEmptyValue, {"1", "", "2", "3"}},
        // Only the first '=' splits.
        {"a==1\0\0"s, Rule::TakesNextString, {"=1", ""}},
        // An empty section: every position is empty, however far the walk goes.
        {"\0\0"s, Rule::TakesNextString, {"", "", "", "", ""}},
        // A buffer that ends without NUL ends the last string there.
        {"a=1\0b=22"s, Rule::TakesNextString, {"1", "22", ""}},
    };
    for (const Case& c : cases) {
        const auto values = platform::section_values_by_position(
            c.buffer, static_cast<int>(c.values.size()), c.rule);
        ASSERT_EQ(values.size(), c.values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(values[i], c.values[i]) << "entry " << i + 1 << " of case " << &c - &cases[0];
        }
    }
}

TEST(Profile, LeadingInteger) {
    const std::vector<std::pair<std::string, int>> cases = {{"42", 42},
                                                            {"  7 remark", 7},
                                                            {"-3", -3},
                                                            {"+5", 5},
                                                            {"abc", 0},
                                                            {"", 0},
                                                            {"- 3", 0},
                                                            {"12abc", 12},
                                                            {"99999999999", INT_MAX},
                                                            {"-99999999999", INT_MIN}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(platform::leading_integer(text), value) << text;
    }
}

TEST(Profile, LeadingDecimal) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"80.5", 80.5}, {" 130.01mm", 130.01},
        {"-2.5", -2.5}, {"+7", 7},
        {"12.", 12},    {".5", 0.5},
        {".", 0},       {"1e5", 1},
        {"abc", 0},     {"", 0},
        {"1.2.3", 1.2}, {"- 3", 0},
        {"inf", 0},     {"0x1p3", 0}};
    for (const auto& [text, value] : cases) {
        EXPECT_DOUBLE_EQ(platform::leading_decimal(text), value) << text;
    }
}

}  // namespace
