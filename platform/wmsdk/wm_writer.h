// The writer: takes PCM samples, encodes them on a thread of its own and
// writes the ASF file.
#ifndef CADRIX_WMSDK_WM_WRITER_H
#define CADRIX_WMSDK_WM_WRITER_H

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "asf_muxer.h"
#include "audio_profile.h"
#include "cd_geometry.h"
#include "com_ptr.h"
#include "nss_buffer.h"
#include "stream_encoder.h"
#include "wmsdk.h"

namespace wmsdk {

// Sets attribute `name` of `metadata`: the content description's five texts,
// or an extended attribute, which replaces those of the same name or, with
// `replace` false, is added after them (a name with several values).
HRESULT SetAsfAttribute(AsfMetadata& metadata, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length,
                        bool replace = true);

class WmWriter final : public IWMWriter, public IWMHeaderInfo3 {
public:
    WmWriter() = default;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT SetProfile(IWMProfile* profile) override;
    HRESULT SetOutputFilename(LPCWSTR fileName) override;
    HRESULT BeginWriting() override;
    HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override;
    HRESULT WriteSample(DWORD inputNumber, QWORD time, DWORD flags, INSSBuffer* sample) override;
    HRESULT EndWriting() override;

    HRESULT SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                         WORD length) override;
    HRESULT AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                         const BYTE* value, DWORD length) override;

private:
    ~WmWriter();
    void Run();
    HRESULT SetLosslessProfile(const AudioProfile& profile);
    HRESULT SetQualityProfile(const AudioProfile& profile);
    AsfStreamFormat StreamFormat() const;

    enum class State { Configuring, Writing, Ended };
    static constexpr size_t kQueueDepth = 8;
    static constexpr size_t kPoolLimit = kQueueDepth + 2;
    static constexpr DWORD kPooledCapacity = 27 * cadrix::cd::kFrameBytes;

    std::atomic<ULONG> refs_{1};
    State state_ = State::Configuring;
    std::unique_ptr<StreamEncoder> encoder_;
    bool lossless_ = false;
    std::optional<uint32_t> vbrQuality_;  // of a quality-based profile
    std::string path_;
    AsfMetadata metadata_;
    std::unique_ptr<AsfMuxer> muxer_;
    std::vector<ComPtr<NssBuffer>> pool_;

    // Samples on their way to the encoding thread; each entry holds a reference.
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<INSSBuffer*, kQueueDepth> queue_{};
    size_t head_ = 0;
    size_t count_ = 0;
    bool endQueued_ = false;
    std::atomic<HRESULT> failure_{S_OK};
    std::atomic<int> failureErrno_{0};  // why the file could not be written
};

}  // namespace wmsdk

#endif
