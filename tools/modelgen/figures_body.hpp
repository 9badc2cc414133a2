// Lofted bodies: parts along chains of joints, the rings that sample each part's skin,
// the skins made of those rings, and a standing figure's outline seen from the front.
//
// The standing figures are built in their own frame of about 180 units, soles at y = 0,
// facing +z, and fitted to the box the show expects afterwards; the hand uses the same
// parts at its own size.
#pragma once

#include <vector>

#include "mesh.hpp"

namespace modelgen {

// A joint of a part: where its centre line passes and the half-widths there, `across`
// along the part's side direction and `deep` across that.
struct BodyJoint {
    Vec3 at;
    double across, deep;
};

struct BodyPart {
    std::vector<BodyJoint> joints;  // from the end nearest the trunk outwards
    Vec3 side{1, 0, 0};
    double squareness = 2;          // 2 is an ellipse, larger is boxier
};

// The parts in the order the figures visit them: head, torso, left arm, right arm, left
// leg, right leg, left foot, right foot.
struct BodyPose {
    std::vector<BodyPart> parts;
};

enum BodyPartIndex { head_part, torso_part, left_arm, right_arm, left_leg, right_leg, left_foot, right_foot };

// Upper arms pointing forward, forearms raised beside the head (models 7 and 11).
BodyPose pose_arms_bent_upward();
// Arms held down and away from the body (model 9).
BodyPose pose_arms_away();

// `rings` rings of `segments` skin points each, evenly along the part from its first joint
// to its last; each ring starts on the part's side direction.
std::vector<std::vector<Vec3>> part_rings(const BodyPart& part, int rings, int segments);

// One ring of `segments` skin points at fraction `at` (0 to 1) of the part's length, each
// lifted `lift` units off the skin.
std::vector<Vec3> part_ring(const BodyPart& part, double at, int segments, double lift);

// The centre of the part's cross-section at fraction `at` of its length.
Vec3 part_centre(const BodyPart& part, double at);

// The figure as seen from the front: its outer outline, counter-clockwise in x–y (z is
// 0), as `points` points spaced evenly along it, starting at the top.
std::vector<Vec3> front_outline(const BodyPose& pose, int points);

// Skins made of ring grids.

// A cell of a ring grid: the quad a b c d between ring r (a, b) and ring r + 1 (c, d), in
// the column between meridians `column` and `column` + 1.
struct Cell {
    int a, b, c, d;
    int column = 0;
};

// Rings of skin vertices: ring r, segment i.
struct RingGrid {
    int first = 0;
    int rings = 0, segments = 0;
    int vertex(int ring, int segment) const { return first + ring * segments + segment % segments; }
};

// Appends the rings' points as vertices (texture coordinates round and along).
RingGrid add_rings(Mesh& mesh, const std::vector<std::vector<Vec3>>& rings);

// The cells between ring `band` and the next, round the ring.
std::vector<Cell> band_cells(const RingGrid& grid, int band);

// The cells of a grid column by column (a column runs between two neighbouring meridians
// from ring to ring), down one column and up the next, starting from the first ring when
// `outwards`; with `parity` 0 or 1, only the columns of that parity, else all.  Dots taken
// from cells in this order run along a part, not round it: seen from the side, a ring is
// only a dash.
std::vector<Cell> visit_cells(const RingGrid& grid, bool outwards, int parity);

// A closed skin part: its ring grid and the poles that close its ends.
struct Tube {
    RingGrid grid;
    int start_pole = 0, end_pole = 0;
};

Tube add_tube(Mesh& mesh, const BodyPart& part, int rings, int segments);

// The fans round the poles, as triangles facing out.
std::vector<Polygon> cap_faces(const Tube& tube);

}  // namespace modelgen
