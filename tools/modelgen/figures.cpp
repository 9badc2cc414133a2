// Models 7, 9 and 11: standing human figures.
//
// The show draws a figure three ways, and each model is laid out for the ways it meets:
//  - as dots (the corners of every second face, of which only the first 960 of a frame are
//    heard): the skin comes first, part by part and ring by ring along each part, coarse
//    before fine, so that the heard dots reach from head to feet and the beam's path runs
//    along the body (which the show's low-pass then keeps as the body's shape);
//  - as an outline (the edges of exactly one stored triangle, a quad stored as its first
//    three corners): no edge of the skin is single, and the outline is a frontal section
//    of the body, a plate whose boundary is the silhouette and whose holes are the eyes,
//    the mouth, the belt and the knees;
//  - as notes (model 11: the corners of every third face, of which a note shows the first
//    128 or 192, or every other one of the first 768): those faces trace the silhouette,
//    then the features, then the silhouette again.
#include <algorithm>
#include <array>
#include <map>
#include <numbers>
#include <string>
#include <utility>

#include "exact_math.hpp"
#include "figures_body.hpp"
#include "models.hpp"
#include "text_outline.hpp"

namespace modelgen {

namespace {

constexpr double pi = std::numbers::pi;

// The order in which the dots visit the parts, and which way along each, so that the
// beam's jumps between parts stay short: down the head and the torso, down one leg and up
// the other, then out along each arm.
struct Visit {
    int part;
    bool outwards;
};
constexpr std::array<Visit, 8> kVisits{{{head_part, false},
                                        {torso_part, false},
                                        {left_leg, true},
                                        {left_foot, true},
                                        {right_foot, false},
                                        {right_leg, false},
                                        {right_arm, true},
                                        {left_arm, true}}};

// Rings and segments of each part, in the pose's part order.
struct SkinDetail {
    std::array<int, 8> rings, segments;
};

// The features: each a slot in the section, so that its edge shows as a short closed line
// on the figure (x, y in the body frame seen from the front; z its depth for the notes).
struct Feature {
    double x, y, half_width, half_height, z;
};
constexpr std::array<Feature, 6> kFeatures{{{-3.1, 168.5, 1.3, 0.8, 8.5},    // eyes
                                            {3.1, 168.5, 1.3, 0.8, 8.5},
                                            {0, 161.8, 2.2, 0.5, 8.0},       // mouth
                                            {0, 109.0, 12.0, 0.9, 9.4},      // belt
                                            {-9.3, 54.0, 3.0, 0.6, 6.2},     // knees
                                            {9.3, 54.0, 3.0, 0.6, 6.2}}};

// The feature as a loop of `points` points (a diamond for 4, else an ellipse), starting
// at its left end and running counter-clockwise.
std::vector<Vec3> feature_loop(const Feature& f, int points) {
    std::vector<Vec3> loop;
    for (int k = 0; k < points; ++k) {
        const double a = pi + 2 * pi * k / points;
        loop.push_back({f.x + f.half_width * exact_cos(a), f.y + f.half_height * exact_sin(a), f.z});
    }
    return loop;
}

// The section: the front outline of `points` points with the features as holes (four
// points each), triangulated, on the vertical plane through (0, `depth`) in x–z turned by
// `yaw` (radians, +x towards -z) from facing the front.  Appends its vertices and returns
// its faces.
std::vector<Polygon> add_section(Mesh& mesh, const BodyPose& pose, int points, double depth, double yaw) {
    const std::vector<Vec3> outline = front_outline(pose, points);
    TextPiece piece;
    std::vector<Vec3> at = outline;
    for (const Vec3& p : outline) piece.outer.points.push_back({p.x, p.y});
    for (const Feature& f : kFeatures) {
        TextContour hole;
        // Clockwise, as a hole runs.
        std::vector<Vec3> loop = feature_loop(f, 4);
        std::reverse(loop.begin(), loop.end());
        for (const Vec3& p : loop) hole.points.push_back({p.x, p.y});
        piece.holes.push_back(hole);
        at.insert(at.end(), loop.begin(), loop.end());
    }
    const int first = static_cast<int>(mesh.vertices.size());
    const double c = exact_cos(yaw), s = exact_sin(yaw);
    for (const Vec3& p : at) mesh.add_vertex({p.x * c, p.y, depth - p.x * s}, {0.5, 0.5});
    std::vector<Polygon> faces;
    for (const auto& t : text_triangulate(piece)) faces.push_back(tri(first + t[0], first + t[1], first + t[2]));
    return faces;
}

// The middle of the mesh's depth so far.
double middle_depth(const Mesh& mesh) {
    const Bounds b = bounds(mesh);
    return (b.min.z + b.max.z) / 2;
}

// The generator stops rather than write a model the show cannot use.
void expect_counts(const Mesh& mesh, std::size_t vertices, std::size_t triangles, std::size_t quads) {
    const Counts c = counts(mesh);
    if (c.vertices != vertices || c.triangles != triangles || c.quads != quads) {
        fail(mesh.title + " has " + std::to_string(c.vertices) + " vertices, " + std::to_string(c.triangles) +
             " triangles and " + std::to_string(c.quads) + " quads, not " + std::to_string(vertices) + ", " +
             std::to_string(triangles) + " and " + std::to_string(quads));
    }
}

Mesh finish(Mesh mesh, const char* title, const Bounds& box) {
    mesh.title = title;
    mesh.objects = {{"figure", 0, 0}};
    fit_to_bounds(mesh, box);
    return mesh;
}

// The closed skin of every part, its cells in visiting order: every other band of each
// part first, then the rest.
struct Skin {
    std::vector<Tube> tubes;
    std::vector<Cell> first_pass, second_pass;
    std::vector<Polygon> caps;
};

Skin add_skin(Mesh& mesh, const BodyPose& pose, const SkinDetail& detail) {
    Skin skin;
    for (std::size_t p = 0; p < pose.parts.size(); ++p)
        skin.tubes.push_back(add_tube(mesh, pose.parts[p], detail.rings[p], detail.segments[p]));
    for (int pass = 0; pass < 2; ++pass)
        for (const Visit& v : kVisits)
            for (const Cell& c : visit_cells(skin.tubes[static_cast<std::size_t>(v.part)].grid, v.outwards, pass))
                (pass == 0 ? skin.first_pass : skin.second_pass).push_back(c);
    for (const Visit& v : kVisits)
        for (const Polygon& f : cap_faces(skin.tubes[static_cast<std::size_t>(v.part)])) skin.caps.push_back(f);
    return skin;
}

// A cell as its two stored triangles a b c and c d a: two triangles, or the quad a b c d
// and the triangle c d a.
void add_cell(std::vector<Polygon>& faces, const Cell& c, bool as_quad) {
    faces.push_back(as_quad ? quad(c.a, c.b, c.c, c.d) : tri(c.a, c.b, c.c));
    faces.push_back(tri(c.c, c.d, c.a));
}

// A stored triangle written as a quad: turned so that its edge c a is shared with a
// neighbour, whose third corner becomes the quad's fourth (the loader keeps a b c).
std::vector<Polygon> as_quads(const std::vector<Polygon>& triangles, std::size_t keep_triangles) {
    std::map<std::pair<int, int>, std::vector<std::size_t>> by_edge;
    for (std::size_t t = 0; t < triangles.size(); ++t)
        for (int k = 0; k < 3; ++k) {
            const int a = triangles[t][static_cast<std::size_t>(k)];
            const int b = triangles[t][static_cast<std::size_t>((k + 1) % 3)];
            by_edge[{std::min(a, b), std::max(a, b)}].push_back(t);
        }
    std::vector<Polygon> out;
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        const Polygon& f = triangles[t];
        Polygon written = f;
        if (t >= keep_triangles) {
            for (int k = 0; k < 3; ++k) {
                const int a = f[static_cast<std::size_t>(k)], b = f[static_cast<std::size_t>((k + 1) % 3)];
                const int c = f[static_cast<std::size_t>((k + 2) % 3)];
                const std::vector<std::size_t>& sharing = by_edge[{std::min(c, a), std::max(c, a)}];
                if (sharing.size() < 2) continue;
                const Polygon& n = triangles[sharing[0] == t ? sharing[1] : sharing[0]];
                int d = n[0];
                for (int corner : {n[0], n[1], n[2]})
                    if (corner != a && corner != c) d = corner;
                written = quad(a, b, c, d);
                break;
            }
        }
        out.push_back(written);
    }
    return out;
}

// A quad for both of its sides: a b c d and c b a d, each stored as the same triangle, so
// none of its edges is single.
void add_both_sides(Mesh& mesh, const Cell& c) {
    mesh.faces.push_back(quad(c.a, c.b, c.c, c.d));
    mesh.faces.push_back(quad(c.c, c.b, c.a, c.d));
}

// Strips along a part, both sides listed: the columns of its ring grid (all, or those of
// `parity`), each with the vertices of its two meridians to itself, in visiting order.
// A strip of r rings has 2r vertices and 2(r - 1) faces.  Returns the number of strips.
int add_strips(Mesh& mesh, const std::vector<std::vector<Vec3>>& rings, bool outwards, int parity) {
    const RingGrid grid{0, static_cast<int>(rings.size()), static_cast<int>(rings.front().size())};
    int strips = 0, column = -1;
    std::map<int, int> own;
    for (const Cell& c : visit_cells(grid, outwards, parity)) {
        if (c.column != column) own.clear(), column = c.column, ++strips;
        auto vertex = [&](int shared) {
            const auto found = own.find(shared);
            if (found != own.end()) return found->second;
            const int r = shared / grid.segments, s = shared % grid.segments;
            return own[shared] = mesh.add_vertex(rings[static_cast<std::size_t>(r)][static_cast<std::size_t>(s)],
                                                 {static_cast<double>(s) / grid.segments,
                                                  static_cast<double>(r) / (grid.rings - 1)});
        };
        add_both_sides(mesh, {vertex(c.a), vertex(c.b), vertex(c.c), vertex(c.d)});
    }
    return strips;
}

}  // namespace

