#include "akrip_fixture.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace akrip_test {

const uint32_t kTrackFrames[4] = {225, 315, 413, 450};

Bytes Music(uint32_t frames, uint32_t seed) {
    Bytes out(size_t{frames} * kFrameBytes);
    uint32_t noise = seed * 2654435761u + 1;
    const double pitch = 110.0 * (1 + seed % 7);
    for (size_t i = 0; i < out.size() / 4; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / 44100.0;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 0.7 * t);
        const double tone = std::sin(2 * M_PI * pitch * t) + 0.5 * std::sin(2 * M_PI * pitch * 1.5 * t);
        const int left = static_cast<int>(9000 * envelope * tone) + static_cast<int>(noise >> 24) - 128;
        const int right = static_cast<int>(7000 * envelope * tone) - static_cast<int>((noise >> 16) & 0xFF) + 128;
        for (int channel = 0; channel < 2; ++channel) {
            const auto value = static_cast<uint16_t>(static_cast<int16_t>(channel == 0 ? left : right));
            out[i * 4 + size_t(channel) * 2] = static_cast<uint8_t>(value);
            out[i * 4 + size_t(channel) * 2 + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
    return out;
}

Bytes Silence(uint32_t frames) { return Bytes(size_t{frames} * kFrameBytes, 0); }

Bytes DataSectors(uint32_t frames, uint32_t sectorBytes) {
    Bytes out(size_t{frames} * sectorBytes);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(0xA5 ^ (i * 31));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Swapped(Bytes samples) {
    for (size_t i = 0; i + 1 < samples.size(); i += 2) std::swap(samples[i], samples[i + 1]);
    return samples;
}

namespace {
void Put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutId(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}
}  // namespace

Bytes Wave(const Bytes& samples, bool extensible) {
    Bytes out;
    PutId(out, "RIFF");
    Put32(out, 0);  // patched below
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    Put32(out, extensible ? 40 : 16);
    Put16(out, extensible ? 0xFFFE : 1);
    Put16(out, 2);
    Put32(out, 44100);
    Put32(out, 176400);
    Put16(out, 4);
    Put16(out, 16);
    if (extensible) {
        Put16(out, 22);
        Put16(out, 16);
        Put32(out, 3);
        const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        out.insert(out.end(), pcm, pcm + 16);
    }
    PutId(out, "LIST");
    Put32(out, 5);
    out.insert(out.end(), {'I', 'N', 'F', 'O', 'x', 0});  // odd size + pad byte
    PutId(out, "data");
    Put32(out, static_cast<uint32_t>(samples.size()));
    out.insert(out.end(), samples.begin(), samples.end());
    const auto riff = static_cast<uint32_t>(out.size() - 8);
    std::memcpy(out.data() + 4, &riff, 4);
    return out;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

void WriteText(const std::string& path, std::string_view text) { WriteFile(path, Bytes(text.begin(), text.end())); }

Bytes Track(int index) { return Music(kTrackFrames[index], static_cast<uint32_t>(index) + 1); }

template <typename T>
static void Bind(void* module, const char* name, T& proc) {
    proc = reinterpret_cast<T>(::dlsym(module, name));
}

Akrip::Akrip() {
    module = ::dlopen(AKRIP_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
    Bind(module, "GetCDList", GetCDList);
    Bind(module, "GetCDHandle", GetCDHandle);
    Bind(module, "CloseCDHandle", CloseCDHandle);
    Bind(module, "ModifyCDParms", ModifyCDParms);
    Bind(module, "ReadTOC", ReadTOC);
    Bind(module, "ReadCDAudioLBAEx", ReadCDAudioLBAEx);
    Bind(module, "GetCDDBDiskID", GetCDDBDiskID);
}

Akrip::~Akrip() {
    if (module) ::dlclose(module);
}

HCDROM Akrip::OpenFolder(const std::string& folder) {
    ::setenv("CADRIX_VIRTUAL_DRIVES", folder.c_str(), 1);
    DriveListBuffer list{};
    GetCDList(&list);
    for (int k = 0; k < list.count; ++k) {
        if (list.entries[k].hostAdapter < 200) continue;
        HandleRequest request{};
        request.size = 12;
        request.version = 1;
        request.hostAdapter = list.entries[k].hostAdapter;
        request.target = list.entries[k].target;
        request.lun = list.entries[k].lun;
        request.jitterFrames = 1;
        request.overlapFrames = 3;
        return GetCDHandle(&request);
    }
    return 0;
}

std::vector<uint32_t> Akrip::TocLba(HCDROM handle) {
    ModifyCDParms(handle, AKRIP_PARM_MSF, 0);
    TocBuffer toc{};
    ReadTOC(handle, &toc);
    std::vector<uint32_t> starts;
    for (int k = 0; k < toc.lastTrack + (toc.lastTrack ? 1 : 0); ++k) starts.push_back(TocAddress(toc.entries[k]));
    return starts;
}

uint32_t Akrip::DiscId(HCDROM handle) {
    TocBuffer toc{};
    ReadTOC(handle, &toc);
    if (toc.lastTrack == 0) return 0;
    std::vector<uint32_t> words(toc.lastTrack + 3u);
    GetCDDBDiskID(handle, words.data(), static_cast<int32_t>(words.size()));
    return words[0];
}

ReadBlock::ReadBlock() : storage((sizeof(ReadBuffer) + 27 * kFrameBytes + 7) / 8) {
    Header()->capacity = 27 * kFrameBytes;
}

int32_t ReadBlock::Read(Akrip& akrip, HCDROM handle, uint32_t start, uint32_t frames) {
    ReadBuffer* header = Header();
    header->startFrame = start;
    header->frameCount = frames;
    header->validBytes = 0;
    std::vector<uint64_t> overlapStorage((sizeof(ReadBuffer) + 3 * kFrameBytes + 7) / 8);
    auto* overlap = reinterpret_cast<ReadBuffer*>(overlapStorage.data());
    overlap->capacity = 3 * kFrameBytes;
    return akrip.ReadCDAudioLBAEx(handle, header, overlap);
}

Bytes Akrip::ReadAll(HCDROM handle, uint32_t start, uint32_t frames) {
    Bytes out;
    ReadBlock block;
    while (frames > 0) {
        const uint32_t want = std::min<uint32_t>(frames, 27);
        if (block.Read(*this, handle, start, want) != 1) {
            ADD_FAILURE() << "read failed at frame " << start;
            return out;
        }
        const ReadBuffer* header = block.Header();
        EXPECT_EQ(header->frameCount, want) << "at frame " << start;
        EXPECT_EQ(header->validBytes, header->frameCount * kFrameBytes);
        if (header->frameCount == 0) return out;
        const uint8_t* data = block.Data() + header->dataOffset;
        out.insert(out.end(), data, data + header->validBytes);
        start += header->frameCount;
        frames -= header->frameCount;
    }
    return out;
}

}  // namespace akrip_test
