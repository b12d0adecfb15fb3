#include "prn_pattern.h"

#include <gtest/gtest.h>

#include <sstream>

#include "prn_builder.h"

namespace {

using test_support::PrnBuilder;

TEST(PrnBuilder, PutsHeaderFieldsAtTheirOffsetsLittleEndian) {
    PrnBuilder b(1000, 300);
    b.resolution(720, 1440).bits_per_pixel(2).direction(1).ink_mode(9).width_dots(0x01020304);
    const std::string bytes = b.bytes();
    ASSERT_EQ(bytes.size(), 120u + 6u * 1000u * 300u);
    auto u8 = [&](std::size_t o) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[o]));
    };
    EXPECT_EQ(u8(16), 0x04u);
    EXPECT_EQ(u8(19), 0x01u);
    EXPECT_EQ(u8(20) | u8(21) << 8, 300u);
    EXPECT_EQ(u8(24), 2u);
    EXPECT_EQ(u8(36) | u8(37) << 8, 1440u);
    EXPECT_EQ(u8(48) | u8(49) << 8, 1000u);
    EXPECT_EQ(u8(52), 1u);
    EXPECT_EQ(u8(60), 9u);
    const PrnHeader h = parse_prn_header(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    EXPECT_EQ(h.x_dpi, 720u);
    EXPECT_EQ(h.row_bytes, 1000u);
}

TEST(PrnBuilder, PlacesPixelsFirstInTopBitsAndPlanesInFileOrder) {
    PrnBuilder b(4, 3);
    b.solid(PRN_PLANE_MAGENTA, 1, 1, 1, 1, DOT_MIDDLE).solid(PRN_PLANE_VARNISH, 2, 1, 0, 16);
    const std::string bytes = b.bytes();
    // Line 1, plane 2, byte 0: pixel 1 (bits 5-4) is 2.
    EXPECT_EQ(static_cast<unsigned char>(bytes[120 + 6 * 4 * 1 + 2 * 4]), 0x20);
    // Line 2, plane 5: every byte large dots.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(bytes[120 + 6 * 4 * 2 + 5 * 4 + i]), 0xFF);
    }
    EXPECT_EQ(b.pixel(1, PRN_PLANE_MAGENTA, 1), DOT_MIDDLE);
    EXPECT_EQ(b.pixel(1, PRN_PLANE_MAGENTA, 0), DOT_NONE);
}

TEST(PrnPattern, OneBitPixelsUseOneBitEach) {
    std::uint8_t row[2] = {};
    prn_gen::put_pixel(row, 0, 1, 1);
    prn_gen::put_pixel(row, 9, 1, 1);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0x40);
    EXPECT_EQ(prn_gen::get_pixel(row, 9, 1), 1);
    EXPECT_EQ(prn_gen::row_bytes_for(14220, 2), 3555u);
    EXPECT_EQ(prn_gen::row_bytes_for(9, 1), 2u);
    EXPECT_EQ(prn_gen::dots_for_mm(501, 720), 14202u);
}

TEST(PrnPattern, GapsLeaveStartMiddleAndEndBlankAndRandomIsSeeded) {
    prn_gen::PatternSpec gaps;
    gaps.pattern = prn_gen::Pattern::Gaps;
    gaps.density = 0.5;
    PrnBuilder b(50, 100);
    b.pattern(gaps);
    auto line_has_ink = [&](std::uint32_t l) {
        for (int p = 0; p < 6; ++p) {
            const std::uint8_t* r = b.row(l, static_cast<PrnPlane>(p));
            for (int i = 0; i < 50; ++i) {
                if (r[i])
                    return true;
            }
        }
        return false;
    };
    for (std::uint32_t l : {0u, 19u, 40u, 59u, 80u, 99u}) {
        EXPECT_FALSE(line_has_ink(l)) << l;
    }
    for (std::uint32_t l : {20u, 39u, 60u, 79u}) {
        EXPECT_TRUE(line_has_ink(l)) << l;
    }
    PrnBuilder same(50, 100), other(50, 100);
    same.random_dots(7);
    other.random_dots(8);
    EXPECT_EQ(PrnBuilder(50, 100).random_dots(7).bytes(), same.bytes());
    EXPECT_NE(other.bytes(), same.bytes());
}

TEST(PrnPattern, WriterMatchesBuilderAndTruncates) {
    prn_gen::PatternSpec blocks;
    blocks.pattern = prn_gen::Pattern::Blocks;
    PrnBuilder b(30, 60);
    b.ink_mode(5).pattern(blocks);
    std::ostringstream whole, cut, shortfile;
    ASSERT_TRUE(prn_gen::write_prn(whole, b.header(), blocks));
    EXPECT_EQ(whole.str(), b.bytes());
    ASSERT_TRUE(prn_gen::write_prn(cut, b.header(), blocks, 120 + 6 * 30 * 10 + 7));
    EXPECT_EQ(cut.str(), b.truncated(120 + 6 * 30 * 10 + 7));
    ASSERT_TRUE(prn_gen::write_prn(shortfile, b.header(), blocks, 50));
    EXPECT_EQ(shortfile.str().size(), 50u);
    // Blocks: plane 0 has ink at its corner, plane 5 not there.
    EXPECT_EQ(b.pixel(0, PRN_PLANE_BLACK, 0), DOT_LARGE);
    EXPECT_EQ(b.pixel(0, PRN_PLANE_VARNISH, 0), DOT_NONE);
    EXPECT_EQ(b.pixel(59, PRN_PLANE_VARNISH, 119), DOT_LARGE);
}

}  // namespace
