#include "wm_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "lossless/wma_lossless_encoder.h"
#include "standard/quality_encoder.h"
#include "standard/wma_standard_encoder.h"
#include "utf16.h"
#include "wm_profile.h"

namespace wmsdk {
namespace {

constexpr size_t kMaxPathUnits = 4096;
constexpr size_t kMaxNameUnits = 1024;
constexpr BYTE kTrue[4] = {1, 0, 0, 0};

std::u16string Ascii16(std::string_view s) { return {s.begin(), s.end()}; }

// The content description's texts by their attribute names.
constexpr std::pair<const char16_t*, std::u16string AsfMetadata::*> kContentFields[] = {
    {u"Title", &AsfMetadata::title},         {u"Author", &AsfMetadata::author},
    {u"Copyright", &AsfMetadata::copyright}, {u"Description", &AsfMetadata::description},
    {u"Rating", &AsfMetadata::rating},
};

// The content description text named `key`, or null for any other name.
std::u16string* ContentField(AsfMetadata& metadata, std::u16string_view key) {
    for (const auto& [field, member] : kContentFields) {
        if (key == field) return &(metadata.*member);
    }
    return nullptr;
}

// A string attribute's `length` bytes of UTF-16, up to the first terminator;
// false when they are no whole units or too long to store.
bool StringValue(const BYTE* value, WORD length, std::u16string& text) {
    if (length % 2 != 0) return false;
    text.assign(length / 2, u'\0');
    if (length > 0) std::memcpy(text.data(), value, length);
    text.erase(std::find(text.begin(), text.end(), u'\0'), text.end());
    // The file stores the text with its terminator under a 16-bit byte length.
    return (text.size() + 1) * 2 <= 0xFFFF;
}

// `text` as the file stores it: UTF-16LE with a terminator.
std::vector<uint8_t> StringBytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// A number attribute of `type` (DWORD, BOOL, QWORD or WORD) into `attribute`,
// little-endian; false when `length` is not the type's size.
bool NumberValue(WMT_ATTR_DATATYPE type, const BYTE* value, WORD length, AsfAttribute& attribute) {
    const WORD size = type == WMT_TYPE_QWORD ? 8 : type == WMT_TYPE_WORD ? 2 : 4;
    if (length != size) return false;
    uint64_t number = 0;
    if (size == 8) {
        std::memcpy(&number, value, 8);
    } else if (size == 4) {
        uint32_t v;
        std::memcpy(&v, value, 4);
        number = v;
    } else {
        uint16_t v;
        std::memcpy(&v, value, 2);
        number = v;
    }
    attribute.type = type == WMT_TYPE_DWORD   ? AsfValueType::Dword
                     : type == WMT_TYPE_BOOL  ? AsfValueType::Bool
                     : type == WMT_TYPE_QWORD ? AsfValueType::Qword
                                              : AsfValueType::Word;
    for (int i = 0; i < size; ++i) attribute.value.push_back(static_cast<uint8_t>(number >> (8 * i)));
    return true;
}

// Replaces the extended attributes of the same name, or (with `replace`
// false, or when there are none) adds `attribute` after them.
HRESULT KeepExtended(std::vector<AsfAttribute>& list, AsfAttribute attribute, bool replace) {
    const auto same = [&](const AsfAttribute& a) { return a.name == attribute.name; };
    auto existing = std::find_if(list.begin(), list.end(), same);
    if (existing != list.end() && replace) {
        *existing = std::move(attribute);
        list.erase(std::remove_if(std::next(existing), list.end(), same), list.end());
        return S_OK;
    }
    if (list.size() >= 0xFFFF) return E_INVALIDARG;
    list.push_back(std::move(attribute));
    return S_OK;
}

}  // namespace

WmWriter::~WmWriter() {
    // A writer released while writing still leaves a finished file.
    if (state_ == State::Writing) EndWriting();
}

HRESULT WmWriter::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IWMWriter) {
        *object = static_cast<IWMWriter*>(this);
    } else if (iid == IID_IWMHeaderInfo || iid == IID_IWMHeaderInfo3) {
        *object = static_cast<IWMHeaderInfo3*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG WmWriter::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG WmWriter::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT WmWriter::SetProfile(IWMProfile* profile) {
    if (state_ != State::Configuring) return E_UNEXPECTED;
    auto* ours = dynamic_cast<WmProfile*>(profile);
    if (!ours) return E_INVALIDARG;
    const AudioProfile& p = ours->Profile();
    if (p.channels != 2 || p.samplesPerSec != 44100 || p.bitsPerSample != 16) return E_NOTIMPL;
    vbrQuality_.reset();
    if (p.formatTag == WAVE_FORMAT_WMAUDIO_LOSSLESS) return SetLosslessProfile(p);
    if (p.formatTag != WAVE_FORMAT_WMAUDIO2) return E_NOTIMPL;
    if (p.vbrEnabled) return SetQualityProfile(p);
    const int64_t bitRate = int64_t(p.bitrate);
    if (bitRate < 24000 || bitRate > 640000) return E_INVALIDARG;
    auto encoder = std::unique_ptr<WmaStandardEncoder>(new (std::nothrow) WmaStandardEncoder);
    if (!encoder) return E_OUTOFMEMORY;
    if (!encoder->Open(bitRate)) return E_FAIL;
    encoder_ = std::move(encoder);
    lossless_ = false;
    return S_OK;
}

// A quality-based profile: our own encoder, with the profile's superframe
// size and codec data.
HRESULT WmWriter::SetQualityProfile(const AudioProfile& p) {
    if (p.blockAlign == 0) return E_INVALIDARG;
    auto encoder = standard::QualityEncoder::Create(
        standard::SettingsForQuality(p.vbrQuality, p.blockAlign, p.codecData));
    if (!encoder) return E_INVALIDARG;
    encoder_ = std::move(encoder);
    lossless_ = false;
    vbrQuality_ = p.vbrQuality;
    return S_OK;
}

// The lossless encoder writes one stream layout: its packet size and codec
// data must be the profile's.
HRESULT WmWriter::SetLosslessProfile(const AudioProfile& p) {
    const auto& codecData = WmaLosslessEncoder::kCodecData;
    if (p.blockAlign != lossless::Packetiser::kPacketBytes ||
        !std::equal(p.codecData.begin(), p.codecData.end(), codecData.begin(), codecData.end()))
        return E_NOTIMPL;
    auto encoder = std::unique_ptr<WmaLosslessEncoder>(new (std::nothrow) WmaLosslessEncoder);
    if (!encoder) return E_OUTOFMEMORY;
    encoder_ = std::move(encoder);
    lossless_ = true;
    return S_OK;
}

AsfStreamFormat WmWriter::StreamFormat() const {
    AsfStreamFormat format;
    format.formatTag = lossless_ ? WAVE_FORMAT_WMAUDIO_LOSSLESS : WAVE_FORMAT_WMAUDIO2;
    format.channels = 2;
    format.samplesPerSec = 44100;
    format.avgBytesPerSec = encoder_->AvgBytesPerSec();
    format.blockAlign = encoder_->BlockAlign();
    format.bitsPerSample = 16;
    const auto codecData = encoder_->CodecData();
    format.codecData.assign(codecData.begin(), codecData.end());
    if (lossless_) {
        format.codecName = u"Windows Media Audio 9 Lossless";
        format.codecDescription = u"VBR Quality 100, 44 kHz, 2 channel 16 bit 1-pass VBR";
        // At worst every frame is raw PCM with a few bits of framing.
        const uint64_t packet = AsfMuxer::SingleObjectPacketSize(format.blockAlign);
        format.maxBitrate = static_cast<uint32_t>(uint64_t{44100} * 32 * packet / format.blockAlign * 1001 / 1000);
    } else if (vbrQuality_) {
        format.codecName = u"Windows Media Audio Standard";
        format.codecDescription = Ascii16("VBR Quality " + std::to_string(*vbrQuality_) +
                                          ", 44 kHz, stereo 1-pass VBR");
        // At most a superframe for every frame.
        format.maxBitrate = static_cast<uint32_t>(uint64_t{format.blockAlign} * 8 * 44100 / 2048);
    } else {
        format.codecName = u"Windows Media Audio Standard";
        const uint32_t kbps = (format.avgBytesPerSec * 8 + 500) / 1000;
        format.codecDescription = Ascii16(std::to_string(kbps) + " kbps, 44 kHz, stereo CBR");
        format.maxBitrate = format.avgBytesPerSec * 8;
    }
    return format;
}

HRESULT WmWriter::SetOutputFilename(LPCWSTR fileName) {
    if (state_ != State::Configuring) return E_UNEXPECTED;
    if (!fileName) return E_POINTER;
    const auto length = BoundedLength(fileName, kMaxPathUnits);
    if (!length || *length == 0) return E_INVALIDARG;
    auto path = Utf16ToFileName(std::u16string_view(fileName, *length));
    if (!path) return E_INVALIDARG;
    path_ = std::move(*path);
    return S_OK;
}

HRESULT WmWriter::SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                               WORD length) {
    if (state_ != State::Configuring) return E_UNEXPECTED;
    if (streamNumber != 0) return E_INVALIDARG;  // only file-level attributes
    if (!name || (!value && length > 0)) return E_POINTER;
    try {
        return SetAsfAttribute(metadata_, name, type, value, length);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WmWriter::AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                               const BYTE* value, DWORD length) {
    if (state_ != State::Configuring) return E_UNEXPECTED;
    if (streamNumber != 0 || language != 0) return E_INVALIDARG;
    if (!name || (!value && length > 0)) return E_POINTER;
    if (index) *index = 0;
    try {
        return SetAsfAttribute(metadata_, name, type, value, length, /*replace=*/false);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT SetAsfAttribute(AsfMetadata& metadata_, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length,
                        bool replace) {
    // Only byte arrays may be longer than the extended content description holds.
    if (type != WMT_TYPE_BINARY && length > 0xFFFF) return E_INVALIDARG;
    const auto shortLength = static_cast<WORD>(length);
    const auto nameLength = BoundedLength(name, kMaxNameUnits);
    if (!nameLength || *nameLength == 0) return E_INVALIDARG;
    const std::u16string key(name, *nameLength);

    std::u16string* contentText = ContentField(metadata_, key);
    if (contentText != nullptr && type != WMT_TYPE_STRING)
        return E_INVALIDARG;  // content description texts are strings
    AsfAttribute attribute;
    attribute.name = key;
    switch (type) {
        case WMT_TYPE_STRING: {
            std::u16string text;
            if (!StringValue(value, shortLength, text)) return E_INVALIDARG;
            if (contentText != nullptr) {
                *contentText = std::move(text);
                return S_OK;
            }
            attribute.type = AsfValueType::String;
            attribute.value = StringBytes(text);
            break;
        }
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
        case WMT_TYPE_QWORD:
        case WMT_TYPE_WORD:
            if (!NumberValue(type, value, shortLength, attribute)) return E_INVALIDARG;
            break;
        case WMT_TYPE_BINARY:
            // The metadata library's 32-bit length, less its record's own bytes.
            if (length > 0x7FFFFFFF) return E_INVALIDARG;
            attribute.type = AsfValueType::Bytes;
            attribute.value.assign(value, value + length);
            break;
        default: return E_INVALIDARG;
    }
    return KeepExtended(metadata_.extended, std::move(attribute), replace);
}

HRESULT WmWriter::BeginWriting() {
    if (state_ != State::Configuring || !encoder_ || path_.empty()) return E_UNEXPECTED;
    try {
        // A quality-based stream says so as Windows Media files do.
        if (vbrQuality_ && SetAsfAttribute(metadata_, u"IsVBR", WMT_TYPE_BOOL, kTrue, sizeof kTrue) != S_OK)
            return E_OUTOFMEMORY;
        AsfStreamFormat format = StreamFormat();
        const uint32_t packetSize = lossless_ ? AsfMuxer::SingleObjectPacketSize(format.blockAlign)
                                              : AsfMuxer::kPacketSize;
        auto muxer = std::make_unique<AsfMuxer>(std::move(format), metadata_, packetSize);
        if (!muxer->Open(path_)) return E_WRITE_FAULT;
        muxer_ = std::move(muxer);
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        if (muxer_) muxer_->Abandon();
        muxer_.reset();
        return E_OUTOFMEMORY;
    } catch (const std::bad_alloc&) {
        if (muxer_) muxer_->Abandon();
        muxer_.reset();
        return E_OUTOFMEMORY;
    }
    state_ = State::Writing;
    return S_OK;
}

HRESULT WmWriter::AllocateSample(DWORD size, INSSBuffer** sample) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    // A buffer whose only reference is the pool's is idle and can go out again.
    for (ComPtr<NssBuffer>& buffer : pool_) {
        if (buffer->RefCount() == 1 && buffer->Capacity() >= size) {
            buffer->Reuse(size);
            buffer->AddRef();
            *sample = buffer.Get();
            return S_OK;
        }
    }
    NssBuffer* fresh = NssBuffer::Create(std::max(size, kPooledCapacity));
    if (!fresh) return E_OUTOFMEMORY;
    fresh->Reuse(size);
    if (pool_.size() < kPoolLimit && size <= kPooledCapacity) {
        try {
            pool_.push_back(ComPtr<NssBuffer>::Attach(fresh));
            fresh->AddRef();
        } catch (const std::bad_alloc&) {}
    }
    *sample = fresh;
    return S_OK;
}

HRESULT WmWriter::WriteSample(DWORD inputNumber, QWORD, DWORD, INSSBuffer* sample) {
    if (state_ != State::Writing) return E_UNEXPECTED;
    if (!sample) return E_POINTER;
    if (inputNumber != 0) return E_INVALIDARG;
    if (const HRESULT failure = failure_.load(std::memory_order_acquire); FAILED(failure)) {
        errno = failureErrno_.load(std::memory_order_relaxed);
        return failure;
    }
    sample->AddRef();
    {
        std::unique_lock lock(mutex_);
        // The encoding thread always takes samples off, so this wait ends.
        changed_.wait(lock, [this] { return count_ < kQueueDepth; });
        queue_[(head_ + count_) % kQueueDepth] = sample;
        ++count_;
    }
    changed_.notify_all();
    return S_OK;
}

void WmWriter::Run() {
    for (;;) {
        INSSBuffer* sample = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return count_ > 0 || endQueued_; });
            if (count_ == 0) return;
            sample = queue_[head_];
            head_ = (head_ + 1) % kQueueDepth;
            --count_;
        }
        changed_.notify_all();
        if (SUCCEEDED(failure_.load(std::memory_order_relaxed))) {
            BYTE* data = nullptr;
            DWORD length = 0;
            HRESULT hr = sample->GetBufferAndLength(&data, &length);
            if (SUCCEEDED(hr) && !encoder_->Encode({data, length}, *muxer_)) {
                failureErrno_.store(muxer_->WriteError(), std::memory_order_relaxed);
                hr = muxer_->WriteError() != 0 ? E_WRITE_FAULT : E_FAIL;
            }
            if (FAILED(hr)) failure_.store(hr, std::memory_order_release);
        }
        sample->Release();
    }
}

HRESULT WmWriter::EndWriting() {
    if (state_ != State::Writing) return E_UNEXPECTED;
    {
        std::lock_guard lock(mutex_);
        endQueued_ = true;
    }
    changed_.notify_all();
    worker_.join();
    state_ = State::Ended;

    HRESULT hr = failure_.load(std::memory_order_acquire);
    if (SUCCEEDED(hr) && !encoder_->Finish(*muxer_)) hr = E_FAIL;
    // Even after a failure the file is finished with what was written.
    if (!muxer_->Finish(encoder_->DeliveredSamples()) && SUCCEEDED(hr)) hr = E_WRITE_FAULT;
    if (FAILED(hr) && muxer_->WriteError() != 0) errno = muxer_->WriteError();
    muxer_.reset();
    encoder_.reset();
    return hr;
}

}  // namespace wmsdk

HRESULT WMCreateWriter(IUnknown* certificate, IWMWriter** writer) {
    if (!writer) return E_POINTER;
    *writer = nullptr;
    if (certificate) return E_INVALIDARG;
    *writer = new (std::nothrow) wmsdk::WmWriter;
    return *writer ? S_OK : E_OUTOFMEMORY;
}
