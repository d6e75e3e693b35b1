// The layout of the disc in a drive beyond its TOC: where each track's
// pregap (INDEX 00) and further index points lie, its ISRC and control
// bits, the media catalog number, and the audio hidden before track 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "akrip_extras.h"
#include "akrip_records.h"

namespace cadrix {

struct TrackLayout {
    int32_t index0 = 0;            // where the pregap begins; index1 when there is none
    int32_t index1 = 0;            // the track's start
    std::vector<int32_t> indexes;  // INDEX 02, 03, ... in order
    uint8_t control = 0;           // 0x01 pre-emphasis, 0x02 copy permitted, 0x04 data, 0x08 four channels
    std::string isrc;              // 12 characters; empty: none
    bool PreEmphasis() const { return (control & 0x01) != 0; }
    bool IsData() const { return (control & 0x04) != 0; }
    int32_t PregapFrames() const { return index1 - index0; }
};

enum class LayoutSource {
    None,        // no disc
    Toc,         // the TOC alone: the drive gave no usable sub-channel
    Sheet,       // a disc image's sheet
    SubChannel,  // the disc's Q sub-channel
};

// What became of the audio before track 1's INDEX 01.
enum class HiddenAudio {
    None,        // track 1 starts at LSN 0: there is none
    Silent,      // it is digital silence: a pregap, not a track
    Present,     // it holds sound: track 0
    Unreadable,  // the drive cannot read it
};

struct DiscLayout {
    LayoutSource source = LayoutSource::None;
    std::string mcn;  // 13 digits; empty: none
    int32_t leadOut = 0;
    std::vector<TrackLayout> tracks;  // track 1 first
    HiddenAudio hidden = HiddenAudio::None;
    // Frames of track 1's pregap [0, index1 of track 1): the hidden audio
    // when `hidden` is Present.
    int32_t HiddenFrames() const { return tracks.empty() ? 0 : tracks[0].index1; }
    bool HasHiddenTrack() const { return hidden == HiddenAudio::Present; }
    // Track `number` (1-based), or null.
    const TrackLayout* Track(int32_t number) const {
        return number >= 1 && number <= static_cast<int32_t>(tracks.size()) ? &tracks[static_cast<size_t>(number - 1)]
                                                                            : nullptr;
    }
};

// The layout from AkripGetDiscLayout when the library has it, else from the
// TOC alone (`toc`, which IsTocUsable accepted).
DiscLayout LayoutFromLibrary(AkripGetDiscLayoutProc getLayout, HCDROM handle, const TocBuffer& toc);

// Whether the `frames` sectors from LSN 0 hold anything but digital
// silence, read in blocks through `readAudio` (stops at the first sample of
// sound). Unreadable when a block cannot be read.
HiddenAudio ProbeHiddenAudio(ReadCDAudioLBAExProc readAudio, HCDROM handle, int32_t frames);

// "Subchannel (Q)", "disc image sheet", "TOC only: the drive gives no usable
// sub-channel data".
const char* LayoutSourceText(LayoutSource source);

// "MM:SS:FF" of `frames` (75 a second), as cue sheets write positions.
std::string CueTime(int64_t frames);

}  // namespace cadrix
