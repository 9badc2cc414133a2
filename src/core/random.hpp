// The program's one source of randomness: a thread-local generator.
//
// It is seeded from the operating system the first time a thread uses it.  lumo itself
// never seeds it; tests and lumo-render seed it explicitly so that a run that draws
// random numbers (the blocks' speeds, the order of outline edges) can be reproduced.
#pragma once

#include <cstdint>
#include <random>

namespace lumo {

using RandomEngine = std::mt19937_64;

// This thread's generator.
RandomEngine& random_engine();

// Restarts this thread's generator from a fixed seed.
void seed_random(std::uint64_t seed);

// A uniformly distributed integer in [low, high], from this thread's generator.  The
// sampling is lumo's own (not a standard-library distribution), so a seed gives the
// same values with every compiler and library.
std::int64_t random_int(std::int64_t low, std::int64_t high);

}  // namespace lumo
