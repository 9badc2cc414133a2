#include "wav.hpp"

#include <array>
#include <cstdint>
#include <string_view>

#include "synth.hpp"

namespace clipgen {

namespace {

void put(std::vector<char>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void put_le(std::vector<char>& out, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

// Extensible format, with an INFO list naming the encoder.
std::vector<char> wav_bytes(const Clip& clip) {
    const unsigned long data_bytes = static_cast<unsigned long>(kFrames) * 4;
    std::vector<char> out;
    put(out, "RIFF");
    put_le(out, 4 + (8 + 40) + (8 + 26) + (8 + data_bytes), 4);
    put(out, "WAVE");
    put(out, "fmt ");
    put_le(out, 40, 4);
    put_le(out, 0xFFFE, 2);               // extensible
    put_le(out, 2, 2);                    // channels
    put_le(out, kRate, 4);
    put_le(out, kRate * 4, 4);   // bytes per second
    put_le(out, 4, 2);                    // block alignment
    put_le(out, 16, 2);                   // bits per sample
    put_le(out, 22, 2);                   // extension size
    put_le(out, 16, 2);                   // valid bits
    put_le(out, 0x3, 4);                  // front left, front right
    static constexpr std::array<unsigned char, 16> kPcmGuid = {
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    for (unsigned char byte : kPcmGuid) out.push_back(static_cast<char>(byte));
    put(out, "LIST");
    put_le(out, 26, 4);
    put(out, "INFO");
    put(out, "ISFT");
    put_le(out, 14, 4);
    put(out, std::string_view("lumo-clipgen\0\0", 14));
    put(out, "data");
    put_le(out, data_bytes, 4);
    for (int i = 0; i < kFrames; ++i) {
        put_le(out, static_cast<std::uint16_t>(clip.left[static_cast<std::size_t>(i)]), 2);
        put_le(out, static_cast<std::uint16_t>(clip.right[static_cast<std::size_t>(i)]), 2);
    }
    return out;
}

}  // namespace clipgen
