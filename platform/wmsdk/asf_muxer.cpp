#include "asf_muxer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

namespace wmsdk {
namespace {

constexpr GUID kHeaderObject{0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr GUID kDataObject{0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr GUID kSimpleIndexObject{0x33000890, 0xE5B1, 0x11CF, {0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB}};
constexpr GUID kFilePropertiesObject{0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr GUID kStreamPropertiesObject{0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr GUID kHeaderExtensionObject{0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr GUID kReserved1{0xABD3D211, 0xA9BA, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr GUID kCodecListObject{0x86D15240, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr GUID kReserved2{0x86D15241, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr GUID kContentDescriptionObject{0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr GUID kExtendedContentDescriptionObject{0xD2D0A440,
                                                 0xE307,
                                                 0x11D2,
                                                 {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};
constexpr GUID kMetadataLibraryObject{0x44231C94, 0x9498, 0x49D1, {0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54}};
constexpr GUID kAudioMedia{0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
constexpr GUID kAudioSpread{0xBFC3CD50, 0x618F, 0x11CF, {0x8B, 0xB2, 0x00, 0xAA, 0x00, 0xB4, 0xE2, 0x20}};

constexpr size_t kPacketHeader = 14;   // error correction, flags, padding, send time, duration, payload flags
constexpr size_t kPayloadHeader = 17;  // stream, object, offset, replicated data (size, time), length
constexpr int kMaxPayloads = 63;
constexpr size_t kDataObjectHeader = 50;
constexpr uint64_t kIndexIntervalHns = 10'000'000;

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

uint16_t TextBytes(std::u16string_view s) { return s.empty() ? 0 : static_cast<uint16_t>((s.size() + 1) * 2); }

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

// The content description and extended content description objects, each
// when it has something to hold; returns how many were written.
uint32_t WriteMetadataObjects(const AsfMetadata& m, std::vector<uint8_t>& out) {
    Bytes b(out);
    uint32_t objects = 0;
    const std::u16string* texts[] = {&m.title, &m.author, &m.copyright, &m.description, &m.rating};
    if (std::any_of(std::begin(texts), std::end(texts), [](auto* t) { return !t->empty(); })) {
        const size_t o = b.Begin(kContentDescriptionObject);
        for (auto* t : texts) b.U16(TextBytes(*t));
        for (auto* t : texts)
            if (!t->empty()) b.Text(*t);
        b.End(o);
        ++objects;
    }
    const auto fits = [](const AsfAttribute& a) { return a.value.size() <= 0xFFFF; };
    const auto count = std::count_if(m.extended.begin(), m.extended.end(), fits);
    if (count > 0) {
        const size_t o = b.Begin(kExtendedContentDescriptionObject);
        b.U16(static_cast<uint16_t>(count));
        for (const AsfAttribute& a : m.extended) {
            if (!fits(a)) continue;
            b.U16(static_cast<uint16_t>((a.name.size() + 1) * 2));
            b.Text(a.name);
            b.U16(static_cast<uint16_t>(a.type));
            b.U16(static_cast<uint16_t>(a.value.size()));
            b.Raw(a.value);
        }
        b.End(o);
        ++objects;
    }
    return objects;
}

// Attributes whose values are too long for the extended content description
// (pictures), as file-level records of the metadata library; nothing when
// there are none.
void AddMetadataLibrary(Bytes& b, const AsfMetadata& m) {
    const auto large = [](const AsfAttribute& a) { return a.value.size() > 0xFFFF; };
    const auto count = std::count_if(m.extended.begin(), m.extended.end(), large);
    if (count == 0) return;
    const size_t o = b.Begin(kMetadataLibraryObject);
    b.U16(static_cast<uint16_t>(count));
    for (const AsfAttribute& a : m.extended) {
        if (!large(a)) continue;
        b.U16(0);  // language list index
        b.U16(0);  // the file, no stream
        b.U16(static_cast<uint16_t>((a.name.size() + 1) * 2));
        b.U16(static_cast<uint16_t>(a.type));
        b.U32(static_cast<uint32_t>(a.value.size()));
        b.Text(a.name);
        b.Raw(a.value);
    }
    b.End(o);
}

uint64_t SamplesToMs(uint64_t samples, uint32_t rate) { return (samples * 1000 + rate / 2) / rate; }

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

namespace wmsdk {
namespace {

uint64_t Le(std::span<const uint8_t> b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{b[at + i]} << (8 * i);
    return v;
}

GUID GuidAt(std::span<const uint8_t> b, size_t at) {
    GUID g{static_cast<uint32_t>(Le(b, at, 4)),
           static_cast<uint16_t>(Le(b, at + 4, 2)),
           static_cast<uint16_t>(Le(b, at + 6, 2)),
           {}};
    std::copy(b.begin() + static_cast<ptrdiff_t>(at + 8), b.begin() + static_cast<ptrdiff_t>(at + 16), g.Data4);
    return g;
}

std::u16string TextAt(std::span<const uint8_t> b, size_t at, size_t bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes; i += 2) text.push_back(static_cast<char16_t>(Le(b, at + i, 2)));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

// The header's objects: where each starts and how long it is.
struct Child {
    GUID id;
    size_t start;
    size_t size;
};

bool HeaderChildren(std::span<const uint8_t> file, std::vector<Child>& children, size_t& headerEnd) {
    if (file.size() < 30 || !(GuidAt(file, 0) == kHeaderObject)) return false;
    const uint64_t headerSize = Le(file, 16, 8);
    if (headerSize < 30 || headerSize > file.size()) return false;
    const uint32_t count = static_cast<uint32_t>(Le(file, 24, 4));
    size_t at = 30;
    for (uint32_t i = 0; i < count; ++i) {
        if (headerSize - at < 24) return false;
        const uint64_t size = Le(file, at + 16, 8);
        if (size < 24 || size > headerSize - at) return false;
        children.push_back({GuidAt(file, at), at, static_cast<size_t>(size)});
        at += static_cast<size_t>(size);
    }
    headerEnd = static_cast<size_t>(headerSize);
    return true;
}

bool ParseContentDescription(std::span<const uint8_t> o, AsfMetadata& m) {
    if (o.size() < 34) return false;
    std::u16string* texts[] = {&m.title, &m.author, &m.copyright, &m.description, &m.rating};
    size_t at = 34;
    for (int i = 0; i < 5; ++i) {
        const size_t length = static_cast<size_t>(Le(o, 24 + 2 * i, 2));
        if (o.size() - at < length) return false;
        *texts[i] = TextAt(o, at, length);
        at += length;
    }
    return true;
}

bool ParseExtendedContentDescription(std::span<const uint8_t> o, AsfMetadata& m) {
    if (o.size() < 26) return false;
    const size_t count = static_cast<size_t>(Le(o, 24, 2));
    size_t at = 26;
    for (size_t i = 0; i < count; ++i) {
        if (o.size() - at < 2) return false;
        const size_t nameBytes = static_cast<size_t>(Le(o, at, 2));
        at += 2;
        if (o.size() - at < nameBytes + 4) return false;
        AsfAttribute a;
        a.name = TextAt(o, at, nameBytes);
        at += nameBytes;
        a.type = static_cast<AsfValueType>(Le(o, at, 2));
        const size_t valueBytes = static_cast<size_t>(Le(o, at + 2, 2));
        at += 4;
        if (o.size() - at < valueBytes) return false;
        a.value.assign(o.begin() + static_cast<ptrdiff_t>(at), o.begin() + static_cast<ptrdiff_t>(at + valueBytes));
        at += valueBytes;
        m.extended.push_back(std::move(a));
    }
    return true;
}

}  // namespace

bool ReadAsfMetadata(std::span<const uint8_t> file, AsfMetadata& metadata) {
    std::vector<Child> children;
    size_t headerEnd = 0;
    if (!HeaderChildren(file, children, headerEnd)) return false;
    metadata = {};
    for (const Child& c : children) {
        const auto object = file.subspan(c.start, c.size);
        if (c.id == kContentDescriptionObject && !ParseContentDescription(object, metadata)) return false;
        if (c.id == kExtendedContentDescriptionObject && !ParseExtendedContentDescription(object, metadata))
            return false;
    }
    return true;
}

std::vector<uint8_t> RebuildAsfHeader(std::span<const uint8_t> file, const AsfMetadata& metadata, size_t& oldEnd) {
    std::vector<Child> children;
    if (!HeaderChildren(file, children, oldEnd)) return {};
    std::vector<uint8_t> out;
    Bytes b(out);
    const size_t header = b.Begin(kHeaderObject);
    b.Raw(file.subspan(24, 6));  // count (patched below) and the two reserved bytes
    uint32_t objects = 0;
    size_t fileProperties = 0;
    for (const Child& c : children) {
        if (c.id == kContentDescriptionObject || c.id == kExtendedContentDescriptionObject) continue;
        if (c.id == kFilePropertiesObject) fileProperties = out.size();
        b.Raw(file.subspan(c.start, c.size));
        ++objects;
    }
    objects += WriteMetadataObjects(metadata, out);
    b.Patch(header + 24, objects, 4);
    b.End(header);
    // The file size the file properties give.
    if (fileProperties != 0 && out.size() - fileProperties >= 48) {
        b.Patch(fileProperties + 40, out.size() + (file.size() - oldEnd), 8);
    }
    return out;
}

}  // namespace wmsdk
