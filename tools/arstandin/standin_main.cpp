// cadrix-arstandin: writes the files of an AccurateRip stand-in for a disc
// image, for benchmarks and demos (serve the folder over HTTP and point
// CADRIX_ACCURATERIP_SERVER at it).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "standin_writer.h"

int main(int argc, char** argv) {
    std::string image;
    std::string out;
    std::vector<std::pair<std::string, int32_t>> drives;
    cadrix::standin::DiscFileOptions options;
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string_view name = argv[k];
        const char* value = argv[k + 1];
        if (name == "--image") image = value;
        else if (name == "--out") out = value;
        else if (name == "--wrong-track") options.wrongTrack = std::atoi(value);
        else if (name == "--drive") drives.emplace_back(value, 0);
        else if (name == "--offset" && !drives.empty()) drives.back().second = std::atoi(value);
        else image.clear(), k = argc;
    }
    if (image.empty() || out.empty()) {
        std::fputs(
            "Usage: cadrix-arstandin --image SHEET --out DIR [--wrong-track N]\n"
            "                        [--drive \"VENDOR MODEL\" --offset SAMPLES]...\n",
            stderr);
        return 2;
    }
    std::string path;
    std::string error;
    if (!cadrix::standin::WriteDiscFile(image, out, options, path, error) ||
        !cadrix::standin::WriteDriveList(out, drives, error)) {
        std::fprintf(stderr, "cadrix-arstandin: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
