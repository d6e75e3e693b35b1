#include "output_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <new>

#include "plugin_binding.h"
#include "wave_writer.h"

namespace cadrix {

namespace {

// Longest file name component Linux accepts; the extension a writer appends
// (".wav", ".wma", ".ogg") must still fit.
constexpr size_t MAX_NAME_COMPONENT = 255;
constexpr size_t EXTENSION_ROOM = 4;

void RemoveTrailingDots(std::string& path) {
    while (path.size() > 1 && path.back() == '.') path.pop_back();
}

bool IsFolder(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The existence test and the one-level creation of a folder.
bool EnsureFolder(const std::string& path) {
    if (IsFolder(path)) return true;
    if (mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST && IsFolder(path);
}

}  // namespace

OutputSession::~OutputSession() {
    if (workerThread.joinable()) {
        abortRequested.store(1, std::memory_order_relaxed);
        AbortReads();
        workerThread.join();
    }
    if (waveFile != nullptr) {
        std::fclose(waveFile);
        waveFile = nullptr;
    }
}

void OutputSession::AbortReads() {
    if (setReadAbort != nullptr && drives != nullptr) setReadAbort(drives[driveIndex].handle, 1);
}

bool OutputSession::Init(std::string base, DriveRecord* driveArray, int32_t drive, void* module,
                         int32_t outputFormat, int32_t quality) {
    if (base.empty() || driveArray == nullptr || drive < 0 || drive >= MAX_DRIVES) return false;
    format = outputFormat;
    qualityCode = quality;
    driveIndex = drive;
    pluginModule = module;
    drives = driveArray;
    basePath = std::move(base);
    trackBytesWritten.store(0, std::memory_order_relaxed);
    totalBytesWritten.store(0, std::memory_order_relaxed);
    if (basePath.back() != '/') basePath.push_back('/');
    if (!AllocateBuffers()) return false;
    if (format == 0) {
        openOutput = nullptr;
        closeOutput = nullptr;
        writeOutput = nullptr;
        return true;
    }
    return BindPluginEntryPoints(*this);
}

bool OutputSession::AllocateBuffers() {
    readStorage_.reset();
    overlapStorage_.reset();
    readBuffer = nullptr;
    overlapBuffer = nullptr;
    constexpr size_t header = sizeof(ReadBuffer);
    readStorage_.reset(new (std::nothrow) uint32_t[(header + READ_CAPACITY) / 4]());
    overlapStorage_.reset(new (std::nothrow) uint32_t[(header + OVERLAP_CAPACITY) / 4]());
    if (readStorage_ != nullptr) readBuffer = reinterpret_cast<ReadBuffer*>(readStorage_.get());
    if (overlapStorage_ != nullptr) {
        overlapBuffer = reinterpret_cast<ReadBuffer*>(overlapStorage_.get());
    }
    if (readBuffer == nullptr || overlapBuffer == nullptr) return false;
    readBuffer->capacity = READ_CAPACITY;
    overlapBuffer->capacity = OVERLAP_CAPACITY;
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
            case '>':
                c = '_';
                break;
            default:
                if (value < 32) c = '_';
        }
    }
}

bool OutputSession::BuildTrackPaths(std::string& folderPath, std::string& filePath) {
    const DriveRecord& disc = drives[driveIndex];
    const TrackRecord& track = disc.tracks[static_cast<size_t>(currentTrack)];
    artistName = disc.discArtist;
    discName = disc.discTitle;
    trackArtistName = track.artist;
    trackName = track.title;
    SanitizeName(artistName);
    SanitizeName(discName);
    SanitizeName(trackArtistName);
    SanitizeName(trackName);

    std::string folderName;
    if (!discName.empty()) {
        folderName = artistName.empty() ? discName : artistName + " - " + discName;
    } else {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%" PRIx32, disc.discId);
        folderName = std::string("Untitled Disc (") + hex + ")";
    }
    folderPath = basePath + folderName;
    RemoveTrailingDots(folderPath);
    if (folderPath.size() > MAX_FOLDER_PATH) return false;

    char number[16];
    std::snprintf(number, sizeof number, "%02d", static_cast<int>(currentTrack));
    std::string trackPart;
    if (trackName.empty()) {
        trackPart = "Untitled Track";
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

bool OutputSession::OpenTrack() {
    outputOpen = 0;
    if (drives == nullptr || currentTrack < 1 || currentTrack >= TRACK_SLOTS) return false;
    if (!EnsureFolder(basePath)) return false;
    std::string folderPath;
    std::string filePath;
    if (!BuildTrackPaths(folderPath, filePath)) return false;
    if (!EnsureFolder(folderPath)) return false;
    trackBytesWritten.store(0, std::memory_order_relaxed);

    if (format != 0) {
        const DriveRecord& disc = drives[driveIndex];
        FillTrackInfo(*this, disc, disc.tracks[static_cast<size_t>(currentTrack)]);
        return OpenPluginOutput(*this, filePath);
    }

    filePath += ".wav";
    waveFile = std::fopen(filePath.c_str(), "wb");
    if (waveFile == nullptr) return false;
    // Unbuffered: each block is one write, so a short write is seen at once
    // and the counted bytes are exactly the bytes on disk.
    std::setvbuf(waveFile, nullptr, _IONBF, 0);
    if (!WriteWaveHeader(0)) {
        std::fclose(waveFile);
        waveFile = nullptr;
        return false;
    }
    outputOpen = 1;
    return true;
}

bool OutputSession::WriteBlock() {
    if (readBuffer == nullptr) return false;
    const uint32_t count = readBuffer->validBytes;
    const int32_t offset = readBuffer->dataOffset;
    // Valid bytes the library claims outside the data area are refused.
    if (offset < 0 || uint64_t{static_cast<uint32_t>(offset)} + count > READ_CAPACITY) {
        return false;
    }
    const uint8_t* data = ReadBufferData(readBuffer) + offset;
    if (format != 0) return WritePluginBlock(*this, data, count);

    if (waveFile == nullptr) return false;
    if (std::fwrite(data, 1, count, waveFile) != count) return false;
    trackBytesWritten.fetch_add(count, std::memory_order_relaxed);
    totalBytesWritten.fetch_add(count, std::memory_order_relaxed);
    return true;
}

bool OutputSession::CloseTrack() {
    if (outputOpen == 0) return true;
    if (format != 0) {
        ClosePluginOutput(*this);
    } else if (waveFile != nullptr) {
        const uint32_t counted = trackBytesWritten.load(std::memory_order_relaxed);
        // Bytes of a refused block that reached the disk are cut off, so the
        // file is exactly the header and the bytes it announces.
        if (ftruncate(fileno(waveFile), off_t{WAVE_HEADER_BYTES} + counted) != 0) {
            // The header below still announces only the counted bytes.
        }
        WriteWaveHeader(counted);
    }
    if (waveFile != nullptr) {
        std::fclose(waveFile);
        waveFile = nullptr;
    }
    return true;
}

bool OutputSession::WriteWaveHeader(uint32_t dataSize) {
    return cadrix::WriteWaveHeader(waveFile, dataSize);
}

}  // namespace cadrix
