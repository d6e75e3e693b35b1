// Encodes a raw CD image through an encoder plug-in module, loaded and
// called as the host calls it: one output per track, blocks of 27 CD frames
// read from the image file. Prints the time the whole image took.
//
//   plugin_encode_bench --module <plug-in.so> --image <disc.bin> --out <folder>
//                       --starts <first frame of each track, comma-separated>
//                       [--quality N]
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cadrix_plugin.h"

namespace {

constexpr size_t kFrameBytes = 2352;
constexpr size_t kBlockFrames = 27;

struct Entry {
    OpenOutputProc open = nullptr;
    WriteOutputProc write = nullptr;
    CloseOutputProc close = nullptr;
};

struct ModuleCloser {
    void operator()(void* module) const { dlclose(module); }
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "plugin_encode_bench: %s\n", message.c_str());
    return 1;
}

std::vector<uint64_t> ParseStarts(std::string_view text) {
    std::vector<uint64_t> starts;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        starts.push_back(std::strtoull(std::string(text.substr(0, comma)).c_str(), nullptr, 10));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return starts;
}

// One track, read block by block from `fd` at its first frame; false when a
// call failed or the image is short.
bool EncodeTrack(const Entry& entry, int fd, uint64_t first, uint64_t end, const std::string& base, int32_t quality,
                 std::vector<uint8_t>& buffer) {
    const OutputTrackInfo info{1, "Title", "Artist", "Album", "Genre", "2024", "", ""};
    if (entry.open(base.c_str(), quality, &info) != 1) return false;
    bool ok = true;
    for (uint64_t frame = first; frame < end && ok; frame += kBlockFrames) {
        const size_t bytes = std::min<uint64_t>(kBlockFrames, end - frame) * kFrameBytes;
        ok = pread(fd, buffer.data(), bytes, static_cast<off_t>(frame * kFrameBytes)) == static_cast<ssize_t>(bytes) &&
             entry.write(buffer.data(), static_cast<uint32_t>(bytes)) == 1;
    }
    entry.close();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string modulePath, image, out, starts;
    int32_t quality = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--module") modulePath = argv[i + 1];
        else if (option == "--image") image = argv[i + 1];
        else if (option == "--out") out = argv[i + 1];
        else if (option == "--starts") starts = argv[i + 1];
        else if (option == "--quality") quality = std::atoi(argv[i + 1]);
        else return Fail("unknown option " + std::string(option));
    }
    if (modulePath.empty() || image.empty() || out.empty() || starts.empty()) return Fail("missing options");

    const std::unique_ptr<void, ModuleCloser> module(dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!module) return Fail(dlerror());
    const Entry entry{reinterpret_cast<OpenOutputProc>(dlsym(module.get(), "OpenOutput")),
                      reinterpret_cast<WriteOutputProc>(dlsym(module.get(), "WriteOutput")),
                      reinterpret_cast<CloseOutputProc>(dlsym(module.get(), "CloseOutput"))};
    if (!entry.open || !entry.write || !entry.close) return Fail("the module lacks an entry point");
    const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open " + image);
    std::vector<uint64_t> bounds = ParseStarts(starts);
    bounds.push_back(static_cast<uint64_t>(lseek(fd, 0, SEEK_END)) / kFrameBytes);

    std::vector<uint8_t> buffer(kBlockFrames * kFrameBytes);
    const auto started = std::chrono::steady_clock::now();
    bool ok = true;
    for (size_t t = 0; t + 1 < bounds.size() && ok; ++t) {
        const std::string base = out + "/" + (t < 9 ? "0" : "") + std::to_string(t + 1) + " - Title";
        ok = EncodeTrack(entry, fd, bounds[t], bounds[t + 1], base, quality, buffer);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    ::close(fd);
    if (!ok) return Fail("a track failed");
    std::printf("seconds=%.3f tracks=%zu\n", took.count(), bounds.size() - 1);
    return 0;
}
