// The WAV decoder over hand-made files: scaling of every integer width, float
// pass-through, the stereo rule, and damaged files that must never crash it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "wave/wav.hpp"

namespace lumo {
namespace {

enum class Tag : std::uint16_t { Pcm = 1, Float = 3, Extensible = 0xFFFE };

struct WavShape {
    Tag tag = Tag::Pcm;
    int channels = 2;
    int rate = 96000;
    int bits = 16;
    bool info_list = false;
};

void put_le(std::vector<std::byte>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
}

void put_text(std::vector<std::byte>& out, std::string_view text) {
    for (char c : text) out.push_back(static_cast<std::byte>(c));
}

// A complete file around `data`, the raw sample bytes.
std::vector<std::byte> make_wav(const WavShape& shape, const std::vector<std::byte>& data) {
    const bool extensible = shape.tag == Tag::Extensible;
    const int fmt_size = extensible ? 40 : 16;
    const int block = shape.channels * shape.bits / 8;
    std::vector<std::byte> out;
    put_text(out, "RIFF");
    put_le(out, 4 + 8 + fmt_size + (shape.info_list ? 34 : 0) + 8 + data.size(), 4);
    put_text(out, "WAVEfmt ");
    put_le(out, fmt_size, 4);
    put_le(out, static_cast<std::uint16_t>(shape.tag), 2);
    put_le(out, shape.channels, 2);
    put_le(out, shape.rate, 4);
    put_le(out, shape.rate * block, 4);
    put_le(out, block, 2);
    put_le(out, shape.bits, 2);
    if (extensible) {
        put_le(out, 22, 2);
        put_le(out, shape.bits, 2);
        put_le(out, 0x3, 4);
        for (unsigned byte : {0x01u, 0u, 0u, 0u, 0u, 0u, 0x10u, 0u, 0x80u, 0u, 0u, 0xAAu, 0u, 0x38u, 0x9Bu, 0x71u})
            put_le(out, byte, 1);
    }
    if (shape.info_list) {
        put_text(out, "LIST");
        put_le(out, 26, 4);
        put_text(out, "INFOISFT");
        put_le(out, 14, 4);
        put_text(out, std::string_view("test-encoder\0\0", 14));
    }
    put_text(out, "data");
    put_le(out, data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::byte> samples_le(const std::vector<std::int64_t>& samples, int bytes) {
    std::vector<std::byte> out;
    for (std::int64_t sample : samples) put_le(out, static_cast<std::uint64_t>(sample), bytes);
    return out;
}

PointList decode_ok(const std::vector<std::byte>& file) {
    Result<PointList> result = read_wav_to_vec(file);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message());
    return result.ok() ? std::move(result).value() : PointList{};
}

// Exact float comparison: the decoder must produce these bits, not values near them.
void expect_points(const PointList& got, const std::vector<Point>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(Point)), 0)
            << "point " << i << ": (" << got[i].x << ", " << got[i].y << ")";
    }
}

TEST(ReadWav, SixteenBitExtremesAndLayout) {
    const std::vector<std::int64_t> samples = {-32768, 32767, 0, 1, -1, 16384};
    const std::vector<Point> want = {{-1.0f, 32767.0f / 32768.0f}, {0.0f, 1.0f / 32768.0f}, {-1.0f / 32768.0f, 0.5f}};
    expect_points(decode_ok(make_wav({}, samples_le(samples, 2))), want);
    // The embedded clips' header: extensible tag, integer PCM sub-format, INFO list to skip.
    const WavShape extensible{.tag = Tag::Extensible, .info_list = true};
    const std::vector<std::byte> file = make_wav(extensible, samples_le(samples, 2));
    expect_points(decode_ok(file), want);
    // The show decodes its clips straight into their two channels.
    EXPECT_EQ(read_wav_channels(file).value(), split_channels(decode_ok(file)));
    EXPECT_NEAR(want[0].y, 0.999969, 5e-7);
}

