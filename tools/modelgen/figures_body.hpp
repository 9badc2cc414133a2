// The standing figures' bodies: a pose of lofted parts, the rings that sample each part's
// skin, and the figure's outline as seen from the front.
//
// A body is built in its own frame of about 180 units, soles at y = 0, facing +z, and
// fitted to the box the show expects afterwards.
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

double part_length(const BodyPart& part);

// The figure as seen from the front: its outer outline, counter-clockwise in x–y (z is
// 0), as `points` points spaced evenly along it, starting at the top.
std::vector<Vec3> front_outline(const BodyPose& pose, int points);

}  // namespace modelgen
