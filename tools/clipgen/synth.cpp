#include "synth.hpp"

#include <numbers>

#include "core/convert.hpp"
#include "exact_math.hpp"

namespace clipgen {

namespace {

using modelgen::exact_cos;
using modelgen::exact_exp;
using modelgen::exact_sin;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double seconds(long frames) { return static_cast<double>(frames) / kRate; }

// Linear rise over `rise` seconds: every onset starts from silence, so none clicks.
double attack(double t, double rise) { return t < rise ? t / rise : 1.0; }

// exact_exp(-seconds(i) / time_constant) for i = 0, 1, 2, …, made a block ahead at a time
// (modelgen::exact_exp_block): the same values, sooner.
class Decay {
public:
    explicit Decay(double time_constant) : time_constant_(time_constant) {}

    double at(long i) {
        if (i < first_ || i >= first_ + static_cast<long>(modelgen::kPowBlock)) {
            double exponents[modelgen::kPowBlock];
            first_ = i;
            for (std::size_t j = 0; j < modelgen::kPowBlock; ++j) {
                exponents[j] = -seconds(first_ + static_cast<long>(j)) / time_constant_;
            }
            modelgen::exact_exp_block(exponents, values_, modelgen::kPowBlock);
        }
        return values_[static_cast<std::size_t>(i - first_)];
    }

private:
    double time_constant_;
    long first_ = -static_cast<long>(modelgen::kPowBlock);  // no block made yet
    double values_[modelgen::kPowBlock] = {};
};

}  // namespace

int step_start(int step) {
    return static_cast<int>(static_cast<long long>(step) * kFrames / kSteps);
}

void Layer::add(long frame, double direct_value, double twin_value) {
    if (frame >= kFrames) {
        if (!wraps) return;
        frame %= kFrames;
    }
    direct[static_cast<std::size_t>(frame)] += direct_value;
    twin[static_cast<std::size_t>(frame)] += twin_value;
}

double Rng::uniform() {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
}

HighPass::HighPass(double cutoff) : coefficient(1.0 / (1.0 + kTwoPi * cutoff / kRate)) {}

double HighPass::operator()(double x) {
    const double y1 = coefficient * (last_out1 + x - last_in1);
    last_in1 = x;
    last_out1 = y1;
    const double y2 = coefficient * (last_out2 + y1 - last_in2);
    last_in2 = y1;
    last_out2 = y2;
    return y2;
}

LowPass::LowPass(double cutoff) : coefficient(1.0 - exact_exp(-kTwoPi * cutoff / kRate)) {}

double LowPass::operator()(double x) {
    state1 += coefficient * (x - state1);
    state2 += coefficient * (state1 - state2);
    return state2;
}

void add_kick(Layer& layer, long frame, const Kick& kick) {
    // Cut after five decay times, ending on a short fade, so that little of a late kick
    // wraps round into the opening.
    const long length = lumo::saturating_cast<long>(kick.decay * 5.0 * kRate);
    const double end = seconds(length);
    Decay pitch_fall(kick.pitch_decay), fall(kick.decay);
    double phase = 0.0;
    for (long i = 0; i < length; ++i) {
        const double t = seconds(i);
        const double hz = kick.end_hz + (kick.start_hz - kick.end_hz) * pitch_fall.at(i);
        double envelope = kick.gain * attack(t, 0.003) * fall.at(i);
        if (end - t < 0.01) envelope *= (end - t) / 0.01;
        layer.add(frame + i, envelope * exact_sin(phase), envelope * exact_cos(phase));
        phase += kTwoPi * hz / kRate;
    }
}

void add_pluck(Layer& layer, long frame, double hz, double gain, double decay) {
    const long length = lumo::saturating_cast<long>(decay * 5.0 * kRate);
    const double end = seconds(length);
    Decay fall(decay);
    for (long i = 0; i < length; ++i) {
        const double t = seconds(i);
        double envelope = gain * attack(t, 0.003) * fall.at(i);
        if (end - t < 0.01) envelope *= (end - t) / 0.01;
        const double phase = kTwoPi * hz * t;
        const double direct = exact_sin(phase) + 0.35 * exact_sin(2 * phase) + 0.12 * exact_sin(3 * phase);
        const double twin = exact_cos(phase) + 0.35 * exact_cos(2 * phase) + 0.12 * exact_cos(3 * phase);
        layer.add(frame + i, envelope * direct, envelope * twin);
    }
}

void add_snare(Layer& layer, long frame, double gain, double decay, std::uint64_t seed) {
    Rng direct_noise{seed};
    Rng twin_noise{seed ^ 0x5A5A5A5A12345678ull};
    HighPass direct_high(900.0), twin_high(900.0);
    LowPass direct_low(4500.0), twin_low(4500.0);
    const long length = lumo::saturating_cast<long>(decay * 5.0 * kRate);
    const double end = seconds(length);
    Decay body_fall(0.5 * decay), rattle_fall(decay);
    for (long i = 0; i < length; ++i) {
        const double t = seconds(i);
        const double rise = attack(t, 0.001);
        const double body = 0.6 * rise * body_fall.at(i);
        double rattle = rise * rattle_fall.at(i);
        if (end - t < 0.01) rattle *= (end - t) / 0.01;
        const double phase = kTwoPi * 185.0 * t;
        const double direct = body * exact_sin(phase) + rattle * direct_low(direct_high(direct_noise.uniform()));
        const double twin = body * exact_cos(phase) + rattle * twin_low(twin_high(twin_noise.uniform()));
        layer.add(frame + i, gain * direct, gain * twin);
    }
}

void add_hat(Layer& layer, long frame, double gain, double decay, double cutoff, std::uint64_t seed) {
    Rng direct_noise{seed};
    Rng twin_noise{seed ^ 0x77E1D00Dull};
    HighPass direct_high(cutoff), twin_high(cutoff);
    const long length = lumo::saturating_cast<long>(decay * 9.0 * kRate);
    Decay fall(decay);
    for (long i = 0; i < length; ++i) {
        const double t = seconds(i);
        const double envelope = gain * attack(t, 0.0005) * fall.at(i);
        layer.add(frame + i, envelope * direct_high(direct_noise.uniform()),
                  envelope * twin_high(twin_noise.uniform()));
    }
}

void add_wash(Layer& layer, long frame, long frames, double gain, double low_cut, double high_cut,
              std::uint64_t seed, double decay) {
    Rng direct_noise{seed};
    Rng twin_noise{seed ^ 0x3C3C0FF0ull};
    HighPass direct_high(low_cut), twin_high(low_cut);
    LowPass direct_low(high_cut), twin_low(high_cut);
    const double fade = 0.004;
    const double length = seconds(frames);
    Decay fall(decay);
    for (long i = 0; i < frames; ++i) {
        const double t = seconds(i);
        double envelope = gain * attack(t, fade);
        if (decay > 0) envelope *= fall.at(i);
        if (length - t < fade) envelope *= (length - t) / fade;
        layer.add(frame + i, envelope * direct_low(direct_high(direct_noise.uniform())),
                  envelope * twin_low(twin_high(twin_noise.uniform())));
    }
}

}  // namespace clipgen
