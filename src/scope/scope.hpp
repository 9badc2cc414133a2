// The phosphor scope: the show's stereo output in, the picture an analogue scope in XY
// mode shows of it out.
//
// The samples may come at any rate (the show's 96000 Hz, or a user's file at its own): the
// reconstruction works in samples and a frame gathers rate / fps of them, so the picture
// of a signal is the same whatever the rate it is sampled at.
//
// The model is a pipeline of five steps, each one pass of a GPU renderer (the browser
// viewer mirrors it step for step).  Lengths are in pixels of the size × size picture,
// σ = max(beam_sigma × size, kScopeNarrowestSpot).
//
//  1. Reconstruction.  A DAC does not jump between samples: its output filter draws a
//     band-limited curve through them.  Each channel is upsampled by U = oversampling with
//     a Kaiser-windowed sinc, K(x) = sinc(x) · I₀(β √(1 − (x/a)²)) / I₀(β) for |x| < a,
//     a = kScopeFilterLobes, β = kScopeFilterShape: the point at time n + p/U is
//     Σ s[n + k] K(p/U − k) over k = 1 − a … a, each phase's weights divided by their sum.
//     So the curve passes through every sample, a held value stays put, a ramp keeps its
//     speed (within 0.6%), and jumps ring (about 13%) and dots smear, as on a real scope.
//     Screen position: x = left, y = right, ±1 = the edges of the picture, y up (or as
//     the axes setting swaps and turns them, as a scope's X/Y switches do).
//  2. Beam.  Each step of the upsampled path is a segment from a to b drawn in
//     1 / (rate U) s, so it carries the energy E = (1 − d) / S, S being the segments in a
//     frame (d: step 3).  The spot is a Gaussian of standard deviation σ; a segment spreads
//     its energy evenly along itself, so at a pixel centre at distances t along and n
//     across the segment from a, with L = |b − a|,
//         I = E / L · exp(−n² / 2σ²) / (2σ √(2π)) · [erf(t / σ√2) − erf((t − L) / σ√2)],
//     the Gaussian integrated along the segment divided by its length.  Segments shorter
//     than kScopeShortSegment σ are drawn as the plain Gaussian E exp(−r² / 2σ²) / (2πσ²)
//     at their midpoint: at most (L/σ)² / 24 of the peak (4%) off for a lone segment, and
//     in a trace, whose spots are then under σ apart, the same to 1e-8.  A pixel thus
//     gathers the time the beam dwells near it: dots and slow moves are bright, fast moves
//     faint.  Segments add up (additive blending), each drawn within kScopeBeamReach σ.
//  3. Persistence.  A frame gathers 1 / fps s of samples.  The phosphor's glow decays with
//     the time constant τ = persistence: a frame keeps d = exp(−1 / (fps τ)) of the glow
//     of the frame before, and its own segments add (1 − d) of their energy (the rest of
//     their light is what later frames still show).  So every sample gives the same total
//     light whatever fps and τ are, and a held figure settles to the same brightness:
//     exposure is fixed across frames, figures and frame rates.  The glow is light per
//     screen area (the whole screen has area 1); a frame's light, all told, is 1.
//     Glow below kScopeDarkGlow, which no exposure shows, is dropped.
//  4. Bloom.  Light scattered in the glass: the glow averaged over blocks of f × f pixels
//     (f = bloom_sigma × size / 2, 1 … 16), blurred with a Gaussian of bloom_sigma × size,
//     read back bilinearly and weighted by `bloom`.
//  5. Tone map.  v = exposure × (glow + bloom × halo); each channel is c = v k / (1 + v k)
//     with k = the phosphor's colour (P31, the default, is kScopePhosphorColour: green
//     strongest, so the trace is green and whitens as it saturates), encoded with gamma 2 (√c) into 8 bits.
//
// Pure and deterministic: the same samples and settings give the same bytes, whatever the
// number of threads (each thread owns whole rows and adds the segments in path order), and
// on every platform (plain float arithmetic, no libm in the per-pixel kernels, tables from
// series in double).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/clock.hpp"
#include "core/error.hpp"
#include "image/image.hpp"