TEST(ReadWav, SampleRateIsNotChecked) {
    const PointList points = decode_ok(make_wav({.rate = 44100}, samples_le({100, -200, 300, -400}, 2)));
    expect_points(points, {{100.0f / 32768.0f, -200.0f / 32768.0f}, {300.0f / 32768.0f, -400.0f / 32768.0f}});
}

TEST(ReadWav, OnlyStereoIsAccepted) {
    for (int channels : {1, 3}) {
        const Result<PointList> result = read_wav_to_vec(make_wav({.channels = channels}, samples_le({1, 2, 3, 4, 5, 6}, 2)));
        ASSERT_FALSE(result.ok()) << channels << " channels";
        EXPECT_EQ(result.error().message(), "Only stereo WAV files are supported");
    }
}

// Each raw integer is divided by 2^(bits - 1) as a float, with its sign spread from the
// top bit of its own width; unsigned 8-bit data is re-centred first.
TEST(ReadWav, IntegerWidthsScaleByTheirOwnRange) {
    // 8-bit WAV data is unsigned around 128.
    const std::vector<std::byte> eight = {std::byte{0}, std::byte{255}, std::byte{128}, std::byte{129}};
    expect_points(decode_ok(make_wav({.bits = 8}, eight)), {{-1.0f, 127.0f / 128.0f}, {0.0f, 1.0f / 128.0f}});

    const std::int64_t min24 = -(1 << 23), max24 = (1 << 23) - 1;
    expect_points(decode_ok(make_wav({.bits = 24}, samples_le({min24, max24, 1, -3}, 3))),
                  {{-1.0f, static_cast<float>(max24) / 8388608.0f}, {1.0f / 8388608.0f, -3.0f / 8388608.0f}});

    const std::int64_t min32 = std::numeric_limits<std::int32_t>::min();
    const std::int64_t max32 = std::numeric_limits<std::int32_t>::max();
    const float divisor = 2147483648.0f;
    expect_points(decode_ok(make_wav({.bits = 32}, samples_le({min32, max32, 123456789, -7}, 4))),
                  {{-1.0f, static_cast<float>(max32) / divisor},
                   {static_cast<float>(123456789) / divisor, -7.0f / divisor}});

    // 12 valid bits pad their 16-bit container below the sample, so the container's
    // width scales them.
    expect_points(decode_ok(make_wav({.bits = 12}, samples_le({-32768, 16 * 2047}, 2))),
                  {{-1.0f, 32752.0f / 32768.0f}});
    // Wider integers, and floats of neither 32 nor 64 bits, are refused.
    for (const WavShape shape : {WavShape{.bits = 40}, WavShape{.tag = Tag::Float, .bits = 16}}) {
        const Result<PointList> result = read_wav_to_vec(make_wav(shape, samples_le({1, 2, 3, 4}, 5)));
        ASSERT_FALSE(result.ok()) << shape.bits;
        EXPECT_EQ(result.error().message(), "Unsupported WAV sample format");
    }
}

TEST(ReadWav, FloatSamplesPassUnchanged) {
    const std::vector<float> values = {1.5f, -2.0f, 1e-30f, -0.0f, 0.1f, 65536.0f};
    std::vector<std::byte> data;
    for (float value : values) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        put_le(data, bits, 4);
    }
    expect_points(decode_ok(make_wav({.tag = Tag::Float, .bits = 32}, data)),
                  {{1.5f, -2.0f}, {1e-30f, -0.0f}, {0.1f, 65536.0f}});

    // Doubles narrow to the nearest float.
    std::vector<std::byte> doubles;
    for (double value : {0.1, -1e300, 1.0 + 0x1p-30, -0.0}) put_le(doubles, std::bit_cast<std::uint64_t>(value), 8);
    expect_points(decode_ok(make_wav({.tag = Tag::Float, .bits = 64}, doubles)),
                  {{0.1f, -std::numeric_limits<float>::infinity()}, {1.0f, -0.0f}});
}

