// Models 1, 2, 3 (title texts) and 6 (logo outline).
//
// A title is a word of lumo's pen alphabet written as dots: the faces the show draws
// (every second or third) are small triangles whose corners follow the pen's path on the
// word's front, evenly spaced and in pen order, so the beam writes the word.  The faces
// the show skips carry the word's depth: they join those corners to points straight
// behind them, so the word keeps its box and turning only narrows it.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "core/convert.hpp"
#include "exact_math.hpp"
#include "models.hpp"
#include "text_outline.hpp"
#include "text_strokes.hpp"

namespace modelgen {

namespace {

struct TextTitle {
    std::string word;
    double gap = 1.2;          // between letters, letter units
    int every = 2;             // the show draws every `every`-th face
    // Consecutive drawn faces of a stroke share a corner (when the vertices do not reach
    // three apiece); otherwise each has three corners of its own.
    bool shared_corners = true;
    // Where the pen starts, letter units.  The beam jumps back there from the last stroke
    // once a frame: along the top or the baseline that jump reads as a rule, not a scratch.
    TextPoint pen_start{0, 10};
    std::string title;         // first comment line
    std::string name;          // object name
    Counts want;               // vertices, faces (all triangles)
    Bounds bounds;
};

// Half the sideways step between a drawn face's corners, letter units: enough that no
// face is flat, far below what the scope resolves.
constexpr double zigzag = 0.06;

// `total` shared out in proportion to `weights`, at least `floor` each, by largest
// remainders.
std::vector<int> apportion(const std::vector<double>& weights, int total, int floor) {
    double sum = 0;
    for (double w : weights) sum += w;
    std::vector<int> shares(weights.size());
    std::vector<double> remainder(weights.size());
    int given = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const double exact = total * weights[i] / sum;
        shares[i] = std::max(floor, lumo::saturating_cast<int>(std::floor(exact)));
        remainder[i] = exact - shares[i];
        given += shares[i];
    }
    while (given != total) {
        std::size_t pick = weights.size();
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (given > total && shares[i] <= floor) continue;
            // The first candidate is taken as it is; later ones must beat the one picked.
            if (pick == weights.size() ||
                (given < total ? remainder[i] > remainder[pick] : remainder[i] < remainder[pick])) {
                pick = i;
            }
        }
        if (pick == weights.size()) fail("cannot share out the title's dots");
        const int step = given < total ? 1 : -1;
        shares[pick] += step;
        remainder[pick] -= step;
        given += step;
    }
    return shares;
}

// The stroke's points, each moved sideways by `zigzag`, alternately left and right of the
// pen's path.
std::vector<TextPoint> zigzag_points(const TextStroke& stroke, int count) {
    const std::vector<TextPoint> at = stroke_points(stroke, count);
    const std::size_t n = at.size();
    std::vector<TextPoint> out;
    for (std::size_t i = 0; i < n; ++i) {
        const TextPoint before = i > 0 ? at[i - 1] : (stroke.closed ? at[n - 1] : at[i]);
        const TextPoint after = i + 1 < n ? at[i + 1] : (stroke.closed ? at[0] : at[i]);
        const double dx = after.x - before.x, dy = after.y - before.y;
        const double length = exact_hypot(dx, dy);
        const double side = (i % 2 == 0 ? zigzag : -zigzag) / length;
        out.push_back({at[i].x - dy * side, at[i].y + dx * side});
    }
    return out;
}

void check_counts(const Mesh& mesh, const Counts& want, const std::string& name) {
    const Counts have = counts(mesh);
    if (have.vertices != want.vertices || have.faces != want.faces || have.quads != want.quads) {
        fail(name + ": " + std::to_string(have.vertices) + " vertices, " + std::to_string(have.faces) +
                  " faces, " + std::to_string(have.quads) + " quads; want " + std::to_string(want.vertices) + ", " +
                  std::to_string(want.faces) + ", " + std::to_string(want.quads));
    }
}

