#include "flac_test_decoder.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <memory>

namespace {

FLAC__StreamDecoderWriteStatus OnFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const channels[], void* data) {
    auto& d = *static_cast<DecodedFlac*>(data);
    if (frame->header.channels != 2 || frame->header.bits_per_sample != 16) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
        for (int c = 0; c < 2; ++c) {
            d.pcm.push_back(static_cast<uint8_t>(channels[c][i]));
            d.pcm.push_back(static_cast<uint8_t>(channels[c][i] >> 8));
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data) {
    auto& d = *static_cast<DecodedFlac*>(data);
    if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
        const auto& info = block->data.stream_info;
        d.totalSamples = info.total_samples;
        d.md5Set = std::any_of(std::begin(info.md5sum), std::end(info.md5sum), [](auto b) { return b != 0; });
        d.ok = info.sample_rate == 44100 && info.channels == 2 && info.bits_per_sample == 16;
    } else if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
        for (uint32_t i = 0; i < block->data.vorbis_comment.num_comments; ++i) {
            const auto& e = block->data.vorbis_comment.comments[i];
            const std::string entry(reinterpret_cast<const char*>(e.entry), e.length);
            const size_t eq = entry.find('=');
            d.comments.emplace(entry.substr(0, eq), eq == std::string::npos ? "" : entry.substr(eq + 1));
        }
    } else if (block->type == FLAC__METADATA_TYPE_SEEKTABLE) {
        for (uint32_t i = 0; i < block->data.seek_table.num_points; ++i) {
            d.seekSamples.push_back(block->data.seek_table.points[i].sample_number);
        }
    } else if (block->type == FLAC__METADATA_TYPE_PADDING) {
        d.paddingBytes += block->length;
    }
}

void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
    static_cast<DecodedFlac*>(data)->ok = false;
}

}  // namespace

DecodedFlac DecodeFlac(const std::string& path) {
    DecodedFlac d;
    std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(FLAC__stream_decoder_new(),
                                                                                 FLAC__stream_decoder_delete);
    FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
    FLAC__stream_decoder_set_metadata_respond_all(decoder.get());
    if (FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), OnFrame, OnMetadata, OnError, &d) !=
        FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return DecodedFlac{};
    }
    const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder.get()) &&
                         FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM;
    // finish() is false when the signature does not match the samples.
    d.ok = FLAC__stream_decoder_finish(decoder.get()) && decoded && d.ok;
    return d;
}
