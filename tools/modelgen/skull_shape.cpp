// The skull in its own frame: x to its left-right, y up, the face looking along +z, units
// of about a centimetre.
//
// The show draws the skull as the corners of every third face, all of them in every
// frame.  So the skull is drawn as a scope would draw one: dots along its telling lines —
// the vault's outline and crest, the brow, the eye sockets, the nose opening, the
// cheekbones, the upper jaw, the teeth (each a small loop) and the mandible — and every
// third face is three neighbouring dots of one line, the lines in pen order.  The other
// faces fan each stretch of line to a point behind it (a socket's floor, a tooth's root,
// the vault's inside), so the lines are the rims of surfaces.  The "l" statements trace
// the same lines.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "exact_math.hpp"
#include "skull_hand_parts.hpp"

namespace modelgen::skull_hand {
namespace {

constexpr double pi = std::numbers::pi;
constexpr int skull_vertices = 829, skull_faces = 788, skull_polylines = 139;

// A line of dots: its points (evenly spaced), whether it closes on itself, and how many
// stretches it is cut into, each fanned to a point `inward` units behind it.
struct SkullLine {
    std::vector<Vec3> points;
    bool closed = false;
    int stretches = 1;
    double inward = 1.5;
    // Its stretches fan to points set apart (`apart`, one per stretch, from the first to
    // the last) instead of just behind it.
    bool set_apart = false;
    Vec3 apart_first{}, apart_last{};
};

// The vault's centre: stretches fan towards it.
const Vec3 vault_centre{0, 3.5, -2.5};

// `count` points evenly along the Catmull-Rom curve through `through` (closed: once round,
// not repeating the start).
std::vector<Vec3> even_points(std::vector<Vec3> through, int count, bool closed) {
    if (closed) through.push_back(through.front());
    std::vector<Vec3> fine;
    constexpr int samples = 2000;
    for (int k = 0; k <= samples; ++k) fine.push_back(spline(through, static_cast<double>(k) / samples));
    std::vector<double> along{0};
    for (std::size_t k = 1; k < fine.size(); ++k) {
        const Vec3 d = fine[k] - fine[k - 1];
        along.push_back(along.back() + std::sqrt(dot(d, d)));
    }
    std::vector<Vec3> out;
    const int intervals = closed ? count : count - 1;
    std::size_t k = 1;
    for (int p = 0; p < count; ++p) {
        const double at = along.back() * p / intervals;
        while (k + 1 < fine.size() && along[k] < at) ++k;
        const double f = along[k] > along[k - 1] ? (at - along[k - 1]) / (along[k] - along[k - 1]) : 0;
        out.push_back(fine[k - 1] + (fine[k] - fine[k - 1]) * f);
    }
    return out;
}

// A loop round `centre`, facing +z, `half_width` by `half_height`, squared off by
// `squareness` (2 is an ellipse), starting at its top; `tilt` lowers one side, and the
// loop bends back with the face towards its sides.
std::vector<Vec3> loop(Vec3 centre, double half_width, double half_height, double squareness, int count, double tilt) {
    std::vector<Vec3> points;
    for (int k = 0; k < count; ++k) {
        const double a = pi / 2 + 2 * pi * k / count;
        const double c = exact_cos(a), s = exact_sin(a);
        const double x = half_width * (c < 0 ? -1 : 1) * (c == 0 ? 0 : exact_pow(c < 0 ? -c : c, 2 / squareness));
        const double y = half_height * (s < 0 ? -1 : 1) * (s == 0 ? 0 : exact_pow(s < 0 ? -s : s, 2 / squareness));
        // The loop follows the face's curve back towards the sides.
        points.push_back(centre + Vec3{x, y + tilt * x, -0.05 * x * x});
    }
    return points;
}

// skull_lines' order, which is the pen's.
enum SkullLineIndex {
    vault_line, crest_line, brow_line, left_socket, right_socket, nose_line, left_cheek, right_cheek
};

std::vector<SkullLine> skull_lines() {
    std::vector<SkullLine> lines;
    // The vault seen from the front: from one temple over the top to the other.
    {
        std::vector<Vec3> through;
        for (int k = 0; k <= 12; ++k) {
            const double t = (-0.64 + 1.28 * k / 12) * pi;
            through.push_back({7.0 * exact_sin(t), 3.8 + 7.6 * exact_cos(t), -1.0});
        }
        lines.push_back({even_points(through, 120, false), false, 5, 1.5, true, {-3, 3.5, -14}, {3, 3.5, -14}});
    }
    // The crest from the brow over the top and down the back.
    {
        std::vector<Vec3> through;
        for (int k = 0; k <= 10; ++k) {
            const double s = (0.14 + 0.86 * k / 10) * pi;
            through.push_back({0, 3.8 + 7.6 * exact_sin(s), -2.0 + 9.0 * exact_cos(s)});
        }
        lines.push_back({even_points(through, 84, false), false, 4, 1.5});
    }
    // The brow over the sockets.
    lines.push_back({even_points({{-6.2, 3.3, 3.6}, {-3.0, 4.2, 6.3}, {0, 4.0, 7.0}, {3.0, 4.2, 6.3}, {6.2, 3.3, 3.6}},
                                 36, false),
                     false, 1, 1.0});
    // The eye sockets, a little lower at their outer corners; they fan to their floors.
    lines.push_back({loop({-3.1, 1.5, 6.0}, 2.1, 1.9, 2.6, 54, 0.08), true, 1, 3.0});
    lines.push_back({loop({3.1, 1.5, 6.0}, 2.1, 1.9, 2.6, 54, -0.08), true, 1, 3.0});
    // The nose opening: narrow at the top, round below.
    lines.push_back({even_points({{0, 0.3, 6.9}, {0.55, -0.6, 6.9}, {1.05, -2.2, 6.7}, {0.8, -3.3, 6.6},
                                  {0, -3.1, 6.8}, {-0.8, -3.3, 6.6}, {-1.05, -2.2, 6.7}, {-0.55, -0.6, 6.9}},
                                 36, true),
                     true, 1, 2.5});
    // The cheekbones, from under each socket back towards the ear.
    for (double side : {-1.0, 1.0})
        lines.push_back({even_points({{4.4 * side, -0.6, 5.6}, {5.6 * side, -0.7, 4.0}, {6.4 * side, -0.4, 1.8},
                                      {6.6 * side, 0.2, -0.4}},
                                     24, false),
                         false, 1, 1.2});
    // The upper jaw's sides, from the cheekbones down to the teeth.
    for (double side : {-1.0, 1.0})
        lines.push_back({even_points({{4.9 * side, -1.2, 5.0}, {4.6 * side, -2.8, 4.7}, {3.9 * side, -3.9, 4.6}}, 24,
                                     false),
                         false, 1, 1.2});
    // The teeth: ten above and ten below, each a small loop on the dental arch.
    for (int row = 0; row < 2; ++row) {
        const double top = row == 0 ? -3.9 : -5.55, bottom = row == 0 ? -5.45 : -7.0;
        for (int t = 0; t < 10; ++t) {
            const double a = (-1.05 + 2.1 * (t + 0.5) / 10);
            const Vec3 centre{3.6 * exact_sin(a), (top + bottom) / 2, 3.0 + 3.7 * exact_cos(a)};
            std::vector<Vec3> points = loop({0, 0, 0}, 0.32, (top - bottom) / 2 - 0.05, 3.0, 9, 0);
            for (Vec3& p : points) {
                // Turned to face outwards from the arch.
                const double c = exact_cos(a), s = exact_sin(a);
                p = centre + Vec3{p.x * c + p.z * s, p.y, -p.x * s + p.z * c};
            }
            lines.push_back({points, true, 1, 0.8});
        }
    }
    // The mandible: from one jaw joint down to its angle, forward round the chin and back
    // up to the other joint.
    lines.push_back({even_points({{-6.2, -1.0, -0.6}, {-6.0, -5.0, -1.0}, {-5.4, -8.4, 0.2}, {-3.4, -9.6, 3.6},
                                  {0, -10.3, 5.4}, {3.4, -9.6, 3.6}, {5.4, -8.4, 0.2}, {6.0, -5.0, -1.0},
                                  {6.2, -1.0, -0.6}},
                                 126, false),
                     false, 6, 1.2, true, {-3, -32, -4}, {3, -32, -4}});
    return lines;
}

}  // namespace

Mesh skull() {
    const std::vector<SkullLine> lines = skull_lines();
    Mesh mesh;
    std::vector<Polygon> drawn, fanned;
    std::vector<int> firsts;
    for (const SkullLine& line : lines) {
        const int n = static_cast<int>(line.points.size());
        const int first = static_cast<int>(mesh.vertices.size());
        for (int k = 0; k < n; ++k) {
            // Every other dot steps a hair inwards, so no three neighbours lie on a line.
            const Vec3 p = line.points[static_cast<std::size_t>(k)];
            const Vec3 in = normalized(vault_centre - p) * (k % 2 == 0 ? 0.0 : 0.04);
            mesh.add_vertex(p + in, {static_cast<double>(k) / n, 0});
        }
        const int faces_here = n / 3;
        for (int s = 0; s < line.stretches; ++s) {
            const int from = faces_here * s / line.stretches, to = faces_here * (s + 1) / line.stretches;
            // The point behind the stretch's middle.
            const Vec3 middle = line.points[static_cast<std::size_t>(3 * ((from + to) / 2) + 1)];
            Vec3 centre{};
            for (int f = 3 * from; f < 3 * to; ++f) centre = centre + line.points[static_cast<std::size_t>(f)];
            centre = centre * (1.0 / (3 * (to - from)));
            // The vault's stretches fan to points behind the braincase and the jaw's to
            // the top of the spine: never drawn, they give the skull's box the depth and
            // the height its two placements ask for, so the drawn skull keeps its
            // proportions.
            const double k = line.stretches > 1 ? static_cast<double>(s) / (line.stretches - 1) : 0.5;
            const Vec3 behind = line.set_apart
                                    ? line.apart_first + (line.apart_last - line.apart_first) * k
                                    : (line.closed ? centre : middle) + normalized(vault_centre - middle) * line.inward;
            const int hub = mesh.add_vertex(behind, {0.5, 1});
            for (int f = from; f < to; ++f) {
                const int a = first + 3 * f, b = a + 1, c = a + 2;
                drawn.push_back(tri(a, b, c));
                fanned.push_back(tri(a, b, hub));
                fanned.push_back(tri(b, c, hub));
            }
        }
        firsts.push_back(first);
    }
    // Two more faces join each cheekbone's back end to the vault's outline at that temple.
    const int vault = firsts[vault_line], left = firsts[left_cheek], right = firsts[right_cheek];
    const int vault_end = vault + static_cast<int>(lines[vault_line].points.size()) - 1;
    const int cheek_end = static_cast<int>(lines[left_cheek].points.size()) - 1;
    fanned.push_back(tri(left + cheek_end, left + cheek_end - 1, vault));
    fanned.push_back(tri(right + cheek_end - 1, right + cheek_end, vault_end));

    std::size_t d = 0, f = 0;
    while (d < drawn.size()) {
        mesh.faces.push_back(fanned[f++]);
        mesh.faces.push_back(fanned[f++]);
        mesh.faces.push_back(drawn[d++]);
    }
    while (f < fanned.size()) mesh.faces.push_back(fanned[f++]);

    // The lines again as polylines, each cut into runs in proportion to its length.
    int points = 0;
    for (const SkullLine& line : lines) points += static_cast<int>(line.points.size());
    int given = 0;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const int n = static_cast<int>(lines[l].points.size());
        const int runs = l + 1 == lines.size() ? skull_polylines - given
                                               : std::max(1, (skull_polylines * n + points / 2) / points);
        given += runs;
        const int span = n - (lines[l].closed ? 0 : 1);
        for (int r = 0; r < runs; ++r) {
            std::vector<int> run;
            for (int k = span * r / runs; k <= span * (r + 1) / runs; ++k) run.push_back(firsts[l] + k % n);
            mesh.polylines.push_back(run);
        }
    }
    if (static_cast<int>(mesh.vertices.size()) != skull_vertices ||
        static_cast<int>(mesh.faces.size()) != skull_faces ||
        static_cast<int>(mesh.polylines.size()) != skull_polylines) {
        fail("skull has " + std::to_string(mesh.vertices.size()) + " vertices, " + std::to_string(mesh.faces.size()) +
             " faces, " + std::to_string(mesh.polylines.size()) + " polylines");
    }
    return mesh;
}

}  // namespace modelgen::skull_hand
