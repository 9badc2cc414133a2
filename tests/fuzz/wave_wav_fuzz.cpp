// read_wav_to_vec on arbitrary bytes: an error value or points, never a crash, a read
// outside the block, a fatal stop, or more points than the bytes could encode (two bytes
// a frame), which is how a compressed stream would show.  The same bytes as a file on disk
// (WavStream): refused with a message, or a stream whose frames all lie in the file and
// read as the decoder reads them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "wave/wav.hpp"

namespace {

void check_stream(std::span<const std::byte> bytes) {
    const int descriptor = memfd_create("wav", MFD_CLOEXEC);
    if (descriptor < 0) return;
    if (!bytes.empty() && write(descriptor, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        close(descriptor);
        return;
    }
    lumo::Result<lumo::WavStream> stream = lumo::WavStream::from_descriptor(descriptor, "fuzz.wav");
    if (!stream.ok()) {
        if (stream.error().message().empty()) std::abort();
        return;
    }
    lumo::WavStream& wav = stream.value();
    if (wav.frames() < 1 || static_cast<std::uint64_t>(wav.frames()) > bytes.size() / 2) std::abort();
    if (wav.sample_rate() < lumo::kWavStreamLowestRate || wav.sample_rate() > lumo::kWavStreamHighestRate) std::abort();
    // A header that holds up is one the decoder reads the same way.
    const lumo::Result<lumo::ChannelPair> decoded = lumo::read_wav_channels(bytes);
    if (!decoded.ok() || decoded.value().size() != static_cast<std::size_t>(wav.frames())) std::abort();
    std::vector<float> window(2 * static_cast<std::size_t>(wav.frames()) + 8);
    if (!wav.read(-2, window).ok()) std::abort();
    for (std::size_t i = 0; i < decoded.value().size(); ++i) {
        const lumo::Point p = decoded.value()[i];
        if (std::memcmp(&p.x, &window[2 * i + 4], sizeof(float)) != 0) std::abort();
        if (std::memcmp(&p.y, &window[2 * i + 5], sizeof(float)) != 0) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    const lumo::Result<lumo::PointList> points = lumo::read_wav_to_vec(bytes);
    if (points.ok() && points.value().size() > size / 2) std::abort();
    if (!points.ok() && points.error().message().empty()) std::abort();
    check_stream(bytes);
    return 0;
}
