#include "ogg_session.h"

#include <ogg/ogg.h>
#include <unistd.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cd_geometry.h"
#include "ogg_retag.h"
#include "picture_block.h"
#include "vorbis_track_tags.h"

namespace {

constexpr long kChannels = 2;
constexpr long kSampleRate = 44100;
constexpr size_t kBytesPerFrame = 4;
// The encoder takes at most one disc read (27 CD frames) at a time, so its
// analysis buffer reaches its full size with the first block.
constexpr size_t kMaxFramesPerSubmit = 27 * cadrix::cd::kSamplesPerFrame;

// One libvorbis/libogg state struct held in place; cleared once, and only
// when its init call succeeded.
template <typename T, auto Clear>
class LibState {
public:
    LibState() = default;
    LibState(const LibState&) = delete;
    LibState& operator=(const LibState&) = delete;
    ~LibState() {
        if (live) Clear(&value);
    }
    T* get() { return &value; }
    // Takes the init call's result (0 = success) and reports success.
    bool Started(int result) {
        live = result == 0;
        return live;
    }

private:
    T value{};
    bool live = false;
};

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// A new serial number for every stream, so that files joined into one chain
// stay distinguishable.
int NewSerialNumber() {
    static uint32_t counter = 0;
    const auto now = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    uint64_t x = now ^ (uint64_t{static_cast<uint32_t>(getpid())} << 32) ^ (uint64_t{++counter} * 0x9E3779B97F4A7C15u);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDu;
    x ^= x >> 33;
    return static_cast<int>(static_cast<uint32_t>(x));
}

// The front cover, as a base64 FLAC picture block (what Vorbis players read).
void AddPictureTag(std::vector<VorbisTag>& tags, const OutputTrackExtras& extras) {
    const std::vector<uint8_t> body = FlacPictureBody(extras);
    if (!body.empty()) tags.push_back({"METADATA_BLOCK_PICTURE", Base64(body)});
}

}  // namespace

// Members are destroyed bottom-up: the stream and the encoder states in the
// order libvorbis needs, the file last.
struct OggSession::Encoder {
    std::unique_ptr<std::FILE, FileCloser> file;
    LibState<vorbis_info, &vorbis_info_clear> info;
    LibState<vorbis_comment, &vorbis_comment_clear> comment;
    LibState<vorbis_dsp_state, &vorbis_dsp_clear> dsp;
    LibState<vorbis_block, &vorbis_block_clear> block;
    LibState<ogg_stream_state, &ogg_stream_clear> stream;
    bool failed = false;  // an encode or write failed; later blocks are refused

    bool WritePage(const ogg_page& page) {
        const auto headerBytes = static_cast<size_t>(page.header_len);
        const auto bodyBytes = static_cast<size_t>(page.body_len);
        return std::fwrite(page.header, 1, headerBytes, file.get()) == headerBytes &&
               std::fwrite(page.body, 1, bodyBytes, file.get()) == bodyBytes;
    }

    // Writes every page the stream holds, full or not.
    bool FlushPages() {
        ogg_page page;
        while (ogg_stream_flush(stream.get(), &page) != 0) {
            if (!WritePage(page)) return false;
        }
        return true;
    }

    // Runs every block the encoder has ready through analysis and writes the
    // pages that fill up.
    bool Drain() {
        ogg_packet packet;
        ogg_page page;
        while (vorbis_analysis_blockout(dsp.get(), block.get()) == 1) {
            if (vorbis_analysis(block.get(), nullptr) != 0) return false;
            if (vorbis_bitrate_addblock(block.get()) != 0) return false;
            while (vorbis_bitrate_flushpacket(dsp.get(), &packet) == 1) {
                if (ogg_stream_packetin(stream.get(), &packet) != 0) return false;
                while (ogg_stream_pageout(stream.get(), &page) != 0) {
                    if (!WritePage(page)) return false;
                }
            }
        }
        return true;
    }
};

double VorbisQuality(int32_t qualityCode) { return (std::clamp(qualityCode, 0, 110) - 10) / 100.0; }

OggSession::OggSession() = default;
OggSession::~OggSession() { CloseOutput(); }

