// Reads every audio frame of the disc in one virtual drive through akrip.so's
// entry points, track by track in blocks of 27 frames as the extraction worker
// does, and prints how long that took.
//
//   akrip_read_bench --module <akrip.so> --drive <folder> [--runs N]
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "akrip_records.h"

namespace {

struct ModuleCloser {
    void operator()(void* module) const { dlclose(module); }
};

struct Entry {
    GetCDListProc getList = nullptr;
    GetCDHandleProc getHandle = nullptr;
    CloseCDHandleProc closeHandle = nullptr;
    ModifyCDParmsProc modify = nullptr;
    ReadTOCProc readToc = nullptr;
    ReadCDAudioLBAExProc read = nullptr;
    GetCDDBDiskIDProc getId = nullptr;
};

template <typename Proc>
bool Bind(void* module, const char* name, Proc& proc) {
    proc = reinterpret_cast<Proc>(dlsym(module, name));
    return proc != nullptr;
}

// A read buffer: the 24-byte header and its data area, allocated once.
class Buffer {
public:
    explicit Buffer(uint32_t frames) : storage_(sizeof(ReadBuffer) + size_t{frames} * AKRIP_FRAME_BYTES) {
        header_ = reinterpret_cast<ReadBuffer*>(storage_.data());
        std::memset(header_, 0, sizeof(ReadBuffer));
        header_->capacity = frames * AKRIP_FRAME_BYTES;
    }
    ReadBuffer* header() { return header_; }

private:
    std::vector<uint8_t> storage_;
    ReadBuffer* header_;
};

struct RunResult {
    double seconds = 0;
    uint64_t bytes = 0;
    uint64_t failedReads = 0;
    uint64_t checksum = 0;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "akrip_read_bench: %s\n", message.c_str());
    return 1;
}

// The listed drive whose product text is the folder's name, opened with
// MSF addressing off; 0 when it is not listed or cannot be opened.
HCDROM OpenDrive(const Entry& e, const std::string& drive) {
    DriveListBuffer list{};
    e.getList(&list);
    const std::string product = std::filesystem::path(drive).lexically_normal().filename().string().substr(0, 16);
    for (int k = 0; k < std::min<int>(list.count, AKRIP_MAX_DRIVES); ++k) {
        if (product != list.entries[k].productId) continue;
        HandleRequest request{};
        request.size = sizeof request;
        request.version = 1;
        request.hostAdapter = list.entries[k].hostAdapter;
        request.target = list.entries[k].target;
        request.lun = list.entries[k].lun;
        const HCDROM handle = e.getHandle(&request);
        if (handle != 0) e.modify(handle, AKRIP_PARM_MSF, 0);
        return handle;
    }
    return 0;
}

// Every audio track read once in blocks of 27 frames, as the worker reads.
RunResult ReadDisc(const Entry& e, HCDROM handle, const TocBuffer& toc, Buffer& main) {
    RunResult result;
    const auto begin = std::chrono::steady_clock::now();
    for (int k = 0; k < toc.lastTrack; ++k) {
        if ((toc.entries[k].adrControl & AKRIP_TOC_CONTROL_DATA) != 0) continue;
        uint32_t position = TocAddress(toc.entries[k]);
        const uint32_t end = TocAddress(toc.entries[k + 1]);
        main.header()->validBytes = 0;
        while (position < end) {
            ReadBuffer* header = main.header();
            header->startFrame = position;
            header->frameCount = std::min<uint32_t>(AKRIP_MAX_READ_FRAMES, end - position);
            if (e.read(handle, header, nullptr) != 1 || header->frameCount == 0) {
                // Past the readable audio (e.g. the gap before a data session).
                ++result.failedReads;
                break;
            }
            const uint8_t* data = ReadBufferData(header) + header->dataOffset;
            uint64_t word = 0;
            std::memcpy(&word, data, sizeof word);
            result.checksum = result.checksum * 1099511628211ULL ^ word ^ header->validBytes;
            result.bytes += header->validBytes;
            position += header->frameCount;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return result;
}

bool BindAll(void* module, Entry& e) {
    return Bind(module, "GetCDList", e.getList) && Bind(module, "GetCDHandle", e.getHandle) &&
           Bind(module, "CloseCDHandle", e.closeHandle) && Bind(module, "ModifyCDParms", e.modify) &&
           Bind(module, "ReadTOC", e.readToc) && Bind(module, "ReadCDAudioLBAEx", e.read) &&
           Bind(module, "GetCDDBDiskID", e.getId);
}

void PrintBest(const std::vector<RunResult>& results, const TocBuffer& toc, uint32_t discId) {
    const RunResult& best = *std::min_element(results.begin(), results.end(),
                                              [](const RunResult& a, const RunResult& b) {
                                                  return a.seconds < b.seconds;
                                              });
    const double audioSeconds = static_cast<double>(best.bytes) / (44100.0 * 4);
    std::printf("disc: %d tracks, CDDB id %08x, %.1f minutes of audio, %llu failed reads at track ends\n",
                toc.lastTrack, discId, audioSeconds / 60, static_cast<unsigned long long>(best.failedReads));
    std::printf("best: %.3f s, %.0f MB/s, %.0fx real time (checksum %016llx)\n", best.seconds,
                best.bytes / best.seconds / 1e6, audioSeconds / best.seconds,
                static_cast<unsigned long long>(best.checksum));
    std::printf("seconds=%.6f bytes=%llu\n", best.seconds, static_cast<unsigned long long>(best.bytes));
}

}  // namespace

int main(int argc, char** argv) {
    std::string modulePath;
    std::string drive;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--module") {
            modulePath = argv[i + 1];
        } else if (option == "--drive") {
            drive = argv[i + 1];
        } else if (option == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else {
            return Fail("unknown option " + std::string(option));
        }
    }
    if (modulePath.empty() || drive.empty()) {
        return Fail("usage: akrip_read_bench --module <akrip.so> --drive <folder> [--runs N]");
    }
    // The library lists the folders of this variable as drives.
    setenv("CADRIX_VIRTUAL_DRIVES", drive.c_str(), 1);
    std::unique_ptr<void, ModuleCloser> module(dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!module) return Fail(std::string("cannot load the library: ") + dlerror());
    Entry e;
    if (!BindAll(module.get(), e)) return Fail("an entry point is missing");
    const HCDROM handle = OpenDrive(e, drive);
    if (handle == 0) return Fail("the drive " + drive + " is not listed or cannot be opened");
    TocBuffer toc{};
    e.readToc(handle, &toc);
    if (toc.lastTrack == 0 || toc.lastTrack > 99) {
        e.closeHandle(handle);
        return Fail("no disc in the drive");
    }
    std::vector<uint32_t> ids(size_t{toc.lastTrack} + 3, 0);
    e.getId(handle, ids.data(), static_cast<int32_t>(ids.size()));

    Buffer main(AKRIP_MAX_READ_FRAMES);
    std::vector<RunResult> results;
    for (int run = 0; run < runs; ++run) {
        const RunResult result = ReadDisc(e, handle, toc, main);
        results.push_back(result);
        std::printf("run %d: %llu bytes in %.3f s, %.0f MB/s\n", run + 1, static_cast<unsigned long long>(result.bytes),
                    result.seconds, result.bytes / result.seconds / 1e6);
    }
    e.closeHandle(handle);
    PrintBest(results, toc, ids[0]);
    return 0;
}
