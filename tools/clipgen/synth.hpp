// The instruments every clip is drawn from, rendered in double precision with the
// generators' exact elementary functions, so that every platform writes the same samples.
//
// Each instrument writes two renderings of itself: `direct`, which becomes the left
// channel, and `twin`, made of the same envelopes over quadrature tones and independent
// noise.  The right channel mixes the two, so one angle sets how alike the channels are
// (and how wide the picture on the scope opens).
#pragma once

#include <cstdint>
#include <vector>

namespace clipgen {

inline constexpr int kRate = 96000;
inline constexpr int kFrames = 289786;
inline constexpr int kSteps = 16;

// First frame of grid step `step` (0-based; step 16 is the loop's end).
int step_start(int step);

struct Layer {
    std::vector<double> direct = std::vector<double>(kFrames, 0.0);
    std::vector<double> twin = std::vector<double>(kFrames, 0.0);
    // false: sound past the end is dropped instead of wrapping to the start.
    bool wraps = true;

    void add(long frame, double direct_value, double twin_value);
};

// splitmix64: a fixed seed gives the same noise on every machine.
struct Rng {
    std::uint64_t state;
    double uniform();  // in [-1, 1)
};

// A one-pole high-pass run twice; `cutoff` in Hz.
struct HighPass {
    double coefficient;
    double last_in1 = 0, last_out1 = 0, last_in2 = 0, last_out2 = 0;
    explicit HighPass(double cutoff);
    double operator()(double x);
};

struct LowPass {
    double coefficient;
    double state1 = 0, state2 = 0;
    explicit LowPass(double cutoff);
    double operator()(double x);
};

struct Kick {
    double gain = 1.0;  // negative: the kick swings the other way first
    double start_hz = 160.0;
    double end_hz = 48.0;
    double pitch_decay = 0.03;  // seconds
    double decay = 0.06;        // seconds
};
void add_kick(Layer& layer, long frame, const Kick& kick);

// A plucked low note of three harmonics, dying away with time constant `decay` (seconds).
void add_pluck(Layer& layer, long frame, double hz, double gain, double decay);

// A drum hit of noise over a short tone, dying away with time constant `decay` (seconds).
void add_snare(Layer& layer, long frame, double gain, double decay, std::uint64_t seed);

// Short high-passed noise burst; `decay` in seconds.
void add_hat(Layer& layer, long frame, double gain, double decay, double cutoff, std::uint64_t seed);

// Band-limited noise over `frames`, faded in and out so that it never clicks; steady, or
// dying away with time constant `decay` (seconds) when that is above 0.
void add_wash(Layer& layer, long frame, long frames, double gain, double low_cut, double high_cut,
              std::uint64_t seed, double decay = 0.0);

}  // namespace clipgen
