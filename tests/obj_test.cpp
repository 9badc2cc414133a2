// The OBJ loader: the statements it reads, the ones it skips, and how bad text stops it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "obj/obj.hpp"

namespace lumo {
namespace {

constexpr VertexIndex kLargestIndex = 4294967295u;

Vertex only_vertex(std::string_view text) {
    const Model model = load_obj(text);
    EXPECT_EQ(model.vertices.size(), 1u);
    return model.vertices.empty() ? Vertex{} : model.vertices[0];
}

TEST(LoadObj, ReadsVerticesAndFacesSkipsEverythingElse) {
    const Model model = load_obj(
        "# comment\nmtllib x.mtl\no thing\ns off\nusemtl red\n"
        "v 1 2 3\nvn 0 0 1\nvt 0.5 0.5\nv -1.5 2.5e1 +3 extra\nv 0 0 0\n"
        "l 1 2\nf 1/2/3 4/5/6 7/8/9\nf 3//1 1//2 2//3\nf 1 2 3 4\nf 0 1 2\n");
    EXPECT_EQ(model.vertices, (std::vector<Vertex>{{1, 2, 3}, {-1.5f, 25, 3}, {0, 0, 0}}));
    EXPECT_EQ(model.faces, (std::vector<Face>{{0, 3, 6}, {2, 0, 1}, {0, 1, 2}, {kLargestIndex, 0, 1}}));
}

TEST(LoadObj, LineEndingsAndWhitespace) {
    const Model plain = load_obj("v 1 2 3\nv 4 5 6\nf 1 2 1\n");
    const Model crlf = load_obj("v 1 2 3\r\nv 4 5 6\r\nf 1 2 1\r\n");
    const Model no_final_feed = load_obj("v 1 2 3\nv 4 5 6\nf 1 2 1");
    const Model spaced = load_obj("\n  \t\nv\t1   2 3  \n \tv 4 5 6\n\nf 1 2 1   ");
    for (const Model* m : {&crlf, &no_final_feed, &spaced}) {
        EXPECT_EQ(m->vertices, plain.vertices);
        EXPECT_EQ(m->faces, plain.faces);
    }
    EXPECT_EQ(plain.faces.size(), 1u);
    // The keyword must stand alone: "vx" and "F" are other statements.
    EXPECT_TRUE(load_obj("vx 1 2 3\nF 1 2 3\n").vertices.empty());
}

TEST(LoadObj, CenterOfTheBoundingBox) {
    const Model model = load_obj("v -2 0 10\nv 4 3 -10\nv 1 -1 0\n");
    EXPECT_EQ(model.center, (Vertex{1, 1, 0}));
    const Model with_nan = load_obj("v nan 0 0\nv 2 nan 0\nv 4 2 nan\n");
    EXPECT_EQ(with_nan.center.x, 3.0f);
    EXPECT_EQ(with_nan.center.y, 1.0f);
    EXPECT_EQ(with_nan.center.z, 0.0f);

    const Model empty = load_obj("# only comments\nvn 0 0 1\n");
    EXPECT_TRUE(empty.vertices.empty());
    EXPECT_TRUE(empty.faces.empty());
    EXPECT_TRUE(std::isnan(empty.center.x) && std::isnan(empty.center.y) && std::isnan(empty.center.z));
}

TEST(LoadObj, FloatSpellings) {
    EXPECT_EQ(only_vertex("v 5. .5 -0.0").x, 5.0f);
    EXPECT_EQ(only_vertex("v 5. .5 -0.0").y, 0.5f);
    EXPECT_TRUE(std::signbit(only_vertex("v 5. .5 -0.0").z));
    EXPECT_EQ(only_vertex("v 1E3 1e+3 1e-3").x, 1000.0f);
    EXPECT_EQ(only_vertex("v 1E3 1e+3 1e-3").z, 0.001f);
    // Correct rounding: the halfway case between 1 and the next float rounds to even, and a
    // value one digit above it rounds up.
    EXPECT_EQ(only_vertex("v 1.00000005960464477539062 1.000000059604644775390625001 0").x, 1.0f);
    EXPECT_EQ(only_vertex("v 1.00000005960464477539062 1.000000059604644775390625001 0").y,
              std::nextafter(1.0f, 2.0f));
    const Vertex special = only_vertex("v inf -Infinity NaN");
    EXPECT_EQ(special.x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(special.y, -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(special.z));
    const Vertex range = only_vertex("v 1e39 -1e-50 1e-40");
    EXPECT_EQ(range.x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(range.y, 0.0f);
    EXPECT_TRUE(std::signbit(range.y));
    EXPECT_EQ(range.z, 1e-40f);
    EXPECT_EQ(only_vertex("v 0.0000000000000000000000000000000000000000000000000000001e60 0 0").x, 1e5f);
}

TEST(LoadObj, IndexSpellings) {
    const Model model = load_obj("f +1 007 4294967295\n");
    EXPECT_EQ(model.faces, (std::vector<Face>{{0, 6, kLargestIndex - 1}}));
}

TEST(LoadObjDeathTest, ShortLinesNameTheMissingToken) {
    const auto stops = testing::ExitedWithCode(101);
    EXPECT_EXIT(load_obj("v 1 2\n"), stops, "index out of bounds: the len is 3 but the index is 3");
    EXPECT_EXIT(load_obj("v\n"), stops, "index out of bounds: the len is 1 but the index is 1");
    EXPECT_EXIT(load_obj("f 1 2\n"), stops, "index out of bounds: the len is 3 but the index is 3");
    EXPECT_EXIT(load_obj("v 1 2 3\nf 1\n"), stops, "index out of bounds: the len is 2 but the index is 2");
    // Tokens are taken in order: a bad first coordinate is met before the missing third.
    EXPECT_EXIT(load_obj("v x 2\n"), stops, "ParseFloatError \\{ kind: Invalid \\}");
}

TEST(LoadObjDeathTest, BadFloats) {
    const auto stops = testing::ExitedWithCode(101);
    const char* message = "called `Result::unwrap\\(\\)` on an `Err` value: ParseFloatError \\{ kind: Invalid \\}";
    for (const char* bad : {"1.2.3", "0x10", "1e", "1e+", "e5", ".", "+", "-", "1,5", "1f", "infinit",
                            "nan(1)", "--1", " 1_0", "1e5.0"}) {
        EXPECT_EXIT(load_obj(std::string("v 0 ") + bad + " 0\n"), stops, message) << bad;
    }
}

TEST(LoadObjDeathTest, BadIndices) {
    const auto stops = testing::ExitedWithCode(101);
    const std::string prefix = "called `Result::unwrap\\(\\)` on an `Err` value: ParseIntError \\{ kind: ";
    EXPECT_EXIT(load_obj("f /1/1 2 3\n"), stops, prefix + "Empty \\}");
    EXPECT_EXIT(load_obj("f 1 //2 3\n"), stops, prefix + "Empty \\}");
    EXPECT_EXIT(load_obj("f + 2 3\n"), stops, prefix + "InvalidDigit \\}");
    EXPECT_EXIT(load_obj("f -1 -2 -3\n"), stops, prefix + "InvalidDigit \\}");
    EXPECT_EXIT(load_obj("f 1.0 2 3\n"), stops, prefix + "InvalidDigit \\}");
    EXPECT_EXIT(load_obj("f ++1 2 3\n"), stops, prefix + "InvalidDigit \\}");
    EXPECT_EXIT(load_obj("f 1 2 4294967296\n"), stops, prefix + "PosOverflow \\}");
    EXPECT_EXIT(load_obj("f 99999999999x 2 3\n"), stops, prefix + "PosOverflow \\}");
}

// Runs load_obj in a child process: true when it returned or stopped with status 101,
// false on anything else (a crash, a sanitizer report, a hang cut short by the test).
bool returns_or_stops(const std::string& text) {
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stderr);
        const Model model = load_obj(text);
        // Touch the result so that a bad size or pointer would show.
        volatile std::size_t sum = model.vertices.size() + model.faces.size();
        for (const Face& f : model.faces) sum = sum + (f[0] ^ f[1] ^ f[2]);
        std::_Exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 101);
}

TEST(LoadObjFuzz, RandomBytesReturnOrStop) {
    std::mt19937 random(20240611);
    const std::string alphabet = "vf /.-+eE0123456789\n\r\t#naiINF";
    for (int round = 0; round < 150; ++round) {
        std::string text(random() % 64, '\0');
        for (char& c : text) {
            c = (random() % 4 == 0) ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
        }
        ASSERT_TRUE(returns_or_stops(text)) << testing::PrintToString(text);
    }
}

TEST(LoadObjFuzz, MutatedModelReturnsOrStops) {
    const std::string valid =
        "# box\no box\nv -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nvn 0 0 1\nvt 0 1\n"
        "f 1/1/1 2/1/1 3/1/1 4/1/1\nf 1//1 3//1 4//1\nl 1 2\n";
    const std::string alphabet = "vf /.-+eE0123456789\n\r\t";
    std::mt19937 random(7);
    for (int round = 0; round < 150; ++round) {
        std::string text = valid;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % text.size();
            switch (random() % 3) {
                case 0: text[at] = alphabet[random() % alphabet.size()]; break;
                case 1: text.erase(at, 1 + random() % 3); break;
                default: text.insert(at, 1, static_cast<char>(random() % 256)); break;
            }
            if (text.empty()) text = "v";
        }
        ASSERT_TRUE(returns_or_stops(text)) << testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace lumo
