// platform/qt/qt_sound.cpp: playing the alert sound file through ALSA, off the GUI thread.
#include "platform/platform.h"
#include "platform/qt/qt_backend.h"

#include <alsa/asoundlib.h>
#include <cmath>
#include <cstring>
#include <glob.h>
#include <vector>

namespace platform::qt {

namespace {

// How long ALSA may buffer ahead, in microseconds.
constexpr unsigned LATENCY_US = 100000;

struct Pcm {
    unsigned channels = 0;
    unsigned rate = 0;
    std::vector<int16_t> samples; // interleaved, host order
};

uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// The sample rate is an 80-bit extended number: sign, 15-bit exponent, 64-bit mantissa.
double extended(const uint8_t* p)
{
    const int exponent = ((p[0] & 0x7F) << 8 | p[1]) - 16383;
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i)
        mantissa = (mantissa << 8) | p[i];
    return std::ldexp(static_cast<double>(mantissa), exponent - 63);
}

// Plain 16-bit AIFF (FORM/AIFF with COMM and SSND); nullopt for anything else.
std::optional<Pcm> read_aiff(const std::vector<uint8_t>& file)
{
    if (file.size() < 12 || std::memcmp(file.data(), "FORM", 4) != 0 ||
        std::memcmp(file.data() + 8, "AIFF", 4) != 0)
        return std::nullopt;
    Pcm pcm;
    uint32_t frames = 0;
    unsigned bits = 0;
    const uint8_t* sound = nullptr;
    size_t sound_bytes = 0;
    for (size_t at = 12; at + 8 <= file.size();) {
        const uint8_t* chunk = file.data() + at;
        const size_t size = be32(chunk + 4);
        if (size > file.size() - at - 8)
            return std::nullopt;
        if (std::memcmp(chunk, "COMM", 4) == 0 && size >= 18) {
            pcm.channels = be16(chunk + 8);
            frames = be32(chunk + 10);
            bits = be16(chunk + 14);
            pcm.rate = static_cast<unsigned>(extended(chunk + 16));
        } else if (std::memcmp(chunk, "SSND", 4) == 0 && size >= 8) {
            const size_t offset = be32(chunk + 8);
            if (offset > size - 8)
                return std::nullopt;
            sound = chunk + 16 + offset;
            sound_bytes = size - 8 - offset;
        }
        at += 8 + size + (size & 1);
    }
    if (bits != 16 || pcm.channels == 0 || pcm.rate == 0 || !sound)
        return std::nullopt;
    const size_t count = std::min(sound_bytes / 2, size_t{frames} * pcm.channels);
    pcm.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        pcm.samples[i] = static_cast<int16_t>(be16(sound + 2 * i));
    return pcm;
}

void play_pcm(const Pcm& pcm)
{
    snd_pcm_t* handle = nullptr;
    if (snd_pcm_open(&handle, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return;
    if (snd_pcm_set_params(handle, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, pcm.channels,
                           pcm.rate, 1, LATENCY_US) == 0) {
        const snd_pcm_sframes_t frames =
            static_cast<snd_pcm_sframes_t>(pcm.samples.size() / pcm.channels);
        if (snd_pcm_writei(handle, pcm.samples.data(), static_cast<snd_pcm_uframes_t>(frames)) >= 0)
            snd_pcm_drain(handle);
    }
    snd_pcm_close(handle);
}

} // namespace

bool audio_device_present()
{
    glob_t found{};
    const bool any = ::glob("/dev/snd/pcmC*D*p", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

bool play_aiff(const std::string& path, double& seconds)
{
    std::optional<std::vector<uint8_t>> file = read_file(path);
    if (!file)
        return false;
    std::optional<Pcm> pcm = read_aiff(*file);
    if (!pcm || pcm->samples.empty())
        return false;
    seconds = static_cast<double>(pcm->samples.size() / pcm->channels) / pcm->rate;
    // The device may take a while to open; the caller never waits for it.
    start_named_thread("sound", [pcm = std::move(*pcm)] { play_pcm(pcm); });
    return true;
}

} // namespace platform::qt