Mesh make_title(const TextTitle& recipe) {
    const std::vector<TextStroke> strokes = stroke_word(recipe.word, recipe.gap, recipe.pen_start);
    const int faces = static_cast<int>(recipe.want.faces);
    const int drawn = faces / recipe.every;
    const int trailing = faces - drawn * recipe.every;

    std::vector<double> lengths;
    for (const TextStroke& stroke : strokes) lengths.push_back(stroke_length(stroke));
    const std::vector<int> drawn_faces = apportion(lengths, drawn, 1);
    std::vector<int> front(strokes.size());
    int fronts = 0;
    for (std::size_t s = 0; s < strokes.size(); ++s) {
        const int m = drawn_faces[s];
        front[s] = !recipe.shared_corners ? 3 * m : strokes[s].closed ? 2 * m : 2 * m + 1;
        fronts += front[s];
    }
    const int backs = static_cast<int>(recipe.want.vertices) - fronts;
    if (backs < static_cast<int>(strokes.size()) || backs > drawn)
        fail(recipe.name + ": the vertex count cannot be met");
    std::vector<double> weights(drawn_faces.begin(), drawn_faces.end());
    std::vector<int> back = apportion(weights, backs, 1);
    for (std::size_t s = 0; s < strokes.size(); ++s)
        if (back[s] > drawn_faces[s]) fail(recipe.name + ": too many points behind a stroke");

    double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
    for (const TextStroke& stroke : strokes)
        for (const TextPoint& p : stroke.line) {
            min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
        }
    const double span = std::max(max_x - min_x, max_y - min_y);
    auto uv = [&](TextPoint p) { return Vec2{(p.x - min_x) / span, (p.y - min_y) / span}; };
    constexpr double depth = 3.0;

    Mesh mesh;
    std::array<int, 3> last{};
    int last_back = 0;
    for (std::size_t s = 0; s < strokes.size(); ++s) {
        const std::vector<TextPoint> points = zigzag_points(strokes[s], front[s]);
        const int first = static_cast<int>(mesh.vertices.size());
        for (const TextPoint& p : points) mesh.add_vertex({p.x, p.y, 0}, uv(p));
        const int behind = static_cast<int>(mesh.vertices.size());
        for (int j = 0; j < back[s]; ++j) {
            const int k = back[s] > 1 ? (front[s] - 1) * j / (back[s] - 1) : front[s] / 2;
            const TextPoint p = points[static_cast<std::size_t>(k)];
            mesh.add_vertex({p.x, p.y, -depth}, uv(p));
        }
        const int m = drawn_faces[s];
        for (int i = 0; i < m; ++i) {
            std::array<int, 3> corner;
            for (int k = 0; k < 3; ++k) {
                const int index = recipe.shared_corners ? 2 * i + k : 3 * i + k;
                corner[static_cast<std::size_t>(k)] = first + index % front[s];
            }
            const int b = behind + i * back[s] / m;
            for (std::size_t k = 0; k + 1 < static_cast<std::size_t>(recipe.every); ++k)
                mesh.faces.push_back(tri(corner[k], corner[k + 1], b));
            mesh.faces.push_back(tri(corner[0], corner[1], corner[2]));
            last = corner;
            last_back = b;
        }
    }
    for (int k = 0; k < trailing; ++k)
        mesh.faces.push_back(tri(last[2], last[static_cast<std::size_t>(k % 2)], last_back));

    mesh.title = recipe.title;
    mesh.objects = {{recipe.name, 0, 0}};
    mesh.smooth = false;
    fit_to_bounds(mesh, recipe.bounds);
    check_counts(mesh, recipe.want, recipe.name);
    return mesh;
}

}  // namespace

Mesh make_model_1() {
    TextTitle recipe;
    recipe.word = "LUMOSHOW";
    recipe.gap = 1.3;
    recipe.every = 2;
    recipe.title = "lumo title: LUMOSHOW in dots along the pen, extruded";
    recipe.name = "title_lumoshow";
    recipe.want = {760, 630, 630, 0};
    recipe.bounds = {{-70.26, 27.07, -11.29}, {35.65, 54.90, 28.50}};
    return make_title(recipe);
}

Mesh make_model_2() {
    TextTitle recipe;
    recipe.word = "OSC";
    recipe.gap = 1.2;
    recipe.every = 2;
    recipe.title = "lumo title: OSC in dots along the pen, extruded";
    recipe.name = "title_osc";
    recipe.want = {239, 197, 197, 0};
    recipe.bounds = {{18.80, -12.77, 25.50}, {53.02, 7.17, 38.86}};
    return make_title(recipe);
}

Mesh make_model_3() {
    TextTitle recipe;
    recipe.word = "oscillator";
    recipe.gap = 1.5;
    recipe.every = 3;
    recipe.shared_corners = false;
    recipe.pen_start = {0, 0};
    recipe.title = "lumo title: oscillator in dots along the pen, extruded";
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
        TextPiece piece{{part.plate}, {}};
        text_orient(piece);
        const int first = static_cast<int>(mesh.vertices.size());
        for (TextPoint p : piece.outer.points) mesh.add_vertex({p.x, p.y, 0}, uv(p));
        for (const auto& t : text_triangulate(piece))
            mesh.faces.push_back(tri(first + t[0], first + t[1], first + t[2]));
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
