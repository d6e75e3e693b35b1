// The module-wide state of cadrix_flac: one FLAC output at a time, made
// afresh by every OpenOutput and released by CloseOutput.
#ifndef CADRIX_FLAC_SESSION_H
#define CADRIX_FLAC_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cadrix_plugin.h"
#include "plugin_session.h"

// The libFLAC compression level for a quality code: the slider position 0..8
// unchanged; codes outside that range count as the nearest end.
uint32_t FlacCompressionLevel(int32_t qualityCode);

class FlacSession : public cadrix::plugin::Session {
public:
    FlacSession();
    ~FlacSession() override;
    FlacSession(const FlacSession&) = delete;
    FlacSession& operator=(const FlacSession&) = delete;

    // Creates baseName + ".flac" with the stream header and the track's
    // Vorbis comments. 1 when open; 0 leaves nothing behind.
    int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) override;
    // Encodes whole sample frames (4 bytes each) and writes the finished
    // frames. 0 when the block is malformed or cannot be encoded or written;
    // after a failed write every later block is refused.
    int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) override;
    // Encodes what is left, cuts the file after its last complete frame,
    // fills in STREAMINFO and the seek table and closes the file. Does
    // nothing when no output is open.
    void CloseOutput() override;
    // Sets tags in a finished .flac file (flac_retag.h).
    int32_t RetagOutput(const std::string& fileName, const std::vector<cadrix::plugin::Tag>& tags) override;

    struct Encoder;

private:
    int32_t FailedWrite();

    std::unique_ptr<Encoder> encoder;
    std::string path_;  // of the open output
};

#endif
