// The raised hand in its own frame: palm facing +z, fingers up along +y, the thumb on the
// +x side, units of about a centimetre.  The palm (with the wrist), each finger and the
// thumb are closed lofted tubes; the palm is about as long as the middle finger, and the
// fingers fan out so that each stands clear of the next even when the hand is drawn
// small.  Webs of skin join the fingers' roots; the nails are quads on the backs of the
// tips.
//
// The show draws the hand as the corners of every third face (the first 960 of a frame
// are heard) and, tipped back, as every face's edges in order.  So the faces in the drawn
// places come part by part and column by column along each part (down one strip between
// two meridians, up the next), every other column first: the heard dots outline every
// finger, the thumb and the palm, and the beam runs along them.
#include <numbers>
#include <vector>

#include "exact_math.hpp"
#include "figures_body.hpp"
#include "skull_hand_parts.hpp"

namespace modelgen::skull_hand {
namespace {

constexpr double pi = std::numbers::pi;
constexpr int hand_vertices = 670, hand_faces = 1319, hand_quads = 17;

// A finger from its root on the knuckle line: leaning `lean` degrees from +y towards +x,
// curling towards the palm by `curl` of its length at the tip.
BodyPart finger(double root_x, double root_y, double lean, double length, double root_radius, double tip_radius,
                double curl) {
    const double a = lean * pi / 180;
    const Vec3 along{exact_sin(a), exact_cos(a), 0}, side{exact_cos(a), -exact_sin(a), 0};
    BodyPart part;
    // Root, the three knuckles (a little wider) and the tip.
    const double at[] = {0, 0.42, 0.72, 0.93, 1.0};
    const double swell[] = {1.0, 1.06, 1.05, 0.95, 0.6};
    for (int k = 0; k < 5; ++k) {
        const double s = at[k];
        const double r = (root_radius + (tip_radius - root_radius) * s) * swell[k];
        const Vec3 c = Vec3{root_x, root_y, 0} + along * (length * s) + Vec3{0, 0, curl * length * s * s};
        part.joints.push_back({c, r, 0.85 * r});
    }
    part.side = side;
    return part;
}

BodyPart palm() {
    BodyPart part;
    // From the wrist to the knuckle line; the ball of the thumb thickens the lower palm.
    part.joints = {{{0.2, -2.4, -0.1}, 2.5, 1.5},
                   {{0.3, -0.6, 0.0}, 2.9, 1.6},
                   {{0.5, 1.5, 0.2}, 3.9, 1.9},
                   {{0.4, 4.0, 0.2}, 4.3, 1.7},
                   {{0.2, 6.5, 0.1}, 4.4, 1.5},
                   {{0.0, 8.4, 0.0}, 4.2, 1.3},
                   {{0.0, 9.3, 0.0}, 3.6, 1.0}};
    part.squareness = 2.6;
    return part;
}

BodyPart thumb() {
    BodyPart part;
    part.joints = {{{2.6, 1.2, 0.4}, 1.25, 1.1},
                   {{4.4, 2.9, 0.9}, 1.2, 1.05},
                   {{6.0, 4.6, 1.2}, 1.05, 0.9},   // knuckle
                   {{7.3, 6.1, 1.3}, 0.95, 0.8},
                   {{8.2, 7.3, 1.3}, 0.6, 0.5}};   // tip
    part.side = {0.7, -0.7, 0};
    return part;
}

// Skin between two digits' roots over `rows` rows, on the back and on the pad side:
// `left` lies on the -x side of `right`.  With eight segments a digit's segment 0 faces
// +x along its side, 2 its back, 4 -x, 6 its pad.
void add_web(std::vector<Polygon>& faces, const Tube& left, const Tube& right, int rows) {
    const int sides[2][2] = {{1, 3}, {7, 5}};  // (left segment, right segment): back, pad
    for (const auto& side : sides) {
        for (int r = 0; r < rows; ++r) {
            const int a = left.grid.vertex(r, side[0]), b = right.grid.vertex(r, side[1]);
            const int c = right.grid.vertex(r + 1, side[1]), d = left.grid.vertex(r + 1, side[0]);
            faces.push_back(tri(a, b, c));
            faces.push_back(tri(a, c, d));
        }
    }
}

}  // namespace

Mesh hand() {
    Mesh mesh;
    const BodyPart index = finger(3.1, 8.7, 17, 7.0, 0.66, 0.48, 0.08);
    const BodyPart middle = finger(0.95, 9.0, 3, 7.8, 0.68, 0.5, 0.08);
    const BodyPart ring = finger(-1.2, 8.8, -10, 7.2, 0.65, 0.48, 0.08);
    const BodyPart little = finger(-3.2, 8.2, -25, 5.8, 0.58, 0.43, 0.08);
    // In the order the dots visit them: along the knuckle line, then the palm and the thumb.
    const BodyPart parts[] = {index, middle, ring, little, palm(), thumb()};
    const int rings[] = {11, 12, 11, 9, 13, 10};
    const int segments[] = {8, 8, 8, 8, 18, 8};
    std::vector<Tube> tubes;
    for (int p = 0; p < 6; ++p) tubes.push_back(add_tube(mesh, parts[p], rings[p], segments[p]));

    // The nails: the two back columns of a finger's last two bands, the thumb's one cell.
    auto is_nail = [&](int p, const Cell& c) {
        const RingGrid& g = tubes[static_cast<std::size_t>(p)].grid;
        const int band = (std::min(c.a, c.d) - g.first) / g.segments;
        if (p < 4) return (c.column == 1 || c.column == 2) && band >= g.rings - 3;
        return p == 5 && c.column == 1 && band == g.rings - 2;
    };
    // A digit's root is hidden in the palm, so its root cap fans instead to a point inside
    // the tip: a cone of long edges along the digit.  Drawn as lines on the show's unit
    // grid, where the skin's small cells draw nothing, those edges are the fingers; they
    // come first.
    std::vector<Polygon> drawn, other;
    for (int p : {0, 1, 2, 3, 5}) {
        Tube& t = tubes[static_cast<std::size_t>(p)];
        mesh.vertices[static_cast<std::size_t>(t.start_pole)] = part_centre(parts[p], 0.9);
        for (const Polygon& f : cap_faces(t))
            if (f[2] == t.start_pole) other.push_back(f);
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int p = 0; p < 6; ++p) {
            // The palm is walked from the knuckles down, the digits from their roots out.
            for (const Cell& c : visit_cells(tubes[static_cast<std::size_t>(p)].grid, p != 4, pass)) {
                if (is_nail(p, c)) {
                    drawn.push_back(quad(c.a, c.b, c.c, c.d));
                    continue;
                }
                drawn.push_back(tri(c.a, c.b, c.c));
                other.push_back(tri(c.c, c.d, c.a));
            }
        }
    }
    for (int p = 0; p < 6; ++p)
        for (const Polygon& f : cap_faces(tubes[static_cast<std::size_t>(p)]))
            if (p == 4 || f[2] != tubes[static_cast<std::size_t>(p)].start_pole) other.push_back(f);
    add_web(other, tubes[3], tubes[2], 1);
    add_web(other, tubes[2], tubes[1], 1);
    add_web(other, tubes[1], tubes[0], 1);
    add_web(other, tubes[0], tubes[5], 2);

    // Every third face is drawn: two of the others, then one of the drawn list; what is
    // left of either list follows.
    std::size_t d = 0, o = 0;
    while (d < drawn.size() && o + 1 < other.size() && mesh.faces.size() + 3 <= static_cast<std::size_t>(hand_faces)) {
        mesh.faces.push_back(other[o++]);
        mesh.faces.push_back(other[o++]);
        mesh.faces.push_back(drawn[d++]);
    }
    while (d < drawn.size()) mesh.faces.push_back(drawn[d++]);
    while (o < other.size()) mesh.faces.push_back(other[o++]);

    const Counts c = counts(mesh);
    if (c.vertices != hand_vertices || c.faces != hand_faces || c.quads != hand_quads) {
        fail("hand has " + std::to_string(c.vertices) + " vertices, " + std::to_string(c.faces) + " faces, " +
             std::to_string(c.quads) + " quads");
    }
    return mesh;
}

}  // namespace modelgen::skull_hand