int32_t OggSession::OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    if (encoder) CloseOutput();  // the host never does this; finish the previous file rather than lose it
    ClearError();
    if (baseName == nullptr || *baseName == '\0') return Fail("no output file name");
    const OutputTrackInfo track = info ? *info : OutputTrackInfo{};

    // The encoder is set up completely before the file is created, so a
    // failure up to there leaves nothing on disk.
    auto next = std::make_unique<Encoder>();
    vorbis_info_init(next->info.get());
    next->info.Started(0);
    if (vorbis_encode_init_vbr(next->info.get(), kChannels, kSampleRate,
                               static_cast<float>(VorbisQuality(qualityCode))) != 0) {
        return Fail("the Vorbis encoder refused the quality");
    }
    vorbis_comment_init(next->comment.get());
    next->comment.Started(0);
    vorbis_comment* comment = next->comment.get();
    std::vector<VorbisTag> tags = VorbisTrackTags(info, Extras());
    std::string region = VorbisTagText(track.region);
    if (!region.empty()) tags.push_back({"REGION", std::move(region)});
    AddPictureTag(tags, Extras());
    for (const VorbisTag& tag : tags) vorbis_comment_add_tag(comment, tag.name, tag.value.c_str());

    ogg_packet identification, comments, codebooks;
    if (!next->dsp.Started(vorbis_analysis_init(next->dsp.get(), next->info.get())) ||
        !next->block.Started(vorbis_block_init(next->dsp.get(), next->block.get())) ||
        !next->stream.Started(ogg_stream_init(next->stream.get(), NewSerialNumber())) ||
        vorbis_analysis_headerout(next->dsp.get(), comment, &identification, &comments, &codebooks) != 0 ||
        ogg_stream_packetin(next->stream.get(), &identification) != 0 ||
        ogg_stream_packetin(next->stream.get(), &comments) != 0 ||
        ogg_stream_packetin(next->stream.get(), &codebooks) != 0) {
        return Fail("the Vorbis encoder could not start");
    }

    const std::string path = std::string(baseName) + ".ogg";
    next->file.reset(std::fopen(path.c_str(), "wb"));
    if (!next->file) return Fail("cannot create '" + path + "': " + std::strerror(errno));
    // The headers end a page of their own, so the audio starts on a fresh one.
    if (!next->FlushPages() || std::fflush(next->file.get()) != 0) {
        const int error = errno;
        next.reset();
        std::remove(path.c_str());
        return Fail("cannot write '" + path + "': " + std::strerror(error));
    }
    encoder = std::move(next);
    path_ = path;
    return 1;
}

int32_t OggSession::WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    if (!encoder) return Fail("no output is open");
    if (encoder->failed) return 0;  // the reason of the first failure stays
    if (byteCount == 0) return 1;
    // Only whole stereo frames of 16-bit samples are audio.
    if (pcm == nullptr || byteCount % kBytesPerFrame != 0) return Fail("a block of partial sample frames");
    size_t framesLeft = byteCount / kBytesPerFrame;
    while (framesLeft > 0) {
        const size_t frames = std::min(framesLeft, kMaxFramesPerSubmit);
        float** channels = vorbis_analysis_buffer(encoder->dsp.get(), static_cast<int>(frames));
        for (size_t i = 0; i < frames; ++i, pcm += kBytesPerFrame) {
            const auto left = static_cast<int16_t>(pcm[0] | (pcm[1] << 8));
            const auto right = static_cast<int16_t>(pcm[2] | (pcm[3] << 8));
            channels[0][i] = static_cast<float>(left) / 32768.0f;
            channels[1][i] = static_cast<float>(right) / 32768.0f;
        }
        errno = 0;
        if (vorbis_analysis_wrote(encoder->dsp.get(), static_cast<int>(frames)) != 0 || !encoder->Drain()) {
            encoder->failed = true;
            const int error = errno;
            return Fail(error != 0 ? "cannot write '" + path_ + "': " + std::strerror(error)
                                   : std::string("the Vorbis encoder failed"));
        }
        framesLeft -= frames;
    }
    return 1;
}

void OggSession::CloseOutput() {
    if (!encoder) return;
    // The end of input: the encoder marks its last packet as the end of the
    // stream, with the number of samples delivered as its granule position.
    if (vorbis_analysis_wrote(encoder->dsp.get(), 0) == 0 && encoder->Drain()) encoder->FlushPages();
    encoder.reset();
}

int32_t OggSession::RetagOutput(const std::string& fileName, const std::vector<cadrix::plugin::Tag>& tags) {
    ClearError();
    std::string error;
    return RetagOggFile(fileName, tags, error) ? 1 : Fail(error);
}