namespace lumo {

// The show's own rate: the scope's unless it is given another.
inline constexpr int kScopeSampleRate = static_cast<int>(kSampleRate);
inline constexpr int kScopeLowestRate = 8000;
inline constexpr int kScopeHighestRate = 768000;
inline constexpr int kScopeFilterLobes = 8;          // taps either side: the context a frame reads
inline constexpr double kScopeFilterShape = 7.0;
inline constexpr float kScopeNarrowestSpot = 0.5f;   // pixels: a narrower spot falls between pixels
inline constexpr float kScopeShortSegment = 1.0f;    // in σ
inline constexpr float kScopeBeamReach = 4.0f;       // in σ
inline constexpr float kScopeDarkGlow = 1e-12f;
inline constexpr float kScopePhosphorColour[3] = {0.06f, 1.0f, 0.16f};  // red, green, blue

// The screens a scope comes with: green P31, the blue-white P7 of radar screens, and
// amber.
enum class ScopePhosphor { P31, P7, Amber };
inline constexpr float kScopePhosphorColours[3][3] = {
    {kScopePhosphorColour[0], kScopePhosphorColour[1], kScopePhosphorColour[2]},
    {0.45f, 0.7f, 1.0f},
    {1.0f, 0.5f, 0.06f},
};

// The defaults look like a P31 (green) screen filmed at 30 fps.
struct ScopeSettings {
    int size = 600;             // the picture is size × size pixels
    int sample_rate = kScopeSampleRate;  // of the samples shown, 8000 to 768000 Hz
    int fps = 30;               // frames per second; must divide the sample rate
    // The phosphor's decay time constant τ, seconds (0: none).  A short glow: at 30 fps a
    // frame keeps 4% of the last, so motion leaves a faint trail, not a smear.
    float persistence = 0.01f;
    // Brightness: a figure traced once per 0.02 s slice at a few pixels per sample (most
    // of the show's) is a clear green, dwelling dots saturate to white.
    float exposure = 0.08f;
    // The spot's standard deviation as a fraction of the width: 1.2 pixels at 600, a trace
    // about 0.5% of the screen wide, like a focused analogue beam.
    float beam_sigma = 0.002f;
    float bloom = 0.05f;        // the halo's weight (0: none): a faint glow around bright lines
    float bloom_sigma = 0.015f; // the halo's standard deviation, a fraction of the width
    int oversampling = 8;       // reconstruction points per sample
    int threads = 0;            // 0: one per core
    ScopePhosphor phosphor = ScopePhosphor::P31;
    // The X/Y switches: swap the channels, then turn either axis over.
    bool swap_xy = false;
    bool invert_x = false;
    bool invert_y = false;
};

// An error naming the first setting out of its range, for the command line to report.
// Every function below expects settings that pass this and stops the program otherwise.
Status check_scope_settings(const ScopeSettings& settings);

// Stereo samples at the settings' rate, left and right interleaved, the first pair being sample
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

// Samples in a frame: sample rate / fps.
std::int64_t scope_frame_samples(const ScopeSettings& settings);

// The frame from `end` − scope_frame_samples to `end` (sample numbers): what the screen
// held decays and the beam draws that stretch.  `samples` must reach kScopeFilterLobes
// samples beyond both ends for the result to equal that part of a longer signal.
void expose_scope_frame(ScopeScreen& screen, const StereoSamples& samples, std::int64_t end,
                        const ScopeSettings& settings);

// The picture of the screen as it is: bloom and tone map.
RgbImage develop_scope_frame(const ScopeScreen& screen, const ScopeSettings& settings);

// The same picture as a video encoder takes it (an even size only): planar 4:2:0 YCbCr,
// BT.601 at studio range, into `planes` (resized to fit, so one buffer serves every
// frame): the size × size luma rows, then the blue and the red colour difference, each
// (size / 2)² with one value per 2 × 2 block.
void develop_scope_video_frame(const ScopeScreen& screen, const ScopeSettings& settings,
                               std::vector<std::uint8_t>& planes);
// A picture drawn elsewhere (an even square) into the same planes, with the same colours.
void video_frame_of(const RgbImage& picture, std::vector<std::uint8_t>& planes);

// How many frames before a frame still show in it: glow that has decayed below 1/10000
// is left out.
int scope_lead_in_frames(const ScopeSettings& settings);

// The sample number nearest to `seconds` at `sample_rate`.
std::int64_t scope_sample_at(double seconds, int sample_rate = kScopeSampleRate);

// The frame that ends at sample `end`, from a dark screen exposed over the lead-in frames
// before it.  `samples` needs (lead-in frames + 1) × frame samples + kScopeFilterLobes
// before `end` and kScopeFilterLobes after it.
RgbImage render_scope_frame(const StereoSamples& samples, std::int64_t end, const ScopeSettings& settings);

}  // namespace lumo
