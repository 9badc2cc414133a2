// The raised hand in its own frame: palm facing +z, fingers up along +y, the thumb
// on the +x side, units of about a centimetre.  The palm and each digit are closed
// tubes; webs of skin join the digits' roots, and the nails are quads on the backs of
// the tips.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "skull_hand_parts.hpp"

namespace modelgen::skull_hand {
namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int digit_columns = 8;  // column 0 faces the digit's side, 2 its pad, 6 its back
constexpr int palm_rows = 9, palm_columns = 18;

constexpr int hand_vertices = 670, hand_faces = 1319, hand_quads = 17;

struct Digit {
    Vec3 base;
    Vec3 direction;
    double length;
    double root_radius, tip_radius;
    double curl;  // how far the tip bends towards the pad, as a share of the length
    int rows;
    int nail_rows, nail_columns;  // quads on the back of the tip
};

struct Tube {
    int first;
    int rows;
};

// The frame of a digit at s in [0, 1]: centre, side and pad directions, and the axis.
struct Frame {
    Vec3 centre, side, pad, axis;
};
Frame digit_frame(const Digit& d, double s) {
    const Vec3 towards_pad{0.0, 0.0, 1.0};
    Vec3 bend = normalized(towards_pad - d.direction * dot(towards_pad, d.direction));
    const Vec3 centre = d.base + d.direction * (d.length * s) + bend * (d.curl * d.length * s * s);
    const Vec3 axis = normalized(d.direction + bend * (2 * d.curl * s));
    const Vec3 pad = normalized(bend - axis * dot(bend, axis));
    return {centre, cross(axis, pad), pad, axis};
}

// Joints show as slight swellings along the digit.
double digit_radius(const Digit& d, double s) {
    const double taper = d.root_radius + (d.tip_radius - d.root_radius) * s;
    const double joints = 0.07 * (std::exp(-std::pow((s - 0.42) / 0.06, 2)) + std::exp(-std::pow((s - 0.72) / 0.05, 2)));
    return taper * (1.0 + joints);
}

Tube add_digit(Mesh& mesh, const Digit& d) {
    const int first = static_cast<int>(mesh.vertices.size());
    for (int r = 0; r < d.rows; ++r) {
        const double s = static_cast<double>(r) / (d.rows - 1);
        const Frame f = digit_frame(d, s);
        const double radius = digit_radius(d, s);
        for (int c = 0; c < digit_columns; ++c) {
            const double a = 2 * pi * c / digit_columns;
            const Vec3 p = f.centre + f.side * (radius * std::cos(a)) + f.pad * (0.85 * radius * std::sin(a));
            mesh.add_vertex(p, {static_cast<double>(c) / digit_columns, s});
        }
    }
    for (int r = 0; r + 1 < d.rows; ++r) {
        for (int c = 0; c < digit_columns; ++c) {
            const int a = grid_vertex(first, digit_columns, r, c), b = grid_vertex(first, digit_columns, r, c + 1);
            const int e = grid_vertex(first, digit_columns, r + 1, c + 1), n = grid_vertex(first, digit_columns, r + 1, c);
            const bool nail = r >= d.rows - 1 - d.nail_rows && r < d.rows - 1 && c >= 5 && c < 5 + d.nail_columns;
            if (nail) {
                mesh.faces.push_back(quad(a, n, e, b));
            } else {
                mesh.faces.push_back(tri(a, n, e));
                mesh.faces.push_back(tri(a, e, b));
            }
        }
    }
    const Frame root = digit_frame(d, 0.0), tip = digit_frame(d, 1.0);
    add_fan(mesh, first, digit_columns, 0, root.centre - root.axis * (0.3 * d.root_radius), {0.5, 0.0}, true);
    add_fan(mesh, first, digit_columns, d.rows - 1, tip.centre + tip.axis * (0.9 * d.tip_radius), {0.5, 1.0},
            false);
    return {first, d.rows};
}

void add_palm(Mesh& mesh) {
    const int first = add_grid(mesh, palm_rows, palm_columns, true, [](double u, double v) {
        const double y = -1.0 + 10.2 * v, a = 2 * pi * u;
        const double width = 3.9 + 0.7 * std::sin(pi * std::min(1.0, v * 1.3)) - 0.2 * v;
        const double c = std::cos(a), s = std::sin(a);
        // the ball of the thumb swells the lower palm on the thumb side
        const double thenar = std::max(0.0, c) * std::max(0.0, s) * std::exp(-std::pow((v - 0.35) / 0.25, 2));
        const double thickness = 1.5 - 0.25 * v + 0.9 * thenar;
        const double x = width * (c < 0 ? -1.0 : 1.0) * std::pow(std::fabs(c), 0.7);
        const double z = thickness * (s < 0 ? -1.0 : 1.0) * std::pow(std::fabs(s), 0.8);
        return Vec3{x, y, z};
    });
    add_fan(mesh, first, palm_columns, 0, {0.0, -1.2, 0.0}, {0.5, 0.0}, true);
    add_fan(mesh, first, palm_columns, palm_rows - 1, {0.0, 9.4, 0.0}, {0.5, 1.0}, false);
}

// Skin between two neighbouring digits, on the pad side and on the back, over `cells`
// rows from the roots; `left` lies on the -x side of `right`.
void add_web(Mesh& mesh, Tube left, Tube right, int cells) {
    const int sides[2][2] = {{1, 3}, {7, 5}};  // (left column, right column): pad side, back
    for (const auto& side : sides) {
        for (int r = 0; r < cells; ++r) {
            const int a = grid_vertex(left.first, digit_columns, r, side[0]);
            const int b = grid_vertex(right.first, digit_columns, r, side[1]);
            const int c = grid_vertex(right.first, digit_columns, r + 1, side[1]);
            const int d = grid_vertex(left.first, digit_columns, r + 1, side[0]);
            mesh.faces.push_back(tri(a, b, c));
            mesh.faces.push_back(tri(a, c, d));
        }
    }
}

Vec3 tilted(double degrees) {
    const double a = degrees * pi / 180;
    return {std::sin(a), std::cos(a), 0.0};
}

}  // namespace

