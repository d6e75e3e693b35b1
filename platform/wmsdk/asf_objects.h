// The objects of an ASF header that both the muxer and the metadata code
// write: their GUIDs, a little-endian byte writer, and the metadata objects.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "asf_muxer.h"

namespace wmsdk::asf_objects {

inline constexpr GUID kHeaderObject{0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
inline constexpr GUID kDataObject{0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
inline constexpr GUID kSimpleIndexObject{0x33000890, 0xE5B1, 0x11CF, {0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB}};
inline constexpr GUID kFilePropertiesObject{0x8CABDCA1,
                                            0xA947,
                                            0x11CF,
                                            {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kStreamPropertiesObject{0xB7DC0791,
                                              0xA9B7,
                                              0x11CF,
                                              {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kHeaderExtensionObject{0x5FBF03B5,
                                             0xA92E,
                                             0x11CF,
                                             {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kReserved1{0xABD3D211, 0xA9BA, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kCodecListObject{0x86D15240, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
inline constexpr GUID kReserved2{0x86D15241, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
inline constexpr GUID kContentDescriptionObject{0x75B22633,
                                                0x668E,
                                                0x11CF,
                                                {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
inline constexpr GUID kExtendedContentDescriptionObject{0xD2D0A440,
                                                        0xE307,
                                                        0x11D2,
                                                        {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};
inline constexpr GUID kMetadataLibraryObject{0x44231C94,
                                             0x9498,
                                             0x49D1,
                                             {0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54}};
inline constexpr GUID kAudioMedia{0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
inline constexpr GUID kAudioSpread{0xBFC3CD50, 0x618F, 0x11CF, {0x8B, 0xB2, 0x00, 0xAA, 0x00, 0xB4, 0xE2, 0x20}};

inline constexpr size_t kPacketHeader = 14;   // error correction, flags, padding, send time, duration, payload flags
inline constexpr size_t kPayloadHeader = 17;  // stream, object, offset, replicated data (size, time), length
inline constexpr int kMaxPayloads = 63;
inline constexpr size_t kDataObjectHeader = 50;
inline constexpr uint64_t kIndexIntervalHns = 10'000'000;

class Bytes {
public:
    explicit Bytes(std::vector<uint8_t>& out) : out_(out) {}
    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) { Le(v, 2); }
    void U32(uint32_t v) { Le(v, 4); }
    void U64(uint64_t v) { Le(v, 8); }
    void Guid(const GUID& g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        out_.insert(out_.end(), g.Data4, g.Data4 + 8);
    }
    void Raw(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void Text(std::u16string_view s) {  // UTF-16LE with terminator
        for (char16_t c : s) U16(c);
        U16(0);
    }
    // Starts an object; returns the position of its size field.
    size_t Begin(const GUID& g) {
        const size_t start = out_.size();
        Guid(g);
        U64(0);
        return start;
    }
    void End(size_t start) { Patch(start + 16, out_.size() - start, 8); }
    void Patch(size_t at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    size_t Size() const { return out_.size(); }

private:
    void Le(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t>& out_;
};

// The bytes of a text with its terminator in UTF-16; 0 for no text.
inline uint16_t TextBytes(std::u16string_view s) { return s.empty() ? 0 : static_cast<uint16_t>((s.size() + 1) * 2); }

// The content description and extended content description objects (and the
// metadata library for values too long for them), each when it has
// something to hold; returns how many were written.
uint32_t WriteMetadataObjects(const AsfMetadata& m, std::vector<uint8_t>& out);

// Attributes too long for the extended content description (pictures), as
// file-level records of the metadata library inside the header extension.
void AddMetadataLibrary(Bytes& b, const AsfMetadata& m);

}  // namespace wmsdk::asf_objects
