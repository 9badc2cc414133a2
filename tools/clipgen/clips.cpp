#include "clips.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

#include "exact_math.hpp"
#include "synth.hpp"

namespace clipgen {

namespace {

enum class Kind { Groove, Noise, Thumps };

struct Recipe {
    Kind kind;
    Stats targets;
    // One character per grid step.  Grooves: what sounds on the step besides its hats
    // ('K' a kick with a low note under it, 'k' a kick alone, 'S' a snare, 'B' a kick, a
    // low note and a snare, '.' nothing).  Noise and thumps: 'x' an accent.
    std::string_view steps;
    double hat_cutoff;  // Hz
    // How long the hits after the opening ring, as a share of the longest: short, so that a
    // figure over the loop shows clean late in a step.
    double ring = 1.0;
    // How hard the hits after the opening strike: a loop of short hits strikes harder to
    // keep its level without raising the opening's.
    double punch = 1.0;
    // Where the sound stops (faded out, nothing wraps round); 0 for a seamless loop.
    double cut_seconds = 0.0;
    // The clip whose noise this one plays (0: its own), so that one clip can be the
    // start of another.
    int noise_of = 0;
};

// Clips 1 to 6 play the same first three steps, so that they open alike.
constexpr int kOpeningSteps = 3;
constexpr std::string_view kOpening = "KSK";
constexpr double kOpeningHatCutoff = 7000.0;

const Recipe kRecipes[8] = {
    {Kind::Groove, {0.92, 1.00, 0.20, 0.20, 3900, 0.24}, "KSK...K.KSK...K.", 9000, 0.3, 1.4},
    {Kind::Groove, {0.93, 1.00, 0.25, 0.22, 3500, 0.17}, "KSKSK...K.KS.KS.", 8000, 0.6},
    {Kind::Groove, {1.00, 1.00, 0.34, 0.36, 970, 0.33}, "KSKKBKKKKKKKBKKK", 5000, 0.6},
    {Kind::Groove, {1.00, 1.00, 0.34, 0.35, 1400, 0.29}, "KSKKBKKKKKBK.KBK", 7000, 0.6},
    {Kind::Groove, {0.93, 1.00, 0.29, 0.30, 2050, 0.29}, "KSKKBkKkKKBK.KBk", 7000, 0.55},
    {Kind::Groove, {0.92, 1.00, 0.17, 0.18, 1360, 0.34}, "KSKSK...K.KS.KS.", 8000, 0.6, 1.0, 1.40, 2},
    {Kind::Noise, {1.00, 1.00, 0.24, 0.25, 15350, 0.66}, "x.x.....x.....x.", 6000},
    {Kind::Thumps, {0.42, 0.42, 0.07, 0.07, 710, -0.68}, "x.......x.......", 3000},
};

// The low notes under the kicks, one per step (Hz).
constexpr double kBassLine[kSteps] = {55.0,  55.0,  55.0,  55.0,  65.41, 65.41, 49.0,  49.0,
                                      55.0,  55.0,  55.0,  55.0,  43.65, 43.65, 49.0,  49.0};

// Which way the kick (and the low note under it) on each step swings first.  A kick's
// first swing is its largest, so the limiter bends that side more and would leave an
// offset; the steps are chosen so that every groove's kicks swing as often one way as the
// other (to within one), the same in every clip so that the variations stay alike.
constexpr std::string_view kSwings = "++-++-++--+++---";

// How long a kick, a low note and a snare ring at most (seconds), and the share of that
// the opening's hits ring for: short, so that a figure over any of the loops shows clean
// late in a step.
constexpr double kKickDecay = 0.05, kLowDecay = 0.06, kSnareDecay = 0.05;
constexpr double kOpeningRing = 0.6;

long step_frames(int step) { return step_start(step + 1) - step_start(step); }

std::uint64_t seed_for(int number, int step, int voice) {
    return 0x6C756D6F00000000ull ^ (static_cast<std::uint64_t>(number) << 24) ^
           (static_cast<std::uint64_t>(step) << 8) ^ static_cast<std::uint64_t>(voice);
}

// `base` holds what stays fixed while tuning; `bright` is scaled to set the brightness.
// Every step has its hats; a hit decays within its step or the next, so the steps without
// one are quiet, and a figure played over the loop shows clean between the beats.
void render_groove(int number, const Recipe& recipe, Layer& base, Layer& bright) {
    const int noise = recipe.noise_of != 0 ? recipe.noise_of : number;
    for (int step = 0; step < kSteps; ++step) {
        const long frame = step_start(step);
        if (recipe.cut_seconds > 0 && static_cast<double>(frame) >= recipe.cut_seconds * kRate) break;
        const bool opening = step < kOpeningSteps;
        const char hit = opening ? kOpening[static_cast<std::size_t>(step)] : recipe.steps[static_cast<std::size_t>(step)];
        const int seed_owner = opening ? 0 : noise;
        // A hit dies away before the loop ends, so that nothing wraps round into the
        // opening (the longest instrument rings for five of its time constants).
        const double left = static_cast<double>(kFrames - frame) / kRate;
        const double ring = std::min(opening ? kOpeningRing : recipe.ring, left / (5 * kLowDecay));
        Layer& highs = opening ? base : bright;
        const double hat_gain = opening ? 0.035 : 0.12;
        const double hat_cutoff = opening ? kOpeningHatCutoff : recipe.hat_cutoff;
        add_hat(highs, frame, hat_gain, 0.012, hat_cutoff, seed_for(seed_owner, step, 1));
        add_hat(highs, frame + step_frames(step) / 2, 0.6 * hat_gain, 0.008, hat_cutoff,
                seed_for(seed_owner, step, 2));
        const double swing = (kSwings[static_cast<std::size_t>(step)] == '+' ? 1.0 : -1.0) * (opening ? 1.0 : recipe.punch);
        if (hit == 'K' || hit == 'k' || hit == 'B') {
            // A hair of pitch sets the clips' kicks apart, the opening's too.
            Kick kick;
            kick.gain = swing;
            kick.decay = kKickDecay * ring;
            kick.end_hz += 0.03 * number;
            add_kick(base, frame, kick);
        }
        if (hit == 'K' || hit == 'B') add_pluck(base, frame, kBassLine[step], 0.45 * swing, kLowDecay * ring);
        if (hit == 'S' || hit == 'B')
            add_snare(base, frame, 0.7 * (opening ? 1.0 : recipe.punch), kSnareDecay * ring, seed_for(seed_owner, step, 4));
    }
}

void render_noise(int number, const Recipe& recipe, Layer& base, Layer& bright) {
    for (int step = 0; step < kSteps; ++step) {
        const long frame = step_start(step);
        const bool accent = recipe.steps[step] == 'x';
        add_wash(base, frame, step_frames(step), 0.35, 300.0, 2500.0, seed_for(number, step, 5));
        if (accent) add_wash(base, frame, step_frames(step), 1.2, 200.0, 4000.0, seed_for(number, step, 6), 0.07);
        add_hat(bright, frame + step_frames(step) / 2, 0.5, 0.05, 9000.0, seed_for(number, step, 7));
        add_wash(bright, frame, step_frames(step), 0.25, 9000.0, 30000.0, seed_for(number, step, 8));
    }
}

void render_thumps(int number, const Recipe& recipe, Layer& base, Layer& bright) {
    Kick thump;
    thump.start_hz = 95.0;
    thump.end_hz = 41.0;
    thump.pitch_decay = 0.06;
    thump.decay = 0.2;
    for (int step = 0; step < kSteps; ++step) {
        const long frame = step_start(step);
        if (recipe.steps[step] == 'x') add_kick(base, frame, thump);
        add_hat(bright, frame, 0.05, 0.02, recipe.hat_cutoff, seed_for(number, step, 9));
    }
}

// Fades the sound out over 30 ms from `seconds` and silences the rest.
void cut(std::vector<double>& signal, double seconds) {
    const double fade = 0.03;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const double t = static_cast<double>(i) / kRate - seconds;
        if (t > fade) signal[i] = 0.0;
        else if (t > 0) signal[i] *= 0.5 + 0.5 * modelgen::exact_cos(std::numbers::pi * t / fade);
    }
}

std::vector<double> mix(const std::vector<double>& a, const std::vector<double>& b, double b_gain) {
    std::vector<double> out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) out[i] = a[i] + b_gain * b[i];
    return out;
}