Mesh hand() {
    Mesh mesh;
    add_palm(mesh);
    const Digit little{{-2.85, 8.2, 0.0}, tilted(-12), 5.8, 0.72, 0.55, 0.15, 11, 2, 2};
    const Digit ring{{-0.95, 8.8, 0.0}, tilted(-4), 7.3, 0.82, 0.62, 0.15, 13, 2, 2};
    const Digit middle{{1.05, 9.0, 0.0}, tilted(2), 7.8, 0.88, 0.66, 0.15, 14, 2, 2};
    const Digit index{{3.0, 8.7, 0.0}, tilted(9), 7.0, 0.85, 0.63, 0.15, 13, 2, 2};
    const Digit thumb{{3.3, 2.0, 0.6}, normalized({0.58, 0.55, 0.40}), 6.2, 1.2, 0.78, 0.08, 11, 1, 1};
    const Tube t_little = add_digit(mesh, little), t_ring = add_digit(mesh, ring);
    const Tube t_middle = add_digit(mesh, middle), t_index = add_digit(mesh, index);
    const Tube t_thumb = add_digit(mesh, thumb);
    add_web(mesh, t_little, t_ring, 1);
    add_web(mesh, t_ring, t_middle, 1);
    add_web(mesh, t_middle, t_index, 1);
    add_web(mesh, t_index, t_thumb, 2);
    const Counts c = counts(mesh);
    if (c.vertices != hand_vertices || c.faces != hand_faces || c.quads != hand_quads) {
        std::fprintf(stderr, "lumo-modelgen: hand has %zu vertices, %zu faces, %zu quads\n", c.vertices, c.faces,
                     c.quads);
        std::exit(1);
    }
    return mesh;
}

}  // namespace modelgen::skull_hand
