// The generator's mesh record, and how a mesh becomes one of lumo's model texts.
//
// The model makers (one file per family of models) build Meshes from parametric parts
// in double precision; write_obj turns one into OBJ text with real vertex normals and
// texture coordinates, and preview_image draws it as a scope would.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "image/image.hpp"

namespace modelgen {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
struct Vec2 {
    double u = 0, v = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3 cross(Vec3 a, Vec3 b);
double dot(Vec3 a, Vec3 b);
Vec3 normalized(Vec3 a);

// The Catmull-Rom curve between p1 (t = 0) and p2 (t = 1), p0 and p3 its neighbours.
Vec3 catmull_rom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, double t);

// The convex hull of points in the plane, counter-clockwise, without collinear points.
std::vector<Vec2> convex_hull(std::vector<Vec2> points);

// A face of three or four zero-based vertex indices; corner 3 is -1 for a triangle.
using Polygon = std::array<int, 4>;
inline Polygon tri(int a, int b, int c) { return {a, b, c, -1}; }
inline Polygon quad(int a, int b, int c, int d) { return {a, b, c, d}; }

// An "o" statement: the object's name and the first vertex and face that belong to it.
// Objects are written in order, each with its own vertices, normals, texture
// coordinates and faces.
struct Object {
    std::string name;
    std::size_t first_vertex = 0;
    std::size_t first_face = 0;
};

struct Mesh {
    std::string title;           // first comment line
    std::vector<Vec3> vertices;
    std::vector<Vec2> uvs;       // one per vertex, or empty (corners then written v//vn)
    std::vector<Polygon> faces;
    std::vector<std::vector<int>> polylines;  // "l" statements (zero-based), written last
    std::vector<Object> objects;              // at least one; the first starts at 0, 0
    bool smooth = true;                       // "s 1" or "s off"

    // Appends `other`, shifting its indices; its objects are not added.
    void append(const Mesh& other);
    int add_vertex(Vec3 v, Vec2 uv = {});
};

struct Bounds {
    Vec3 min, max;
};
Bounds bounds(const Mesh& mesh);

// Maps each axis affinely so that the bounding box becomes exactly `target`
// (a flat axis, min == max, is moved onto target.min).
void fit_to_bounds(Mesh& mesh, const Bounds& target);

// Counts as lumo's loader sees them: vertices, faces, three- and four-corner faces.
struct Counts {
    std::size_t vertices, faces, triangles, quads;
};
Counts counts(const Mesh& mesh);

// The OBJ text: two comment lines, mtllib, then per object "o", "s", "usemtl", its
// v, vn, vt and f statements; polylines last.  LF line ends, every index positive.
std::string write_obj(const Mesh& mesh);

// Stops the generator, exit status 1, with "lumo-modelgen: `what`" on stderr: it writes
// no model rather than one the show cannot use.
[[noreturn]] void fail(const std::string& what);

// An orthographic x–y picture, green dots at the corners and thin lines along the edges
// on black, `size` pixels square.
lumo::RgbImage preview_image(const Mesh& mesh, int size = 800);

}  // namespace modelgen
