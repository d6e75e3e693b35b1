#include "disc/disc_model.h"

#include <algorithm>
#include <limits>

namespace cadrix {

void ClearNames(DriveRecord& record) {
    record.discArtist.clear();
    record.discTitle.clear();
    record.genre.clear();
    record.year.clear();
    record.region.clear();
    record.compilation = 0;
    record.setNumber = 0;
    record.ids = {};
    for (TrackRecord& slot : record.tracks) {
        slot.artist.clear();
        slot.title.clear();
        slot.comment.clear();
        slot.ids = {};
    }
}

void ClearDisc(DriveRecord& record) {
    ClearNames(record);
    record.toc = TocBuffer{};
    record.discId = 0;
    record.trackCount = 0;
    for (TrackRecord& slot : record.tracks) slot = TrackRecord{};
    record.layout = DiscLayout{};
}

bool IsTocUsable(const TocBuffer& toc) {
    const int last = toc.lastTrack;
    if (last < 1 || last >= TRACK_SLOTS) return false;
    for (int k = 0; k < last; ++k) {
        if (TocAddress(toc.entries[k]) >= TocAddress(toc.entries[k + 1])) return false;
    }
    return true;
}

uint32_t FramesToMs(uint32_t frames) {
    // 2352 bytes per frame against 176,400 bytes per second; the product
    // needs more than 32 bits from about 40 minutes on.
    const uint64_t ms = uint64_t{frames} * 23520 / 1764;
    return static_cast<uint32_t>(std::min<uint64_t>(ms, std::numeric_limits<uint32_t>::max()));
}

void ApplyToc(DriveRecord& record) {
    record.trackCount = record.toc.lastTrack;
    for (int t = 1; t <= record.trackCount; ++t) {
        const TocEntry& entry = record.toc.entries[t - 1];
        TrackRecord& slot = record.tracks[static_cast<size_t>(t)];
        if ((entry.adrControl & AKRIP_TOC_CONTROL_DATA) != 0) {
            slot.isData = 1;
        } else {
            slot.selected = 1;
        }
        slot.lengthMs = FramesToMs(TocAddress(record.toc.entries[t]) - TocAddress(entry));
    }
}

void ApplySessions(DriveRecord& record, std::span<const uint8_t> sessions) {
    const int32_t known = std::min(record.trackCount, static_cast<int32_t>(sessions.size()));
    for (int32_t t = 1; t < known; ++t) {
        TrackRecord& slot = record.tracks[static_cast<size_t>(t)];
        if (slot.isData != 0 || sessions[static_cast<size_t>(t)] <= sessions[static_cast<size_t>(t) - 1]) continue;
        const uint32_t frames = TocAddress(record.toc.entries[t]) - TocAddress(record.toc.entries[t - 1]);
        if (frames > cd::kSessionGapFrames) slot.lengthMs = FramesToMs(frames - cd::kSessionGapFrames);
    }
}

TrackListing FillTrackList(const DriveRecord& record) {
    TrackListing listing;
    const int count = std::clamp(record.trackCount, 0, TRACK_SLOTS - 1);
    for (int t = record.layout.HasHiddenTrack() ? 0 : 1; t <= count; ++t) {
        const TrackRecord& slot = record.tracks[static_cast<size_t>(t)];
        if (slot.isData != 0) continue;
        TrackRow row;
        row.number = std::to_string(t);
        row.itemData = t;
        if (slot.title.empty()) {
            row.title = t == 0 ? HIDDEN_TRACK_TITLE : "Untitled Track";
        } else if (record.compilation != 0 && !slot.artist.empty()) {
            row.title = slot.artist + " - " + slot.title;
        } else {
            row.title = slot.title;
        }
        if (row.title.size() > MAX_TITLE_BYTES) row.title.resize(MAX_TITLE_BYTES);
        row.duration = FormatDuration(slot.lengthMs);
        row.checked = slot.selected == 1;
        listing.rows.push_back(std::move(row));
    }
    if (!listing.rows.empty()) {
        if (record.discTitle.empty()) {
            listing.caption = "Untitled Disc";
        } else if (!record.discArtist.empty()) {
            listing.caption = record.discArtist + " - " + record.discTitle;
        } else {
            listing.caption = record.discTitle;
        }
    }
    return listing;
}

std::string FormatDuration(uint32_t ms) {
    uint32_t s = ms / 1000;
    std::string text;
    const uint32_t hours = s / 3600;
    if (hours > 0) {
        text = std::to_string(hours) + ":";
        s -= hours * 3600;
    }
    const uint32_t m = s / 60;
    if (hours > 0 && m < 10) text += '0';
    text += std::to_string(m) + ":";
    const uint32_t sec = s % 60;
    if (sec < 10) text += '0';
    text += std::to_string(sec);
    return text;
}

}  // namespace cadrix
