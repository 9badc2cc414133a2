#include "pictures/match.hpp"

#include <cmath>
#include <cstddef>

namespace lumo::test {

std::vector<double> blurred_grid(const RgbImage& picture) {
    constexpr int kGrid = 150;
    std::vector<double> grid(kGrid * kGrid, 0.0), count(kGrid * kGrid, 0.0);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const int cell = y * kGrid / picture.height * kGrid + x * kGrid / picture.width;
            grid[static_cast<std::size_t>(cell)] +=
                picture.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                             static_cast<std::size_t>(x)) * 3 + 1];
            count[static_cast<std::size_t>(cell)] += 1.0;
        }
    }
    for (std::size_t i = 0; i < grid.size(); ++i) grid[i] /= count[i];
    std::vector<double> weights;
    for (int k = -4; k <= 4; ++k) weights.push_back(std::exp(-0.5 * k * k / (1.5 * 1.5)));
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<double> out(grid.size(), 0.0);
        for (int y = 0; y < kGrid; ++y) {
            for (int x = 0; x < kGrid; ++x) {
                for (int k = -4; k <= 4; ++k) {
                    const int qx = pass == 0 ? x + k : x, qy = pass == 0 ? y : y + k;
                    if (qx < 0 || qy < 0 || qx >= kGrid || qy >= kGrid) continue;
                    out[static_cast<std::size_t>(y * kGrid + x)] +=
                        grid[static_cast<std::size_t>(qy * kGrid + qx)] * weights[static_cast<std::size_t>(k + 4)];
                }
            }
        }
        grid = out;
    }
    return grid;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) ma += a[i], mb += b[i];
    ma /= static_cast<double>(a.size());
    mb /= static_cast<double>(b.size());
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

}  // namespace lumo::test
