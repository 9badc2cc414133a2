// How the tests tell whether two scope pictures show the same thing: the green channel
// (the phosphor's colour) averaged on a coarse grid and blurred, then correlated.  A trace
// a pixel or two off, or drawn by another renderer's rounding, still lands on the same
// cells; another figure, or the same figure at another instant, does not.
#pragma once

#include <vector>

#include "image/image.hpp"

namespace lumo::test {

// The pictures' agreement the tests ask for: at or above it, the same picture.
inline constexpr double kSamePicture = 0.98;

// Mean green on a 150 × 150 grid, blurred with a Gaussian of 1.5 cells.
std::vector<double> blurred_grid(const RgbImage& picture);

// Pearson's correlation of two grids of the same size.
double correlation(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace lumo::test
