#include "disc/disc_layout.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace cadrix {

namespace {

DiscLayout LayoutFromToc(const TocBuffer& toc) {
    DiscLayout layout;
    layout.source = LayoutSource::Toc;
    const int count = std::min<int>(toc.lastTrack, 99);
    for (int k = 0; k < count; ++k) {
        const TocEntry& entry = toc.entries[k];
        TrackLayout track;
        track.index1 = static_cast<int32_t>(TocAddress(entry));
        track.index0 = track.index1;
        track.control = entry.adrControl & 0x0F;
        layout.tracks.push_back(track);
    }
    layout.leadOut = static_cast<int32_t>(TocAddress(toc.entries[count]));
    return layout;
}

std::string Code(const char* text, size_t capacity) {
    std::string code(text, std::find(text, text + capacity, '\0'));
    return code;
}

}  // namespace

DiscLayout LayoutFromLibrary(AkripGetDiscLayoutProc getLayout, HCDROM handle, const TocBuffer& toc) {
    DiscLayout layout = LayoutFromToc(toc);
    if (getLayout == nullptr) return layout;
    auto record = std::make_unique<AkripDiscLayout>();
    // The library's facts count only for the disc of this TOC.
    if (getLayout(handle, record.get()) != 1 || record->trackCount != static_cast<int32_t>(layout.tracks.size())) {
        return layout;
    }
    for (size_t k = 0; k < layout.tracks.size(); ++k) {
        if (record->tracks[k].index1 != layout.tracks[k].index1) return layout;
    }
    layout.source = record->source == AKRIP_LAYOUT_SHEET        ? LayoutSource::Sheet
                    : record->source == AKRIP_LAYOUT_SUBCHANNEL ? LayoutSource::SubChannel
                                                                : LayoutSource::Toc;
    layout.mcn = Code(record->mcn, sizeof record->mcn);
    for (size_t k = 0; k < layout.tracks.size(); ++k) {
        const AkripTrackLayout& in = record->tracks[k];
        TrackLayout& track = layout.tracks[k];
        const int32_t floor = k == 0 ? 0 : layout.tracks[k - 1].index1 + 1;
        track.index0 = std::clamp(in.index0, floor, track.index1);
        track.control = in.control;
        track.isrc = Code(in.isrc, sizeof in.isrc);
        const int32_t end = k + 1 < layout.tracks.size() ? layout.tracks[k + 1].index1 : layout.leadOut;
        int32_t previous = track.index1;
        for (int32_t i = 0; i < std::min<int32_t>(in.indexCount, AKRIP_LAYOUT_MAX_INDEXES); ++i) {
            if (in.indexes[i] <= previous || in.indexes[i] >= end) break;  // index points ascend within the track
            track.indexes.push_back(in.indexes[i]);
            previous = in.indexes[i];
        }
    }
    return layout;
}

HiddenAudio ProbeHiddenAudio(ReadCDAudioLBAExProc readAudio, HCDROM handle, int32_t frames) {
    if (frames <= 0) return HiddenAudio::None;
    if (readAudio == nullptr) return HiddenAudio::Unreadable;
    constexpr uint32_t kBlock = 27;
    constexpr uint32_t kFrameBytes = 2352;
    const size_t words = (sizeof(ReadBuffer) + kBlock * kFrameBytes) / sizeof(uint32_t) + 1;
    auto storage = std::make_unique<uint32_t[]>(words);
    auto* buffer = reinterpret_cast<ReadBuffer*>(storage.get());
    ReadBuffer overlap{};
    for (int32_t at = 0; at < frames;) {
        const auto count = static_cast<uint32_t>(std::min<int32_t>(static_cast<int32_t>(kBlock), frames - at));
        buffer->startFrame = static_cast<uint32_t>(at);
        buffer->frameCount = count;
        buffer->capacity = kBlock * kFrameBytes;
        buffer->validBytes = 0;
        if (readAudio(handle, buffer, &overlap) != 1 || buffer->frameCount == 0) return HiddenAudio::Unreadable;
        const uint8_t* data = ReadBufferData(buffer) + buffer->dataOffset;
        if (std::any_of(data, data + buffer->validBytes, [](uint8_t byte) { return byte != 0; })) {
            return HiddenAudio::Present;
        }
        at += static_cast<int32_t>(buffer->frameCount);
    }
    return HiddenAudio::Silent;
}

const char* LayoutSourceText(LayoutSource source) {
    switch (source) {
        case LayoutSource::SubChannel: return "read from the Q sub-channel";
        case LayoutSource::Sheet: return "read from the disc image's sheet";
        case LayoutSource::Toc: return "the TOC only: the drive gives no usable sub-channel data";
        case LayoutSource::None: break;
    }
    return "no disc";
}

std::string CueTime(int64_t frames) {
    if (frames < 0) frames = 0;
    char text[48];  // room for any 64-bit count, though a disc's fits in 8
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(frames / 4500),
                  static_cast<long long>(frames / 75 % 60), static_cast<long long>(frames % 75));
    return text;
}

}  // namespace cadrix
