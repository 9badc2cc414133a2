// Parts of the standing figures: lofted tubes (torso, head, limbs), the bands that close
// a tube across one of its rings, and the face orders the show's drawing modes rely on.
#pragma once

#include <vector>

#include "mesh.hpp"

namespace modelgen {

// One cross-section of a loft: `at` is the fraction of the path length (0 to 1),
// `across` the half-width along the part's side direction, `deep` the half-width across it.
struct FigureSection {
    double at, across, deep;
};

// A local swelling of a loft's skin (a nose, a chin): `height` units outward at fraction
// `at` and ring angle `angle` (radians from the side direction towards the deep one),
// fading over `spread_at` and `spread_angle`.
struct FigureBump {
    double at, angle, height, spread_at, spread_angle;
};

// How a tube's end ring is closed.  A zip stitches the ring flat with two triangles and
// quads; a fan meets in one pole vertex (round ends such as the top of the head).
enum class FigureEnd { zip, fan };

struct FigureLoft {
    std::vector<Vec3> path;                // centre line, smoothed through these points
    std::vector<FigureSection> sections;   // sorted by `at`, interpolated linearly
    Vec3 side{1, 0, 0};                    // direction of `across`, kept perpendicular
    int segments = 8;                      // vertices per ring, even
    int rings = 2;
    double squareness = 2;                 // 2 is an ellipse, larger is boxier
    FigureEnd start = FigureEnd::zip, end = FigureEnd::zip;
    double pole_gap = 0;                   // distance of a fan's pole beyond its end ring
    std::vector<int> bands;                // rings closed across as well (belts, cuffs)
    std::vector<FigureBump> bumps;
};

// The figure as built: its mesh and, per face, the loft it belongs to, the column of the
// loft's skin it lies in (-1 for caps and bands) and whether it is a band across a ring.
struct FigureMesh {
    Mesh mesh;
    std::vector<int> part;
    std::vector<int> column;
    std::vector<bool> band;
    int parts = 0;
};

void figure_add_loft(FigureMesh& figure, const FigureLoft& loft);

// The face's unit normal.
Vec3 figure_face_normal(const Mesh& mesh, const Polygon& face);

// Splits every quad into two triangles except `keep` skin quads: in every part the same
// share of its quads, whole columns first, along the lines seen most nearly edge-on from
// the front (smallest |normal z|).  A kept quad's loaded triangle leaves its column edge
// unshared, so an outline of the loaded triangles traces every limb's contour.
void figure_split_quads(FigureMesh& figure, int keep);

// Reorders the faces so that the faces at positions 3, 6, 9, … (counting from 1) are the
// contour faces first, each prefix spread over the whole contour, then the faces that
// reach the vertices not yet drawn; every other face fills the remaining positions.
void figure_order_for_every_third(FigureMesh& figure);

}  // namespace modelgen
