#include "flac_session.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cd_geometry.h"
#include "flac_audio_signature.h"
#include "flac_output_file.h"
#include "flac_retag.h"
#include "vorbis_track_tags.h"

namespace {

constexpr uint32_t kChannels = 2;
constexpr uint32_t kBitsPerSample = 16;
constexpr uint32_t kSampleRate = 44100;
constexpr size_t kBytesPerFrame = 4;
constexpr int32_t kHighestLevel = 8;
// Samples converted for the encoder at a time: one read of 27 CD frames.
constexpr size_t kChunkFrames = 27 * cadrix::cd::kSamplesPerFrame;

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* encoder) const noexcept { FLAC__stream_encoder_delete(encoder); }
};
struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata* block) const noexcept { FLAC__metadata_object_delete(block); }
};
using MetadataBlock = std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter>;

// The track's tags as a VORBIS_COMMENT block; null when out of memory.
MetadataBlock CommentBlock(const OutputTrackInfo* info, const OutputTrackExtras& extras) {
    MetadataBlock block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    if (!block) return nullptr;
    for (const VorbisTag& tag : VorbisTrackTags(info, extras)) {
        std::string entry = std::string(tag.name) + "=" + tag.value;
        const FLAC__StreamMetadata_VorbisComment_Entry comment{static_cast<FLAC__uint32>(entry.size()),
                                                               reinterpret_cast<FLAC__byte*>(entry.data())};
        if (!FLAC__metadata_object_vorbiscomment_append_comment(block.get(), comment, /*copy=*/true)) return nullptr;
    }
    return block;
}

// The front cover as a PICTURE block; null when there is none or out of memory.
MetadataBlock PictureBlock(const OutputTrackExtras& extras) {
    if (extras.picture == nullptr || extras.pictureBytes == 0 || extras.pictureMime == nullptr) return nullptr;
    MetadataBlock block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE));
    if (!block) return nullptr;
    std::string mime = extras.pictureMime;
    FLAC__byte noDescription[] = "";
    FLAC__StreamMetadata_Picture& picture = block->data.picture;
    picture.type = FLAC__STREAM_METADATA_PICTURE_TYPE_FRONT_COVER;
    picture.width = static_cast<FLAC__uint32>(std::max(extras.pictureWidth, 0));
    picture.height = static_cast<FLAC__uint32>(std::max(extras.pictureHeight, 0));
    picture.depth = 24;
    if (!FLAC__metadata_object_picture_set_mime_type(block.get(), mime.data(), /*copy=*/true) ||
        !FLAC__metadata_object_picture_set_description(block.get(), noDescription, /*copy=*/true) ||
        !FLAC__metadata_object_picture_set_data(block.get(), const_cast<FLAC__byte*>(extras.picture),
                                                extras.pictureBytes, /*copy=*/true)) {
        return nullptr;
    }
    return block;
}

}  // namespace

uint32_t FlacCompressionLevel(int32_t qualityCode) {
    return static_cast<uint32_t>(std::clamp(qualityCode, 0, kHighestLevel));
}

// Members are destroyed bottom-up: the encoder before the metadata blocks it
// points at, the file last.
struct FlacSession::Encoder {
    FlacOutputFile file;
    MetadataBlock comments;
    MetadataBlock picture;
    MetadataBlock padding;
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> flac;
    uint32_t blockSize = 0;
    std::vector<FLAC__int32> samples = std::vector<FLAC__int32>(kChunkFrames * kChannels);
    std::optional<std::array<uint8_t, 16>> signature;  // the encoder's, once it finished cleanly
    bool failed = false;                               // a write failed; later blocks are refused

