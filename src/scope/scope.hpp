// The phosphor scope: the show's stereo output in, the picture an analogue scope in XY
// mode shows of it out.
//
// The model is a pipeline of five steps, each one pass of a GPU renderer (the browser
// viewer mirrors it step for step):
//
//  1. Reconstruction.  A DAC does not jump between samples: its output filter draws a
//     band-limited curve through them.  Each channel is upsampled by `oversampling` with a
//     Lanczos kernel of kScopeFilterLobes lobes, L(x) = sinc(x) sinc(x / a) for |x| < a,
//     each phase's weights normalised to sum 1 (so a held value stays put and the curve
//     passes through every sample).  Jumps ring, dots smear.  Position p(t) in
//     screen units: x = left, y = right, ±1 = the edges of the picture, y up.
//  2. Beam.  Each step of the upsampled path is a segment from a to b, drawn in
//     1 / (96000 · oversampling) s, so it carries the energy E = (1 − d) / S, where S is the
//     number of segments in a frame (d: step 3).  The energy is spread along the segment
//     and blurred by the beam's Gaussian spot (standard deviation σ = beam_sigma × width):
//     at a pixel centre q, with t and n the distances along and across the segment from a,
//     and L = |b − a|,
//         I(q) = E / L · 1 / (2σ √(2π)) · exp(−n² / 2σ²)
//                      · [erf(t / σ√2) − erf((t − L) / σ√2)],
//     the Gaussian integrated along the segment divided by its length.  A segment shorter
//     than kScopeShortSegment σ is the plain Gaussian E · exp(−r² / 2σ²) / (2πσ²) at its
//     midpoint: it differs from the closed form by at most (L/σ)² / 24 of the peak (1%),
//     and most segments of a slow trace are that short.  So a pixel gathers the time the
//     beam dwells near it: slow moves and
//     dots are bright, fast moves faint.  Segments add up (additive blending); each is
//     drawn within kScopeBeamReach σ of itself.
//  3. Persistence.  A frame gathers 1 / fps s of samples.  The phosphor decays with the
//     time constant τ = persistence: the screen keeps d = exp(−1 / (fps · τ)) of its glow
//     from one frame to the next, and a frame's own segments add (1 − d) of their energy
//     (the rest of their light is what later frames still show).  So every sample gives
//     the same total light whatever fps and τ are, and a held figure settles to the same
//     brightness: exposure is fixed across frames, figures and frame rates.  The glow is
//     in energy per screen area (screen units², the picture being 2 × 2).
//  4. Bloom.  Light scattered in the glass: the glow averaged over blocks of f × f pixels,
//     blurred with a Gaussian of bloom_sigma × width, and read back bilinearly, weighted by
//     `bloom`, added to the glow.
//  5. Tone map.  v = exposure × (glow + bloom × halo); each channel is
//     1 − exp(−v · k) with k = kScopePhosphorColour (green strongest, so the trace is green
//     and whitens as it saturates), then encoded with gamma 2 (square root) into 8 bits.
//
// Pure and deterministic: the same samples and settings give the same bytes, whatever the
// number of threads (each thread owns whole rows and adds segments in path order), and
// the same on every platform (the kernels come from tables built with plain arithmetic).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/error.hpp"
#include "image/image.hpp"

namespace lumo {

inline constexpr int kScopeSampleRate = 96000;
inline constexpr int kScopeFilterLobes = 8;
inline constexpr double kScopeFilterShape = 7.0;
inline constexpr float kScopeNarrowestSpot = 0.5f;
inline constexpr float kScopeShortSegment = 1.0f;
inline constexpr float kScopeBeamReach = 4.0f;
inline constexpr float kScopeDarkGlow = 1e-12f;
inline constexpr float kScopePhosphorColour[3] = {0.06f, 1.0f, 0.16f};

struct ScopeSettings {
    int size = 600;               // the picture is size × size pixels
    int fps = 30;                 // frames per second; must divide 96000
    float persistence = 0.01f;    // the phosphor's decay time constant τ, seconds (0: none)
    float exposure = 1.0f;        // brightness scale of the tone map
    float beam_sigma = 0.002f;    // the spot's standard deviation, a fraction of the width
    float bloom = 0.1f;           // the halo's weight (0: none)
    float bloom_sigma = 0.02f;    // the halo's standard deviation, a fraction of the width
    int oversampling = 8;         // reconstruction points per sample
    int threads = 0;              // 0: one per core
};

// An error naming the first setting out of its range, for the command line to report.
// Every function below expects settings that pass this and stops the program otherwise.
Status check_scope_settings(const ScopeSettings& settings);

// Stereo samples at 96000 Hz, left and right interleaved, the first pair being sample
// number `first` of the signal.  Samples outside the span count as silence (0, 0), what the
// show plays before it starts and after it ends; NaN counts as 0 and values are held within
// ±4 (far off screen).
struct StereoSamples {
    std::span<const float> interleaved;
    std::int64_t first = 0;
};

// The phosphor's state between frames: glow per pixel, rows top to bottom.
struct ScopeScreen {
    int size = 0;
    std::vector<float> glow;
};

// A dark screen for `settings`.
ScopeScreen make_scope_screen(const ScopeSettings& settings);

// Samples in a frame: 96000 / fps.
std::int64_t scope_frame_samples(const ScopeSettings& settings);

// The frame from `end` − scope_frame_samples to `end` (sample numbers): what the screen
// held decays and the beam draws that stretch.  `samples` must reach kScopeFilterLobes
// samples beyond both ends for the result to equal that part of a longer signal.
void expose_scope_frame(ScopeScreen& screen, const StereoSamples& samples, std::int64_t end,
                        const ScopeSettings& settings);

// The picture of the screen as it is: bloom and tone map.
RgbImage develop_scope_frame(const ScopeScreen& screen, const ScopeSettings& settings);

// How many frames before a frame still show in it: glow that has decayed below 1/10000
// is left out.
int scope_lead_in_frames(const ScopeSettings& settings);

// The sample number nearest to `seconds` of show time.
std::int64_t scope_sample_at(double seconds);

// The frame that ends at sample `end`, from a dark screen exposed over the lead-in frames
// before it.  `samples` needs (lead-in frames + 1) × frame samples + kScopeFilterLobes
// before `end` and kScopeFilterLobes after it.
RgbImage render_scope_frame(const StereoSamples& samples, std::int64_t end, const ScopeSettings& settings);

}  // namespace lumo
