#include "figures_parts.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace modelgen {

namespace {

// The centre line, densely sampled along a Catmull-Rom curve through the path points,
// with the running arc length, so that rings can be spaced evenly along it.
struct DensePath {
    std::vector<Vec3> points;
    std::vector<double> length;
};

DensePath densify(const std::vector<Vec3>& path) {
    constexpr int steps = 64;
    DensePath dense;
    const std::size_t n = path.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Vec3 p0 = path[i == 0 ? 0 : i - 1], p1 = path[i], p2 = path[i + 1];
        const Vec3 p3 = path[i + 2 < n ? i + 2 : n - 1];
        for (int k = (i == 0 ? 0 : 1); k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps, t2 = t * t, t3 = t2 * t;
            const Vec3 p = (p1 * 2 + (p2 - p0) * t + (p0 * 2 - p1 * 5 + p2 * 4 - p3) * t2 +
                            (p1 * 3 - p0 - p2 * 3 + p3) * t3) * 0.5;
            const double step = dense.points.empty() ? 0 : std::sqrt(dot(p - dense.points.back(), p - dense.points.back()));
            dense.length.push_back(dense.length.empty() ? 0 : dense.length.back() + step);
            dense.points.push_back(p);
        }
    }
    return dense;
}

// Position and unit tangent at fraction `at` of the arc length.
void point_at(const DensePath& dense, double at, Vec3& position, Vec3& tangent) {
    const double target = at * dense.length.back();
    std::size_t k = 1;
    while (k + 1 < dense.length.size() && dense.length[k] < target) ++k;
    const double span = dense.length[k] - dense.length[k - 1];
    const double f = span > 0 ? std::clamp((target - dense.length[k - 1]) / span, 0.0, 1.0) : 0.0;
    position = dense.points[k - 1] + (dense.points[k] - dense.points[k - 1]) * f;
    tangent = normalized(dense.points[k] - dense.points[k - 1]);
}

FigureSection section_at(const std::vector<FigureSection>& sections, double at) {
    if (at <= sections.front().at) return sections.front();
    for (std::size_t i = 1; i < sections.size(); ++i) {
        if (at <= sections[i].at) {
            const FigureSection& a = sections[i - 1];
            const FigureSection& b = sections[i];
            const double f = (at - a.at) / (b.at - a.at);
            return {at, a.across + (b.across - a.across) * f, a.deep + (b.deep - a.deep) * f};
        }
    }
    return sections.back();
}

double superellipse(double c, double exponent) {
    return std::copysign(std::pow(std::abs(c), 2.0 / exponent), c);
}

// Stitches a ring (first vertex `base`, `segments` of them) flat: a triangle at each
// end of the zip and quads between, facing along the tube's direction (or against it).
void add_face(FigureMesh& figure, Polygon face, bool band, int column = -1) {
    figure.mesh.faces.push_back(face);
    figure.part.push_back(figure.parts);
    figure.column.push_back(column);
    figure.band.push_back(band);
}

void add_zip(FigureMesh& figure, int base, int segments, bool facing_forward, bool band) {
    auto add = [&](Polygon face) {
        if (!facing_forward) {
            const int corners = face[3] < 0 ? 3 : 4;
            std::reverse(face.begin(), face.begin() + corners);
        }
        add_face(figure, face, band);
    };
    const int half = segments / 2;
    auto at = [&](int i) { return base + i % segments; };
    add(tri(at(0), at(1), at(segments - 1)));
    for (int i = 1; i <= half - 2; ++i) add(quad(at(i), at(i + 1), at(segments - i - 1), at(segments - i)));
    add(tri(at(half - 1), at(half), at(half + 1)));
}

}  // namespace

