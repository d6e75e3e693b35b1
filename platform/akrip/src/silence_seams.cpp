#include "silence_seams.h"

#include <cstring>
#include <optional>

#include "cd_geometry.h"

namespace akrip {
namespace {

constexpr int64_t kFrameSamples = cadrix::cd::kSamplesPerFrame;
constexpr int64_t kSampleBytes = 4;  // one stereo sample
constexpr int64_t kMaxShift = 64;    // samples a read may be placed off
constexpr int64_t kWindow = 256;     // samples matched on each side of a silence
constexpr int64_t kMinSilence = 64;  // a shorter run of zeros is matched through
constexpr int64_t kMinSound = 32;    // non-zero samples a window needs to place a read by

uint32_t SampleAt(std::span<const uint8_t> bytes, int64_t i) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + i * kSampleBytes, kSampleBytes);
    return value;
}

bool HasSound(std::span<const uint8_t> audio, int64_t begin) {
    int64_t sound = 0;
    for (int64_t i = begin; i < begin + kWindow; ++i) sound += SampleAt(audio, i) != 0 ? 1 : 0;
    return sound >= kMinSound;
}

// A read whose sample `j` is the disc's sample base + j + k: the k that makes
// it match audio[begin, begin + kWindow) (audio[0] being disc sample `first`).
std::optional<int64_t> Place(std::span<const uint8_t> audio, int64_t first, std::span<const uint8_t> raw, int64_t base,
                             int64_t begin) {
    const int64_t rawSamples = static_cast<int64_t>(raw.size()) / kSampleBytes;
    for (int64_t k = -kMaxShift; k <= kMaxShift; ++k) {
        const int64_t j0 = first + begin - base - k;
        if (j0 < 0 || j0 + kWindow > rawSamples) continue;
        bool match = true;
        for (int64_t i = 0; match && i < kWindow; ++i) match = SampleAt(audio, begin + i) == SampleAt(raw, j0 + i);
        if (match) return k;
    }
    return std::nullopt;
}

struct Silence {
    int64_t begin;  // index in the audio of its first zero sample
    int64_t end;    // of the first sample after it
};

// Fresh reads of the silence: true when one places the audio on both of its
// sides at different shifts.
bool Misplaced(std::span<const uint8_t> audio, int64_t first, Silence silence, RawSectorSource& source,
               std::span<uint8_t> scratch, const SeamLimits& limits) {
    const int64_t from = first + silence.begin - kWindow - kMaxShift;
    const int64_t to = first + silence.end + kWindow + kMaxShift;
    const int64_t a = from >= 0 ? from / kFrameSamples : -((-from + kFrameSamples - 1) / kFrameSamples);
    const int64_t sectors = (to + kFrameSamples - 1) / kFrameSamples - a;
    if (a < 0 || sectors > limits.maxReadSectors ||
        static_cast<int64_t>(scratch.size()) < sectors * kFrameSamples * kSampleBytes) {
        return false;  // no single read spans it
    }
    const std::span<const uint8_t> raw(scratch.data(), static_cast<size_t>(sectors * kFrameSamples * kSampleBytes));
    for (int read = 0; read < limits.reads; ++read) {
        if (!source.ReadRaw(a, sectors, scratch.data())) continue;
        const auto before = Place(audio, first, raw, a * kFrameSamples, silence.begin - kWindow);
        if (!before) continue;
        const int64_t j0 = first + silence.end - a * kFrameSamples - *before;
        bool same = true;
        for (int64_t i = 0; same && i < kWindow; ++i) {
            same = SampleAt(audio, silence.end + i) == SampleAt(raw, j0 + i);
        }
        if (same) return false;
        if (Place(audio, first, raw, a * kFrameSamples, silence.end)) return true;
    }
    return false;
}

}  // namespace

SeamVerdict CheckSilenceSeams(std::span<const uint8_t> audio, int64_t first, int64_t from, RawSectorSource& source,
                              std::span<uint8_t> scratch, SeamLimits limits) {
    const int64_t samples = static_cast<int64_t>(audio.size()) / kSampleBytes;
    int64_t run = 0;
    for (int64_t i = 0; i < samples; ++i) {
        if (SampleAt(audio, i) == 0) {
            ++run;
            continue;
        }
        const Silence silence{i - run, i};
        run = 0;
        if (silence.end - silence.begin < kMinSilence || silence.begin < kWindow || silence.end + kWindow > samples ||
            first + silence.end + kWindow <= from) {
            continue;
        }
        if (!HasSound(audio, silence.begin - kWindow) || !HasSound(audio, silence.end)) continue;
        if (Misplaced(audio, first, silence, source, scratch, limits)) {
            return {true, first + silence.end - kMaxShift};
        }
    }
    return {};
}

}  // namespace akrip
