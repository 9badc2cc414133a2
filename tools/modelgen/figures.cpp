// Models 7, 9 and 11: standing human figures.
//
// Each figure is built in a body frame of about 180 units, soles at y = 0, facing +z,
// from lofted parts (head with neck, torso, arms running into the hands, legs, feet),
// then fitted to the box the show expects.  Model 7 is the detailed quad skin; models 9
// and 11 share one low-detail body, mostly triangulated, in two poses.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "figures_parts.hpp"
#include "models.hpp"

namespace modelgen {

namespace {

// Vertices around and rings along each part; the counts are what make each model's
// vertex and face totals come out exactly.
struct FigureDetail {
    int head_segments, head_rings;
    bool head_round_below;  // a fan closes the neck instead of a zip
    int torso_segments, torso_rings;
    int leg_segments, leg_rings;
    int foot_segments, foot_rings;
    int arm_segments, arm_rings;
    bool cuffs;  // close the arms across the wrists
    bool belt;   // close the torso across the waist and the hips
};

constexpr FigureDetail detailed{32, 20, false, 36, 35, 20, 36, 16, 12, 16, 30, true, false};
constexpr FigureDetail low_detail{10, 9, true, 16, 12, 10, 9, 8, 5, 10, 8, false, true};

// A joint of a limb: where the centre line passes and the half-widths there.
struct Joint {
    Vec3 at;
    double across, deep;
};

// The right arm from inside the shoulder to the fingertips; the left one is its mirror.
// The wrist is joint `wrist`.
struct ArmPose {
    std::vector<Joint> joints;
    std::size_t wrist;
};

const ArmPose arms_bent_upward{{
                                   {{19.0, 146.0, 0.0}, 4.8, 4.8},    // inside the shoulder
                                   {{22.5, 141.0, 0.0}, 5.2, 5.2},
                                   {{23.8, 128.0, -1.5}, 4.5, 4.6},   // upper arm
                                   {{24.0, 116.5, -2.5}, 3.9, 4.0},   // elbow
                                   {{23.2, 119.0, 8.0}, 4.2, 4.3},    // forearm
                                   {{22.2, 123.5, 19.5}, 2.6, 3.0},   // wrist
                                   {{21.6, 127.0, 27.5}, 1.7, 4.4},   // knuckles
                                   {{21.2, 129.5, 34.0}, 1.1, 3.3},   // fingertips
                               },
                               5};

const ArmPose arms_away{{
                            {{19.0, 146.0, 0.0}, 4.8, 4.8},
                            {{23.0, 141.0, 0.0}, 5.2, 5.2},
                            {{29.5, 129.0, -0.5}, 4.5, 4.6},
                            {{36.0, 117.5, -1.0}, 3.9, 4.0},
                            {{41.5, 107.0, -0.5}, 4.0, 4.1},
                            {{47.0, 97.0, 0.0}, 2.6, 3.0},
                            {{51.5, 89.5, 0.5}, 1.7, 4.4},
                            {{55.0, 83.5, 1.0}, 1.1, 3.3},
                        },
                        5};

// Cumulative fractions of the polyline length at each joint, close enough to the
// smoothed centre line's arc length to place the sections.
std::vector<double> joint_fractions(const std::vector<Joint>& joints) {
    std::vector<double> at{0};
    for (std::size_t i = 1; i < joints.size(); ++i) {
        const Vec3 d = joints[i].at - joints[i - 1].at;
        at.push_back(at.back() + std::sqrt(dot(d, d)));
    }
    for (double& a : at) a /= at.back();
    return at;
}

FigureLoft limb(const std::vector<Joint>& joints, double mirror) {
    FigureLoft loft;
    const std::vector<double> at = joint_fractions(joints);
    for (std::size_t i = 0; i < joints.size(); ++i) {
        loft.path.push_back({joints[i].at.x * mirror, joints[i].at.y, joints[i].at.z});
        loft.sections.push_back({at[i], joints[i].across, joints[i].deep});
    }
    loft.side = {mirror, 0, 0};
    return loft;
}

void add_arm(FigureMesh& figure, const FigureDetail& detail, const ArmPose& pose, double mirror) {
    FigureLoft arm = limb(pose.joints, mirror);
    arm.segments = detail.arm_segments;
    arm.rings = detail.arm_rings;
    if (detail.cuffs) {
        const double wrist = joint_fractions(pose.joints)[pose.wrist];
        arm.bands.push_back(static_cast<int>(wrist * (arm.rings - 1) + 0.5));
    }
    figure_add_loft(figure, arm);
}

void add_leg_and_foot(FigureMesh& figure, const FigureDetail& detail, double mirror) {
    FigureLoft leg = limb({{{8.5, 97.0, 0.0}, 8.0, 8.2},
                           {{8.7, 92.0, 0.3}, 8.6, 8.9},
                           {{8.8, 80.0, 0.6}, 7.6, 7.9},
                           {{8.9, 66.0, 0.9}, 6.3, 6.5},
                           {{9.0, 53.0, 1.2}, 4.9, 5.0},   // knee
                           {{9.0, 44.0, 0.4}, 5.4, 5.7},   // calf
                           {{9.0, 32.0, -0.3}, 4.6, 4.8},
                           {{9.0, 18.0, -0.8}, 3.3, 3.5},
                           {{9.0, 10.0, -1.0}, 3.0, 3.2},  // ankle
                           {{9.0, 7.0, -1.0}, 2.4, 2.6}},
                          mirror);
    leg.segments = detail.leg_segments;
    leg.rings = detail.leg_rings;
    figure_add_loft(figure, leg);

    FigureLoft foot = limb({{{9.0, 4.6, -5.0}, 2.2, 2.2},   // heel
                            {{9.1, 4.4, -3.5}, 3.4, 3.8},
                            {{9.2, 4.2, 0.0}, 3.8, 4.3},
                            {{9.4, 3.6, 6.0}, 4.3, 3.6},
                            {{9.7, 2.7, 12.0}, 4.8, 2.6},  // ball of the foot
                            {{9.9, 2.1, 17.0}, 4.6, 1.9},
                            {{10.0, 1.6, 20.0}, 2.5, 1.0}},  // toes
                           mirror);
    foot.segments = detail.foot_segments;
    foot.rings = detail.foot_rings;
    foot.squareness = 3;
    figure_add_loft(figure, foot);
}

FigureMesh build_figure(const FigureDetail& detail, const ArmPose& arms) {
    FigureMesh figure;

    // Head and neck in one loft, the neck reaching into the torso.
    FigureLoft head = limb({{{0, 147.0, -2.0}, 5.6, 5.6},
                            {{0, 151.0, -2.0}, 5.0, 5.2},
                            {{0, 155.0, -1.6}, 4.6, 5.0},
                            {{0, 158.0, -0.6}, 5.4, 7.2},   // chin
                            {{0, 161.0, 0.2}, 6.6, 8.6},
                            {{0, 165.0, 0.4}, 7.4, 9.3},
                            {{0, 169.0, 0.4}, 7.7, 9.5},
                            {{0, 173.0, 0.2}, 7.4, 9.2},
                            {{0, 176.5, 0.0}, 6.3, 7.8},
                            {{0, 178.6, 0.0}, 4.2, 5.2},
                            {{0, 179.5, 0.0}, 2.2, 2.8}},
                           1);
    head.segments = detail.head_segments;
    head.rings = detail.head_rings;
    head.start = detail.head_round_below ? FigureEnd::fan : FigureEnd::zip;
    head.end = FigureEnd::fan;
    head.pole_gap = 0.5;
    // The face looks along +z, which is the loft's angle 3/2 pi.
    constexpr double front = 1.5 * std::numbers::pi;
    head.bumps = {{0.57, front, 2.6, 0.07, 0.22},    // nose
                  {0.35, front, 0.9, 0.05, 0.45},    // chin
                  {0.70, front, 0.5, 0.04, 0.9}};    // brow
    figure_add_loft(figure, head);

    FigureLoft torso = limb({{{0, 84.0, -1.0}, 7.0, 5.0},    // crotch
                             {{0, 87.0, -1.2}, 14.0, 9.0},
                             {{0, 93.0, -1.0}, 16.6, 10.6},  // hips
                             {{0, 101.0, -0.6}, 16.0, 10.2},
                             {{0, 109.0, 0.0}, 14.2, 9.4},   // waist
                             {{0, 117.0, 0.6}, 14.6, 9.8},
                             {{0, 125.0, 1.0}, 16.4, 10.8},  // chest
                             {{0, 133.0, 0.8}, 18.2, 11.2},
                             {{0, 140.0, 0.2}, 19.2, 10.6},
                             {{0, 145.0, -0.6}, 19.4, 9.4},  // shoulders
                             {{0, 149.0, -1.2}, 15.5, 7.4},
                             {{0, 152.0, -1.8}, 8.0, 6.0}},
                            1);
    torso.segments = detail.torso_segments;
    torso.rings = detail.torso_rings;
    torso.squareness = 2.6;
    if (detail.belt) torso.bands = {3, 4};
    figure_add_loft(figure, torso);

    for (double mirror : {1.0, -1.0}) add_arm(figure, detail, arms, mirror);
    for (double mirror : {1.0, -1.0}) add_leg_and_foot(figure, detail, mirror);
    return figure;
}

// The generator stops rather than write a model the show cannot use.
void expect_counts(const Mesh& mesh, std::size_t vertices, std::size_t triangles, std::size_t quads) {
    const Counts c = counts(mesh);
    if (c.vertices != vertices || c.triangles != triangles || c.quads != quads) {
        std::fprintf(stderr, "lumo-modelgen: %s has %zu vertices, %zu triangles and %zu quads, not %zu, %zu and %zu\n",
                     mesh.title.c_str(), c.vertices, c.triangles, c.quads, vertices, triangles, quads);
        std::exit(1);
    }
}

Mesh finish(FigureMesh figure, const char* title, const Bounds& box) {
    figure.mesh.title = title;
    figure.mesh.objects = {{"figure", 0, 0}};
    fit_to_bounds(figure.mesh, box);
    return figure.mesh;
}

}  // namespace

Mesh make_model_7() {
    Mesh mesh = finish(build_figure(detailed, arms_bent_upward), "standing figure, arms bent upward",
                       {{-28.92, -97.68, -135.64}, {28.60, 82.77, -88.24}});
    expect_counts(mesh, 4685, 66, 4650);
    return mesh;
}

Mesh make_model_9() {
    FigureMesh figure = build_figure(low_detail, arms_away);
    figure_split_quads(figure, 185);
    Mesh mesh = finish(std::move(figure), "low-detail standing figure, arms held away from the body",
                       {{-57.66, -88.46, -138.74}, {57.58, 83.06, -109.18}});
    expect_counts(mesh, 704, 1034, 185);
    return mesh;
}

Mesh make_model_11() {
    FigureMesh figure = build_figure(low_detail, arms_bent_upward);
    figure_split_quads(figure, 168);
    figure_order_for_every_third(figure);
    Mesh mesh = finish(std::move(figure), "low-detail standing figure, arms bent upward",
                       {{-29.01, -97.73, -135.68}, {28.71, 82.63, -88.29}});
    expect_counts(mesh, 704, 1068, 168);
    return mesh;
}

}  // namespace modelgen