// Crossings per second of the mix as it will be written: the limiter keeps every sign,
// but 16-bit rounding turns very quiet passages into zeros (or flickers them).
double written_crossings(const std::vector<double>& base, const std::vector<double>& bright, double gain,
                         double rms) {
    std::vector<double> signal = mix(base, bright, gain);
    double sum = 0.0;
    for (double value : signal) sum += value * value;
    const double scale = rms / std::sqrt(sum / static_cast<double>(signal.size())) * 32768.0;
    for (double& value : signal) value = std::nearbyint(value * scale);
    return crossings_per_second(signal);
}

// The level of the bright layer that gives the left channel its crossings per second.
double solve_brightness(const std::vector<double>& base, const std::vector<double>& bright, const Stats& targets) {
    auto crossings = [&](double gain) { return written_crossings(base, bright, gain, targets.rms_left); };
    double low = 0.0, high = 1.0;
    while (crossings(high) < targets.crossings && high < 1e4) high *= 2.0;
    for (int i = 0; i < 40; ++i) {
        const double middle = 0.5 * (low + high);
        (crossings(middle) < targets.crossings ? low : high) = middle;
    }
    return 0.5 * (low + high);
}

}  // namespace

Stats target_stats(int number) { return kRecipes[number - 1].targets; }

Clip make_clip(int number) {
    const Recipe& recipe = kRecipes[number - 1];
    Layer base, bright;
    const bool wraps = recipe.cut_seconds == 0.0;
    base.wraps = bright.wraps = wraps;
    switch (recipe.kind) {
        case Kind::Groove: render_groove(number, recipe, base, bright); break;
        case Kind::Noise: render_noise(number, recipe, base, bright); break;
        case Kind::Thumps: render_thumps(number, recipe, base, bright); break;
    }
    for (Layer* layer : {&base, &bright}) {
        remove_mean(layer->direct);
        remove_mean(layer->twin);
        if (!wraps) {
            cut(layer->direct, recipe.cut_seconds);
            cut(layer->twin, recipe.cut_seconds);
        }
    }
    const double brightness = solve_brightness(base.direct, bright.direct, recipe.targets);
    const std::vector<double> direct = mix(base.direct, bright.direct, brightness);
    const std::vector<double> twin = mix(base.twin, bright.twin, brightness);

    Clip clip;
    clip.left = shape_channel(direct, recipe.targets.rms_left, recipe.targets.peak_left);
    const double angle = solve_angle(to_unit(clip.left), direct, twin, recipe.targets.correlation);
    std::vector<double> right(direct.size());
    const double c = modelgen::exact_cos(angle), s = modelgen::exact_sin(angle);
    for (std::size_t i = 0; i < right.size(); ++i) right[i] = c * direct[i] + s * twin[i];
    clip.right = shape_channel(right, recipe.targets.rms_right, recipe.targets.peak_right);
    clip.brightness = brightness;
    clip.angle = angle;
    return clip;
}

}  // namespace clipgen
