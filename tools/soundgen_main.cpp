// tools/soundgen_main.cpp: writes the alert sound "sysbeep.aif" (a short two-tone chime).
//
// The file is a plain AIFF: FORM/AIFF with a COMM and an SSND chunk, 16-bit mono at
// 22050 Hz, big-endian throughout. Generating it keeps a binary sound out of the tree.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t SAMPLE_RATE = 22050;
constexpr double DURATION_SECONDS = 0.18;
constexpr double PI = 3.14159265358979323846;

void put_u16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    put_u16(out, v >> 16);
    put_u16(out, v & 0xFFFF);
}

void put_id(std::vector<uint8_t>& out, const char* id)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(id[i]));
}

// The COMM chunk stores the sample rate as an 80-bit IEEE extended number:
// sign and 15-bit exponent (bias 16383), then a 64-bit mantissa with explicit leading 1.
void put_extended(std::vector<uint8_t>& out, uint32_t value)
{
    int exponent = 31;
    while (exponent > 0 && !(value & (1u << exponent)))
        --exponent;
    uint64_t mantissa = static_cast<uint64_t>(value) << (63 - exponent);
    put_u16(out, static_cast<uint32_t>(16383 + exponent));
    put_u32(out, static_cast<uint32_t>(mantissa >> 32));
    put_u32(out, static_cast<uint32_t>(mantissa & 0xFFFFFFFFu));
}

std::vector<int16_t> chime()
{
    const auto frames = static_cast<uint32_t>(SAMPLE_RATE * DURATION_SECONDS);
    std::vector<int16_t> samples(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        // Two tones a fifth apart, a fast attack and an exponential decay: short and soft.
        double attack = std::fmin(1.0, t / 0.004);
        double envelope = attack * std::exp(-t * 22.0);
        double tone = 0.6 * std::sin(2 * PI * 880.0 * t) + 0.4 * std::sin(2 * PI * 1320.0 * t);
        samples[i] = static_cast<int16_t>(std::lround(tone * envelope * 0.7 * 32767.0));
    }
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundgen OUT.aif\n");
        return 2;
    }
    std::vector<int16_t> samples = chime();
    const auto frames = static_cast<uint32_t>(samples.size());
    const uint32_t sound_bytes = frames * 2;

    std::vector<uint8_t> out;
    put_id(out, "FORM");
    put_u32(out, 4 + (8 + 18) + (8 + 8 + sound_bytes));
    put_id(out, "AIFF");

    put_id(out, "COMM");
    put_u32(out, 18);
    put_u16(out, 1);      // channels
    put_u32(out, frames); // sample frames
    put_u16(out, 16);     // bits per sample
    put_extended(out, SAMPLE_RATE);

    put_id(out, "SSND");
    put_u32(out, 8 + sound_bytes);
    put_u32(out, 0); // offset
    put_u32(out, 0); // block size
    for (int16_t s : samples)
        put_u16(out, static_cast<uint16_t>(s));

    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::fprintf(stderr, "soundgen: cannot write %s\n", argv[1]);
        return 1;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "soundgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
