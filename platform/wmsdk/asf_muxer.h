// Writes a single-audio-stream ASF file: header (file and stream properties,
// header extension, codec list, content description, extended content
// description), a data object of fixed-size packets whose payloads may span
// packets, and a simple index. The header is written first with placeholder
// sizes and rewritten with the final values at the end.
#ifndef CADRIX_WMSDK_ASF_MUXER_H
#define CADRIX_WMSDK_ASF_MUXER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "stream_encoder.h"
#include "wmsdk.h"

namespace wmsdk {

struct AsfStreamFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> codecData;
    uint32_t maxBitrate = 0;  // of the stream, for the file properties
    std::u16string codecName;
    std::u16string codecDescription;
};

// Attribute value types as stored in the extended content description.
enum class AsfValueType : uint16_t { String = 0, Bytes = 1, Bool = 2, Dword = 3, Qword = 4, Word = 5 };

struct AsfAttribute {
    std::u16string name;
    AsfValueType type = AsfValueType::String;
    std::vector<uint8_t> value;  // strings: UTF-16LE with the terminator
};

struct AsfMetadata {
    // Content description texts, without terminator; empty = absent.
    std::u16string title, author, copyright, description, rating;
    std::vector<AsfAttribute> extended;
};

// The content description and extended content description of a finished
// file's bytes; false when its header cannot be read.
bool ReadAsfMetadata(std::span<const uint8_t> file, AsfMetadata& metadata);
// The header of `file` with those two objects replaced by `metadata`'s (and
// the file size updated to go with it); what followed the old header, from
// `oldEnd` on, follows the new one unchanged. Empty when the header cannot
// be read.
std::vector<uint8_t> RebuildAsfHeader(std::span<const uint8_t> file, const AsfMetadata& metadata, size_t& oldEnd);

class AsfMuxer final : public EncodedFrameSink {
public:
    static constexpr uint32_t kPacketSize = 3200;
    static constexpr uint32_t kPrerollMs = 3100;
    // Packet size that holds exactly one media object of `objectSize` bytes.
    static constexpr uint32_t SingleObjectPacketSize(uint32_t objectSize) { return objectSize + 14 + 17; }

    AsfMuxer(AsfStreamFormat format, AsfMetadata metadata, uint32_t packetSize = kPacketSize);
    ~AsfMuxer();

    // Creates the file and writes the provisional header.
    bool Open(const std::string& path);
    // Places an object in packets; a packet goes to the file as soon as it is
    // full. False once a write failed: the file then ends with the last whole
    // packet that was written, holding whole objects only.
    bool AddFrame(std::span<const uint8_t> object, const MediaObjectTiming& timing) override;
    // Overwrites the last object on disk, when it fills its packet alone, with
    // a replacement of the same size that gives out `completeSamples` in all.
    bool ReplaceLastObject(std::span<const uint8_t> object, uint64_t completeSamples) override;
    // Writes the last packet and the index and rewrites the header with the
    // final sizes and the duration of `samples` sample frames (fewer when
    // the objects on disk give out fewer).
    bool Finish(uint64_t samples);
    // Closes and deletes an unfinished file.
    void Abandon();

    uint64_t PacketCount() const { return packetCount_; }
    // errno of the first failed write; 0 when none failed.
    int WriteError() const { return error_; }

private:
    std::vector<uint8_t> BuildHeader(uint64_t fileSize, uint64_t durationHns) const;
    bool FlushPacket();
    bool WriteAt(std::span<const uint8_t> bytes, uint64_t offset);
    void CutBackAfterFailure();
    uint64_t DataEnd() const { return headerSize_ + packetCount_ * packetSize_; }
    void AddIndexEntriesBefore(uint64_t presentationMs);
    std::vector<uint8_t> BuildIndex(uint64_t durationHns);

    // Owns the file descriptor.
    class Fd {
    public:
        Fd() = default;
        Fd(const Fd&) = delete;
        Fd& operator=(const Fd&) = delete;
        ~Fd() { Reset(); }
        int Get() const { return fd_; }
        void Reset(int fd = -1);
        int Release() {
            const int fd = fd_;
            fd_ = -1;
            return fd;
        }

    private:
        int fd_ = -1;
    };

    AsfStreamFormat format_;
    AsfMetadata metadata_;
    uint32_t packetSize_;
    GUID fileId_{};
    uint64_t creationTime_ = 0;
    std::string path_;
    Fd file_;
    size_t headerSize_ = 0;
    bool failed_ = false;
    int error_ = 0;

    // The packet being filled.
    std::vector<uint8_t> packet_;
    size_t used_ = 0;
    int payloads_ = 0;
    uint32_t packetSendMs_ = 0;
    uint32_t packetEndMs_ = 0;
    uint64_t packetCount_ = 0;
    uint8_t objectNumber_ = 0;
    size_t lastPayloadAt_ = 0;       // where the packet's last payload starts
    bool endsInsideObject_ = false;  // its last payload's object goes on in the next packet
    uint64_t packetComplete_ = 0;    // samples given out through the objects ending in it

    // The last packet that reached the file, as it was written.
    std::vector<uint8_t> written_;
    int writtenPayloads_ = 0;
    size_t writtenLastPayloadAt_ = 0;
    bool writtenEndsInsideObject_ = false;
    uint64_t completeOnDisk_ = 0;

    struct IndexEntry {
        uint32_t packet;
        uint16_t count;
    };
    std::vector<IndexEntry> index_;
    IndexEntry lastObject_{0, 1};
};

}  // namespace wmsdk

#endif
