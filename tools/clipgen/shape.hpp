// Turning a clip's rendered layers into 16-bit channels with the wanted statistics.
#pragma once

#include <cstdint>
#include <vector>

namespace clipgen {

struct Stats {
    double peak_left, peak_right;
    double rms_left, rms_right;
    double crossings;    // left channel's zero crossings per second
    double correlation;  // between left and right
};

using Samples = std::vector<std::int16_t>;

double correlation(const std::vector<double>& a, const std::vector<double>& b, std::size_t count);
std::vector<double> to_unit(const Samples& samples);
Stats measure(const Samples& left, const Samples& right);

// Zero crossings per second of a signal's sign, the way the left channel is measured.
double crossings_per_second(const std::vector<double>& signal);

void remove_mean(std::vector<double>& signal);

// Gains `signal` so that its RMS is `rms` and limits it so that its peak is exactly
// `peak`: linear below half the peak, then bent smoothly (slope 1 at the knee) onto the
// ceiling (or, when the loudest sample falls short, lifts the loudest ones onto it
// the same way).  The gain is found by bisection because the limiter changes the RMS.
Samples shape_channel(const std::vector<double>& signal, double rms, double peak);

// The mixing angle for which direct·cos + twin·sin correlates with `left` at `target`.
double solve_angle(const std::vector<double>& left, const std::vector<double>& direct,
                   const std::vector<double>& twin, double target);

}  // namespace clipgen
