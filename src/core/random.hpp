// Random numbers: one engine type, lumo's own uniform sampling, and the engines lumo
// starts from.
//
// Whatever draws random numbers (the blocks' speeds, the order of outline edges) takes
// its engine as an argument, so a seeded engine reproduces a run exactly.
#pragma once

#include <cstdint>
#include <random>

namespace lumo {

using RandomEngine = std::mt19937_64;

// A fresh engine seeded from the operating system's entropy.
RandomEngine seeded_from_system();

// This thread's engine, seeded from the operating system the first time the thread
// asks for it.  lumo plays with it, so every show is different.
RandomEngine& thread_random_engine();

// A uniformly distributed integer in [low, high].  The sampling is lumo's own (not a
// standard-library distribution), so a seed gives the same values with every compiler
// and library.
std::int64_t random_int(RandomEngine& engine, std::int64_t low, std::int64_t high);

}  // namespace lumo
