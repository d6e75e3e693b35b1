// Whatever the bytes: a FLAC or Ogg file whose tags could be set once gives a
// file whose tags can be set again to the same header, and an ASF header that
// was rebuilt reads back with the metadata it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "asf_muxer.h"
#include "flac_retag.h"
#include "ogg_retag.h"

namespace {

const std::vector<cadrix::plugin::Tag> kTags{{"REPLAYGAIN_TRACK_GAIN", "-6.52 dB"}, {"replaygain_track_peak", "0.9"}};

std::vector<uint8_t> Join(const std::vector<uint8_t>& head, std::span<const uint8_t> rest) {
    std::vector<uint8_t> joined(head);
    joined.insert(joined.end(), rest.begin(), rest.end());
    return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    std::string error;

    std::vector<uint8_t> head, again;
    size_t audio = 0, audioAgain = 0;
    if (RetagFlacBytes(file, kTags, head, audio, error)) {
        const std::vector<uint8_t> retagged = Join(head, file.subspan(audio));
        if (!RetagFlacBytes(retagged, kTags, again, audioAgain, error) || again != head) std::abort();
    }

    std::vector<uint8_t> rest, restAgain;
    if (RetagOggBytes(file, kTags, head, rest, error)) {
        const std::vector<uint8_t> retagged = Join(head, rest);
        if (!RetagOggBytes(retagged, kTags, again, restAgain, error) || again != head || restAgain != rest) {
            std::abort();
        }
    }

    wmsdk::AsfMetadata metadata;
    if (wmsdk::ReadAsfMetadata(file, metadata)) {
        metadata.extended.push_back({u"REPLAYGAIN_TRACK_GAIN", wmsdk::AsfValueType::String, {'-', 0, '1', 0, 0, 0}});
        size_t end = 0;
        const std::vector<uint8_t> rebuilt = wmsdk::RebuildAsfHeader(file, metadata, end);
        wmsdk::AsfMetadata back;
        if (rebuilt.empty() || !wmsdk::ReadAsfMetadata(Join(rebuilt, file.subspan(end)), back)) std::abort();
        if (back.extended.size() != metadata.extended.size() || back.title != metadata.title) std::abort();
    }
    return 0;
}
