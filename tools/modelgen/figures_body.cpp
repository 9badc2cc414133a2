#include "figures_body.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <numbers>
#include <utility>

#include "core/convert.hpp"
#include "exact_math.hpp"

namespace modelgen {

namespace {

constexpr double pi = std::numbers::pi;

// The centre line, densely sampled along a Catmull-Rom curve through the joints, with the
// running arc length.
struct DensePath {
    std::vector<Vec3> points;
    std::vector<double> length;
};

double length_of(Vec3 v) { return std::sqrt(dot(v, v)); }

DensePath densify(const BodyPart& part) {
    constexpr int steps = 64;
    DensePath dense;
    const std::size_t n = part.joints.size();
    auto at = [&](std::size_t i) { return part.joints[std::min(i, n - 1)].at; };
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Vec3 p0 = at(i == 0 ? 0 : i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        for (int k = (i == 0 ? 0 : 1); k <= steps; ++k) {
            const Vec3 p = catmull_rom(p0, p1, p2, p3, static_cast<double>(k) / steps);
            dense.length.push_back(dense.points.empty() ? 0 : dense.length.back() + length_of(p - dense.points.back()));
            dense.points.push_back(p);
        }
    }
    return dense;
}

// The fraction of the path length at each joint, from the polyline through them.
std::vector<double> joint_fractions(const BodyPart& part) {
    std::vector<double> at{0};
    for (std::size_t i = 1; i < part.joints.size(); ++i)
        at.push_back(at.back() + length_of(part.joints[i].at - part.joints[i - 1].at));
    for (double& a : at) a /= at.back();
    return at;
}

// A cross-section of the part: its centre, its two axes (unit) and half-widths.
struct Section {
    Vec3 centre, across_axis, deep_axis;
    double across, deep;
};

Section section_at(const BodyPart& part, const DensePath& dense, const std::vector<double>& fractions, double at) {
    const double target = at * dense.length.back();
    std::size_t k = 1;
    while (k + 1 < dense.length.size() && dense.length[k] < target) ++k;
    const double span = dense.length[k] - dense.length[k - 1];
    const double f = span > 0 ? std::clamp((target - dense.length[k - 1]) / span, 0.0, 1.0) : 0.0;
    Section s;
    s.centre = dense.points[k - 1] + (dense.points[k] - dense.points[k - 1]) * f;
    const Vec3 tangent = normalized(dense.points[k] - dense.points[k - 1]);
    s.across_axis = normalized(part.side - tangent * dot(part.side, tangent));
    s.deep_axis = cross(tangent, s.across_axis);
    std::size_t j = 1;
    while (j + 1 < fractions.size() && fractions[j] < at) ++j;
    const BodyJoint& a = part.joints[j - 1];
    const BodyJoint& b = part.joints[j];
    const double g = std::clamp((at - fractions[j - 1]) / (fractions[j] - fractions[j - 1]), 0.0, 1.0);
    s.across = a.across + (b.across - a.across) * g;
    s.deep = a.deep + (b.deep - a.deep) * g;
    return s;
}

double superellipse(double c, double exponent) {
    const double magnitude = c == 0 ? 0.0 : exact_pow(std::abs(c), 2.0 / exponent);
    return c < 0 ? -magnitude : magnitude;
}

Vec3 skin_point(const BodyPart& part, const Section& s, double angle) {
    return s.centre + s.across_axis * (s.across * superellipse(exact_cos(angle), part.squareness)) +
           s.deep_axis * (s.deep * superellipse(exact_sin(angle), part.squareness));
}

// Joints written once for the right side; the left mirrors them.
BodyPart limb(std::initializer_list<BodyJoint> joints, double mirror) {
    BodyPart part;
    for (BodyJoint j : joints) part.joints.push_back({{j.at.x * mirror, j.at.y, j.at.z}, j.across, j.deep});
    part.side = {mirror, 0, 0};
    return part;
}

BodyPose pose_with_arms(std::initializer_list<BodyJoint> arm) {
    BodyPose pose;
    BodyPart head = limb({{{0, 146.0, -2.0}, 5.4, 5.4},
                          {{0, 151.0, -2.0}, 5.0, 5.2},
                          {{0, 155.0, -1.6}, 4.6, 5.0},
                          {{0, 158.0, -0.6}, 5.4, 7.2},   // chin
                          {{0, 161.0, 0.2}, 6.6, 8.6},
                          {{0, 165.0, 0.4}, 7.4, 9.3},
                          {{0, 169.0, 0.4}, 7.7, 9.5},
                          {{0, 173.0, 0.2}, 7.4, 9.2},
                          {{0, 176.5, 0.0}, 6.3, 7.8},
                          {{0, 178.6, 0.0}, 4.2, 5.2},
                          {{0, 179.5, 0.0}, 1.5, 1.8}},
                         1);
    BodyPart torso = limb({{{0, 152.0, -1.8}, 8.0, 6.0},      // base of the neck
                           {{0, 149.0, -1.2}, 15.5, 7.4},
                           {{0, 145.0, -0.6}, 19.4, 9.4},     // shoulders
                           {{0, 140.0, 0.2}, 19.2, 10.6},
                           {{0, 133.0, 0.8}, 18.2, 11.2},
                           {{0, 125.0, 1.0}, 16.4, 10.8},     // chest
                           {{0, 117.0, 0.6}, 14.6, 9.8},
                           {{0, 109.0, 0.0}, 14.2, 9.4},      // waist
                           {{0, 101.0, -0.6}, 16.0, 10.2},
                           {{0, 93.0, -1.0}, 16.6, 10.6},     // hips
                           {{0, 87.0, -1.2}, 14.0, 9.0},
                           {{0, 84.0, -1.0}, 7.0, 5.0}},      // crotch
                          1);
    torso.squareness = 2.6;
    pose.parts = {head, torso, limb(arm, -1), limb(arm, 1)};
    for (double mirror : {-1.0, 1.0}) {
        pose.parts.push_back(limb({{{8.5, 97.0, 0.0}, 8.0, 8.2},
                                   {{8.7, 92.0, 0.3}, 8.6, 8.9},
                                   {{8.9, 80.0, 0.6}, 7.6, 7.9},
                                   {{9.1, 66.0, 0.9}, 6.3, 6.5},
                                   {{9.3, 53.0, 1.2}, 4.9, 5.0},   // knee
                                   {{9.4, 44.0, 0.4}, 5.4, 5.7},   // calf
                                   {{9.5, 32.0, -0.3}, 4.6, 4.8},
                                   {{9.6, 18.0, -0.8}, 3.3, 3.5},
                                   {{9.7, 10.0, -1.0}, 3.0, 3.2},  // ankle
                                   {{9.7, 6.0, -1.0}, 2.6, 2.8}},
                                  mirror));
    }
    for (double mirror : {-1.0, 1.0}) {
        BodyPart foot = limb({{{9.6, 4.6, -5.0}, 2.2, 2.2},    // heel
                              {{9.7, 4.4, -3.5}, 3.4, 3.8},
                              {{9.8, 4.2, 0.0}, 3.8, 4.3},
                              {{10.1, 3.6, 6.0}, 4.3, 3.6},
                              {{10.5, 2.7, 12.0}, 4.8, 2.6},   // ball of the foot
                              {{10.8, 2.1, 17.0}, 4.6, 1.9},
                              {{11.0, 1.6, 20.0}, 2.5, 1.0}},  // toes
                             mirror);
        foot.squareness = 3;
        pose.parts.push_back(foot);
    }
    return pose;
}

}  // namespace

BodyPose pose_arms_bent_upward() {
    return pose_with_arms({{{19.0, 146.0, 0.0}, 4.8, 4.8},    // inside the shoulder
                           {{22.5, 142.5, 1.0}, 5.2, 5.2},
                           {{24.5, 140.5, 10.0}, 4.6, 4.6},   // upper arm, pointing forward
                           {{26.0, 138.0, 22.0}, 4.0, 4.0},   // elbow
                           {{26.5, 143.0, 27.5}, 4.0, 4.1},
                           {{26.0, 150.0, 29.0}, 3.1, 3.3},   // forearm, raised
                           {{25.6, 154.0, 29.5}, 2.6, 2.9},   // wrist
                           {{25.3, 158.5, 30.0}, 2.9, 1.7},   // knuckles
                           {{25.0, 163.0, 30.3}, 1.9, 1.1}}); // fingertips, below the crown
}

BodyPose pose_arms_away() {
    return pose_with_arms({{{19.0, 146.0, 0.0}, 4.8, 4.8},
                           {{23.0, 141.0, 0.0}, 5.2, 5.2},
                           {{29.5, 129.0, -0.5}, 4.5, 4.6},
                           {{36.0, 117.5, -1.0}, 3.9, 4.0},   // elbow
                           {{41.5, 107.0, -0.5}, 3.6, 3.8},
                           {{47.0, 97.0, 0.0}, 2.6, 3.0},     // wrist
                           {{51.5, 89.5, 0.5}, 3.2, 1.8},     // knuckles
                           {{55.0, 83.5, 1.0}, 2.2, 1.2}});   // fingertips
}

std::vector<std::vector<Vec3>> part_rings(const BodyPart& part, int rings, int segments) {
    const DensePath dense = densify(part);
    const std::vector<double> fractions = joint_fractions(part);
    std::vector<std::vector<Vec3>> out;
    for (int r = 0; r < rings; ++r) {
        const Section s = section_at(part, dense, fractions, static_cast<double>(r) / (rings - 1));
        std::vector<Vec3> ring;
        for (int i = 0; i < segments; ++i) ring.push_back(skin_point(part, s, 2 * pi * i / segments));
        out.push_back(ring);
    }
    return out;
}

std::vector<Vec3> part_ring(const BodyPart& part, double at, int segments, double lift) {
    const Section s = section_at(part, densify(part), joint_fractions(part), at);
    std::vector<Vec3> ring;
    for (int i = 0; i < segments; ++i) {
        const Vec3 p = skin_point(part, s, 2 * pi * i / segments);
        ring.push_back(p + normalized(p - s.centre) * lift);
    }
    return ring;
}

Vec3 part_centre(const BodyPart& part, double at) {
    return section_at(part, densify(part), joint_fractions(part), at).centre;
}

namespace {

// The body seen from the front on a grid of `cell`-sized squares: which cells it covers.
struct Silhouette {
    double x0 = -72, y0 = -8, cell = 0.25;
    int columns = 576, rows = 800;
    std::vector<char> inside = std::vector<char>(static_cast<std::size_t>(columns) * rows, 0);
    std::size_t index(int i, int j) const { return static_cast<std::size_t>(j) * columns + i; }
    bool covered(int i, int j) const { return i >= 0 && j >= 0 && i < columns && j < rows && inside[index(i, j)]; }
};

// Fills a convex loop row by row.
void fill_section(Silhouette& s, const std::vector<Vec3>& loop) {
    double lo = 1e300, hi = -1e300;
    for (const Vec3& p : loop) lo = std::min(lo, p.y), hi = std::max(hi, p.y);
    const int j0 = std::max(0, lumo::saturating_cast<int>(std::ceil((lo - s.y0) / s.cell - 0.5)));
    const int j1 = std::min(s.rows - 1, lumo::saturating_cast<int>(std::floor((hi - s.y0) / s.cell - 0.5)));
    for (int j = j0; j <= j1; ++j) {
        const double y = s.y0 + (j + 0.5) * s.cell;
        double left = 1e300, right = -1e300;
        for (std::size_t k = 0; k < loop.size(); ++k) {
            const Vec3 a = loop[k], b = loop[(k + 1) % loop.size()];
            if ((a.y <= y && b.y >= y) || (a.y >= y && b.y <= y)) {
                const double x = a.y == b.y ? a.x : a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
                left = std::min(left, a.y == b.y ? std::min(a.x, b.x) : x);
                right = std::max(right, a.y == b.y ? std::max(a.x, b.x) : x);
            }
        }
        if (left > right) continue;
        const int i0 = std::max(0, lumo::saturating_cast<int>(std::ceil((left - s.x0) / s.cell - 0.5)));
        const int i1 = std::min(s.columns - 1, lumo::saturating_cast<int>(std::floor((right - s.x0) / s.cell - 0.5)));
        for (int i = i0; i <= i1; ++i) s.inside[s.index(i, j)] = 1;
    }
}

// The convex hull of points in x–y, counter-clockwise (z is dropped: sections are filled
// in the picture plane).
std::vector<Vec3> hull_xy(const std::vector<Vec3>& points) {
    std::vector<Vec2> plane;
    for (const Vec3& p : points) plane.push_back({p.x, p.y});
    std::vector<Vec3> hull;
    for (const Vec2& p : convex_hull(std::move(plane))) hull.push_back({p.u, p.v, 0});
    return hull;
}

// Each part swept from section to section: the hull of two neighbouring sections covers
// the skin between them, whichever way the part faces.
Silhouette front_view(const BodyPose& pose) {
    Silhouette s;
    for (const BodyPart& part : pose.parts) {
        const DensePath dense = densify(part);
        const std::vector<double> fractions = joint_fractions(part);
        const int samples = lumo::saturating_cast<int>(std::ceil(dense.length.back() / 0.2));
        std::vector<Vec3> last;
        for (int k = 0; k <= samples; ++k) {
            const Section section = section_at(part, dense, fractions, static_cast<double>(k) / samples);
            std::vector<Vec3> loop;
            for (int a = 0; a < 32; ++a) loop.push_back(skin_point(part, section, 2 * pi * a / 32));
            if (k > 0) {
                std::vector<Vec3> both = last;
                both.insert(both.end(), loop.begin(), loop.end());
                fill_section(s, hull_xy(both));
            }
            last = loop;
        }
    }
    return s;
}

// The boundary of the covered cells as closed loops of cell corners, each with the
// covered cells on its left (so outer loops run counter-clockwise).
std::vector<std::vector<std::pair<int, int>>> boundary_loops(const Silhouette& s) {
    using Corner = std::pair<int, int>;
    std::map<Corner, std::vector<Corner>> next;
    for (int j = 0; j < s.rows; ++j) {
        for (int i = 0; i < s.columns; ++i) {
            if (!s.covered(i, j)) continue;
            if (!s.covered(i, j - 1)) next[{i, j}].push_back({i + 1, j});
            if (!s.covered(i + 1, j)) next[{i + 1, j}].push_back({i + 1, j + 1});
            if (!s.covered(i, j + 1)) next[{i + 1, j + 1}].push_back({i, j + 1});
            if (!s.covered(i - 1, j)) next[{i, j + 1}].push_back({i, j});
        }
    }
    std::vector<std::vector<Corner>> loops;
    for (auto& [start, outs] : next) {
        while (!outs.empty()) {
            std::vector<Corner> loop{start};
            Corner at = outs.back();
            outs.pop_back();
            Corner from = start;
            while (at != start) {
                loop.push_back(at);
                std::vector<Corner>& choices = next[at];
                // Where two cells meet only at a corner, turn left: each keeps its own loop.
                std::size_t pick = 0;
                if (choices.size() > 1) {
                    const int dx = at.first - from.first, dy = at.second - from.second;
                    for (std::size_t c = 0; c < choices.size(); ++c) {
                        const int ex = choices[c].first - at.first, ey = choices[c].second - at.second;
                        if (dx * ey - dy * ex > 0) pick = c;
                    }
                }
                const Corner to = choices[pick];
                choices.erase(choices.begin() + static_cast<std::ptrdiff_t>(pick));
                from = at;
                at = to;
            }
            loops.push_back(loop);
        }
    }
    return loops;
}

}  // namespace

std::vector<Vec3> front_outline(const BodyPose& pose, int points) {
    const Silhouette s = front_view(pose);
    const auto loops = boundary_loops(s);
    std::size_t outer = 0;
    double largest = -1;
    for (std::size_t l = 0; l < loops.size(); ++l) {
        double twice = 0;
        const auto& loop = loops[l];
        for (std::size_t k = 0; k < loop.size(); ++k) {
            const auto a = loop[k], b = loop[(k + 1) % loop.size()];
            twice += static_cast<double>(a.first) * b.second - static_cast<double>(b.first) * a.second;
        }
        if (twice > largest) largest = twice, outer = l;
    }
    const auto& stairs = loops[outer];
    const std::size_t n = stairs.size();
    // Average the staircase over a unit's worth of corners either side.
    constexpr int reach = 4;
    std::vector<Vec3> smooth(n);
    for (std::size_t k = 0; k < n; ++k) {
        double x = 0, y = 0;
        for (int d = -reach; d <= reach; ++d) {
            const auto c = stairs[(k + static_cast<std::size_t>(d + static_cast<int>(n))) % n];
            x += c.first, y += c.second;
        }
        smooth[k] = {s.x0 + x / (2 * reach + 1) * s.cell, s.y0 + y / (2 * reach + 1) * s.cell, 0};
    }
    // Even spacing along the smoothed loop, starting at its top.
    std::size_t top = 0;
    for (std::size_t k = 1; k < n; ++k)
        if (smooth[k].y > smooth[top].y + 1e-9) top = k;
    std::rotate(smooth.begin(), smooth.begin() + static_cast<std::ptrdiff_t>(top), smooth.end());
    std::vector<double> along{0};
    for (std::size_t k = 1; k <= n; ++k) along.push_back(along.back() + length_of(smooth[k % n] - smooth[k - 1]));
    std::vector<Vec3> out;
    std::size_t k = 1;
    for (int p = 0; p < points; ++p) {
        const double at = along.back() * p / points;
        while (k < n && along[k] < at) ++k;
        const double f = (at - along[k - 1]) / (along[k] - along[k - 1]);
        const Vec3 q = smooth[k - 1] + (smooth[k % n] - smooth[k - 1]) * f;
        out.push_back(q);
    }
    return out;
}

RingGrid add_rings(Mesh& mesh, const std::vector<std::vector<Vec3>>& rings) {
    RingGrid grid{static_cast<int>(mesh.vertices.size()), static_cast<int>(rings.size()),
                  static_cast<int>(rings.front().size())};
    for (int r = 0; r < grid.rings; ++r)
        for (int i = 0; i < grid.segments; ++i)
            mesh.add_vertex(rings[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)],
                            {static_cast<double>(i) / grid.segments,
                             static_cast<double>(r) / std::max(1, grid.rings - 1)});
    return grid;
}

