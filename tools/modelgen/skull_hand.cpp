// Models 4 and 5 (skull) and 8 and 10 (raised hand).
//
// Each pair is one source shape in two placements related by a rigid turn: the skull
// about a vertical axis, the hand about an axis parallel to x.  The source is first
// stretched along the turn plane's two axes by the amounts that let both placements
// fill their boxes exactly, so the turn itself stays rigid.
//
// The boxes leave the skull one choice: facing about 45 degrees off the viewer in model 4
// and far round in model 5.  Model 4 faces so that its turn in the show (30 degrees over
// the figure) brings it round to nearly face the viewer; model 5 so that its turn brings
// it from profile to three-quarters.
#include "models.hpp"
#include "skull_hand_parts.hpp"

namespace modelgen {
namespace {

using skull_hand::Extent;
using skull_hand::Turn;

struct Box {
    double lo, hi;
};

// Where one placement lies: its box along each axis.
struct Placement {
    Box x, y, z;
};

// The skull turns in the x–z plane: footprint a = x, b = z.
constexpr Placement skull_front{{-1.09, 65.58}, {-43.16, 73.19}, {-106.81, -40.68}};
constexpr Placement skull_turned{{-72.97, 1.77}, {-43.16, 73.19}, {-91.56, -45.81}};

// The hand turns in the y–z plane: footprint a = y, b = z.
constexpr Placement hand_raised{{-6.03, 8.54}, {-7.96, 12.72}, {-17.43, -10.43}};
constexpr Placement hand_turned{{-6.03, 8.54}, {-8.69, 2.49}, {-25.49, -6.07}};

double size(Box b) { return b.hi - b.lo; }

// Moves every vertex so that the box's lower corner lands on (x, y, z).
void move_to(Mesh& mesh, double x, double y, double z) {
    const Bounds have = bounds(mesh);
    for (Vec3& v : mesh.vertices) v = v + Vec3{x - have.min.x, y - have.min.y, z - have.min.z};
}

Mesh placed_skull(bool turned) {
    Mesh mesh = skull_hand::skull();
    std::vector<Vec2> footprint;
    for (const Vec3& v : mesh.vertices) footprint.push_back({v.x, v.z});
    const Turn turn = skull_hand::solve_turn(footprint, {size(skull_front.x), size(skull_front.z)},
                                             {size(skull_turned.x), size(skull_turned.z)}, -0.785, 1.22);
    const Bounds source = bounds(mesh);
    const double height = size(skull_front.y) / (source.max.y - source.min.y);
    const double angle = turned ? turn.start + turn.turn : turn.start;
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Vec2 q = skull_hand::place(footprint[i], turn, angle);
        mesh.vertices[i] = {q.u, mesh.vertices[i].y * height, q.v};
    }
    const Placement& at = turned ? skull_turned : skull_front;
    move_to(mesh, at.x.lo, at.y.lo, at.z.lo);
    mesh.title = turned ? "lumo model 5: the skull, turned onto the negative-x side" : "lumo model 4: a skull";
    mesh.objects = {{"skull", 0, 0}};
    return mesh;
}

Mesh placed_hand(bool turned) {
    Mesh mesh = skull_hand::hand();
    std::vector<Vec2> footprint;
    for (const Vec3& v : mesh.vertices) footprint.push_back({v.y, v.z});
    const Turn turn = skull_hand::solve_turn(footprint, {size(hand_raised.y), size(hand_raised.z)},
                                             {size(hand_turned.y), size(hand_turned.z)}, 0.0, 1.0);
    const Bounds source = bounds(mesh);
    const double width = size(hand_raised.x) / (source.max.x - source.min.x);
    const double angle = turned ? turn.start + turn.turn : turn.start;
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Vec2 q = skull_hand::place(footprint[i], turn, angle);
        mesh.vertices[i] = {mesh.vertices[i].x * width, q.u, q.v};
    }
    const Placement& at = turned ? hand_turned : hand_raised;
    move_to(mesh, at.x.lo, at.y.lo, at.z.lo);
    mesh.title = turned ? "lumo model 10: the raised hand, tipped about x" : "lumo model 8: a raised hand";
    mesh.objects = {{"hand", 0, 0}};
    return mesh;
}

}  // namespace

Mesh make_model_4() { return placed_skull(false); }
Mesh make_model_5() { return placed_skull(true); }
Mesh make_model_8() { return placed_hand(false); }
Mesh make_model_10() { return placed_hand(true); }

}  // namespace modelgen