void figure_add_loft(FigureMesh& figure, const FigureLoft& loft) {
    Mesh& mesh = figure.mesh;
    const DensePath dense = densify(loft.path);
    const int segments = loft.segments;
    const int first = static_cast<int>(mesh.vertices.size());
    Vec3 start_tangent{}, end_tangent{}, start_centre{}, end_centre{};
    for (int r = 0; r < loft.rings; ++r) {
        const double at = static_cast<double>(r) / (loft.rings - 1);
        Vec3 centre, tangent;
        point_at(dense, at, centre, tangent);
        if (r == 0) start_tangent = tangent, start_centre = centre;
        end_tangent = tangent, end_centre = centre;
        const Vec3 across = normalized(loft.side - tangent * dot(loft.side, tangent));
        const Vec3 deep = cross(tangent, across);
        const FigureSection section = section_at(loft.sections, at);
        for (int i = 0; i < segments; ++i) {
            const double angle = 2 * std::numbers::pi * i / segments;
            const Vec3 offset = across * (section.across * superellipse(std::cos(angle), loft.squareness)) +
                                deep * (section.deep * superellipse(std::sin(angle), loft.squareness));
            double swell = 0;
            for (const FigureBump& bump : loft.bumps) {
                const double da = (at - bump.at) / bump.spread_at;
                const double turn = std::remainder(angle - bump.angle, 2 * std::numbers::pi) / bump.spread_angle;
                swell += bump.height * std::exp(-da * da - turn * turn);
            }
            const Vec3 p = centre + offset + normalized(offset) * swell;
            mesh.add_vertex(p, {static_cast<double>(i) / segments, at});
        }
    }
    auto ring = [&](int r, int i) { return first + r * segments + (i % segments); };
    for (int r = 0; r + 1 < loft.rings; ++r) {
        for (int i = 0; i < segments; ++i) {
            add_face(figure, quad(ring(r, i), ring(r, i + 1), ring(r + 1, i + 1), ring(r + 1, i)), false, i);
        }
    }
    auto close = [&](int r, FigureEnd end, bool forward) {
        if (end == FigureEnd::zip) {
            add_zip(figure, ring(r, 0), segments, forward, false);
            return;
        }
        const Vec3 pole = forward ? end_centre + end_tangent * loft.pole_gap : start_centre - start_tangent * loft.pole_gap;
        const int p = mesh.add_vertex(pole, {0.5, forward ? 1.0 : 0.0});
        for (int i = 0; i < segments; ++i) {
            add_face(figure, forward ? tri(ring(r, i), ring(r, i + 1), p) : tri(ring(r, i + 1), ring(r, i), p), false);
        }
    };
    close(0, loft.start, false);
    close(loft.rings - 1, loft.end, true);
    for (int r : loft.bands) add_zip(figure, ring(r, 0), segments, true, true);
    ++figure.parts;
}

Vec3 figure_face_normal(const Mesh& mesh, const Polygon& face) {
    const int corners = face[3] < 0 ? 3 : 4;
    Vec3 sum{};
    for (int k = 1; k + 1 < corners; ++k) {
        sum = sum + cross(mesh.vertices[face[k]] - mesh.vertices[face[0]], mesh.vertices[face[k + 1]] - mesh.vertices[face[0]]);
    }
    return normalized(sum);
}

void figure_split_quads(FigureMesh& figure, int keep) {
    const std::vector<Polygon>& faces = figure.mesh.faces;
    std::vector<double> rank(faces.size(), 0);
    std::vector<std::size_t> skin_quads;
    for (int p = 0; p < figure.parts; ++p) {
        std::vector<std::vector<std::size_t>> columns;
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if (figure.part[f] != p || figure.column[f] < 0 || faces[f][3] < 0) continue;
            const std::size_t c = static_cast<std::size_t>(figure.column[f]);
            if (columns.size() <= c) columns.resize(c + 1);
            columns[c].push_back(f);
        }
        if (columns.empty()) continue;
        std::vector<double> mean(columns.size(), 0);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            for (std::size_t f : columns[c]) {
                mean[c] += std::abs(figure_face_normal(figure.mesh, faces[f]).z) / static_cast<double>(columns[c].size());
            }
        }
        // Column c starts at the ring line of vertex c, shared with column c - 1.
        std::vector<std::size_t> order(columns.size());
        std::vector<double> line(columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            order[c] = c;
            line[c] = mean[c] + mean[(c + columns.size() - 1) % columns.size()];
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return line[a] < line[b]; });
        std::size_t total = 0, k = 0;
        for (const auto& column : columns) total += column.size();
        for (std::size_t c : order) {
            for (std::size_t f : columns[c]) {
                rank[f] = (static_cast<double>(k++) + 0.5) / static_cast<double>(total);
                skin_quads.push_back(f);
            }
        }
    }
    std::stable_sort(skin_quads.begin(), skin_quads.end(), [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
    std::vector<bool> split(faces.size(), false);
    for (std::size_t f = 0; f < faces.size(); ++f) split[f] = faces[f][3] >= 0 && figure.column[f] < 0;
    for (std::size_t k = static_cast<std::size_t>(std::max(keep, 0)); k < skin_quads.size(); ++k) split[skin_quads[k]] = true;
    FigureMesh result{figure.mesh, {}, {}, {}, figure.parts};
    result.mesh.faces.clear();
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Polygon& q = faces[f];
        const int copies = split[f] ? 2 : 1;
        if (split[f]) {
            result.mesh.faces.push_back(tri(q[0], q[1], q[2]));
            result.mesh.faces.push_back(tri(q[0], q[2], q[3]));
        } else {
            result.mesh.faces.push_back(q);
        }
        result.part.insert(result.part.end(), copies, figure.part[f]);
        result.column.insert(result.column.end(), copies, figure.column[f]);
        result.band.insert(result.band.end(), copies, figure.band[f]);
    }
    figure = std::move(result);
}

