#include "wave/note.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/convert.hpp"

namespace lumo {
namespace {

// Distinct points, so that every output point tells which input position it came from.
PointList numbered(std::size_t n) {
    PointList points;
    for (std::size_t i = 0; i < n; ++i) points.push_back({static_cast<float>(i), -static_cast<float>(i)});
    return points;
}

std::size_t position(const Point& p) { return static_cast<std::size_t>(p.x); }

TEST(NoteTable, OrderAndPeriodLengths) {
    struct Row {
        std::int32_t octave;
        NoteName name;
        std::uint32_t target;
    };
    using enum NoteName;
    const std::vector<Row> expected = {
        {0, C, 5871},  {0, Cs, 5542}, {0, Db, 5542}, {0, D, 5231},  {0, Ds, 4935}, {0, Eb, 4935},
        {0, E, 4660},  {0, F, 4397},  {0, Fs, 4152}, {0, Gb, 4152}, {0, G, 3918},  {0, Gs, 3697},
        {0, Ab, 3697}, {0, A, 3490},  {0, As, 3294}, {0, Bb, 3294}, {0, B, 3109},
        {1, C, 2935},  {1, Cs, 2770}, {1, Db, 2770}, {1, D, 2615},  {1, Ds, 2468}, {1, Eb, 2468},
        {1, E, 2330},  {1, F, 2199},  {1, Fs, 2075}, {1, Gb, 2075}, {1, G, 1959},  {1, Gs, 1849},
        {1, Ab, 1849}, {1, A, 1745},  {1, As, 1647}, {1, Bb, 1647}, {1, B, 1554},
        {2, C, 1467},  {2, Cs, 1385}, {2, Db, 1385}, {3, C, 733},   {3, Cs, 692},  {3, Db, 692},
        {4, C, 366},   {4, Cs, 346},  {4, Db, 346},  {4, A, 218},
    };
    const auto table = note_table();
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].octave, expected[i].octave);
        EXPECT_EQ(table[i].name, expected[i].name);
        EXPECT_EQ(saturating_cast<std::uint32_t>(96000.0f / table[i].frequency), expected[i].target);
    }
    // Spot checks that the stored values are the two-decimal ones, not just close.
    EXPECT_EQ(table[17].frequency, 32.70f);
    EXPECT_EQ(table[37].frequency, 130.81f);
    EXPECT_EQ(table[43].frequency, 440.0f);
}

TEST(NoteTable, LookupByOctaveAndNameOnly) {
    EXPECT_EQ(find_note(1, NoteName::Ab)->frequency, 51.91f);
    EXPECT_EQ(find_note(2, NoteName::Db)->frequency, 69.30f);
    EXPECT_FALSE(find_note(2, NoteName::D).has_value());
    EXPECT_FALSE(find_note(4, NoteName::B).has_value());
    EXPECT_FALSE(find_note(5, NoteName::C).has_value());
    EXPECT_FALSE(find_note(-1, NoteName::C).has_value());
}

TEST(WaveToLength, StretchRepeatsLeadingPoints) {
    // Target 2935 from 1236: each point three times, so only the first 979 are reached.
    const PointList c = wave_to_length(1, NoteName::C, numbered(1236));
    ASSERT_EQ(c.size(), 2935u);
    for (std::size_t i = 0; i < 2934; ++i) ASSERT_EQ(position(c[i]), i / 3) << i;
    EXPECT_EQ(c[2934], (Point{978.0f, -978.0f}));

    // Target 2330: each point twice.
    const PointList e = wave_to_length(1, NoteName::E, numbered(1236));
    ASSERT_EQ(e.size(), 2330u);
    for (std::size_t i = 0; i < e.size(); ++i) ASSERT_EQ(position(e[i]), i / 2) << i;
    EXPECT_EQ(position(e.back()), 1164u);
}

TEST(WaveToLength, ThinDropsEveryDthPoint) {
    // Target 733 from 1236: d = 2, leaving the odd positions (618, short of the target).
    const PointList thinned = wave_to_length(3, NoteName::C, numbered(1236));
    ASSERT_EQ(thinned.size(), 618u);
    for (std::size_t j = 0; j < thinned.size(); ++j) ASSERT_EQ(position(thinned[j]), 2 * j + 1) << j;

    // Target 1849 from 2000: d = 13 drops positions 0, 13, …, 1989 (154 of them).
    const PointList light = wave_to_length(1, NoteName::Ab, numbered(2000));
    ASSERT_EQ(light.size(), 2000u - 154u);
    EXPECT_EQ(position(light[0]), 1u);
    EXPECT_EQ(position(light[11]), 12u);
    EXPECT_EQ(position(light[12]), 14u);
    EXPECT_EQ(position(light.back()), 1999u);
}

TEST(WaveToLength, FarAboveTargetThinsEvenlyToTarget) {
    // Target 218 from 1000: dropping every d-th point would drop them all.
    const PointList high = wave_to_length(4, NoteName::A, numbered(1000));
    ASSERT_EQ(high.size(), 218u);
    for (std::size_t j = 0; j < high.size(); ++j) ASSERT_EQ(position(high[j]), j * 1000 / 218) << j;

    // Exactly twice the target is still the dropping rule, and meets the target.
    const PointList twice = wave_to_length(4, NoteName::A, numbered(436));
    ASSERT_EQ(twice.size(), 218u);
    EXPECT_EQ(position(twice[0]), 1u);
    EXPECT_EQ(position(twice.back()), 435u);
}

TEST(WaveToLength, UnchangedCases) {
    EXPECT_EQ(wave_to_length(2, NoteName::D, numbered(1236)), numbered(1236));
    EXPECT_EQ(wave_to_length(0, NoteName::C, numbered(5871)), numbered(5871));
    EXPECT_TRUE(wave_to_length(1, NoteName::C, {}).empty());
    EXPECT_TRUE(wave_to_length(7, NoteName::C, {}).empty());
    // One point fills the whole period.
    EXPECT_EQ(wave_to_length(4, NoteName::A, {{1.0f, 2.0f}}), PointList(218, Point{1.0f, 2.0f}));
}

}  // namespace
}  // namespace lumo
