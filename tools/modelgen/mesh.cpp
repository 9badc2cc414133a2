#include "mesh.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "core/convert.hpp"

namespace modelgen {

void fail(const std::string& what) {
    std::fprintf(stderr, "lumo-modelgen: %s\n", what.c_str());
    std::exit(1);
}

Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalized(Vec3 a) {
    const double length = std::sqrt(dot(a, a));
    return length > 0 ? a * (1.0 / length) : Vec3{0, 0, 1};
}

Vec3 catmull_rom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, double t) {
    const double t2 = t * t, t3 = t2 * t;
    return (p1 * 2.0 + (p2 - p0) * t + (p0 * 2.0 - p1 * 5.0 + p2 * 4.0 - p3) * t2 +
            (p1 * 3.0 - p0 - p2 * 3.0 + p3) * t3) *
           0.5;
}

std::vector<Vec2> convex_hull(std::vector<Vec2> points) {
    if (points.empty()) return points;
    // Andrew's monotone chain: a lower and an upper chain over the points sorted by u.
    std::sort(points.begin(), points.end(), [](Vec2 a, Vec2 b) { return a.u < b.u || (a.u == b.u && a.v < b.v); });
    auto turn = [](Vec2 o, Vec2 a, Vec2 b) { return (a.u - o.u) * (b.v - o.v) - (a.v - o.v) * (b.u - o.u); };
    std::vector<Vec2> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && turn(hull[k - 2], hull[k - 1], points[i - 1]) <= 0) --k;
        hull[k++] = points[i - 1];
    }
    hull.resize(k > 1 ? k - 1 : k);
    return hull;
}

void Mesh::append(const Mesh& other) {
    const int offset = static_cast<int>(vertices.size());
    const bool with_uv = !uvs.empty() || vertices.empty();
    vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
    if (with_uv) {
        if (other.uvs.size() == other.vertices.size()) {
            uvs.insert(uvs.end(), other.uvs.begin(), other.uvs.end());
        } else {
            uvs.resize(vertices.size());
        }
    }
    for (Polygon f : other.faces) {
        for (int& i : f) if (i >= 0) i += offset;
        faces.push_back(f);
    }
    for (std::vector<int> line : other.polylines) {
        for (int& i : line) i += offset;
        polylines.push_back(line);
    }
}

int Mesh::add_vertex(Vec3 v, Vec2 uv) {
    vertices.push_back(v);
    if (uvs.size() + 1 == vertices.size()) uvs.push_back(uv);
    return static_cast<int>(vertices.size()) - 1;
}

Bounds bounds(const Mesh& mesh) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    Bounds b{{inf, inf, inf}, {-inf, -inf, -inf}};
    for (const Vec3& v : mesh.vertices) {
        b.min = {std::min(b.min.x, v.x), std::min(b.min.y, v.y), std::min(b.min.z, v.z)};
        b.max = {std::max(b.max.x, v.x), std::max(b.max.y, v.y), std::max(b.max.z, v.z)};
    }
    return b;
}

void fit_to_bounds(Mesh& mesh, const Bounds& target) {
    const Bounds have = bounds(mesh);
    auto map = [](double v, double lo, double hi, double to_lo, double to_hi) {
        if (hi - lo <= 0) return to_lo;
        return to_lo + (v - lo) * (to_hi - to_lo) / (hi - lo);
    };
    for (Vec3& v : mesh.vertices) {
        v.x = map(v.x, have.min.x, have.max.x, target.min.x, target.max.x);
        v.y = map(v.y, have.min.y, have.max.y, target.min.y, target.max.y);
        v.z = map(v.z, have.min.z, have.max.z, target.min.z, target.max.z);
    }
}

Counts counts(const Mesh& mesh) {
    Counts c{mesh.vertices.size(), mesh.faces.size(), 0, 0};
    for (const Polygon& f : mesh.faces) (f[3] < 0 ? c.triangles : c.quads) += 1;
    return c;
}

namespace {

// Area-weighted vertex normals; a vertex on no face gets the normal of the x–y plane.
std::vector<Vec3> vertex_normals(const Mesh& mesh) {
    std::vector<Vec3> sums(mesh.vertices.size());
    for (const Polygon& f : mesh.faces) {
        const int corners = f[3] < 0 ? 3 : 4;
        Vec3 n{};
        for (int k = 1; k + 1 < corners; ++k) {
            n = n + cross(mesh.vertices[f[k]] - mesh.vertices[f[0]], mesh.vertices[f[k + 1]] - mesh.vertices[f[0]]);
        }
        for (int k = 0; k < corners; ++k) sums[f[k]] = sums[f[k]] + n;
    }
    for (Vec3& n : sums) n = normalized(n);
    return sums;
}

// One statement of fixed-point numbers.  A value that rounds to zero is written "0.0000",
// never "-0.0000": which side of zero it fell on is the last bit of a computation, and the
// text must not depend on it.
void line(std::string& out, const char* keyword, std::initializer_list<double> values, int decimals) {
    out += keyword;
    for (double value : values) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, " %.*f", decimals, value);
        const char* text = buffer;
        if (text[1] == '-' && std::strspn(text + 2, "0.") == std::strlen(text + 2)) {
            out += ' ';
            text += 2;
        }
        out += text;
    }
    out += '\n';
}

}  // namespace

