#include "flac_audio_signature.h"

#include <FLAC/stream_decoder.h>
#include <nettle/md5.h>

#include <memory>
#include <vector>

namespace {

// The largest block a FLAC frame can hold, in samples.
constexpr size_t kMaxBlockSize = 65535;

struct Decoding {
    md5_ctx md5{};
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kMaxBlockSize * 4);
    bool ok = true;
};

FLAC__StreamDecoderWriteStatus OnFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const channels[], void* data) noexcept {
    auto& decoding = *static_cast<Decoding*>(data);
    if (frame->header.channels != 2 || frame->header.bits_per_sample != 16) {
        decoding.ok = false;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    uint8_t* out = decoding.bytes.data();
    for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
        for (const FLAC__int32* channel : {channels[0], channels[1]}) {
            const auto sample = static_cast<uint16_t>(channel[i]);
            *out++ = static_cast<uint8_t>(sample);
            *out++ = static_cast<uint8_t>(sample >> 8);
        }
    }
    md5_update(&decoding.md5, static_cast<size_t>(out - decoding.bytes.data()), decoding.bytes.data());
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) noexcept {
    static_cast<Decoding*>(data)->ok = false;
}

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const noexcept { FLAC__stream_decoder_delete(decoder); }
};

}  // namespace

std::optional<std::array<uint8_t, 16>> DecodedAudioSignature(const std::string& path) {
    Decoding decoding;
    md5_init(&decoding.md5);
    const std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!decoder || FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), OnFrame, nullptr, OnError, &decoding) !=
                        FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return std::nullopt;
    }
    const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder.get()) &&
                         FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM;
    FLAC__stream_decoder_finish(decoder.get());
    if (!decoded || !decoding.ok) return std::nullopt;
    std::array<uint8_t, 16> signature{};
    md5_digest(&decoding.md5, signature.size(), signature.data());
    return signature;
}
