// The long raised-hand figure through the real object effect: the closing figure takes
// its last 1920 points, so every one of its 299 frames must draw and nothing may be
// clipped away.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "effects/objects.hpp"
#include "obj/obj.hpp"

namespace lumo {
namespace {

TEST(LongHandFigure, EveryFrameDrawsAndNoPointIsClipped) {
    std::ifstream in(std::string(LUMO_SOURCE_DIR) + "/assets/models/model-08.obj", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const Model hand = load_obj(text.str());
    ASSERT_EQ(hand.vertices.size(), 670u);
    RandomEngine random(1);
    const PointList figure =
        obj(144, hand, 0, 0.0f, -0.0058177644f, 0.034906585f, 1.0f, 1.0f, 5.0f, std::nullopt, 2, 3, random);
    EXPECT_EQ(figure.size(), 574080u);
}

}  // namespace
}  // namespace lumo
