// read_wav_to_vec on arbitrary bytes: an error value or points, never a crash, a read
// outside the block, a fatal stop, or more points than the bytes could encode (two bytes
// a frame), which is how a compressed stream would show.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "wave/wav.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lumo::Result<lumo::PointList> points =
        lumo::read_wav_to_vec(std::span(reinterpret_cast<const std::byte*>(data), size));
    if (points.ok() && points.value().size() > size / 2) std::abort();
    if (!points.ok() && points.error().message().empty()) std::abort();
    return 0;
}
