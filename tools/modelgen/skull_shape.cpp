// The skull in its own frame: x to its left-right, y up, the face looking along +z,
// units of about a centimetre.  It is built from open parts, as a scope shows them:
// the vault as a dome, funnels for the eye sockets and the nose, ribbons for the
// cheekbones, the upper jaw and the mandible, a plate per tooth and zigzag sutures.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "skull_hand_parts.hpp"

namespace modelgen::skull_hand {
namespace {

constexpr double pi = 3.14159265358979323846;

constexpr int vault_rows = 6, vault_columns = 26;
constexpr int socket_rows = 2, socket_columns = 22;
constexpr int nose_columns = 11;
constexpr int cheek_columns = 13;
constexpr int maxilla_rows = 3, maxilla_columns = 15;
constexpr int mandible_rows = 3, mandible_columns = 25;
constexpr int teeth_per_row = 14;

constexpr int skull_vertices = 829, skull_faces = 788, skull_polylines = 139;

// The vault: horizontal sections of one outline, shrinking towards the crown.  Seen from
// above the outline is rounded at the back and tapers to a broad, flat brow whose outer
// corners stand out, as a real skull's does.
constexpr double vault_y = 2.5, vault_z = -2.0, vault_height = 7.6;
Vec3 section(double azimuth) {
    const double s = std::sin(azimuth), c = std::cos(azimuth);
    if (c < 0) return {7.0 * s, 0.0, 8.0 * c};
    const double z = 13.2 * std::pow(c, 1.0 / 6.0);
    const double x = 7.0 * (s < 0 ? -1.0 : 1.0) * std::pow(std::fabs(s), 1.0 / 6.0);
    return {x * (1.0 - 0.34 * z / 13.2), 0.0, z};
}
Vec3 vault_at(double polar, double azimuth, double lift = 0.0) {
    const Vec3 rim = section(azimuth);
    const Vec3 p{rim.x * std::sin(polar), vault_height * std::cos(polar), rim.z * std::sin(polar)};
    return Vec3{0.0, vault_y, vault_z} + p + normalized(p) * lift;
}
Vec3 vault_point(Vec3 d, double lift = 0.0) { return vault_at(std::acos(d.y), std::atan2(d.x, d.z), lift); }
const Vec3 vault_centre{0.0, vault_y, vault_z};

// The vault ends at the brow in front, low over the neck at the back.
double vault_edge(double azimuth) { return 1.30 + (2.15 - 1.30) * (1.0 - std::cos(azimuth)) * 0.5; }

// Depth of the face's front at (x, y): it curves back towards the temples.
constexpr double face_z = 4.0;
double face_front(double x, double y) { return face_z + 6.9 - 0.11 * x * x - 0.02 * (y - 2.0) * (y - 2.0); }

double rounded(double c) { return (c < 0 ? -1.0 : 1.0) * std::pow(std::fabs(c), 0.75); }

std::vector<int> ring_line(int first, int cols, int row) {
    std::vector<int> line;
    for (int c = 0; c <= cols; ++c) line.push_back(grid_vertex(first, cols, row, c));
    return line;
}
std::vector<int> row_line(int first, int cols, int row) {
    std::vector<int> line;
    for (int c = 0; c < cols; ++c) line.push_back(first + row * cols + c);
    return line;
}
std::vector<int> column_line(int first, int cols, int rows, int col) {
    std::vector<int> line;
    for (int r = 0; r < rows; ++r) line.push_back(first + r * cols + col);
    return line;
}

void add_vault(Mesh& mesh) {
    const int first = add_grid(mesh, vault_rows, vault_columns, true, [](double u, double v) {
        const double azimuth = 2 * pi * u;
        const double polar = 0.2 + (vault_edge(azimuth) - 0.2) * v;
        return vault_at(polar, azimuth);
    });
    add_fan(mesh, first, vault_columns, 0, vault_point({0, 1, 0}), {0.5, 0.0}, false);
    for (int r = 0; r < vault_rows; ++r) mesh.polylines.push_back(ring_line(first, vault_columns, r));
    for (int c = 0; c < vault_columns; ++c) {
        std::vector<int> meridian = column_line(first, vault_columns, vault_rows, c);
        meridian.insert(meridian.begin(), static_cast<int>(mesh.vertices.size()) - 1);
        mesh.polylines.push_back(meridian);
    }
}

void add_socket(Mesh& mesh, double side) {
    const double cx = 3.3 * side, cy = 2.0, rx = 1.95, ry = 1.75;
    const double scale[socket_rows] = {1.0, 0.5}, depth[socket_rows] = {0.0, 2.2};
    const int first = add_grid(mesh, socket_rows, socket_columns, true, [&](double u, double v) {
        const int row = static_cast<int>(std::lround(v * (socket_rows - 1)));
        const double s = 2 * pi * u;
        // the outer corner sits a little lower, as in a real orbit
        const double x_rim = cx + rx * rounded(std::cos(s)) * side;
        const double y_rim = cy + ry * rounded(std::sin(s)) - 0.25 * (x_rim - cx) * side / rx;
        const double x = cx + (x_rim - cx) * scale[row];
        const double y = cy + (y_rim - cy) * scale[row] - 0.15 * row;
        return Vec3{x, y, face_front(x_rim, y_rim) - depth[row]};
    });
    for (int r = 0; r < socket_rows; ++r) mesh.polylines.push_back(ring_line(first, socket_columns, r));
    for (int c = 0; c < socket_columns; ++c) {
        mesh.polylines.push_back(column_line(first, socket_columns, socket_rows, c));
    }
}

void add_nose(Mesh& mesh) {
    const int first = add_grid(mesh, 2, nose_columns, true, [](double u, double v) {
        const double s = 2 * pi * u, low = (1.0 - std::cos(s)) * 0.5;
        const double width = 0.45 + 0.75 * low, scale = v > 0.5 ? 0.65 : 1.0;
        return Vec3{width * std::sin(s) * scale, -1.2 + 1.9 * std::cos(s) * scale,
                    face_z + 7.1 - 0.3 * low - (v > 0.5 ? 1.6 : 0.0)};
    });
    for (int r = 0; r < 2; ++r) mesh.polylines.push_back(ring_line(first, nose_columns, r));
    for (int c = 0; c < nose_columns; ++c) mesh.polylines.push_back(column_line(first, nose_columns, 2, c));
}

void add_cheekbone(Mesh& mesh, double side) {
    const std::vector<Vec3> arch{{4.6, 0.1, 5.2}, {4.95, -0.3, 3.6}, {5.3, -0.5, 1.6}, {5.6, -0.4, -0.4}};
    const int first = add_grid(mesh, 2, cheek_columns, false, [&](double u, double v) {
        const Vec3 p = spline(arch, u);
        return Vec3{(p.x + 0.1 * v) * side, p.y + 0.5 - 1.1 * v, p.z + face_z};
    });
    for (int r = 0; r < 2; ++r) mesh.polylines.push_back(row_line(first, cheek_columns, r));
}

// The dental arches of the upper and the lower jaw, at angle a from the front.
Vec3 upper_arch(double a, double y) { return {3.45 * std::sin(a), y, face_z + 2.4 + 4.45 * std::cos(a)}; }
Vec3 lower_arch(double a, double y) { return {3.3 * std::sin(a), y, face_z + 2.2 + 4.3 * std::cos(a)}; }

void add_maxilla(Mesh& mesh) {
    const int first = add_grid(mesh, maxilla_rows, maxilla_columns, false, [](double u, double v) {
        const double a = (2 * u - 1) * 1.45, s = std::sin(a);
        const Vec3 top{4.3 * s, -3.4 + 1.4 * s * s, face_z + 2.2 + 4.7 * std::cos(a)};
        const Vec3 gum = upper_arch(a, -4.1);
        const double bulge = 4 * v * (1 - v) * 0.25;
        const Vec3 p = top + (gum - top) * v;
        return p + normalized({p.x, 0, p.z - face_z - 1.0}) * bulge;
    });
    for (int r = 0; r < maxilla_rows; r += 2) mesh.polylines.push_back(row_line(first, maxilla_columns, r));
}

// Returns the first vertex; the jaw's cross lines are added last, as many as the
// polyline count still needs.
int add_mandible(Mesh& mesh) {
    // control points from the chin round the right side to the joint; the left mirrors them
    const std::vector<Vec3> top{{0, -6.5, 6.5}, {2.0, -6.4, 5.8}, {3.3, -6.3, 3.8}, {4.3, -6.0, 1.5},
                                {5.0, -4.5, 0.3}, {5.3, -1.2, -0.3}};
    const std::vector<Vec3> bottom{{0, -9.0, 6.0}, {2.2, -8.8, 5.2}, {3.8, -8.3, 3.0}, {4.9, -7.8, 0.5},
                                   {5.3, -7.0, -1.2}, {5.4, -2.0, -1.3}};
    const int first = add_grid(mesh, mandible_rows, mandible_columns, false, [&](double u, double v) {
        const double t = std::fabs(2 * u - 1), side = u < 0.5 ? -1.0 : 1.0;
        const Vec3 a = spline(top, t), b = spline(bottom, t);
        Vec3 p = a + (b - a) * v;
        p.x = (p.x + 4 * v * (1 - v) * 0.3) * side;
        p.z += face_z;
        return p;
    });
    for (int r = 0; r < mandible_rows; r += 2) mesh.polylines.push_back(row_line(first, mandible_columns, r));
    return first;
}

void add_jaw_lines(Mesh& mesh, int first, int count) {
    for (int i = 0; i < count; ++i) {
        const int col = count > 1 ? static_cast<int>(std::lround(i * (mandible_columns - 1.0) / (count - 1))) : 0;
        mesh.polylines.push_back(column_line(first, mandible_columns, mandible_rows, col));
    }
}

void add_tooth(Mesh& mesh, Vec3 top_left, Vec3 top_right, Vec3 bottom_right, Vec3 bottom_left) {
    const int a = mesh.add_vertex(top_left, {0, 1}), b = mesh.add_vertex(bottom_left, {0, 0});
    const int c = mesh.add_vertex(bottom_right, {1, 0}), d = mesh.add_vertex(top_right, {1, 1});
    mesh.faces.push_back(tri(a, b, c));
    mesh.faces.push_back(tri(a, c, d));
    mesh.polylines.push_back({a, b, c, d, a});
}

void add_teeth(Mesh& mesh, bool upper) {
    for (int i = 0; i < teeth_per_row; ++i) {
        const double step = 2.7 / teeth_per_row;
        const double a0 = -1.35 + step * (i + 0.06), a1 = -1.35 + step * (i + 0.94);
        const double inset = step * 0.15, molar = std::fabs((a0 + a1) * 0.5) / 1.35;
        auto arch = upper ? upper_arch : lower_arch;
        const double root = upper ? -4.1 : -6.5, crown = upper ? -5.3 + 0.3 * molar : -5.4 - 0.2 * molar;
        add_tooth(mesh, arch(a0, root), arch(a1, root), arch(a1 - inset, crown), arch(a0 + inset, crown));
    }
}

// A suture follows the vault between two or three directions.
struct Suture {
    std::vector<Vec3> through;
    double share;  // of the zigzag teeth
};

void add_sutures(Mesh& mesh, int teeth) {
    const Vec3 bregma = normalized({0, 0.94, 0.34}), lambda = normalized({0, -0.15, -1.0});
    const std::vector<Suture> sutures{
        {{normalized({-0.97, -0.05, 0.25}), bregma, normalized({0.97, -0.05, 0.25})}, 0.26},
        {{bregma, normalized({0, 0.75, -0.66}), lambda}, 0.18},
        {{lambda, normalized({-0.55, -0.3, -0.78}), normalized({-0.8, -0.45, -0.4})}, 0.14},
        {{lambda, normalized({0.55, -0.3, -0.78}), normalized({0.8, -0.45, -0.4})}, 0.14},
        {{normalized({-0.9, -0.1, 0.42}), normalized({-0.93, 0.32, 0.0}), normalized({-0.85, -0.05, -0.5})}, 0.14},
        {{normalized({0.9, -0.1, 0.42}), normalized({0.93, 0.32, 0.0}), normalized({0.85, -0.05, -0.5})}, 0.14},
    };
    int left = teeth;
    for (std::size_t i = 0; i < sutures.size(); ++i) {
        const int count = i + 1 == sutures.size() ? left : static_cast<int>(std::lround(teeth * sutures[i].share));
        left -= count;
        const std::vector<Vec3>& through = sutures[i].through;
        auto path = [&](double t) { return vault_point(normalized(spline(through, t)), 0.15); };
        auto side = [&](double t) {
            const Vec3 along = path(std::min(1.0, t + 0.01)) - path(std::max(0.0, t - 0.01));
            return normalized(cross(along, path(t) - vault_centre));
        };
        mesh.polylines.push_back(add_zigzag(mesh, count, path, side, 0.35));
    }
}

}  // namespace

Mesh skull() {
    Mesh mesh;
    add_vault(mesh);
    add_socket(mesh, -1.0);
    add_socket(mesh, 1.0);
    add_nose(mesh);
    add_cheekbone(mesh, -1.0);
    add_cheekbone(mesh, 1.0);
    add_maxilla(mesh);
    const int mandible = add_mandible(mesh);
    add_teeth(mesh, true);
    add_teeth(mesh, false);
    // the sutures take the faces still to make; each zigzag tooth adds two vertices
    const int teeth = skull_faces - static_cast<int>(mesh.faces.size());
    const int vertices = static_cast<int>(mesh.vertices.size()) + 2 * teeth + 6;
    if (teeth < 0 || vertices != skull_vertices) {
        std::fprintf(stderr, "lumo-modelgen: skull parts give %d vertices, %d sutures teeth\n", vertices, teeth);
        std::exit(1);
    }
    add_sutures(mesh, teeth);
    const int jaw_lines = skull_polylines - static_cast<int>(mesh.polylines.size());
    if (jaw_lines < 0 || jaw_lines > mandible_columns) {
        std::fprintf(stderr, "lumo-modelgen: skull has %zu polylines\n", mesh.polylines.size());
        std::exit(1);
    }
    add_jaw_lines(mesh, mandible, jaw_lines);
    return mesh;
}

}  // namespace modelgen::skull_hand
