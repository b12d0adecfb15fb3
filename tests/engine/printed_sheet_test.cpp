#include "printed_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/channel_arrangement.h"
#include "engine/pass_masks.h"
#include "engine/stepping.h"
#include "print_job_fixture.h"
#include "usb/driver/sim/recorder.h"

namespace {

using test_support::PrintJobTest;

struct Group {
    const char* name;
    std::uint8_t ink_mode;
    std::map<int, PrnPlane> planes;  // nozzle plane -> the input plane it prints
};

const Group kColour = {
    "Color-KCMY",
    INK_MODE_COLOR_KCMY,
    {{0, PRN_PLANE_BLACK}, {1, PRN_PLANE_CYAN}, {2, PRN_PLANE_MAGENTA}, {3, PRN_PLANE_YELLOW}}};
const Group k4White = {
    "4White",
    INK_MODE_4WHITE,
    {{4, PRN_PLANE_WHITE}, {5, PRN_PLANE_WHITE}, {6, PRN_PLANE_WHITE}, {7, PRN_PLANE_WHITE}}};
const Group k2White = {"2White", INK_MODE_2WHITE, {{4, PRN_PLANE_WHITE}, {5, PRN_PLANE_WHITE}}};
const Group k2Vanish = {
    "2Vanish", INK_MODE_2VANISH, {{6, PRN_PLANE_VARNISH}, {7, PRN_PLANE_VARNISH}}};

struct SheetCase {
    const Group* group;
    std::uint32_t passes;
    std::uint8_t edge;
    bool rotary = false;
    bool uni = false;
};

std::string name_of(const SheetCase& c) {
    return std::string(c.group->name) + " " + std::to_string(c.passes) + " passes edge " +
           std::to_string(c.edge) + (c.rotary ? " rotary" : " flatbed") + (c.uni ? " uni" : " bi");
}

std::uint32_t y_dpi_for(std::uint32_t passes) {
    return passes == 4 ? 720 : passes == 8 ? 1440 : passes == 10 ? 1800 : 2880;
}

// Prints one small random job through the job printer and rebuilds its sheet.
class PrintedSheetTest : public PrintJobTest {
  protected:
    static constexpr std::uint32_t kLines = 400;
    static constexpr std::uint32_t kPixels = 40;

    std::shared_ptr<test_support::SheetFirmware> print(const SheetCase& c,
                                                       test_support::PrnBuilder& prn,
                                                       test_support::SheetGeometry& geometry) {
        write_settings({{3, std::to_string(c.edge)}, {15, c.rotary ? "1" : "0"}});
        geometry =
            test_support::sheet_geometry(c.passes, c.group->ink_mode, c.edge, c.rotary, kPixels);
        auto sheet = std::make_shared<test_support::SheetFirmware>(geometry, kLines);
        printer_->set_model(sheet);
        sheet->attach(printer_.get());
        firmware_ = sheet;
        prn = test_support::PrnBuilder(kPixels / 4, kLines);
        prn.resolution(720, y_dpi_for(c.passes)).ink_mode(c.group->ink_mode);
        prn.random_dots(c.passes * 10 + c.edge, 0.5);
        queue_job(prn, "sheet.prn", "1", "N/A", c.uni ? "UniDirection" : "BiDirection");
        first_counter_ = g_pass_counter;
        print_first_row();
        EXPECT_EQ(window_.printing().item_count(), 0);
        return sheet;
    }