// The detailed figure has about as many faces as vertices, so its skin is made of pieces
// with both sides listed (each quad twice, a b c d and c b a d, one stored triangle twice:
// no single edge).  First come coarse strips along each part, every other column of a
// coarse grid, for the dots; then the skin: strips along every part but the head, whose
// skin is one piece, and the crown, a fan; the section last.  A strip has two vertices
// more than faces and the head's piece faces to spare; the crown's segments settle the
// count.
Mesh make_model_7() {
    const BodyPose pose = pose_arms_bent_upward();
    const SkinDetail coarse{{8, 10, 11, 11, 12, 12, 5, 5}, {10, 16, 8, 8, 8, 8, 8, 8}};
    const SkinDetail fine{{13, 21, 17, 17, 18, 18, 9, 9}, {26, 30, 12, 12, 14, 14, 12, 12}};
    Mesh mesh;
    int strips = 0;
    for (const Visit& v : kVisits) {
        const std::size_t p = static_cast<std::size_t>(v.part);
        strips += add_strips(mesh, part_rings(pose.parts[p], coarse.rings[p], coarse.segments[p]), v.outwards, 0);
    }
    int balance = 31 - (2 * static_cast<int>(kFeatures.size()) - 2);
    for (const Visit& v : kVisits) {
        const std::size_t p = static_cast<std::size_t>(v.part);
        const std::vector<std::vector<Vec3>> rings = part_rings(pose.parts[p], fine.rings[p], fine.segments[p]);
        if (v.part != head_part) {
            strips += add_strips(mesh, rings, v.outwards, -1);
            continue;
        }
        const RingGrid grid = add_rings(mesh, rings);
        for (int band = 0; band + 1 < grid.rings; ++band)
            for (const Cell& c : band_cells(grid, band)) add_both_sides(mesh, c);
        balance -= (grid.rings - 2) * grid.segments;
    }
    balance += 2 * strips;
    // The crown: a fan over the top of the head with a ring of its own.
    const int crown_segments = balance + 1;
    if (crown_segments < 8 || 2 * crown_segments > 66)
        fail("the detailed figure's crown would have " + std::to_string(crown_segments) + " segments");
    const BodyPart& head = pose.parts[head_part];
    const RingGrid crown = add_rings(mesh, {part_ring(head, 0.97, crown_segments, 0)});
    const int pole = mesh.add_vertex(part_centre(head, 1.0) + Vec3{0, 0.3, 0}, {0.5, 1});
    for (int i = 0; i < crown.segments; ++i) {
        mesh.faces.push_back(tri(crown.vertex(0, i), crown.vertex(0, i + 1), pole));
        mesh.faces.push_back(tri(crown.vertex(0, i + 1), crown.vertex(0, i), pole));
    }
    // The section takes the vertices left.
    const int points = 4685 - static_cast<int>(mesh.vertices.size()) - 4 * static_cast<int>(kFeatures.size());
    // The show sees this figure's outline largest towards the end of its turn, when the
    // front of the body has turned about 50 degrees from the viewer: the section faces
    // that way, so the outline shows whole then.
    const double depth = middle_depth(mesh);
    const std::vector<Polygon> section = add_section(mesh, pose, points, depth, 50 * pi / 180);
    for (const Polygon& f : as_quads(section, static_cast<std::size_t>(66 - 2 * crown_segments)))
        mesh.faces.push_back(f);
    mesh = finish(mesh, "standing figure, arms bent upward", {{-28.92, -97.68, -135.64}, {28.60, 82.77, -88.24}});
    expect_counts(mesh, 4685, 66, 4650);
    return mesh;
}