void figure_order_for_every_third(FigureMesh& figure) {
    const Mesh& mesh = figure.mesh;
    const std::size_t count = mesh.faces.size();
    const std::size_t drawn = count / 3;
    std::vector<Vec3> centre(count);
    std::vector<std::size_t> contour;
    for (std::size_t f = 0; f < count; ++f) {
        const Polygon& face = mesh.faces[f];
        const int corners = face[3] < 0 ? 3 : 4;
        for (int k = 0; k < corners; ++k) centre[f] = centre[f] + mesh.vertices[face[k]] * (1.0 / corners);
        if (!figure.band[f] && std::abs(figure_face_normal(mesh, face).z) < 0.35) contour.push_back(f);
    }
    std::vector<bool> taken(count, false);
    std::vector<std::size_t> chosen;
    auto take = [&](std::size_t f) {
        taken[f] = true;
        chosen.push_back(f);
    };

    // The contour in farthest-point order, starting at the top of the head, so that
    // even a short prefix outlines the whole figure.  A quarter of the drawn faces is
    // enough for the outline; the rest fill in the body.
    const std::size_t outline = std::min(contour.size(), drawn / 4);
    std::vector<double> nearest(count, std::numeric_limits<double>::infinity());
    if (outline > 0) {
        std::size_t top = contour.front();
        for (std::size_t f : contour) if (centre[f].y > centre[top].y) top = f;
        take(top);
        while (chosen.size() < outline) {
            const Vec3 last = centre[chosen.back()];
            std::size_t best = count;
            for (std::size_t f : contour) {
                if (taken[f]) continue;
                const double dx = centre[f].x - last.x, dy = centre[f].y - last.y;
                nearest[f] = std::min(nearest[f], dx * dx + dy * dy);
                if (best == count || nearest[f] > nearest[best]) best = f;
            }
            take(best);
        }
    }

    // Then the faces that reach the most vertices not drawn yet.
    std::vector<bool> drawn_vertex(mesh.vertices.size(), false);
    auto corners_of = [&](std::size_t f) { return mesh.faces[f][3] < 0 ? 3 : 4; };
    for (std::size_t f : chosen) for (int k = 0; k < 3; ++k) drawn_vertex[mesh.faces[f][k]] = true;
    while (chosen.size() < drawn) {
        std::size_t best = count;
        int best_new = -1;
        for (std::size_t f = 0; f < count; ++f) {
            if (taken[f]) continue;
            int fresh = 0;
            for (int k = 0; k < 3 && k < corners_of(f); ++k) fresh += drawn_vertex[mesh.faces[f][k]] ? 0 : 1;
            if (fresh > best_new) best = f, best_new = fresh;
        }
        for (int k = 0; k < 3; ++k) drawn_vertex[mesh.faces[best][k]] = true;
        take(best);
    }

    FigureMesh result{mesh, {}, {}, {}, figure.parts};
    result.mesh.faces.clear();
    std::size_t next_drawn = 0, next_other = 0;
    for (std::size_t position = 0; position < count; ++position) {
        std::size_t f;
        if (position % 3 == 2 && next_drawn < chosen.size()) {
            f = chosen[next_drawn++];
        } else {
            while (taken[next_other]) ++next_other;
            f = next_other++;
        }
        result.mesh.faces.push_back(mesh.faces[f]);
        result.part.push_back(figure.part[f]);
        result.column.push_back(figure.column[f]);
        result.band.push_back(figure.band[f]);
    }
    figure = std::move(result);
}

}  // namespace modelgen
