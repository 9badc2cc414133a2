// Models: the subset of Wavefront OBJ text that lumo's effects draw from.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumo {

struct Vertex {
    float x;
    float y;
    float z;

    friend bool operator==(const Vertex&, const Vertex&) = default;
};

// Face indices are 32-bit on every platform, as on the show's target board, so that an
// OBJ index 0 wraps to the same largest value everywhere.
using VertexIndex = std::uint32_t;

// Three zero-based vertex indices, in the order the face statement lists its corners.
using Face = std::array<VertexIndex, 3>;

struct Model {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    Vertex center;  // midpoint of the bounding box; three NaNs without vertices
};

// Reads the "v" and "f" statements of an OBJ text; everything else is skipped.  Malformed
// text stops the program (exit status 101): the texts are compiled into lumo, so a bad
// one is a fault of the build, not of the user.
Model load_obj(std::string_view text);

// An OBJ index may name no vertex (index 0 wraps, a face may point past the list): an effect
// checks every face's indices with this, once, before it draws any.  The first index that
// names no vertex stops the program ("index out of bounds", exit status 101).
void check_face_indices(const Model& model);

}  // namespace lumo
