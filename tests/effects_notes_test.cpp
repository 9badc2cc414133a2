#include "effects/notes.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumo {
namespace {

using enum NoteName;

const std::vector<Note> kMelody = {
    {1, C, 32.7f}, {1, E, 41.2f}, {1, Ab, 51.91f}, {3, C, 130.81f},
    {1, E, 41.2f}, {1, B, 61.74f}, {2, Db, 69.3f}, {1, Ab, 51.91f},
};

// Three faces: only the third contributes corners, in its own index order.
Model three_faces() {
    Model model;
    model.vertices = {{10.0f, 20.0f, 1.0f}, {-30.0f, 40.0f, 2.0f}, {50.0f, -60.0f, 3.0f}, {7.0f, 8.0f, 9.0f}};
    model.faces = {{0, 1, 2}, {1, 2, 3}, {3, 0, 1}};
    model.center = {0.0f, 0.0f, 0.0f};
    return model;
}

// A stand-in for the closing input: one slice of an arbitrary figure.
PointList slice_figure() {
    PointList figure;
    for (std::size_t i = 0; i < 1920; ++i) {
        figure.push_back({static_cast<float>(i % 40) / 100.0f - 0.2f, static_cast<float>(i % 24) / 100.0f});
    }
    return figure;
}

// FNV-1a over the bit patterns: the figures are exact, so a whole render is pinned by
// one number, and any change in the order of the float operations changes it.
std::uint64_t fingerprint(const ChannelPair& figure) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < figure.size(); ++i) {
        for (const float value : {figure.x[i], figure.y[i]}) {
            const auto bits = std::bit_cast<std::uint32_t>(value);
            for (int shift = 0; shift < 32; shift += 8) {
                hash ^= (bits >> shift) & 0xFFu;
                hash *= 0x100000001b3u;
            }
        }
    }
    return hash;
}

TEST(ObjNote, NothingToDraw) {
    const Model model = three_faces();
    EXPECT_TRUE(obj_note(1, kMelody, model, 0.7f).empty());
    EXPECT_TRUE(obj_note(0, kMelody, model, 0.7f).empty());
    EXPECT_TRUE(obj_note(75, {}, model, 0.7f).empty());
    Model two_faces = model;
    two_faces.faces.pop_back();
    EXPECT_TRUE(obj_note(75, kMelody, two_faces, 0.7f).empty());
}

TEST(ObjNote, ThirdFaceCornersFittedAndShrunk) {
    const Model model = three_faces();
    // Octave 4 A: 3 corners stretch to 218 points (73, 73, 72), each held 5 samples.
    const std::vector<Note> notes = {{4, A, 440.0f}, {4, A, 440.0f}};
    const ChannelPair figure = obj_note(4, notes, model, 0.7f);
    ASSERT_EQ(figure.size(), 2u * 3u * 1920u);

    EXPECT_EQ(figure[0], (Point{(7.0f / 100.0f) * 0.7f, (8.0f / 100.0f) * 0.7f}));
    // The second corner (vertex 0) starts after 73 fitted points of 5 samples each.
    EXPECT_FLOAT_EQ(figure[365].x / figure[365].y, 10.0f / 20.0f);
    EXPECT_FLOAT_EQ(figure[730].x / figure[730].y, -30.0f / 40.0f);
    // The fitted drawing is 1090 samples long, so the slice wraps to the first corner.
    EXPECT_FLOAT_EQ(figure[1090].x / figure[1090].y, 7.0f / 8.0f);

    // Every slice draws the same points; only the shrink tells them apart, falling
    // linearly from 0.7 toward 0.4.
    const std::size_t last = figure.size() - 1920;
    EXPECT_NEAR(figure[last].x / (7.0f / 100.0f), 0.4f + 0.3f * (1920.0f / static_cast<float>(figure.size())), 1e-5);
    // Slice point 1919 is fitted point 165, the third corner.
    EXPECT_NEAR(figure.x.back() / (-30.0f / 100.0f), 0.4f, 1e-4);
    // The show's melody over this model, pinned after checking it value for value against
    // a separate operation-by-operation reckoning.
    EXPECT_EQ(fingerprint(obj_note(75, kMelody, model, 0.7f)), 9520792975051598235u);
}

