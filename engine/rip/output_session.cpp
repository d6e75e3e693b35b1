#include "rip/output_session.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "names/musicbrainz_lookup.h"
#include "names/own_disc_folder.h"
#include "output/output_format.h"
#include "output/output_sink.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

void RemoveTrailingDots(std::string& path) {
    while (path.size() > 1 && path.back() == '.') path.pop_back();
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The existence test and the one-level creation of a folder; the reason in
// `error` when it fails.
bool EnsureFolder(const std::string& path, std::string& error) {
    if (IsFolder(path)) return true;
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int code = errno;
    if (code == EEXIST && IsFolder(path)) return true;
    std::string shown = path;
    if (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    error = "cannot create the folder '" + shown + "': " + std::strerror(code == EEXIST ? ENOTDIR : code);
    return false;
}

}  // namespace

OutputSession::OutputSession() = default;

OutputSession::~OutputSession() {
    if (workerThread.joinable()) {
        abortRequested.store(1, std::memory_order_relaxed);
        AbortReads();
        workerThread.join();
    }
    if (sink_ && outputOpen != 0) sink_->Close();
}

void OutputSession::AbortReads() {
    if (setReadAbort != nullptr && drive_ != nullptr) setReadAbort(drive_->handle, 1);
}

bool OutputSession::Init(std::string base, DriveRecord& drive, void* module, int32_t outputFormat, int32_t quality) {
    lastError_.clear();
    if (base.empty()) {
        lastError_ = "no base output folder";
        return false;
    }
    format = outputFormat;
    qualityCode = quality;
    drive_ = &drive;
    // Each track up to the next one, as the TOC has it, until the job knows better.
    audioSpans = {};
    for (int32_t t = 1; t <= drive.toc.lastTrack && t < TRACK_SLOTS; ++t) {
        audioSpans[static_cast<size_t>(t)] = {static_cast<int32_t>(TocAddress(drive.toc.entries[t - 1])),
                                              static_cast<int32_t>(TocAddress(drive.toc.entries[t]))};
    }
    basePath = std::move(base);
    album_.Clear();
    taggedFiles_ = {};
    musicBrainzDiscId_ = MusicBrainzDiscId(MakeDiscQuery(drive));
    coverLooked_ = false;
    cover_.reset();
    trackBytesWritten.store(0, std::memory_order_relaxed);
    totalBytesWritten.store(0, std::memory_order_relaxed);
    if (basePath.back() != '/') basePath.push_back('/');
    if (!AllocateBuffers()) {
        lastError_ = "out of memory";
        return false;
    }
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr || !info->IsPlugin()) {
        sink_ = MakeWaveSink();
        return true;
    }
    sink_ = MakePluginSink(module, quality);
    if (!sink_) {
        lastError_ = std::string("the plug-in ") + info->moduleFile +
                     (module == nullptr ? " is not loaded" : " lacks an entry point");
    }
    return sink_ != nullptr;
}

bool OutputSession::AllocateBuffers() {
    readStorage_.reset();
    readBuffer = nullptr;
    constexpr size_t header = sizeof(ReadBuffer);
    readStorage_.reset(new (std::nothrow) uint32_t[(header + READ_CAPACITY) / 4]());
    if (readStorage_ == nullptr) return false;
    readBuffer = reinterpret_cast<ReadBuffer*>(readStorage_.get());
    readBuffer->capacity = READ_CAPACITY;
    return true;
}

void OutputSession::SanitizeName(std::string& text) {
    for (char& c : text) {
        const auto value = static_cast<signed char>(c);
        switch (c) {
            case '\\':
            case '/':
            case '|':
            case ':':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>': c = '_'; break;
            default:
                if (value < 32) c = '_';
        }
    }
}

bool OutputSession::BuildFolderPath(std::string& folderPath) {
    const DriveRecord& disc = *drive_;
    artistName = disc.discArtist;
    discName = disc.discTitle;
    SanitizeName(artistName);
    SanitizeName(discName);
    std::string folderName;
    if (!discName.empty()) folderName = artistName.empty() ? discName : artistName + " - " + discName;
    while (!folderName.empty() && folderName.back() == '.') folderName.pop_back();
    // A name of dots and blanks alone ("." or "..") would name the base
    // folder itself or nothing one can tell: such a disc is untitled.
    if (folderName.find_first_not_of(". ") == std::string::npos) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%" PRIx32, disc.discId);
        folderName = std::string("Untitled Disc (") + hex + ")";
    }
    folderPath = basePath + folderName;
    return folderPath.size() <= MAX_FOLDER_PATH;
}