TEST(ReadWav, IncompleteFramesAndEmptyData) {
    // Three samples: the odd one out is dropped.
    expect_points(decode_ok(make_wav({}, samples_le({1, 2, 3}, 2))), {{1.0f / 32768.0f, 2.0f / 32768.0f}});
    // No samples at all is an empty figure, not an error.
    EXPECT_TRUE(decode_ok(make_wav({}, {})).empty());
}

TEST(ReadWav, HeadersThatDoNotParseCarryTheDecodersMessage) {
    const std::vector<std::byte> file = make_wav({.tag = Tag::Extensible, .info_list = true}, samples_le({1, 2}, 2));
    struct Damage {
        std::size_t at;
        const char* bytes;
        const char* message;
    };
    for (const Damage& damage : {Damage{0, "RIFX", "no RIFF tag found"}, Damage{0, "JUNK", "no RIFF tag found"},
                                 Damage{8, "AVI ", "no WAVE tag found"}, Damage{12, "fmX ", "missing fmt chunk"},
                                 // A LIST chunk claiming 4 GB kept libsndfile busy for minutes.
                                 Damage{64, "\x1a\xff\xff\xff", "malformed WAV file: a chunk runs past the end of the file"}}) {
        std::vector<std::byte> broken = file;
        std::memcpy(broken.data() + damage.at, damage.bytes, 4);
        const Result<PointList> result = read_wav_to_vec(broken);
        ASSERT_FALSE(result.ok()) << damage.bytes;
        EXPECT_EQ(result.error().message(), damage.message);
    }
    EXPECT_FALSE(read_wav_to_vec({}).ok());
}

// libsndfile writing into memory, for files in the formats lumo must refuse.
struct MemoryFile {
    std::vector<std::byte> bytes;
    sf_count_t position = 0;
};

std::vector<std::byte> encode_with_libsndfile(int format) {
    SF_VIRTUAL_IO io{
        [](void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size()); },
        [](sf_count_t offset, int whence, void* user) {
            MemoryFile& file = *static_cast<MemoryFile*>(user);
            const sf_count_t base = whence == SEEK_CUR   ? file.position
                                    : whence == SEEK_END ? static_cast<sf_count_t>(file.bytes.size())
                                                         : 0;
            file.position = base + offset;
            return file.position;
        },
        [](void* destination, sf_count_t count, void* user) {
            MemoryFile& file = *static_cast<MemoryFile*>(user);
            const sf_count_t taken = std::clamp<sf_count_t>(static_cast<sf_count_t>(file.bytes.size()) - file.position, 0, count);
            if (taken > 0) std::memcpy(destination, file.bytes.data() + file.position, static_cast<std::size_t>(taken));
            file.position += taken;
            return taken;
        },
        [](const void* source, sf_count_t count, void* user) {
            MemoryFile& file = *static_cast<MemoryFile*>(user);
            const auto end = static_cast<std::size_t>(file.position + count);
            if (file.bytes.size() < end) file.bytes.resize(end);
            std::memcpy(file.bytes.data() + file.position, source, static_cast<std::size_t>(count));
            file.position += count;
            return count;
        },
        [](void* user) { return static_cast<MemoryFile*>(user)->position; }};
    MemoryFile memory;
    SF_INFO info{.frames = 0, .samplerate = 96000, .channels = 2, .format = format, .sections = 0, .seekable = 0};
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    if (file == nullptr) return {};
    std::vector<short> samples(2 * 4800);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>((i * 2654435761u) >> 20);
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return memory.bytes;
}

