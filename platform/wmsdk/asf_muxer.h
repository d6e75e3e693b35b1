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

#include "wma_standard_encoder.h"
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

class AsfMuxer final : public EncodedFrameSink {
public:
    static constexpr uint32_t kPacketSize = 3200;
    static constexpr uint32_t kPrerollMs = 3100;

    AsfMuxer(AsfStreamFormat format, AsfMetadata metadata);
    ~AsfMuxer();

    // Creates the file and writes the provisional header.
    bool Open(const std::string& path);
    bool AddFrame(std::span<const uint8_t> frame, uint64_t firstSample) override;
    // Writes the last packet and the index and rewrites the header with the
    // final sizes and the duration of `samples` sample frames.
    bool Finish(uint64_t samples);
    // Closes and deletes an unfinished file.
    void Abandon();

    uint64_t PacketCount() const { return packetCount_; }

private:
    std::vector<uint8_t> BuildHeader(uint64_t fileSize, uint64_t durationHns) const;
    bool FlushPacket();
    bool Write(std::span<const uint8_t> bytes);
    void AddIndexEntriesBefore(uint64_t presentationMs);

    struct FileCloser { void operator()(std::FILE* f) const { std::fclose(f); } };

    AsfStreamFormat format_;
    AsfMetadata metadata_;
    GUID fileId_{};
    uint64_t creationTime_ = 0;
    std::string path_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    size_t headerSize_ = 0;
    bool failed_ = false;

    std::vector<uint8_t> packet_;
    size_t used_ = 0;
    int payloads_ = 0;
    uint32_t packetSendMs_ = 0;
    uint32_t packetEndMs_ = 0;
    uint64_t packetCount_ = 0;
    uint8_t objectNumber_ = 0;

    struct IndexEntry { uint32_t packet; uint16_t count; };
    std::vector<IndexEntry> index_;
    IndexEntry lastObject_{0, 1};
};

}  // namespace wmsdk

#endif
