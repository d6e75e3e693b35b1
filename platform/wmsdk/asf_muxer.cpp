#include "asf_muxer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

#include "asf_objects.h"

namespace wmsdk {
namespace {

using namespace asf_objects;

uint64_t SamplesToMs(uint64_t samples, uint32_t rate) { return (samples * 1000 + rate / 2) / rate; }

GUID RandomGuid() {
    std::random_device rd;
    GUID g{};
    g.Data1 = rd();
    const uint32_t b = rd();
    g.Data2 = static_cast<uint16_t>(b);
    g.Data3 = static_cast<uint16_t>(((b >> 16) & 0x0FFF) | 0x4000);
    const uint32_t c = rd(), d = rd();
    for (int i = 0; i < 4; ++i) {
        g.Data4[i] = static_cast<uint8_t>(c >> (8 * i));
        g.Data4[4 + i] = static_cast<uint8_t>(d >> (8 * i));
    }
    g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

uint64_t FileTimeNow() {
    using namespace std::chrono;
    const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return (static_cast<uint64_t>(since1970) + 11'644'473'600ull * 1'000'000) * 10;
}

// The Stream Properties Object of the one audio stream.
void AddStreamProperties(Bytes& b, const AsfStreamFormat& format) {
    const size_t o = b.Begin(kStreamPropertiesObject);
    b.Guid(kAudioMedia);
    b.Guid(kAudioSpread);
    b.U64(0);
    b.U32(static_cast<uint32_t>(18 + format.codecData.size()));
    b.U32(8);
    b.U16(1);  // stream number 1
    b.U32(0);
    b.U16(format.formatTag);
    b.U16(format.channels);
    b.U32(format.samplesPerSec);
    b.U32(format.avgBytesPerSec);
    b.U16(format.blockAlign);
    b.U16(format.bitsPerSample);
    b.U16(static_cast<uint16_t>(format.codecData.size()));
    b.Raw(format.codecData);
    // Audio spread with a span of 1: no interleaving of frames.
    b.U8(1);
    b.U16(format.blockAlign);
    b.U16(format.blockAlign);
    b.U16(1);
    b.U8(0);
    b.End(o);
}

void AddCodecList(Bytes& b, const AsfStreamFormat& format) {
    const size_t o = b.Begin(kCodecListObject);
    b.Guid(kReserved2);
    b.U32(1);
    b.U16(2);  // audio codec
    b.U16(static_cast<uint16_t>(format.codecName.size() + 1));
    b.Text(format.codecName);
    b.U16(static_cast<uint16_t>(format.codecDescription.size() + 1));
    b.Text(format.codecDescription);
    b.U16(2);
    b.U16(format.formatTag);
    b.End(o);
}

}  // namespace

AsfMuxer::AsfMuxer(AsfStreamFormat format, AsfMetadata metadata, uint32_t packetSize)
    : format_(std::move(format)),
      metadata_(std::move(metadata)),
      packetSize_(packetSize),
      fileId_(RandomGuid()),
      creationTime_(FileTimeNow()) {
    packet_.assign(packetSize_, 0);
    index_.reserve(8192);
}

AsfMuxer::~AsfMuxer() = default;

void AsfMuxer::Fd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

std::vector<uint8_t> AsfMuxer::BuildHeader(uint64_t fileSize, uint64_t durationHns) const {
    std::vector<uint8_t> out;
    Bytes b(out);
    const size_t header = b.Begin(kHeaderObject);
    const size_t countAt = b.Size();
    b.U32(0);
    b.U8(1);
    b.U8(2);
    uint32_t objects = 0;

    size_t o = b.Begin(kFilePropertiesObject);
    b.Guid(fileId_);
    b.U64(fileSize);
    b.U64(creationTime_);
    b.U64(packetCount_);
    b.U64(durationHns + uint64_t(kPrerollMs) * 10'000);
    b.U64(durationHns);
    b.U64(kPrerollMs);
    b.U32(0x02);  // seekable
    b.U32(packetSize_);
    b.U32(packetSize_);
    b.U32(format_.maxBitrate);
    b.End(o);
    ++objects;

    AddStreamProperties(b, format_);
    ++objects;

    o = b.Begin(kHeaderExtensionObject);
    b.Guid(kReserved1);
    b.U16(6);
    const size_t extensionSizeAt = b.Size();
    b.U32(0);
    AddMetadataLibrary(b, metadata_);
    b.Patch(extensionSizeAt, b.Size() - extensionSizeAt - 4, 4);
    b.End(o);
    ++objects;

    AddCodecList(b, format_);
    ++objects;

    objects += WriteMetadataObjects(metadata_, out);
    b.Patch(countAt, objects, 4);
    b.End(header);

    const size_t data = b.Begin(kDataObject);
    b.Guid(fileId_);
    b.U64(packetCount_);
    b.U8(1);
    b.U8(1);
    b.Patch(data + 16, kDataObjectHeader + packetCount_ * packetSize_, 8);
    return out;
}

bool AsfMuxer::WriteAt(std::span<const uint8_t> bytes, uint64_t offset) {
    if (failed_ || file_.Get() < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(file_.Get(), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A full disk and a file size limit (EFBIG) end the file alike.
            error_ = n < 0 ? errno : ENOSPC;
            failed_ = true;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool AsfMuxer::Open(const std::string& path) {
    path_ = path;
    file_.Reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file_.Get() < 0) {
        error_ = errno;
        return false;
    }
    const std::vector<uint8_t> header = BuildHeader(0, 0);
    headerSize_ = header.size();
    if (!WriteAt(header, 0)) {
        const int error = error_;
        Abandon();
        errno = error;
        return false;
    }
    return true;
}

void AsfMuxer::AddIndexEntriesBefore(uint64_t presentationMs) {
    while (index_.size() * 1000 < presentationMs) index_.push_back(lastObject_);
}

bool AsfMuxer::AddFrame(std::span<const uint8_t> frame, const MediaObjectTiming& timing) {
    if (failed_ || file_.Get() < 0) return false;
    if (frame.empty()) return true;
    const uint64_t mediaMs = SamplesToMs(timing.presentationSample, format_.samplesPerSec);
    const uint64_t endMs = SamplesToMs(timing.endSample, format_.samplesPerSec);
    const uint64_t presentationMs = mediaMs + kPrerollMs;
    if (timing.seekPoint) AddIndexEntriesBefore(SamplesToMs(timing.seekSample, format_.samplesPerSec) + kPrerollMs);

    size_t offset = 0;
    uint64_t firstPacket = 0;
    while (offset < frame.size()) {
        if (payloads_ == 0) {
            used_ = kPacketHeader;
            packetSendMs_ = static_cast<uint32_t>(mediaMs);
        }
        const size_t n = std::min(frame.size() - offset, packetSize_ - used_ - kPayloadHeader);
        uint8_t* p = packet_.data() + used_;
        p[0] = 0x81;  // stream 1, key frame
        p[1] = objectNumber_;
        auto put = [](uint8_t* at, uint64_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
        };
        put(p + 2, offset, 4);
        p[6] = 8;
        put(p + 7, frame.size(), 4);
        put(p + 11, presentationMs, 4);
        put(p + 15, n, 2);
        std::copy_n(frame.data() + offset, n, p + kPayloadHeader);
        if (offset == 0) firstPacket = packetCount_;
        lastPayloadAt_ = used_;
        used_ += kPayloadHeader + n;
        offset += n;
        ++payloads_;
        packetEndMs_ = static_cast<uint32_t>(endMs);
        endsInsideObject_ = offset < frame.size();
        if (!endsInsideObject_) packetComplete_ = std::max(packetComplete_, timing.completeSamples);
        // A full packet goes out at once, so that a refused object is the one
        // whose packet failed.
        if ((payloads_ == kMaxPayloads || packetSize_ - used_ < kPayloadHeader + 1) && !FlushPacket()) return false;
    }
    if (timing.seekPoint)
        lastObject_ = {static_cast<uint32_t>(firstPacket),
                       static_cast<uint16_t>(packetCount_ - firstPacket + (payloads_ > 0))};
    ++objectNumber_;
    return true;
}

bool AsfMuxer::FlushPacket() {
    if (payloads_ == 0) return true;
    uint8_t* p = packet_.data();
    const size_t padding = packetSize_ - used_;
    std::fill(p + used_, p + packetSize_, 0);
    p[0] = 0x82;  // error correction data present, 2 bytes
    p[1] = 0;
    p[2] = 0;
    p[3] = 0x11;  // several payloads, padding length as WORD
    p[4] = 0x5D;  // replicated data length BYTE, offset DWORD, object number BYTE, stream BYTE
    p[5] = static_cast<uint8_t>(padding);
    p[6] = static_cast<uint8_t>(padding >> 8);
    for (int i = 0; i < 4; ++i) p[7 + i] = static_cast<uint8_t>(packetSendMs_ >> (8 * i));
    const uint32_t duration = std::min<uint32_t>(packetEndMs_ - packetSendMs_, 0xFFFF);
    p[11] = static_cast<uint8_t>(duration);
    p[12] = static_cast<uint8_t>(duration >> 8);
    p[13] = static_cast<uint8_t>(0x80 | payloads_);  // payload lengths as WORD
    const int payloads = payloads_;
    payloads_ = 0;
    used_ = 0;
    if (!WriteAt(packet_, DataEnd())) {
        CutBackAfterFailure();
        return false;
    }
    ++packetCount_;
    written_ = packet_;
    writtenPayloads_ = payloads;
    writtenLastPayloadAt_ = lastPayloadAt_;
    writtenEndsInsideObject_ = endsInsideObject_;
    completeOnDisk_ = std::max(completeOnDisk_, packetComplete_);
    packetComplete_ = 0;
    return true;
}

// The file keeps the whole packets written before the failure, and of
// those only whole objects: an object begun in the last of them is taken out.
void AsfMuxer::CutBackAfterFailure() {
    if (packetCount_ > 0 && writtenEndsInsideObject_) {
        if (writtenPayloads_ == 1) {
            --packetCount_;
        } else {
            uint8_t* p = written_.data();
            std::fill(p + writtenLastPayloadAt_, p + packetSize_, 0);
            const size_t padding = packetSize_ - writtenLastPayloadAt_;
            p[5] = static_cast<uint8_t>(padding);
            p[6] = static_cast<uint8_t>(padding >> 8);
            p[13] = static_cast<uint8_t>(0x80 | (writtenPayloads_ - 1));
            failed_ = false;
            WriteAt(written_, DataEnd() - packetSize_);
            failed_ = true;
        }
    }
    if (::ftruncate(file_.Get(), static_cast<off_t>(DataEnd())) != 0 && error_ == 0) error_ = errno;
}

bool AsfMuxer::ReplaceLastObject(std::span<const uint8_t> object, uint64_t completeSamples) {
    if (file_.Get() < 0 || packetCount_ == 0 || writtenPayloads_ != 1 ||
        written_.size() != kPacketHeader + kPayloadHeader + object.size())
        return false;
    std::copy(object.begin(), object.end(), written_.begin() + kPacketHeader + kPayloadHeader);
    const bool failed = failed_;
    failed_ = false;
    const bool ok = WriteAt(written_, DataEnd() - packetSize_);
    failed_ = failed || !ok;
    if (ok) completeOnDisk_ = completeSamples;
    return ok;
}

std::vector<uint8_t> AsfMuxer::BuildIndex(uint64_t durationHns) {
    const size_t entries = static_cast<size_t>((durationHns + uint64_t(kPrerollMs) * 10'000) / kIndexIntervalHns) + 1;
    AddIndexEntriesBefore(uint64_t(entries) * 1000);
    index_.resize(entries, lastObject_);
    // Entries never point past the packets that are in the file.
    for (size_t i = 0; i < index_.size(); ++i) {
        if (index_[i].packet + index_[i].count > packetCount_) index_[i] = i > 0 ? index_[i - 1] : IndexEntry{0, 1};
    }
    std::vector<uint8_t> index;
    Bytes b(index);
    const size_t o = b.Begin(kSimpleIndexObject);
    b.Guid(fileId_);
    b.U64(kIndexIntervalHns);
    uint16_t maxCount = 1;
    for (const IndexEntry& e : index_) maxCount = std::max(maxCount, e.count);
    b.U32(maxCount);
    b.U32(static_cast<uint32_t>(index_.size()));
    for (const IndexEntry& e : index_) {
        b.U32(e.packet);
        b.U16(e.count);
    }
    b.End(o);
    return index;
}

bool AsfMuxer::Finish(uint64_t samples) {
    if (file_.Get() < 0) return false;
    bool ok = !failed_ && FlushPacket();
    // After a failure the header describes what the packets on disk give out.
    if (failed_) samples = std::min(samples, completeOnDisk_);
    const uint64_t durationHns = (samples * 10'000'000 + format_.samplesPerSec / 2) / format_.samplesPerSec;
    std::vector<uint8_t> index = BuildIndex(durationHns);
    const bool failedBefore = failed_;
    failed_ = false;
    if (!WriteAt(index, DataEnd())) {
        // No room for the index: the file ends with the packets.
        index.clear();
        ok = false;
        if (::ftruncate(file_.Get(), static_cast<off_t>(DataEnd())) != 0 && error_ == 0) error_ = errno;
    }
    const uint64_t fileSize = DataEnd() + index.size();
    const std::vector<uint8_t> header = BuildHeader(fileSize, durationHns);
    // The header is rewritten even after a failed write, so that it describes
    // the packets that did reach the file.
    failed_ = false;
    ok = header.size() == headerSize_ && WriteAt(header, 0) && ok && !failedBefore;
    ok = ::close(file_.Release()) == 0 && ok;
    return ok;
}

void AsfMuxer::Abandon() {
    if (file_.Get() < 0) return;
    file_.Reset();
    std::remove(path_.c_str());
}

}  // namespace wmsdk
