#include "shape.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "core/convert.hpp"
#include "exact_math.hpp"
#include "synth.hpp"

namespace clipgen {

namespace {

double dot(const std::vector<double>& a, const std::vector<double>& b, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += a[i] * b[i];
    return sum;
}

double mean(const std::vector<double>& a, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += a[i];
    return sum / static_cast<double>(count);
}

struct Limiter {
    double knee, ceiling, top;

    // out[i] = the limited gain · signal[i] for i < count (at most kPowBlock).  The powers
    // of a block are taken together: they are most of the time a clip takes to make.
    void apply(const double* signal, double gain, double* out, std::size_t count) const {
        double bases[modelgen::kPowBlock], powers[modelgen::kPowBlock];
        std::size_t bent[modelgen::kPowBlock];
        std::size_t bending = 0;
        count = std::min(count, modelgen::kPowBlock);
        for (std::size_t i = 0; i < count; ++i) {
            const double u = gain * signal[i];
            out[i] = u;
            const double magnitude = std::fabs(u);
            if (top == ceiling || magnitude <= knee) continue;
            const double s = (magnitude - knee) / (top - knee);
            if (top > ceiling) {
                bases[bending] = 1.0 - s;
                bent[bending++] = i;
            } else {
                // Too few transients for the wanted peak: lift the loudest ones instead.
                const double y = magnitude + (ceiling - top) * s * s;
                out[i] = u < 0 ? -y : y;
            }
        }
        if (bending == 0) return;
        const double bend = (top - knee) / (ceiling - knee);
        modelgen::exact_pow_block(bases, bend, powers, bending);
        for (std::size_t j = 0; j < bending; ++j) {
            const double y = knee + (ceiling - knee) * (1.0 - powers[j]);
            double& value = out[bent[j]];
            value = value < 0 ? -y : y;
        }
    }
};

std::int16_t quantize(double value) {
    const double scaled = std::nearbyint(value * 32768.0);
    return lumo::saturating_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

}  // namespace

double correlation(const std::vector<double>& a, const std::vector<double>& b, std::size_t count) {
    const double mean_a = mean(a, count), mean_b = mean(b, count);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double da = a[i] - mean_a, db = b[i] - mean_b;
        ab += da * db;
        aa += da * da;
        bb += db * db;
    }
    return ab / std::sqrt(aa * bb);
}

std::vector<double> to_unit(const Samples& samples) {
    std::vector<double> unit(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) unit[i] = samples[i] / 32768.0;
    return unit;
}

double crossings_per_second(const std::vector<double>& signal) {
    long count = 0;
    for (std::size_t i = 1; i < signal.size(); ++i) count += (signal[i - 1] < 0) != (signal[i] < 0);
    return static_cast<double>(count) * kRate / static_cast<double>(signal.size());
}

Stats measure(const Samples& left, const Samples& right) {
    const std::vector<double> l = to_unit(left), r = to_unit(right);
    Stats stats{};
    for (std::size_t i = 0; i < l.size(); ++i) {
        stats.peak_left = std::max(stats.peak_left, std::fabs(l[i]));
        stats.peak_right = std::max(stats.peak_right, std::fabs(r[i]));
    }
    stats.rms_left = std::sqrt(dot(l, l, l.size()) / static_cast<double>(l.size()));
    stats.rms_right = std::sqrt(dot(r, r, r.size()) / static_cast<double>(r.size()));
    stats.crossings = crossings_per_second(l);
    stats.correlation = correlation(l, r, l.size());
    return stats;
}

void remove_mean(std::vector<double>& signal) {
    const double m = mean(signal, signal.size());
    for (double& value : signal) value -= m;
}

Samples shape_channel(const std::vector<double>& signal, double rms, double peak) {
    double largest = 0.0;
    for (double value : signal) largest = std::max(largest, std::fabs(value));
    // Calls `use` with each block of the limited signal at `gain`, in order.
    auto limited = [&](double gain, auto&& use) {
        const Limiter limit{0.5 * peak, peak, gain * largest};
        double block[modelgen::kPowBlock];
        for (std::size_t first = 0; first < signal.size(); first += modelgen::kPowBlock) {
            const std::size_t count = std::min(modelgen::kPowBlock, signal.size() - first);
            limit.apply(signal.data() + first, gain, block, count);
            use(first, block, count);
        }
    };
    // The bisection comes back to gains it has tried once its ends are neighbouring
    // doubles: those are remembered.
    std::vector<std::pair<double, double>> tried;
    auto limited_rms = [&](double gain) {
        for (const auto& [known, result] : tried) {
            if (known == gain) return result;
        }
        double sum = 0.0;
        limited(gain, [&](std::size_t, const double* block, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) sum += block[i] * block[i];
        });
        const double result = std::sqrt(sum / static_cast<double>(signal.size()));
        tried.emplace_back(gain, result);
        return result;
    };
    double low = 0.0, high = 1.0;
    while (limited_rms(high) < rms && high < 1e6) high *= 2.0;
    for (int i = 0; i < 60; ++i) {
        const double middle = 0.5 * (low + high);
        (limited_rms(middle) < rms ? low : high) = middle;
    }
    Samples out(signal.size());
    limited(0.5 * (low + high), [&](std::size_t first, const double* block, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) out[first + i] = quantize(block[i]);
    });
    return out;
}

double solve_angle(const std::vector<double>& left, const std::vector<double>& direct,
                   const std::vector<double>& twin, double target) {
    const std::size_t n = left.size();
    const double ld = dot(left, direct, n), lt = dot(left, twin, n);
    const double dd = dot(direct, direct, n), tt = dot(twin, twin, n), dt = dot(direct, twin, n);
    const double ll = dot(left, left, n);
    auto correlation_at = [&](double angle) {
        const double c = modelgen::exact_cos(angle), s = modelgen::exact_sin(angle);
        return (c * ld + s * lt) / std::sqrt(ll * (c * c * dd + 2 * c * s * dt + s * s * tt));
    };
    // The correlation falls from about +1 to about -1 as the angle turns through half a circle.
    double low = 0.0, high = std::numbers::pi;
    for (int i = 0; i < 60; ++i) {
        const double middle = 0.5 * (low + high);
        (correlation_at(middle) > target ? low : high) = middle;
    }
    return 0.5 * (low + high);
}

}  // namespace clipgen