    // Everything but the file: format, level and header blocks.
    bool Configure(uint32_t level, const OutputTrackInfo* info, const OutputTrackExtras& extras) {
        flac.reset(FLAC__stream_encoder_new());
        comments = CommentBlock(info, extras);
        padding.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!flac || !comments || !padding) return false;
        // The file writer turns this block into the seek table and the padding.
        padding->length = FlacOutputFile::kHeaderPadding;
        picture = PictureBlock(extras);
        std::vector<FLAC__StreamMetadata*> blocks{comments.get()};
        if (picture) blocks.push_back(picture.get());
        blocks.push_back(padding.get());
        FLAC__StreamEncoder* encoder = flac.get();
        return FLAC__stream_encoder_set_channels(encoder, kChannels) &&
               FLAC__stream_encoder_set_bits_per_sample(encoder, kBitsPerSample) &&
               FLAC__stream_encoder_set_sample_rate(encoder, kSampleRate) &&
               FLAC__stream_encoder_set_compression_level(encoder, level) &&
               FLAC__stream_encoder_set_metadata(encoder, blocks.data(), static_cast<uint32_t>(blocks.size()));
    }

    // No seek callback: the file writer, not the encoder, fills in the header.
    FLAC__StreamEncoderInitStatus Start() {
        return FLAC__stream_encoder_init_stream(flac.get(), &Written, nullptr, nullptr, &Finished, this);
    }

    static FLAC__StreamEncoderWriteStatus Written(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t samples, uint32_t, void* self) noexcept {
        return static_cast<Encoder*>(self)->file.Append({buffer, bytes}, samples)
                   ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                   : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    // Called once at the end of a stream every frame of which was written.
    static void Finished(const FLAC__StreamEncoder*, const FLAC__StreamMetadata* info, void* self) noexcept {
        auto& signature = static_cast<Encoder*>(self)->signature.emplace();
        std::copy(std::begin(info->data.stream_info.md5sum), std::end(info->data.stream_info.md5sum),
                  signature.begin());
    }
};

FlacSession::FlacSession() = default;
FlacSession::~FlacSession() { CloseOutput(); }

int32_t FlacSession::OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) {
    if (encoder) CloseOutput();  // the host never does this; finish the previous file rather than lose it
    ClearError();
    if (baseName == nullptr || *baseName == '\0') return Fail("no output file name");

    auto next = std::make_unique<Encoder>();
    if (!next->Configure(FlacCompressionLevel(qualityCode), info, Extras())) {
        return Fail("the FLAC encoder could not be set up");
    }
    const std::string path = std::string(baseName) + ".flac";
    if (!next->file.Create(path)) return Fail("cannot create '" + path + "': " + std::strerror(errno));
    const FLAC__StreamEncoderInitStatus status = next->Start();
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        const int error = next->file.Error();
        next->file.Discard();
        return Fail(error != 0 ? "cannot write '" + path + "': " + std::strerror(error)
                               : std::string("the FLAC encoder could not start: ") +
                                     FLAC__StreamEncoderInitStatusString[status]);
    }
    next->blockSize = FLAC__stream_encoder_get_blocksize(next->flac.get());
    encoder = std::move(next);
    path_ = path;
    return 1;
}

int32_t FlacSession::FailedWrite() {
    encoder->failed = true;
    if (encoder->file.Failed()) return Fail("cannot write '" + path_ + "': " + std::strerror(encoder->file.Error()));
    return Fail(std::string("the FLAC encoder failed: ") +
                FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder->flac.get())]);
}

int32_t FlacSession::WriteOutput(const uint8_t* pcm, uint32_t byteCount) {
    if (!encoder) return Fail("no output is open");
    if (encoder->failed) return 0;  // the reason of the first failure stays
    if (byteCount == 0) return 1;
    // Only whole stereo frames of 16-bit samples are audio.
    if (pcm == nullptr || byteCount % kBytesPerFrame != 0) return Fail("a block of partial sample frames");
    std::span<const uint8_t> rest(pcm, byteCount);
    while (!rest.empty()) {
        const size_t frames = std::min(rest.size() / kBytesPerFrame, kChunkFrames);
        for (size_t i = 0; i < frames * kChannels; ++i) {
            encoder->samples[i] = static_cast<int16_t>(rest[2 * i] | (rest[2 * i + 1] << 8));
        }
        if (!FLAC__stream_encoder_process_interleaved(encoder->flac.get(), encoder->samples.data(),
                                                      static_cast<uint32_t>(frames))) {
            return FailedWrite();
        }
        rest = rest.subspan(frames * kBytesPerFrame);
    }
    return 1;
}

void FlacSession::CloseOutput() {
    if (!encoder) return;
    // Encodes the last, shorter frame; after a failure it only releases.
    FLAC__stream_encoder_finish(encoder->flac.get());
    std::optional<std::array<uint8_t, 16>> signature = encoder->signature;
    if (!signature && encoder->file.CutAfterLastFrame()) signature = DecodedAudioSignature(path_);
    encoder->file.Finish({encoder->blockSize, signature});
    encoder.reset();
}

int32_t FlacSession::RetagOutput(const std::string& fileName, const std::vector<cadrix::plugin::Tag>& tags) {
    ClearError();
    std::string error;
    return RetagFlacFile(fileName, tags, error) ? 1 : Fail(error);
}
