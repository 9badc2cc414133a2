// Work spread over a few threads: the show's figures as they are prepared, the scope's
// bands of rows.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#if !defined(__wasi__)
#include <thread>
#endif
#include <vector>

namespace lumo {

// Runs work(0) … work(count − 1), each once and taken up in that order, on `threads`
// threads: the calling one and helpers that are joined before it returns.  A helper that
// cannot be started leaves its share to the threads there are, so the work is always done.
#if defined(__wasi__)
// The page's WebAssembly build has no threads: the calling one does every job, in order.
template <class Work> void run_on_threads(std::size_t count, unsigned, const Work& work) {
    for (std::size_t i = 0; i < count; ++i) work(i);
}
#else
template <class Work> void run_on_threads(std::size_t count, unsigned threads, const Work& work) {
    std::atomic<std::size_t> next{0};
    const auto take_up_work = [&] {
        for (std::size_t i = next++; i < count; i = next++) work(i);
    };
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < std::min<std::size_t>(threads, count); ++t) {
        try {
            helpers.emplace_back(take_up_work);
        } catch (const std::system_error&) {
            break;
        }
    }
    take_up_work();
}
#endif

}  // namespace lumo
