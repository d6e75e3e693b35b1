// What the writer needs of an audio encoder, and where the encoder sends its
// output: one ASF media object at a time, with the times the file records.
#ifndef CADRIX_WMSDK_STREAM_ENCODER_H
#define CADRIX_WMSDK_STREAM_ENCODER_H

#include <cstdint>
#include <span>

namespace wmsdk {

// Times of one media object, in samples on the encoder's time line.
struct MediaObjectTiming {
    uint64_t presentationSample = 0;  // stamped on the object's payloads
    uint64_t endSample = 0;           // where the object's audio ends (packet durations)
    bool seekPoint = true;            // decoding can start with this object
    uint64_t seekSample = 0;          // first sample a decoder starting here gives out
    uint64_t completeSamples = 0;     // samples a decoder gives out through this object
};

// Receives each encoded media object in file order.
class EncodedFrameSink {
public:
    virtual bool AddFrame(std::span<const uint8_t> object, const MediaObjectTiming& timing) = 0;
    // After a refused object: replaces the last object that was accepted with
    // one of the same size that ends the stream there, giving out
    // `completeSamples` in all. False when that is not possible.
    virtual bool ReplaceLastObject(std::span<const uint8_t> object, uint64_t completeSamples) = 0;

protected:
    ~EncodedFrameSink() = default;
};

class StreamEncoder {
public:
    virtual ~StreamEncoder() = default;

    // Size of every media object (the stream's nBlockAlign), the stated byte
    // rate and the codec's private data for the stream's format record.
    virtual uint16_t BlockAlign() const = 0;
    virtual uint32_t AvgBytesPerSec() const = 0;
    virtual std::span<const uint8_t> CodecData() const = 0;

    // Takes interleaved little-endian 16-bit stereo bytes of any length (a
    // partial sample frame is kept for the next call).
    virtual bool Encode(std::span<const uint8_t> pcm, EncodedFrameSink& sink) = 0;
    // Encodes what is left so that a decoder gives out every delivered sample.
    virtual bool Finish(EncodedFrameSink& sink) = 0;
    // Sample frames delivered so far.
    virtual uint64_t DeliveredSamples() const = 0;
};

}  // namespace wmsdk

#endif