Mesh make_model_9() {
    const SkinDetail detail{{7, 9, 9, 9, 8, 8, 4, 4}, {11, 12, 8, 8, 8, 8, 8, 8}};
    Mesh mesh;
    const Skin skin = add_skin(mesh, pose_arms_away(), detail);
    int quads = 185;
    for (const Cell& c : skin.first_pass) add_cell(mesh.faces, c, false);
    for (const Cell& c : skin.second_pass) add_cell(mesh.faces, c, quads-- > 0);
    for (const Polygon& f : skin.caps) mesh.faces.push_back(f);
    const double depth = middle_depth(mesh);
    for (const Polygon& f : add_section(mesh, pose_arms_away(), 143, depth, 0)) mesh.faces.push_back(f);
    mesh = finish(mesh, "low-detail standing figure, arms held away from the body",
                  {{-57.66, -88.46, -138.74}, {57.58, 83.06, -109.18}});
    expect_counts(mesh, 704, 1034, 185);
    return mesh;
}

Mesh make_model_11() {
    const BodyPose pose = pose_arms_bent_upward();
    Mesh mesh;
    // The note figure's trace: the corners of faces 3, 6, 9, … in turn.
    const std::vector<Vec3> outline = front_outline(pose, 128);
    std::vector<int> trace;
    for (const Vec3& p : outline) trace.push_back(mesh.add_vertex(p, {0.5, 0.5}));
    const int loop_points[kFeatures.size()] = {8, 8, 8, 30, 8, 8};
    for (std::size_t f = 0; f < kFeatures.size(); ++f)
        for (const Vec3& p : feature_loop(kFeatures[f], loop_points[f]))
            trace.push_back(mesh.add_vertex(p, {0.5, 0.5}));
    // After the features the silhouette again, which a low note shows every other point of.
    for (int k = 0; static_cast<int>(trace.size()) < 768; ++k)
        trace.push_back(trace[static_cast<std::size_t>((k + 1) % 128)]);

    const SkinDetail detail{{7, 9, 9, 9, 8, 8, 4, 4}, {10, 12, 8, 8, 7, 7, 7, 7}};
    const Skin skin = add_skin(mesh, pose, detail);
    std::vector<Polygon> skin_faces;
    int quads = 168;
    for (const std::vector<Cell>* cells : {&skin.first_pass, &skin.second_pass})
        for (const Cell& c : *cells) add_cell(skin_faces, c, quads-- > 0);
    skin_faces.insert(skin_faces.end(), skin.caps.begin(), skin.caps.end());
    std::size_t next = 0;
    for (std::size_t k = 0; k + 2 < trace.size(); k += 3) {
        mesh.faces.push_back(skin_faces.at(next++));
        mesh.faces.push_back(skin_faces.at(next++));
        mesh.faces.push_back(tri(trace[k], trace[k + 1], trace[k + 2]));
    }
    while (next < skin_faces.size()) mesh.faces.push_back(skin_faces[next++]);
    mesh = finish(mesh, "low-detail standing figure, arms bent upward",
                  {{-29.01, -97.73, -135.68}, {28.71, 82.63, -88.29}});
    expect_counts(mesh, 704, 1068, 168);
    return mesh;
}

}  // namespace modelgen
