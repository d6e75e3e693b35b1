// The .flac file under the encoder. Every byte libFLAC produces is written
// straight to the file, frame by frame, so the file holds whole frames up to
// the first write that failed. Finish cuts it back to its last complete
// frame and fills in what only the end of the stream knows: STREAMINFO's
// frame sizes, total samples and MD5 signature, and a seek table carved
// from the padding block that the header ends with.
#ifndef CADRIX_FLAC_OUTPUT_FILE_H
#define CADRIX_FLAC_OUTPUT_FILE_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

class FlacOutputFile {
public:
    // Seek points: one about every 10 s, at most kMaxSeekPoints (80 minutes'
    // worth; a longer track gets them further apart).
    static constexpr uint32_t kSeekSpacing = 10 * 44100;
    static constexpr size_t kMaxSeekPoints = 480;
    static constexpr uint32_t kSeekPointBytes = 18;
    // The padding left for later tag edits, at least.
    static constexpr uint32_t kTagPadding = 8192;
    // The body length of the padding block the encoder must end the header
    // with: room for the largest seek table, its block header and kTagPadding.
    static constexpr uint32_t kHeaderPadding = kMaxSeekPoints * kSeekPointBytes + 4 + kTagPadding;

    struct Summary {
        uint32_t blockSize = 0;                            // the encoder's, in samples
        std::optional<std::array<uint8_t, 16>> signature;  // MD5 of the samples on disk; none leaves it unset
    };

    FlacOutputFile() = default;
    ~FlacOutputFile();
    FlacOutputFile(const FlacOutputFile&) = delete;
    FlacOutputFile& operator=(const FlacOutputFile&) = delete;

    // Creates `path`, replacing a file there. False with errno set.
    bool Create(const std::string& path);
    // Appends what the encoder wrote: header bytes (frameSamples 0) or one
    // whole frame of frameSamples samples. False when not all of it reached
    // the file; from then on every write is refused.
    bool Append(std::span<const uint8_t> bytes, uint32_t frameSamples);
    bool Failed() const { return failed_; }
    int Error() const { return error_; }  // errno of the failed write
    // Samples in the complete frames written.
    uint64_t SamplesOnDisk() const { return samples_; }

    // Cuts the file after its last complete frame, dropping what a failed
    // write left of the next one.
    bool CutAfterLastFrame();
    // Cuts the file after its last complete frame, fills in STREAMINFO and
    // the seek table, and closes it. False when the file could not be updated.
    bool Finish(const Summary& summary);
    // For a failed open: closes and removes the file.
    void Discard();

private:
    struct SeekPoint {
        uint64_t sample;
        uint64_t offset;  // from the first frame
        uint32_t frameSamples;
    };

    void NoteSeekPoint(uint64_t firstSample, uint32_t frameSamples);
    bool WriteStreamInfo(const Summary& summary);
    bool WriteSeekTable();

    int fd_ = -1;
    std::string path_;
    bool failed_ = false;
    int error_ = 0;
    uint64_t end_ = 0;         // bytes written, up to the last complete frame
    uint64_t audioStart_ = 0;  // where the first frame starts; 0 before it
    uint64_t samples_ = 0;
    uint32_t minFrameBytes_ = 0, maxFrameBytes_ = 0;
    std::array<SeekPoint, kMaxSeekPoints> points_{};
    size_t pointCount_ = 0;
    uint64_t seekSpacing_ = kSeekSpacing;
    uint64_t nextSeekSample_ = 0;
};

#endif