TEST(ObjNote, FrequencyFieldIsNotRead) {
    const Model model = three_faces();
    const std::vector<Note> table = {{1, C, 32.7f}, {3, C, 130.81f}};
    const std::vector<Note> wrong = {{1, C, 1000.0f}, {3, C, 1.0f}};
    EXPECT_EQ(obj_note(3, wrong, model, 0.7f), obj_note(3, table, model, 0.7f));
}

TEST(ObjNoteDeathTest, IndexOutOfRangeOnAnyFace) {
    Model model = three_faces();
    model.faces[0][1] = 7;  // the first face draws nothing, but is checked all the same
    EXPECT_EXIT(obj_note(2, kMelody, model, 0.7f), testing::ExitedWithCode(101),
                "index out of bounds: the len is 4 but the index is 7");
}

TEST(Loppu, FirstSliceIsTheBoxTurnedOnce) {
    // Against a silent figure, cross-fade point j is t * box point j, so the box is
    // recovered by dividing t out.
    const PointList silent(1920, Point{0.0f, 0.0f});
    const ChannelPair figure = loppu(1, silent, std::vector<Note>(2, kMelody[0]), 1.0f);
    ASSERT_EQ(figure.size(), 1920u);
    EXPECT_EQ(figure[0], (Point{0.0f, 0.0f}));
    auto box_point = [&](std::size_t j) {
        const float t = static_cast<float>(j) / 1919.0f;
        return Point{figure[j].x / t * 100.0f, figure[j].y / t * 100.0f};
    };
    // The first edge steps x from -20 (the grid cell of vertex 1 at about -20.337) and
    // climbs from vertex 1's y toward vertex 2 at about (19.651, 20.343).
    const float slope = (20.343f - 19.645f) / (19.651f + 20.337f);
    for (std::size_t k = 1; k < 39; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(box_point(k).x, -20.0f + static_cast<float>(k), 1e-3);
        EXPECT_NEAR(box_point(k).y, 19.645f + static_cast<float>(k) * slope, 2e-3);
    }
}

TEST(Loppu, RepeatsDecideThePasses) {
    const PointList figure = slice_figure();
    // One repeat of eight notes: seven cross-fade slices and no melody.
    const ChannelPair short_fade = loppu(1, figure, kMelody, 1.0f);
    ASSERT_EQ(short_fade.size(), 7u * 1920u);
    EXPECT_EQ(short_fade[0], figure[0]);
    EXPECT_TRUE(loppu(0, figure, kMelody, 1.0f).empty());
    EXPECT_TRUE(loppu(75, figure, {}, 1.0f).empty());
}

TEST(Loppu, ShowCall) {
    const PointList figure = slice_figure();
    const ChannelPair closing = loppu(75, figure, kMelody, 1.0f);
    // 599 cross-fade slices, 592 melody slices and 549 fading slices that still have a
    // box to draw: the count holds only if every one of the 1783 turns rounds as meant.
    EXPECT_EQ(closing.size(), 3'340'800u);
    EXPECT_EQ(closing[0], figure[0]);
    // The fade ends close to silence.
    EXPECT_LT(std::abs(closing.x.back()) + std::abs(closing.y.back()), 1e-5f);
    // Pinned the same way as the note-object figure above.
    EXPECT_EQ(fingerprint(closing), 4410319928861723439u);
}

TEST(LoppuDeathTest, FigureOfWrongLength) {
    const PointList short_figure(100, Point{0.5f, 0.5f});
    EXPECT_EXIT(loppu(1, short_figure, std::vector<Note>(2, kMelody[0]), 1.0f), testing::ExitedWithCode(101),
                "assertion `left == right` failed: Vectors must be the same length\n  left: 100\n right: 1920");
}

}  // namespace
}  // namespace lumo
