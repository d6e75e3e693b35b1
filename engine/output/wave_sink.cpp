// The WAVE sink: a 44-byte header with the size of the data, then the
// samples exactly as read. Writes are unbuffered, so a short write is seen at
// once and the bytes counted are exactly the bytes on disk; the header is
// rewritten at close for them.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/output_sink.h"
#include "output/wave_writer.h"

namespace cadrix {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

std::string SystemReason(const char* what, const std::string& path, int error) {
    return std::string(what) + " '" + path + "': " + std::strerror(error);
}

class WaveSink final : public OutputSink {
public:
    bool Open(const std::string& baseName, const OutputTrackInfo&, const OutputTrackExtras&) override {
        path_ = baseName + ".wav";
        SetFilePath(path_);
        dataBytes_ = 0;
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (!file_) return Fail(SystemReason("cannot create", path_, errno));
        std::setvbuf(file_.get(), nullptr, _IONBF, 0);
        errno = 0;
        if (!WriteWaveHeader(file_.get(), 0)) {
            // Not even the header fits: no empty file is left behind.
            const int error = errno != 0 ? errno : EIO;
            file_.reset();
            std::remove(path_.c_str());
            return Fail(SystemReason("cannot write", path_, error));
        }
        return true;
    }

    bool Write(std::span<const uint8_t> pcm) override {
        if (!file_) return Fail("no WAVE file is open");
        errno = 0;
        if (std::fwrite(pcm.data(), 1, pcm.size(), file_.get()) != pcm.size()) {
            return Fail(SystemReason("cannot write", path_, errno != 0 ? errno : EIO));
        }
        dataBytes_ += static_cast<uint32_t>(pcm.size());
        return true;
    }

    void Close() override {
        if (!file_) return;
        // Bytes of a refused block that reached the disk are cut off, so the
        // file is exactly the header and the bytes it announces. When that
        // fails the header still announces only the counted bytes.
        if (ftruncate(fileno(file_.get()), off_t{WAVE_HEADER_BYTES} + dataBytes_) != 0) {}
        WriteWaveHeader(file_.get(), dataBytes_);
        file_.reset();
    }

    bool CountsRefusedBlocks() const override { return false; }

private:
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string path_;
    uint32_t dataBytes_ = 0;
};

}  // namespace

std::unique_ptr<OutputSink> MakeWaveSink() { return std::make_unique<WaveSink>(); }

}  // namespace cadrix