bool OutputSession::BuildTrackPaths(std::string& folderPath, std::string& filePath) {
    if (!BuildFolderPath(folderPath)) return false;
    const DriveRecord& disc = *drive_;
    const TrackRecord& track = disc.tracks[static_cast<size_t>(currentTrack)];
    trackArtistName = track.artist;
    trackName = track.title;
    SanitizeName(trackArtistName);
    SanitizeName(trackName);

    char number[16];
    std::snprintf(number, sizeof number, "%02d", static_cast<int>(currentTrack));
    std::string trackPart;
    if (trackName.empty()) {
        trackPart = currentTrack == 0 ? HIDDEN_TRACK_TITLE : "Untitled Track";
    } else if (disc.compilation != 0 && !trackArtistName.empty()) {
        trackPart = trackArtistName + " - " + trackName;
    } else {
        trackPart = trackName;
    }
    filePath = folderPath + "/" + number + " - " + trackPart;
    if (filePath.size() > MAX_FILE_PATH) filePath.resize(MAX_FILE_PATH);
    // A path of 256 bytes can still hold a component Linux refuses, when the
    // folder path is short; cut the name so its extension fits.
    const size_t nameStart = folderPath.size() + 1;
    if (filePath.size() - nameStart > MAX_NAME_COMPONENT - EXTENSION_ROOM) {
        filePath.resize(nameStart + MAX_NAME_COMPONENT - EXTENSION_ROOM);
    }
    RemoveTrailingDots(filePath);
    return true;
}

void OutputSession::RecordFailure(std::string reason) {
    if (lastError_.empty()) lastError_ = std::move(reason);
}

void OutputSession::FillTrackInfo() {
    const DriveRecord& disc = *drive_;
    const TrackRecord& track = disc.tracks[static_cast<size_t>(currentTrack)];
    OutputTrackInfo& info = trackInfo.info;
    info.trackNumber = currentTrack;
    info.title = track.title.c_str();
    // On a compilation the track's own artist is passed, even when empty.
    info.artist = disc.compilation != 0 ? track.artist.c_str() : disc.discArtist.c_str();
    info.album = disc.discTitle.c_str();
    info.genre = disc.genre.c_str();
    info.year = disc.year.c_str();
    info.region = disc.region.c_str();
    info.comment = track.comment.c_str();
    trackInfo.reserved[0] = 0;
    trackInfo.reserved[1] = 0;
}

// What the disc's sub-channel says of the current track: ISRC, catalog
// number, pre-emphasis (the hidden track one audio has none of them).
void OutputSession::AddDiscCodes(const DriveRecord& disc, OutputTrackExtras& extras) const {
    extras.catalog = disc.layout.mcn.c_str();
    const TrackLayout* track = disc.layout.Track(currentTrack);
    extras.isrc = track != nullptr ? track->isrc.c_str() : "";
    extras.preEmphasis = track != nullptr && track->PreEmphasis() ? 1 : 0;
}

OutputTrackExtras OutputSession::TrackExtras() const {
    const DriveRecord& disc = *drive_;
    OutputTrackExtras extras{};
    extras.size = sizeof extras;
    // The disc's audio tracks: its data tracks hold no music.
    for (int32_t t = 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        extras.trackTotal += disc.tracks[static_cast<size_t>(t)].isData == 0 ? 1 : 0;
    }
    extras.discNumber = disc.setNumber;
    extras.compilation = disc.compilation;
    extras.albumArtist = disc.discArtist.c_str();
    AddDiscCodes(disc, extras);
    AddLibraryExtras(extras);
    return extras;
}

void OutputSession::AddLibraryExtras(OutputTrackExtras& extras) const {
    const DriveRecord& disc = *drive_;
    const TrackIds& track = disc.tracks[static_cast<size_t>(currentTrack)].ids;
    extras.musicBrainzReleaseId = disc.ids.release.c_str();
    extras.musicBrainzReleaseGroupId = disc.ids.releaseGroup.c_str();
    extras.musicBrainzAlbumArtistIds = disc.ids.artists.c_str();
    extras.musicBrainzRecordingId = track.recording.c_str();
    extras.musicBrainzTrackId = track.track.c_str();
    extras.musicBrainzArtistIds = track.artists.c_str();
    extras.musicBrainzDiscId = musicBrainzDiscId_.c_str();
    extras.barcode = disc.ids.barcode.c_str();
    if (cover_) {
        extras.picture = reinterpret_cast<const uint8_t*>(cover_->bytes.data());
        extras.pictureBytes = static_cast<uint32_t>(cover_->bytes.size());
        extras.pictureWidth = cover_->width;
        extras.pictureHeight = cover_->height;
        extras.pictureMime = cover_->mime.c_str();
    }
}

