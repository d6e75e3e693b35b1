// Writing the files of a test disc: each through a temporary name renamed
// into place once complete, and the header of a WAVE file of CD audio.
#ifndef CADRIX_DISCGEN_FILE_OUTPUT_H
#define CADRIX_DISCGEN_FILE_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace cadrix::discgen {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Writes to a temporary name and renames it into place once complete.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path path) : path_(std::move(path)), temporary_(path_.string() + ".part") {
        file_.reset(std::fopen(temporary_.c_str(), "wb"));
        if (file_) {
            std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
        }
    }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() {
        if (file_) {
            file_.reset();
            std::error_code ignored;
            std::filesystem::remove(temporary_, ignored);
        }
    }

    bool IsOpen() const { return file_ != nullptr; }

    bool Write(std::span<const uint8_t> bytes) {
        return file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
    }

    bool Commit() {
        if (!file_) {
            return false;
        }
        const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
        const bool closed = std::fclose(file_.release()) == 0;
        std::error_code error;
        if (flushed && closed) {
            std::filesystem::rename(temporary_, path_, error);
            if (!error) {
                return true;
            }
        }
        std::filesystem::remove(temporary_, error);
        return false;
    }

private:
    std::filesystem::path path_;
    std::filesystem::path temporary_;
    FilePtr file_;
};

inline void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

inline void PutText(std::vector<uint8_t>& out, const char* text) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(text[i]));
}

inline std::vector<uint8_t> WaveHeader(uint32_t dataBytes) {
    std::vector<uint8_t> header;
    header.reserve(44);
    PutText(header, "RIFF");
    PutLe32(header, 36 + dataBytes);
    PutText(header, "WAVE");
    PutText(header, "fmt ");
    PutLe32(header, 16);
    PutLe32(header, 1U | (2U << 16));  // PCM, 2 channels
    PutLe32(header, 44100);
    PutLe32(header, 44100 * 4);
    PutLe32(header, 4U | (16U << 16));  // block align 4, 16 bits
    PutText(header, "data");
    PutLe32(header, dataBytes);
    return header;
}

}  // namespace cadrix::discgen

#endif