    std::uint32_t first_counter_ = 0;  // the pass counter as the job started
};

// Nozzle row 0 of the half-pitch planes ("Black", "Magenta", "White 1", "Varnish 1") reads half
// a pitch above the input window, so it prints blank, one line a pass; on a feathered line the
// dots its top mask keeps are printed by neither pass (top_row_zero_keeps). Every other source
// dot of a masked plane lands once, whatever mask phase the job starts at.
struct Check {
    std::uint64_t dots = 0;
    std::uint64_t wrong = 0;       // landings other than the geometry and the masks allow
    std::uint64_t short_dots = 0;  // dots that the blank row 0 took, as it must
    std::uint64_t stray = 0;       // dots where the source has none, or another size
    std::uint64_t unreached = 0;   // source dots on lines no pass reaches
};

Check check(const test_support::SheetFirmware& sheet, const test_support::PrnBuilder& prn,
            const test_support::SheetGeometry& g, const Group& group, bool varnish_masked,
            std::uint32_t first_counter) {
    Check r;
    for (const auto& [plane, input] : group.planes) {
        const bool masked = plane < 6 || varnish_masked;
        for (std::uint32_t l = 0; l < 400; ++l) {
            const test_support::LineReach reach =
                test_support::line_reach(g, plane, l, sheet.full_passes());
            for (std::uint32_t x = 0; x < g.line_pixels; ++x) {
                const std::uint8_t src = prn.pixel(l, input, x);
                const int n = sheet.count(plane, l, x);
                if (src == 0 || (n > 0 && sheet.dot(plane, l, x) != src)) {
                    r.stray += n > 0 ? 1 : 0;
                    continue;
                }
                ++r.dots;
                const int printing_rows = reach.rows - reach.blank_rows;
                if (reach.rows == 0) {
                    ++r.unreached;
                } else if (!masked) {
                    r.wrong += n != printing_rows ? 1 : 0;  // unmasked: every row prints it
                } else if (reach.blank_rows > 0 && test_support::top_row_zero_keeps(
                                                       g, first_counter, reach.blank_pass, x)) {
                    ++r.short_dots;
                    r.wrong += n != 0 ? 1 : 0;
                } else {
                    r.wrong += n != 1 ? 1 : 0;  // masked: the overlap rows split it
                }
            }
        }
    }
    return r;
}

// Single-layer groups at 4, 8 and 16 passes, edge kinds 0-2: every source dot of every nozzle
// plane lands exactly once, from the first line to the last (the first lines of a job enter
// under the head's lowest rows, and the tail bands carry the last ones under every row), except
// the dots that the blank nozzle row 0 of the half-pitch planes takes (see Check); the claim
// holds for whatever mask phase the jobs before left.
// 2Vanish leaves its varnish planes unmasked except at 8 passes Gaussian: there each overlap
// line is printed by both passes (twice), as the masks of the varnish planes prescribe.
TEST_F(PrintedSheetTest, SingleLayerGroupsPutEverySourceDotInItsPlace) {
    std::vector<SheetCase> cases;
    for (const Group* group : {&kColour, &k4White, &k2White, &k2Vanish}) {
        for (const std::uint32_t passes : {4u, 8u, 16u}) {
            for (const std::uint8_t edge : {EDGE_SHARP, EDGE_SMOOTH, EDGE_GAUSSIAN}) {
                cases.push_back({group, passes, edge});
            }
        }
    }
    for (const std::uint32_t passes : {4u, 8u, 16u}) {
        cases.push_back({&kColour, passes, EDGE_GAUSSIAN, true, true});
        cases.push_back({&kColour, passes, EDGE_SHARP, false, true});
    }
    for (const SheetCase& c : cases) {
        SCOPED_TRACE(name_of(c));
        test_support::PrnBuilder prn(1, 1);
        test_support::SheetGeometry g;
        const auto sheet = print(c, prn, g);
        const bool varnish_masked =
            c.group->ink_mode != INK_MODE_2VANISH || (c.passes == 8 && c.edge == EDGE_GAUSSIAN);
        const Check r = check(*sheet, prn, g, *c.group, varnish_masked, first_counter_);
        EXPECT_GT(r.dots, 10000u);
        EXPECT_EQ(r.wrong, 0u);
        EXPECT_EQ(r.stray, 0u);
        EXPECT_EQ(r.unreached, 0u);
        EXPECT_EQ(sheet->outside(), 0u);
    }
}

// Lines of plane "Cyan" by how many full-pass nozzle rows reach them (masks aside).
std::map<int, int> lines_by_reach(const test_support::SheetGeometry& g, int passes) {
    std::map<int, int> lines;
    for (std::uint32_t l = 0; l < 400; ++l) {
        ++lines[test_support::line_reach(g, 1, l, passes).rows];
    }
    return lines;
}

// Dots of the job's planes by (rows that reach the line, times the dot landed).
std::map<std::pair<int, int>, int> landings(const test_support::SheetFirmware& sheet,
                                            const test_support::PrnBuilder& prn,
                                            const test_support::SheetGeometry& g,
                                            const Group& group) {
    std::map<std::pair<int, int>, int> h;
    for (const auto& [plane, input] : group.planes) {
        for (std::uint32_t l = 0; l < 400; ++l) {
            const test_support::LineReach reach =
                test_support::line_reach(g, plane, l, sheet.full_passes());
            for (std::uint32_t x = 0; x < g.line_pixels; ++x) {
                if (prn.pixel(l, input, x) != 0) {
                    ++h[{reach.rows - reach.blank_rows, sheet.count(plane, l, x)}];
                }
            }
        }
    }
    return h;
}

const Group k8White = {"8White",
                       INK_MODE_8WHITE,
                       {{0, PRN_PLANE_WHITE},
                        {1, PRN_PLANE_WHITE},
                        {2, PRN_PLANE_WHITE},
                        {3, PRN_PLANE_WHITE},
                        {4, PRN_PLANE_WHITE},
                        {5, PRN_PLANE_WHITE},
                        {6, PRN_PLANE_WHITE},
                        {7, PRN_PLANE_WHITE}}};

// The calibrated steppings that print some lines more than once or not at all, kept as they
// are. 10 passes are never masked, so every dot lands once per nozzle row that reaches its
// line. At S 149 (Sharp, coprime to 10) the passes whose rows meet a line come every 10
// passes, 1490 lines apart, and the 179 rows span 1790 lines: each line is reached once or
// twice (twice for 300 in 1490, 82 of 400 lines). At S 105 (Gaussian), which shares the factor
// 5 with P 10, only 2 residues of 10 are ever under a nozzle: 320 of 400 lines stay blank, the
// others are reached every 2 passes (210 lines apart), 8 or 9 times.
TEST_F(PrintedSheetTest, TenPassesPrintEachDotOncePerRowThatReachesIt) {
    struct Pinned {
        std::uint8_t edge;
        std::map<int, int> lines;  // rows reaching a line -> lines of 0..399
    };
    const Pinned pinned[] = {
        {EDGE_SHARP, {{1, 318}, {2, 82}}},
        {EDGE_GAUSSIAN, {{0, 320}, {8, 38}, {9, 42}}},
    };
    for (const Pinned& p : pinned) {
        const SheetCase c{&kColour, 10, p.edge};
        SCOPED_TRACE(name_of(c));
        test_support::PrnBuilder prn(1, 1);
        test_support::SheetGeometry g;
        const auto sheet = print(c, prn, g);
        EXPECT_EQ(lines_by_reach(g, sheet->full_passes()), p.lines);
        for (const auto& [key, dots] : landings(*sheet, prn, g, *c.group)) {
            EXPECT_EQ(key.second, key.first) << dots << " dots";
        }
    }
}

// 8White runs on the two-layer stepping (S 71, H 178 at 4 passes) with all eight planes white
// and the single-layer masks: a line's passes come every 4 passes (284 lines) and the rows span
// 712 lines, so each line is reached by 2 or 3 rows (3 for 144 in 284: 203 of 400 lines); each
// white dot lands 2 or 3 times, never more often than rows reach it.
TEST_F(PrintedSheetTest, EightWhitePrintsEachDotTwiceOrThreeTimes) {
    const SheetCase c{&k8White, 4, EDGE_SHARP};
    test_support::PrnBuilder prn(1, 1);
    test_support::SheetGeometry g;
    const auto sheet = print(c, prn, g);
    EXPECT_EQ(g.step_rows, 71u);
    EXPECT_EQ(lines_by_reach(g, sheet->full_passes()), (std::map<int, int>{{2, 197}, {3, 203}}));
    for (const auto& [key, dots] : landings(*sheet, prn, g, k8White)) {
        EXPECT_GE(key.second, 2) << dots << " dots";
        EXPECT_LE(key.second, key.first) << dots << " dots";
    }
}

// The simulated printer's own sheet of a job, from its capture: every source dot of the
// colour planes once, in the head slots of the installed channel order, less the dots that the
// blank nozzle row 0 of the half-pitch slots takes (see Check).
TEST_F(PrintedSheetTest, TheSimulatedPrinterWritesTheSheetOfEachJob) {
    const test_support::SheetGeometry g =
        test_support::sheet_geometry(4, INK_MODE_COLOR_KCMY, EDGE_GAUSSIAN, false, kPixels);
    test_support::PrnBuilder prn(kPixels / 4, kLines);
    prn.random_dots(7, 0.5, 0x0F);
    queue_job(prn);
    first_counter_ = g_pass_counter;
    print_first_row();
    const int passes =
        static_cast<int>(frames(0x02).size() + frames(0x03).size() + frames(0x38).size());
    const std::string json = test_support::read_file(dir_ / "capture" / "sheet-000.json");
    EXPECT_TRUE(std::filesystem::file_size(dir_ / "capture" / "sheet-000.png") > 0);
    for (int plane = 0; plane < 8; ++plane) {
        std::uint64_t source = 0, lost = 0;
        for (std::uint32_t l = 0; l < kLines; ++l) {
            const test_support::LineReach reach = test_support::line_reach(g, plane, l, passes);
            for (std::uint32_t x = 0; x < kPixels; ++x) {
                if (prn.pixel(l, static_cast<PrnPlane>(plane < 4 ? plane : 4), x) == 0) {
                    continue;
                }
                ++source;
                lost += reach.blank_rows > 0 &&
                        test_support::top_row_zero_keeps(g, first_counter_, reach.blank_pass, x);
            }
        }
        const std::string tag = "{\"slot\":" + std::to_string(plane + 1) + ",\"dots\":";
        const std::size_t at = json.find(tag);
        ASSERT_NE(at, std::string::npos) << json;
        const std::uint64_t dots = std::stoull(json.substr(at + tag.size()));
        EXPECT_EQ(dots, plane < 4 ? source - lost : 0u) << plane;
    }
    EXPECT_NE(json.find("\"cut_off\":false"), std::string::npos);
}

// Which dots a sheet lacks. A solid 40 x 20 mm black job (1136 pixels by 567 lines, 644,112
// dots), 4 passes Gaussian as installed (S 101, W 606, H 177, O 76), as the first job after
// start: nozzle row 0 of "Black" reads window row -2, above the window, so it prints blank; in
// full pass b it lies over line 101 b - 608, inside the job for passes 7 to 11 (lines 99, 200,
// 301, 402, 503). Each of these lines also lies under bottom row 101 of pass b - 4, whose mask
// is the complement of row 0's top mask, so the 2 columns in 200 that the top mask keeps for
// row 0 print in neither pass. The phases of passes 7 to 11 are 3, 0, 1, 2, 3, and row 0 of the
// table's blocks keeps columns 40, 137 (block 0); 0, 75 (1); 16, 120 (2); 5, 105 (3). Over 1136
// columns, five whole periods and columns 0-135, the lines lose 12, 11, 12, 12, 12: 59 dots, and
// every other dot lands once. (The demo's 100 x 60 mm blocks job loses 50 black and 56 magenta
// dots the same way; "Cyan" and "Yellow" have no blank row.)
TEST_F(PrintedSheetTest, ASolidBlackJobLacksOnlyTheDotsOfTheBlankHalfPitchRow) {
    constexpr std::uint32_t kWidth = 1136, kLength = 567;
    const std::map<std::uint32_t, std::vector<std::uint32_t>> kept_by_line = {
        {99, {5, 105}}, {200, {40, 137}}, {301, {0, 75}}, {402, {16, 120}}, {503, {5, 105}}};
    const std::vector<std::vector<std::uint32_t>> kept_by_block = {
        {40, 137}, {0, 75}, {16, 120}, {5, 105}};
    const FeatherMaskTable* table = feather_mask_table(true, 4, EDGE_GAUSSIAN);
    ASSERT_NE(table, nullptr);
    for (std::uint32_t block = 0; block < 4; ++block) {
        std::vector<std::uint32_t> kept;
        for (std::uint32_t x = 0; x < kFeatherMaskRowPixels; ++x) {
            if ((table->rows[block * table->rows_per_block][x / 4] >> (6 - 2 * (x % 4)) & 3) != 0) {
                kept.push_back(x);
            }
        }
        EXPECT_EQ(kept, kept_by_block[block]) << "block " << block;
    }

    write_settings({{3, "2"}});
    const test_support::SheetGeometry g =
        test_support::sheet_geometry(4, INK_MODE_COLOR_KCMY, EDGE_GAUSSIAN, false, kWidth);
    auto sheet = std::make_shared<test_support::SheetFirmware>(
        g, kLength, std::make_unique<usb::sim::Recorder>(dir_ / "capture", false));
    printer_->set_model(sheet);
    sheet->attach(printer_.get());
    firmware_ = sheet;
    test_support::PrnBuilder prn(kWidth / 4, kLength);
    prn.solid(PRN_PLANE_BLACK, 0, kLength, 0, kWidth);
    queue_job(prn);
    g_pass_counter = 0;
    print_first_row();

    std::map<std::uint32_t, std::vector<std::uint32_t>> missing;  // line -> columns mod 200
    std::uint64_t landed = 0, missing_dots = 0;
    for (std::uint32_t l = 0; l < kLength; ++l) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            const int n = sheet->count(0, l, x);
            landed += n;
            if (n == 0) {
                ++missing_dots;
                auto& columns = missing[l];
                if (std::find(columns.begin(), columns.end(), x % 200) == columns.end()) {
                    columns.push_back(x % 200);
                }
            }
            EXPECT_LE(n, 1) << "line " << l << " x " << x;
        }
    }
    for (auto& [line, columns] : missing) {
        std::sort(columns.begin(), columns.end());
    }
    EXPECT_EQ(missing, kept_by_line);
    EXPECT_EQ(missing_dots, 59u);
    EXPECT_EQ(landed, 644'112u - 59u);
    const std::string json = test_support::read_file(dir_ / "capture" / "sheet-000.json");
    EXPECT_NE(json.find("{\"slot\":1,\"dots\":644053,\"twice\":0}"), std::string::npos) << json;
}