bool OutputSession::OpenTrack() {
    outputOpen = 0;
    lastError_.clear();
    if (drive_ == nullptr || !sink_ || currentTrack < 0 || currentTrack >= TRACK_SLOTS ||
        (currentTrack == 0 && !trackChosen)) {
        lastError_ = "no track to open";
        return false;
    }
    if (!EnsureFolder(basePath, lastError_)) return false;
    std::string folderPath;
    std::string filePath;
    if (!BuildTrackPaths(folderPath, filePath)) {
        lastError_ = "the folder path '" + folderPath + "' is longer than " + std::to_string(MAX_FOLDER_PATH) +
                     " bytes";
        return false;
    }
    if (!EnsureFolder(folderPath, lastError_)) return false;
    FindCover(folderPath);
    trackBytesWritten.store(0, std::memory_order_relaxed);
    loudness_.Begin(static_cast<uint64_t>(std::max(trackFrames, 0)) * cd::kSamplesPerFrame);
    FillTrackInfo();
    if (!sink_->Open(filePath, trackInfo.info, TrackExtras())) {
        lastError_ = sink_->LastError();
        return false;
    }
    outputOpen = 1;
    return true;
}

bool OutputSession::WriteBlock() {
    if (readBuffer == nullptr || !sink_ || outputOpen == 0) return false;
    const uint32_t count = readBuffer->validBytes;
    const int32_t offset = readBuffer->dataOffset;
    // Valid bytes the library claims outside the data area are refused.
    if (offset < 0 || uint64_t{static_cast<uint32_t>(offset)} + count > READ_CAPACITY) {
        RecordFailure("the CD extraction library returned a malformed block");
        return false;
    }
    const bool written = sink_->Write({ReadBufferData(readBuffer) + offset, count});
    // A WAVE file counts what reached it; a plug-in has seen every block.
    if (written || sink_->CountsRefusedBlocks()) {
        const uint32_t before = trackBytesWritten.fetch_add(count, std::memory_order_relaxed);
        const uint32_t counted = std::max(before, secondRead.load(std::memory_order_relaxed) != 0 ? firstReadBytes : 0);
        if (before + count > counted) totalBytesWritten.fetch_add(before + count - counted, std::memory_order_relaxed);
    }
    if (written) {
        trackSums.Add({ReadBufferData(readBuffer) + offset, count});
        loudness_.Add({ReadBufferData(readBuffer) + offset, count});
    }
    if (!written) RecordFailure(sink_->LastError());
    return written;
}

bool OutputSession::CloseTrack() {
    if (outputOpen == 0 || !sink_) return true;
    sink_->Close();
    // The file as the sink wrote it, its extension included.
    verifier.SetFile(currentTrack, sink_->FilePath());
    return true;
}

void OutputSession::FindCover(const std::string& folderPath) {
    if (coverLooked_) return;
    coverLooked_ = true;
    bool fromUser = false;
    cover_ = FindDiscCover(folderPath, OwnDiscFolder(), drive_->discId, fromUser);
    // The downloaded cover goes into the disc folder once; a cover already
    // there (the user's, or one of an earlier rip) stays as it is.
    if (cover_ && !fromUser) {
        CreateFileAtomically(folderPath + "/cover" + std::string(cover_->Extension()), cover_->bytes);
    }
}

void OutputSession::TagLoudness() {
    if (!sink_ || drive_ == nullptr || currentTrack < 1 || currentTrack >= TRACK_SLOTS) return;
    const std::string path = sink_->FilePath();
    std::vector<std::string> texts;
    std::vector<OutputTag> tags;
    const auto build = [&](const char* gainName, const char* peakName, const GainResult& result) {
        texts.push_back(FormatGain(result.gain));
        texts.push_back(FormatPeak(result.peak));
        tags.push_back({gainName, nullptr});
        tags.push_back({peakName, nullptr});
    };
    const auto bind = [&] {
        for (size_t i = 0; i < tags.size(); ++i) tags[i].value = texts[i].c_str();
    };
    if (const std::optional<GainResult> track = loudness_.Result()) {
        build("REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", *track);
    }
    album_.AddTrack(loudness_);
    taggedFiles_[static_cast<size_t>(currentTrack)] = path;

    // The album's values need every audio track of the disc, read in full.
    const DriveRecord& disc = *drive_;
    bool wholeDisc = true;
    bool last = true;
    for (int32_t t = 1; t <= disc.trackCount && t < TRACK_SLOTS; ++t) {
        const TrackRecord& record = disc.tracks[static_cast<size_t>(t)];
        if (record.isData != 0) continue;
        if (taggedFiles_[static_cast<size_t>(t)].empty()) wholeDisc = false;
        if (t > currentTrack && record.selected != 0) last = false;
    }
    const std::optional<GainResult> album = wholeDisc && last ? album_.Result() : std::nullopt;
    if (!album) {
        bind();
        if (!tags.empty()) sink_->Retag(path, tags);
        return;
    }
    build("REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK", *album);
    bind();
    sink_->Retag(path, tags);
    const std::span<const OutputTag> albumTags = std::span<const OutputTag>(tags).last(2);
    for (int32_t t = 1; t < currentTrack; ++t) {
        const std::string& file = taggedFiles_[static_cast<size_t>(t)];
        if (!file.empty()) sink_->Retag(file, albumTags);
    }
}

}  // namespace cadrix
