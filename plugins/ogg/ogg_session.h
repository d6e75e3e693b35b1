// The module-wide state of cadrix_ogg: one Ogg Vorbis output at a time, made
// afresh by every OpenOutput and released by CloseOutput.
#ifndef CADRIX_OGG_SESSION_H
#define CADRIX_OGG_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "plugin_session.h"

// The libvorbisenc quality for a quality code: the slider position 0..110
// gives (position - 10) / 100, that is -0.1 .. 1.0; positions outside that
// range count as the nearest end.
double VorbisQuality(int32_t qualityCode);

class OggSession : public cadrix::plugin::Session {
public:
    OggSession();
    ~OggSession() override;
    OggSession(const OggSession&) = delete;
    OggSession& operator=(const OggSession&) = delete;

    // Creates baseName + ".ogg" with the Vorbis headers and the track's tags.
    // 1 when open; 0 leaves nothing behind: no file, no encoder.
    int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) override;
    // Encodes whole sample frames (4 bytes each) and writes the finished
    // pages. 0 when the block is malformed or cannot be encoded or written.
    int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) override;
    // Ends the stream after the samples delivered so far (the last page's
    // granule position is their exact count), closes the file and releases
    // the encoder. Does nothing when no output is open.
    void CloseOutput() override;
    // Sets tags in a finished .ogg file (ogg_retag.h).
    int32_t RetagOutput(const std::string& fileName, const std::vector<cadrix::plugin::Tag>& tags) override;

    bool IsOpen() const { return encoder != nullptr; }

    struct Encoder;

private:
    std::unique_ptr<Encoder> encoder;
    std::string path_;  // of the open output
};

#endif