// A connection lost in the middle of a band: the band is sent again whole and the sheet is
// still right.
TEST_F(PrintedSheetTest, ABandResentAfterALostConnectionLeavesTheSheetRight) {
    const SheetCase c{&kColour, 4, EDGE_GAUSSIAN};
    write_settings({{3, "2"}});
    test_support::SheetGeometry g =
        test_support::sheet_geometry(c.passes, c.group->ink_mode, c.edge, false, kPixels);
    auto sheet = std::make_shared<test_support::SheetFirmware>(g, kLines);
    printer_->set_model(sheet);
    sheet->attach(printer_.get());
    firmware_ = sheet;
    sheet->lose_connection_at_piece(3, 300);
    for (int i = 0; i < 20; ++i) {
        boxes_.queue_answer(platform::ui::Answer::Retry);
    }
    test_support::PrnBuilder prn(kPixels / 4, kLines);
    prn.random_dots(11, 0.5);
    queue_job(prn);
    first_counter_ = g_pass_counter;
    print_first_row();
    EXPECT_EQ(window_.printing().item_count(), 0);
    const Check r = check(*sheet, prn, g, kColour, true, first_counter_);
    EXPECT_GT(r.dots, 10000u);
    EXPECT_EQ(r.wrong, 0u);
    EXPECT_EQ(r.stray, 0u);
    EXPECT_EQ(r.unreached, 0u);
}

