// Test helpers for akrip: temporary folders, generated disc images and the
// module loaded the way the program loads it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "akrip_records.h"
#include "temp_dir.h"

namespace akrip_test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFrameBytes = AKRIP_FRAME_BYTES;

// A fresh folder under $TMPDIR, removed with everything in it.
using TempDir = cadrix::test::TempDir;

// `frames` frames of deterministic, non-silent 16-bit little-endian stereo.
Bytes Music(uint32_t frames, uint32_t seed);
Bytes Silence(uint32_t frames);
// Sectors whose content is not audio (a data track).
Bytes DataSectors(uint32_t frames, uint32_t sectorBytes);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Swapped(Bytes samples);  // 16-bit byte swap
// A RIFF WAVE file holding `samples`; `extensible` writes WAVE_FORMAT_EXTENSIBLE,
// and a LIST chunk of odd size comes before the data chunk.
Bytes Wave(const Bytes& samples, bool extensible = false);

void WriteFile(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, std::string_view text);

// The four tracks of the reference disc: 225, 315, 413 and 450 frames.
extern const uint32_t kTrackFrames[4];
Bytes Track(int index);  // Music(kTrackFrames[index], index + 1)

// akrip.so, opened with dlopen from the build tree.
struct Akrip {
    Akrip();
    ~Akrip();
    Akrip(const Akrip&) = delete;
    Akrip& operator=(const Akrip&) = delete;

    void* module = nullptr;
    GetCDListProc GetCDList = nullptr;
    GetCDHandleProc GetCDHandle = nullptr;
    CloseCDHandleProc CloseCDHandle = nullptr;
    ModifyCDParmsProc ModifyCDParms = nullptr;
    ReadTOCProc ReadTOC = nullptr;
    ReadCDAudioLBAExProc ReadCDAudioLBAEx = nullptr;
    GetCDDBDiskIDProc GetCDDBDiskID = nullptr;

    // Sets CADRIX_VIRTUAL_DRIVES to `folder`, lists the drives and opens the
    // virtual one.
    HCDROM OpenFolder(const std::string& folder);

    // TOC with LBA addresses: track starts then the lead-out; empty for no disc.
    std::vector<uint32_t> TocLba(HCDROM handle);
    uint32_t DiscId(HCDROM handle);

    // Reads [start, start + frames) in blocks of 27 frames as the extraction
    // worker does; fails the test when a block does not come back whole.
    Bytes ReadAll(HCDROM handle, uint32_t start, uint32_t frames);
};

// A read buffer of 27 frames with its header.
struct ReadBlock {
    ReadBlock();
    ReadBuffer* Header() { return reinterpret_cast<ReadBuffer*>(storage.data()); }
    const uint8_t* Data() { return ReadBufferData(Header()); }
    // One call of ReadCDAudioLBAEx; the result.
    int32_t Read(Akrip& akrip, HCDROM handle, uint32_t start, uint32_t frames);
    std::vector<uint64_t> storage;  // 8-byte aligned
};

}  // namespace akrip_test