std::string write_obj(const Mesh& mesh) {
    const std::vector<Vec3> normals = vertex_normals(mesh);
    const bool with_uv = mesh.uvs.size() == mesh.vertices.size() && !mesh.uvs.empty();
    std::string out;
    out += "# " + mesh.title + "\n";
    out += "# made by lumo-modelgen from parametric parts; regenerate, do not edit\n";
    out += "mtllib lumo.mtl\n";
    std::vector<Object> objects = mesh.objects;
    if (objects.empty()) objects.push_back({"model", 0, 0});
    for (std::size_t o = 0; o < objects.size(); ++o) {
        const std::size_t v_end = o + 1 < objects.size() ? objects[o + 1].first_vertex : mesh.vertices.size();
        const std::size_t f_end = o + 1 < objects.size() ? objects[o + 1].first_face : mesh.faces.size();
        out += "o " + objects[o].name + "\n";
        for (std::size_t i = objects[o].first_vertex; i < v_end; ++i) {
            const Vec3& v = mesh.vertices[i];
            line(out, "v", {v.x, v.y, v.z}, 6);
        }
        for (std::size_t i = objects[o].first_vertex; i < v_end; ++i) {
            const Vec3& n = normals[i];
            line(out, "vn", {n.x, n.y, n.z}, 4);
        }
        if (with_uv) {
            for (std::size_t i = objects[o].first_vertex; i < v_end; ++i) {
                line(out, "vt", {mesh.uvs[i].u, mesh.uvs[i].v}, 4);
            }
        }
        out += mesh.smooth ? "s 1\n" : "s off\n";
        out += "usemtl " + objects[o].name + "_material\n";
        for (std::size_t i = objects[o].first_face; i < f_end; ++i) {
            const Polygon& f = mesh.faces[i];
            out += "f";
            for (int k = 0; k < 4 && f[k] >= 0; ++k) {
                const std::string index = std::to_string(f[k] + 1);
                out += " " + index + (with_uv ? "/" + index + "/" : "//") + index;
            }
            out += "\n";
        }
    }
    for (const std::vector<int>& polyline : mesh.polylines) {
        out += "l";
        for (int i : polyline) out += " " + std::to_string(i + 1);
        out += "\n";
    }
    return out;
}

lumo::RgbImage preview_image(const Mesh& mesh, int size) {
    std::vector<float> light(static_cast<std::size_t>(size) * size, 0.0f);
    const Bounds b = bounds(mesh);
    const double span = std::max({b.max.x - b.min.x, b.max.y - b.min.y, 1e-9}) * 1.1;
    const double cx = (b.min.x + b.max.x) / 2, cy = (b.min.y + b.max.y) / 2;
    auto to_pixel = [&](Vec3 v) {
        return std::array<double, 2>{(v.x - cx) / span * size + size / 2.0, size / 2.0 - (v.y - cy) / span * size};
    };
    auto plot = [&](double px, double py, float amount) {
        const int x = static_cast<int>(std::lround(px)), y = static_cast<int>(std::lround(py));
        if (x >= 0 && y >= 0 && x < size && y < size) light[static_cast<std::size_t>(y) * size + x] += amount;
    };
    for (const Polygon& f : mesh.faces) {
        const int corners = f[3] < 0 ? 3 : 4;
        for (int k = 0; k < corners; ++k) {
            const auto a = to_pixel(mesh.vertices[f[k]]), c = to_pixel(mesh.vertices[f[(k + 1) % corners]]);
            const int steps = std::max(1, lumo::saturating_cast<int>(std::hypot(c[0] - a[0], c[1] - a[1])));
            for (int s = 0; s <= steps; ++s) {
                const double t = static_cast<double>(s) / steps;
                plot(a[0] + (c[0] - a[0]) * t, a[1] + (c[1] - a[1]) * t, 0.15f);
            }
        }
    }
    for (const Vec3& v : mesh.vertices) {
        const auto p = to_pixel(v);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) plot(p[0] + dx, p[1] + dy, 0.6f);
    }
    lumo::RgbImage image(size, size);
    for (std::size_t pixel = 0; pixel < light.size(); ++pixel) {
        const float l = std::min(1.0f, light[pixel]);
        image.rgb[pixel * 3 + 0] = lumo::saturating_cast<std::uint8_t>(l * 80);
        image.rgb[pixel * 3 + 1] = lumo::saturating_cast<std::uint8_t>(l * 255);
        image.rgb[pixel * 3 + 2] = lumo::saturating_cast<std::uint8_t>(l * 80);
    }
    return image;
}

}  // namespace modelgen