// libsndfile would decode all of these, some (compressed) into far more points than
// their size; only plain integer or float WAV is lumo's.
TEST(ReadWav, OtherContainersAndCodecsAreRefused) {
    const std::string not_riff = "no RIFF tag found";
    const std::string not_pcm = "Unsupported WAV format: only integer PCM and IEEE float are read";
    struct Case {
        const char* name;
        int format;
        const std::string& message;
    };
    for (const Case& c : {Case{"FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, not_riff},
                          Case{"Ogg Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, not_riff},
                          Case{"AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, not_riff},
                          Case{"WAV IMA ADPCM", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, not_pcm},
                          Case{"WAVEX mu-law", SF_FORMAT_WAVEX | SF_FORMAT_ULAW, not_pcm}}) {
        const std::vector<std::byte> file = encode_with_libsndfile(c.format);
        ASSERT_FALSE(file.empty()) << c.name;
        const Result<PointList> result = read_wav_to_vec(file);
        ASSERT_FALSE(result.ok()) << c.name;
        EXPECT_EQ(result.error().message(), c.message) << c.name;
    }
}

// Every prefix of a good file, and a good file with bytes overwritten, decodes to an
// error or to a prefix of the true frames, and never reads outside the block (the
// sanitizer build runs this too).
TEST(ReadWav, DamagedFilesNeverCrash) {
    std::vector<std::int64_t> samples;
    for (int i = 0; i < 400; ++i) samples.push_back((i * 7919) % 65536 - 32768);
    const std::vector<std::byte> file = make_wav({.tag = Tag::Extensible, .info_list = true}, samples_le(samples, 2));
    const PointList full = decode_ok(file);
    ASSERT_EQ(full.size(), 200u);
    for (std::size_t length = 0; length < file.size(); ++length) {
        const std::vector<std::byte> prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        const Result<PointList> result = read_wav_to_vec(prefix);
        if (!result.ok()) continue;
        ASSERT_LE(result.value().size(), full.size()) << length;
        for (std::size_t i = 0; i < result.value().size(); ++i) ASSERT_EQ(result.value()[i], full[i]) << length;
    }
    std::uint32_t state = 12345;
    for (int trial = 0; trial < 2000; ++trial) {
        std::vector<std::byte> broken = file;
        for (int hit = 0; hit < 3; ++hit) {
            state = state * 1664525u + 1013904223u;
            const std::size_t at = (state >> 8) % 110;  // the header and the first frames
            state = state * 1664525u + 1013904223u;
            broken[at] = static_cast<std::byte>(state >> 24);
        }
        const Result<PointList> result = read_wav_to_vec(broken);
        if (result.ok()) {
            EXPECT_LE(result.value().size(), broken.size());
        }
    }
}

// A file's bytes as an open descriptor, without a file system.
Result<WavStream> stream_of(const std::vector<std::byte>& file, const std::string& name = "song.wav") {
    const int descriptor = memfd_create("wav", MFD_CLOEXEC);
    EXPECT_GE(descriptor, 0);
    EXPECT_EQ(write(descriptor, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    return WavStream::from_descriptor(descriptor, name);
}

// Whatever the width, coding and rate, a stream gives the samples read_wav_channels gives
// for the same bytes, in any window, silence around them.
TEST(WavStream, ReadsWhatTheDecoderReadsInAnyWindow) {
    std::vector<std::int64_t> samples;
    for (int i = 0; i < 2 * 300; ++i) samples.push_back((i * 2654435761u) >> 3);
    for (const WavShape shape : {WavShape{.rate = 22050}, WavShape{.rate = 44100, .bits = 24},
                                 WavShape{.tag = Tag::Extensible, .rate = 48000, .bits = 32, .info_list = true},
                                 WavShape{.tag = Tag::Float, .rate = 192000, .bits = 64},
                                 WavShape{.tag = Tag::Float, .rate = 384000, .bits = 32}}) {
        // Raw integers as floats are mostly finite numbers too.
        const std::vector<std::byte> file = make_wav(shape, samples_le(samples, shape.bits / 8));
        const ChannelPair want = read_wav_channels(file).value();
        Result<WavStream> stream = stream_of(file);
        ASSERT_TRUE(stream.ok()) << stream.error().message();
        EXPECT_EQ(stream.value().sample_rate(), shape.rate);
        ASSERT_EQ(stream.value().frames(), 300);
        for (const auto& [first, count] : {std::pair{0, 300}, {-7, 20}, {290, 25}, {-400, 900}, {5000, 3}}) {
            std::vector<float> got(2 * static_cast<std::size_t>(count), 1.0f);
            ASSERT_TRUE(stream.value().read(first, got).ok());
            for (int i = 0; i < count; ++i) {
                const int frame = first + i;
                const bool inside = frame >= 0 && frame < 300;
                const Point expected = inside ? want[static_cast<std::size_t>(frame)] : Point{0.0f, 0.0f};
                ASSERT_EQ(std::bit_cast<std::uint32_t>(got[2 * static_cast<std::size_t>(i)]), std::bit_cast<std::uint32_t>(expected.x));
                ASSERT_EQ(std::bit_cast<std::uint32_t>(got[2 * static_cast<std::size_t>(i) + 1]), std::bit_cast<std::uint32_t>(expected.y));
            }
        }
    }
}

// Each file a user may bring that lumo-render must not show: one sentence naming it.
TEST(WavStream, RefusesWithOneSentenceNamingTheFile) {
    const std::vector<std::byte> good = make_wav({}, samples_le({1, 2, 3, 4}, 2));
    auto patched = [&](std::size_t at, std::uint64_t value, int bytes) {
        std::vector<std::byte> file = good;
        // at(): checked, and gcc's 32-bit builds see no way past the end (they warned of one)
        for (int i = 0; i < bytes; ++i) file.at(at + static_cast<std::size_t>(i)) = static_cast<std::byte>(value >> (8 * i));
        return file;
    };
    const std::vector<std::byte> truncated(good.begin(), good.end() - 1);
    struct Case {
        std::vector<std::byte> file;
        const char* message;
    };
    const Case cases[] = {
        {{}, "song.wav is not a RIFF/WAVE file (too short)"},
        {encode_with_libsndfile(SF_FORMAT_FLAC | SF_FORMAT_PCM_16), "song.wav is not a RIFF/WAVE file"},
        {make_wav({.channels = 1}, samples_le({1, 2}, 2)), "song.wav is mono: lumo-render shows stereo files (left X, right Y)"},
        {make_wav({.channels = 6}, samples_le({1, 2, 3, 4, 5, 6}, 2)),
         "song.wav has 6 channels: lumo-render shows stereo files (left X, right Y)"},
        {encode_with_libsndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM), "song.wav is not integer PCM or IEEE float (format 0x0011)"},
        {make_wav({.tag = Tag::Float, .bits = 16}, samples_le({1, 2}, 2)),
         "song.wav has 16-bit float samples: lumo-render reads integers of 8 to 32 bits and floats of 32 or 64"},
        {make_wav({.rate = 8000}, samples_le({1, 2}, 2)), "song.wav is at 8000 Hz: lumo-render reads 22050 to 384000 Hz"},
        {truncated, "song.wav is truncated: its header promises 8 bytes of samples, the file holds 7"},
        {patched(40, 0xFFFFFFFF, 4), "song.wav is truncated: its header promises 4294967295 bytes of samples, the file holds 8"},
        {patched(32, 6, 2), "song.wav has a header that contradicts itself: 6 bytes a frame for two 16-bit samples"},
        {patched(28, 1000, 4),
         "song.wav has a header that contradicts itself: its byte rate is not 96000 frames of 4 bytes"},
        {patched(16, 12, 4), "song.wav is truncated: a chunk runs past the end of the file"},
        {patched(12, 0x786D6620, 4), "song.wav has no fmt chunk"},
        {make_wav({}, samples_le({1, 2, 3}, 2)),
         "song.wav has a header that contradicts itself: its 6 bytes of samples are not whole frames of 4 bytes"},
        {make_wav({}, {}), "song.wav holds no sound (its data chunk is empty)"},
    };
    for (const Case& c : cases) {
        const Result<WavStream> stream = stream_of(c.file);
        ASSERT_FALSE(stream.ok()) << c.message;
        EXPECT_EQ(stream.error().report(), c.message);
    }
    EXPECT_EQ(WavStream::open("/nonexistent/song.wav").error().report(),
              "cannot open /nonexistent/song.wav: No such file or directory");
    // Every shorter prefix of a good file is refused.
    for (std::size_t length = 0; length < good.size(); ++length) {
        EXPECT_FALSE(stream_of({good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)}).ok()) << length;
    }
}

}  // namespace
}  // namespace lumo
