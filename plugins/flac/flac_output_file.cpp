#include "flac_output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

constexpr uint64_t kSampleRate = 44100;
constexpr uint64_t kChannels = 2;
constexpr uint64_t kBitsPerSample = 16;
// "fLaC" and the STREAMINFO block header come before its body.
constexpr off_t kStreamInfoOffset = 8;
constexpr size_t kStreamInfoBytes = 34;
constexpr uint8_t kBlockPadding = 1;
constexpr uint8_t kBlockSeekTable = 3;
constexpr uint8_t kLastBlockFlag = 0x80;

// Big-endian, `bytes` bytes of `value`.
void PutBits(uint8_t* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

void PutBlockHeader(uint8_t* out, uint8_t type, uint32_t length) {
    out[0] = type;
    PutBits(out + 1, length, 3);
}

bool WriteAt(int fd, std::span<const uint8_t> bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(n));
        offset += n;
    }
    return true;
}

}  // namespace

FlacOutputFile::~FlacOutputFile() {
    if (fd_ >= 0) close(fd_);
}

bool FlacOutputFile::Create(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    path_ = path;
    return true;
}

bool FlacOutputFile::Append(std::span<const uint8_t> bytes, uint32_t frameSamples) {
    if (failed_ || fd_ < 0) return false;
    const size_t size = bytes.size();
    while (!bytes.empty()) {
        const ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            error_ = n < 0 ? errno : EIO;
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    if (frameSamples > 0) {
        if (audioStart_ == 0) audioStart_ = end_;
        NoteSeekPoint(samples_, frameSamples);
        const auto frameBytes = static_cast<uint32_t>(size);
        minFrameBytes_ = minFrameBytes_ == 0 ? frameBytes : std::min(minFrameBytes_, frameBytes);
        maxFrameBytes_ = std::max(maxFrameBytes_, frameBytes);
        samples_ += frameSamples;
    }
    end_ += size;
    return true;
}

// The frame holding the next multiple of the spacing becomes a seek point.
// When the table is full, every other point goes and the spacing doubles.
void FlacOutputFile::NoteSeekPoint(uint64_t firstSample, uint32_t frameSamples) {
    if (firstSample + frameSamples <= nextSeekSample_) return;
    if (pointCount_ == kMaxSeekPoints) {
        for (size_t i = 0; i < kMaxSeekPoints / 2; ++i) points_[i] = points_[2 * i];
        pointCount_ = kMaxSeekPoints / 2;
        seekSpacing_ *= 2;
    }
    points_[pointCount_++] = {firstSample, end_ - audioStart_, frameSamples};
    nextSeekSample_ = (firstSample + frameSamples + seekSpacing_ - 1) / seekSpacing_ * seekSpacing_;
}

bool FlacOutputFile::WriteStreamInfo(const Summary& summary) {
    std::array<uint8_t, kStreamInfoBytes> info{};
    PutBits(&info[0], summary.blockSize, 2);
    PutBits(&info[2], summary.blockSize, 2);
    PutBits(&info[4], minFrameBytes_, 3);
    PutBits(&info[7], maxFrameBytes_, 3);
    PutBits(&info[10], kSampleRate << 44 | (kChannels - 1) << 41 | (kBitsPerSample - 1) << 36 | samples_, 8);
    if (summary.signature) std::copy(summary.signature->begin(), summary.signature->end(), &info[18]);
    return WriteAt(fd_, info, kStreamInfoOffset);
}

// The padding block that ends the header becomes a seek table followed by
// what is left of the padding, the last block of the header.
bool FlacOutputFile::WriteSeekTable() {
    if (pointCount_ == 0 || audioStart_ < kHeaderPadding + 4) return true;
    const auto paddingAt = static_cast<off_t>(audioStart_ - kHeaderPadding - 4);
    std::array<uint8_t, 4> found{};
    if (pread(fd_, found.data(), found.size(), paddingAt) != 4 || found[0] != (kLastBlockFlag | kBlockPadding) ||
        (uint32_t{found[1]} << 16 | uint32_t{found[2]} << 8 | found[3]) != kHeaderPadding) {
        return false;
    }
    const auto tableBytes = static_cast<uint32_t>(pointCount_ * kSeekPointBytes);
    std::vector<uint8_t> blocks(4 + tableBytes + 4);
    PutBlockHeader(blocks.data(), kBlockSeekTable, tableBytes);
    uint8_t* out = blocks.data() + 4;
    for (size_t i = 0; i < pointCount_; ++i, out += kSeekPointBytes) {
        PutBits(out, points_[i].sample, 8);
        PutBits(out + 8, points_[i].offset, 8);
        PutBits(out + 16, points_[i].frameSamples, 2);
    }
    PutBlockHeader(out, kLastBlockFlag | kBlockPadding, kHeaderPadding - tableBytes - 4);
    return WriteAt(fd_, blocks, paddingAt);
}

bool FlacOutputFile::CutAfterLastFrame() { return fd_ >= 0 && ftruncate(fd_, static_cast<off_t>(end_)) == 0; }

bool FlacOutputFile::Finish(const Summary& summary) {
    if (fd_ < 0) return false;
    bool ok = CutAfterLastFrame();
    if (audioStart_ == 0) audioStart_ = end_;  // no frame at all
    ok = WriteStreamInfo(summary) && ok;
    ok = WriteSeekTable() && ok;
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
    return ok;
}

void FlacOutputFile::Discard() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
    std::remove(path_.c_str());
}