std::vector<Cell> band_cells(const RingGrid& grid, int band) {
    std::vector<Cell> cells;
    for (int i = 0; i < grid.segments; ++i)
        cells.push_back({grid.vertex(band, i), grid.vertex(band, i + 1), grid.vertex(band + 1, i + 1),
                         grid.vertex(band + 1, i)});
    return cells;
}

Tube add_tube(Mesh& mesh, const BodyPart& part, int rings, int segments) {
    Tube tube;
    tube.grid = add_rings(mesh, part_rings(part, rings, segments));
    // The poles sit a little beyond the end rings' centres, so the caps are round.
    auto beyond = [&](int ring, int inner) {
        const Vec3 c = part_centre(part, static_cast<double>(ring) / (rings - 1));
        const Vec3 d = c - part_centre(part, static_cast<double>(inner) / (rings - 1));
        return c + normalized(d) * 0.4;
    };
    tube.start_pole = mesh.add_vertex(beyond(0, 1), {0.5, 0});
    tube.end_pole = mesh.add_vertex(beyond(rings - 1, rings - 2), {0.5, 1});
    return tube;
}

std::vector<Polygon> cap_faces(const Tube& tube) {
    std::vector<Polygon> faces;
    const RingGrid& g = tube.grid;
    for (int i = 0; i < g.segments; ++i) {
        faces.push_back(tri(g.vertex(0, i + 1), g.vertex(0, i), tube.start_pole));
        faces.push_back(tri(g.vertex(g.rings - 1, i), g.vertex(g.rings - 1, i + 1), tube.end_pole));
    }
    return faces;
}

std::vector<Cell> visit_cells(const RingGrid& grid, bool outwards, int parity) {
    std::vector<Cell> cells;
    int walked = 0;
    for (int i = 0; i < grid.segments; ++i) {
        if (parity >= 0 && i % 2 != parity) continue;
        const bool down = outwards == (walked++ % 2 == 0);
        for (int k = 0; k + 1 < grid.rings; ++k) {
            const int r = down ? k : grid.rings - 2 - k;
            const Cell c{grid.vertex(r, i), grid.vertex(r, i + 1), grid.vertex(r + 1, i + 1), grid.vertex(r + 1, i), i};
            cells.push_back(down ? c : Cell{c.d, c.c, c.b, c.a, i});
        }
    }
    return cells;
}

}  // namespace modelgen