// Two-layer groups split the head: Color+4White prints white with rows 0..L and colour with
// rows L+1..H-1, 89 rows each at 4 passes (90 Gaussian), so with S 71, 59, 45 the passes of one
// layer that meet a line come P passes apart and share O+1 rows (18, 30, 45: the rows of the
// two-layer tables) against the O rows that the masks feather at each edge of a layer. The
// white layer's top row q and bottom row L-O+q meet the same line with mask row q and split it;
// only its last shared line, under row O unmasked and row L (which takes the colour layer's
// top mask row 0), lands about 5% twice. The colour layer's masked top rows start at row L,
// not at its first row L+1, so top row L+q meets bottom row L+q+S = H-O-2+q, masked with table
// row q-2: the kept sets differ (two density steps apart, independently scattered) and the
// feathered colour lines land twice or not at all, about 9%, 17% and 34% of the colour dots for
// Sharp, Smooth and Gaussian. That is what the calibrated stepping and the two-layer masks
// make, so the counts of this small job are pinned as they are (apart from that, the only
// missing dots are those of row 0 of the half-pitch planes, as in the single-layer groups).
// The phase starts as for the first job after start; the counts depend on it.
TEST_F(PrintedSheetTest, TwoLayerColourAndWhiteLandAsTheTwoLayerMasksSplitThem) {
    const Group kC4W = {"Color+4White",
                        INK_MODE_COLOR_4WHITE,
                        {{0, PRN_PLANE_BLACK},
                         {1, PRN_PLANE_CYAN},
                         {2, PRN_PLANE_MAGENTA},
                         {3, PRN_PLANE_YELLOW},
                         {4, PRN_PLANE_WHITE},
                         {5, PRN_PLANE_WHITE},
                         {6, PRN_PLANE_WHITE},
                         {7, PRN_PLANE_WHITE}}};
    struct Pinned {
        std::uint8_t edge;
        std::map<int, std::uint64_t> white;   // times landed -> source dots of planes 5-8
        std::map<int, std::uint64_t> colour;  // the same for planes 1-4
    };
    const Pinned pinned[] = {
        {EDGE_SHARP, {{0, 12}, {1, 31732}, {2, 24}}, {{0, 1081}, {1, 28743}, {2, 1964}}},
        {EDGE_SMOOTH, {{0, 10}, {1, 32046}, {2, 12}}, {{0, 2317}, {1, 26488}, {2, 3340}}},
        {EDGE_GAUSSIAN, {{0, 12}, {1, 31790}, {2, 22}}, {{0, 4787}, {1, 21248}, {2, 6125}}},
    };
    for (const Pinned& p : pinned) {
        const SheetCase c{&kC4W, 4, p.edge};
        SCOPED_TRACE(name_of(c));
        g_pass_counter = 0;
        test_support::PrnBuilder prn(1, 1);
        test_support::SheetGeometry g;
        const auto sheet = print(c, prn, g);
        std::map<int, std::uint64_t> white, colour;
        std::uint64_t stray = 0;
        for (const auto& [plane, input] : kC4W.planes) {
            for (std::uint32_t l = 0; l < kLines; ++l) {
                for (std::uint32_t x = 0; x < kPixels; ++x) {
                    const int n = sheet->count(plane, l, x);
                    if (prn.pixel(l, input, x) == 0 ||
                        (n > 0 && sheet->dot(plane, l, x) != prn.pixel(l, input, x))) {
                        stray += n > 0 ? 1 : 0;
                    } else {
                        ++(plane < 4 ? colour : white)[n];
                    }
                }
            }
        }
        EXPECT_EQ(stray, 0u);
        EXPECT_EQ(sheet->outside(), 0u);
        EXPECT_EQ(white, p.white);
        EXPECT_EQ(colour, p.colour);
    }
}

}  // namespace
