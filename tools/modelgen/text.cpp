// Models 1, 2, 3 (title texts) and 6 (logo outline).
//
// A title is a word of lumo's vector alphabet, extruded: a front cap, a back cap and
// side walls.  The scope shows a title as dots at the corners of every second or third
// face, so the outlines are resampled evenly and every wall quad's triangles carry its
// outline points.  The walls get their own vertices, split at the sharpest corners, so
// that the caps stay flat and the corners crisp in the normals.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "exact_math.hpp"
#include "models.hpp"
#include "text_outline.hpp"

namespace modelgen {

namespace {

[[noreturn]] void text_fail(const std::string& what) {
    std::fprintf(stderr, "lumo-modelgen: %s\n", what.c_str());
    std::exit(1);
}

// A flat ribbon drawn as a triangle strip through `points`, alternately on its lower and
// upper edge: an underline or a trace under a title.
struct TextRibbon {
    std::vector<TextPoint> points;
};

struct TextTitle {
    std::string word;
    double gap = 1.2;       // between letters
    double depth = 2.5;     // of the extrusion
    double tilt = 0;        // about x, radians; the top leans back
    TextRibbon ribbon;      // may be empty
    std::string title;      // first comment line
    std::string name;       // object name
    Counts want;            // vertices, faces (all triangles)
    Bounds bounds;
};

double word_width(const std::string& word, double gap) {
    double x = 0;
    for (char c : word) x += text_letter(c).width + gap;
    return x - gap;
}

std::vector<TextPiece> layout(const std::string& word, double gap) {
    std::vector<TextPiece> pieces;
    double x = 0;
    for (char c : word) {
        const TextLetter letter = text_letter(c);
        for (const TextPiece& piece : letter.pieces) pieces.push_back(text_translated(piece, x, 0));
        x += letter.width + gap;
    }
    for (TextPiece& piece : pieces) text_orient(piece);
    return pieces;
}

double turning(const TextContour& contour, std::size_t i) {
    const std::size_t n = contour.points.size();
    const TextPoint a = contour.points[(i + n - 1) % n], b = contour.points[i], c = contour.points[(i + 1) % n];
    const double in = exact_atan2(b.y - a.y, b.x - a.x), out = exact_atan2(c.y - b.y, c.x - b.x);
    double d = std::abs(out - in);
    if (d > std::numbers::pi) d = 2 * std::numbers::pi - d;
    return d;
}

// Chooses which outline points split the walls: each contour's sharpest point, then the
// sharpest of the rest until there are `splits` in all.
std::vector<std::vector<bool>> choose_splits(const std::vector<TextContour*>& contours, int splits) {
    struct Candidate {
        double turn;
        std::size_t contour, point;
    };
    std::vector<std::vector<bool>> chosen;
    std::vector<Candidate> rest;
    for (std::size_t c = 0; c < contours.size(); ++c) {
        const TextContour& contour = *contours[c];
        chosen.emplace_back(contour.points.size(), false);
        std::size_t sharpest = 0;
        for (std::size_t i = 1; i < contour.points.size(); ++i)
            if (turning(contour, i) > turning(contour, sharpest) + 1e-9) sharpest = i;
        chosen[c][sharpest] = true;
        for (std::size_t i = 0; i < contour.points.size(); ++i)
            if (i != sharpest) rest.push_back({turning(contour, i), c, i});
    }
    const int extra = splits - static_cast<int>(contours.size());
    if (extra < 0 || extra > static_cast<int>(rest.size())) text_fail("cannot split the walls as asked");
    std::stable_sort(rest.begin(), rest.end(),
                     [](const Candidate& a, const Candidate& b) { return a.turn > b.turn + 1e-9; });
    for (int k = 0; k < extra; ++k) chosen[rest[k].contour][rest[k].point] = true;
    return chosen;
}

// Extrudes the pieces from z = 0 (front) back to z = -depth.  Caps take uvs from the
// letters' plane, walls from the length along the outline and the depth.
Mesh extrude(const std::vector<TextPiece>& pieces, double depth, int splits) {
    Mesh mesh;
    double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
    for (const TextPiece& piece : pieces)
        for (const TextPoint& p : piece.outer.points) {
            min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
        }
    const double span = std::max(max_x - min_x, max_y - min_y);
    auto plane_uv = [&](TextPoint p) { return Vec2{(p.x - min_x) / span, (p.y - min_y) / span}; };

    std::vector<TextPiece> all = pieces;
    std::vector<TextContour*> contours;
    for (TextPiece& piece : all) {
        contours.push_back(&piece.outer);
        for (TextContour& hole : piece.holes) contours.push_back(&hole);
    }
    const std::vector<std::vector<bool>> split = choose_splits(contours, splits);

    std::size_t contour_index = 0;
    for (const TextPiece& piece : all) {
        std::vector<TextPoint> points = piece.outer.points;
        for (const TextContour& hole : piece.holes) points.insert(points.end(), hole.points.begin(), hole.points.end());
        const std::vector<std::array<int, 3>> cap = text_triangulate(piece);
        const int front = static_cast<int>(mesh.vertices.size());
        for (const TextPoint& p : points) mesh.add_vertex({p.x, p.y, 0}, plane_uv(p));
        const int back = static_cast<int>(mesh.vertices.size());
        for (const TextPoint& p : points) mesh.add_vertex({p.x, p.y, -depth}, plane_uv(p));
        for (const auto& t : cap) mesh.faces.push_back(tri(front + t[0], front + t[1], front + t[2]));
        for (const auto& t : cap) mesh.faces.push_back(tri(back + t[0], back + t[2], back + t[1]));

        const std::size_t contours_here = 1 + piece.holes.size();
        for (std::size_t k = 0; k < contours_here; ++k, ++contour_index) {
            const TextContour& contour = *contours[contour_index];
            const std::vector<bool>& cut = split[contour_index];
            const std::size_t n = contour.points.size();
            const std::size_t first = static_cast<std::size_t>(std::find(cut.begin(), cut.end(), true) - cut.begin());
            const double length = text_length(contour);
            // The wall's ring: every point once, a split point twice (end of one run,
            // start of the next), the first point again at the end.
            std::vector<std::size_t> ring;
            std::vector<double> along;
            double s = 0;
            for (std::size_t j = 0; j <= n; ++j) {
                const std::size_t i = (first + j) % n;
                if (j > 0) {
                    const TextPoint a = contour.points[(first + j - 1) % n], b = contour.points[i];
                    s += exact_hypot(b.x - a.x, b.y - a.y);
                }
                ring.push_back(i);
                along.push_back(s);
                if (j > 0 && j < n && cut[i]) {
                    ring.push_back(i);
                    along.push_back(s);
                }
            }
            const int wall_front = static_cast<int>(mesh.vertices.size());
            for (std::size_t e = 0; e < ring.size(); ++e) {
                const TextPoint p = contour.points[ring[e]];
                mesh.add_vertex({p.x, p.y, 0}, {along[e] / length, 0});
            }
            const int wall_back = static_cast<int>(mesh.vertices.size());
            for (std::size_t e = 0; e < ring.size(); ++e) {
                const TextPoint p = contour.points[ring[e]];
                mesh.add_vertex({p.x, p.y, -depth}, {along[e] / length, 1});
            }
            for (std::size_t e = 0; e + 1 < ring.size(); ++e) {
                if (ring[e] == ring[e + 1]) continue;  // the two sides of a split
                const int f0 = wall_front + static_cast<int>(e), f1 = f0 + 1;
                const int b0 = wall_back + static_cast<int>(e), b1 = b0 + 1;
                mesh.faces.push_back(tri(f0, b1, f1));
                mesh.faces.push_back(tri(f0, b0, b1));
            }
        }
    }
    return mesh;
}

void add_ribbon(Mesh& mesh, const TextRibbon& ribbon) {
    if (ribbon.points.empty()) return;
    double min_x = 1e300, max_x = -1e300;
    for (const TextPoint& p : ribbon.points) min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
    const int first = static_cast<int>(mesh.vertices.size());
    for (std::size_t i = 0; i < ribbon.points.size(); ++i) {
        const TextPoint p = ribbon.points[i];
        mesh.add_vertex({p.x, p.y, 0}, {(p.x - min_x) / (max_x - min_x), static_cast<double>(i % 2)});
    }
    // Alternate the corner order so that every triangle faces the front.
    for (int i = 0; i + 2 < static_cast<int>(ribbon.points.size()); ++i) {
        if (i % 2 == 0) {
            mesh.faces.push_back(tri(first + i, first + i + 1, first + i + 2));
        } else {
            mesh.faces.push_back(tri(first + i, first + i + 2, first + i + 1));
        }
    }
}

void check_counts(const Mesh& mesh, const Counts& want, const std::string& name) {
    const Counts have = counts(mesh);
    if (have.vertices != want.vertices || have.faces != want.faces || have.quads != want.quads) {
        text_fail(name + ": " + std::to_string(have.vertices) + " vertices, " + std::to_string(have.faces) +
                  " faces, " + std::to_string(have.quads) + " quads; want " + std::to_string(want.vertices) + ", " +
                  std::to_string(want.faces) + ", " + std::to_string(want.quads));
    }
}

// The outline points and wall splits follow from the counts: with N outline points, H
// holes and P pieces the caps and walls have 4N + 4H - 4P triangles on 4N + 2S vertices
// for S splits; a ribbon of r points adds r - 2 triangles on r vertices.
Mesh make_title(const TextTitle& recipe) {
    std::vector<TextPiece> pieces = layout(recipe.word, recipe.gap);
    int holes = 0;
    for (const TextPiece& piece : pieces) holes += static_cast<int>(piece.holes.size());
    const int count = static_cast<int>(pieces.size());
    const int ribbon = static_cast<int>(recipe.ribbon.points.size());
    const int ribbon_faces = ribbon > 0 ? ribbon - 2 : 0;
    const int faces = static_cast<int>(recipe.want.faces) - ribbon_faces - 4 * holes + 4 * count;
    const int vertices = static_cast<int>(recipe.want.vertices) - ribbon;
    if (faces % 4 != 0) text_fail(recipe.name + ": the face count cannot be met");
    const int points = faces / 4;
    if ((vertices - 4 * points) % 2 != 0) text_fail(recipe.name + ": the vertex count cannot be met");
    const int splits = (vertices - 4 * points) / 2;
    text_resample(pieces, points);

    Mesh mesh = extrude(pieces, recipe.depth, splits);
    add_ribbon(mesh, recipe.ribbon);
    const double c = exact_cos(recipe.tilt), s = exact_sin(recipe.tilt);
    for (Vec3& v : mesh.vertices) v = {v.x, v.y * c + v.z * s, -v.y * s + v.z * c};
    mesh.title = recipe.title;
    mesh.objects = {{recipe.name, 0, 0}};
    mesh.smooth = false;
    fit_to_bounds(mesh, recipe.bounds);
    check_counts(mesh, recipe.want, recipe.name);
    return mesh;
}

// A straight ribbon of `quads` quads under the letters.
TextRibbon underline(double from, double to, double top, double bottom, int quads) {
    TextRibbon ribbon;
    for (int i = 0; i <= quads; ++i) {
        const double x = from + (to - from) * i / quads;
        ribbon.points.push_back({x, bottom});
        ribbon.points.push_back({x, top});
    }
    return ribbon;
}

// A sine trace, `points` strip points over `waves` periods.
TextRibbon trace(double from, double to, double middle, double height, double thickness, double waves, int points) {
    TextRibbon ribbon;
    for (int i = 0; i < points; ++i) {
        const double x = from + (to - from) * i / (points - 1);
        const double y = middle + height * exact_sin(2 * std::numbers::pi * waves * (x - from) / (to - from));
        ribbon.points.push_back({x, y + (i % 2 == 0 ? -thickness / 2 : thickness / 2)});
    }
    return ribbon;
}

}  // namespace

Mesh make_model_1() {
    TextTitle recipe;
    recipe.word = "LUMOSHOW";
    recipe.gap = 1.3;
    recipe.depth = 0.5;
    recipe.tilt = 0.9;
    recipe.ribbon = underline(0, word_width(recipe.word, recipe.gap), -1.6, -2.5, 11);
    recipe.title = "lumo title: LUMOSHOW, underlined, leaning back";
    recipe.name = "title_lumoshow";
    recipe.want = {760, 630, 630, 0};
    recipe.bounds = {{-70.26, 27.07, -11.29}, {35.65, 54.90, 28.50}};
    return make_title(recipe);
}

Mesh make_model_2() {
    TextTitle recipe;
    recipe.word = "OSC";
    recipe.gap = 1.0;
    recipe.depth = 0.5;
    recipe.tilt = 0.52;
    recipe.ribbon = trace(0, word_width(recipe.word, recipe.gap), -2.2, 0.9, 0.6, 1, 11);
    recipe.title = "lumo title: OSC over a sine trace, leaning back";
    recipe.name = "title_osc";
    recipe.want = {239, 197, 197, 0};
    recipe.bounds = {{18.80, -12.77, 25.50}, {53.02, 7.17, 38.86}};
    return make_title(recipe);
}

Mesh make_model_3() {
    TextTitle recipe;
    recipe.word = "oscillator";
    recipe.gap = 1.0;
    recipe.depth = 0.6;
    recipe.tilt = 1.0;
    recipe.title = "lumo title: oscillator, leaning back";
    recipe.name = "title_oscillator";
    recipe.want = {1032, 856, 856, 0};
    recipe.bounds = {{-72.83, -60.46, -5.05}, {74.46, -24.74, 49.06}};
    return make_title(recipe);
}

// The logo: lumo's L and M as flat ten-cornered plates, each over a slanted bar of its own.
// The show draws it as an outline, so each plate and each bar is one closed loop of edges;
// the inner diagonals are shared by two triangles and stay dark.
Mesh make_model_6() {
    struct Part {
        std::string name;
        std::vector<TextPoint> plate, bar;
    };
    const Part parts[] = {
        {"logo_l",
         {{1, 0}, {6, 0}, {7, 1}, {6, 2}, {2, 2}, {2, 9.5}, {1.5, 10}, {0.5, 10}, {0, 9.5}, {0, 1}},
         {{0, -3}, {6.2, -3}, {7, -1.8}, {0.8, -1.8}}},
        {"logo_m",
         {{8.5, 0}, {10.5, 0}, {10.5, 6}, {12.5, 3}, {14.5, 6}, {14.5, 0}, {16.5, 0}, {16.5, 10}, {12.5, 6},
          {8.5, 10}},
         {{8.5, -3}, {15.7, -3}, {16.5, -1.8}, {9.3, -1.8}}},
    };
    Mesh mesh;
    mesh.title = "lumo logo: L and M plates over slanted bars";
    auto uv = [](TextPoint p) { return Vec2{p.x / 17.5, (p.y + 3) / 17.5}; };
    for (const Part& part : parts) {
        mesh.objects.push_back({part.name, mesh.vertices.size(), mesh.faces.size()});
        TextPath plate;
        for (TextPoint p : part.plate) plate.corner(p.x, p.y);
        TextPiece piece{plate.contour, {}};
        text_orient(piece);
        const int first = static_cast<int>(mesh.vertices.size());
        for (TextPoint p : piece.outer.points) mesh.add_vertex({p.x, p.y, 0}, uv(p));
        for (const auto& t : text_triangulate(piece)) mesh.faces.push_back(tri(first + t[0], first + t[1], first + t[2]));
        const int bar = static_cast<int>(mesh.vertices.size());
        for (TextPoint p : part.bar) mesh.add_vertex({p.x, p.y, 0}, uv(p));
        mesh.faces.push_back(tri(bar, bar + 1, bar + 2));
        mesh.faces.push_back(tri(bar, bar + 2, bar + 3));
    }
    mesh.smooth = false;
    fit_to_bounds(mesh, {{-7.58, -4.90, -1.01}, {11.45, 8.81, -1.01}});
    check_counts(mesh, {28, 20, 20, 0}, "logo");
    return mesh;
}

}  // namespace modelgen
