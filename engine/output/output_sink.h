// Where the audio of one track goes: a WAVE file Cadrix writes itself, or an
// encoder plug-in. The session chooses the sink once, when a run starts, and
// then opens, writes and closes it for every track without knowing which
// kind it is.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "cadrix_plugin.h"
#include "util/module_loader.h"

namespace cadrix {

class OutputSink {
public:
    virtual ~OutputSink() = default;

    // Opens the output of one track at `baseName` (the path without
    // extension; the folder exists) with the track's tags. False, with a
    // reason, when nothing is open; then no Write or Close follows.
    virtual bool Open(const std::string& baseName, const OutputTrackInfo& tags, const OutputTrackExtras& extras) = 0;
    // Delivers one block of PCM. False, with a reason, when it was refused.
    virtual bool Write(std::span<const uint8_t> pcm) = 0;
    // Finishes the track's output with what was accepted.
    virtual void Close() = 0;
    // True when a refused block counts as delivered all the same (an encoder
    // has seen it); false when only what reached the file counts.
    virtual bool CountsRefusedBlocks() const = 0;
    // Sets `tags` in the finished file `path` (one this sink wrote), replacing
    // the file as a whole. False when the format keeps no tags or the file
    // could not be changed; it is then as it was.
    virtual bool Retag(const std::string& path, std::span<const OutputTag> tags) {
        (void)path;
        (void)tags;
        return false;
    }

    // Why the last Open or Write failed.
    const std::string& LastError() const { return lastError_; }
    // The file the last track's output went to, extension included; known
    // once Close has run.
    const std::string& FilePath() const { return filePath_; }

protected:
    bool Fail(std::string reason) {
        lastError_ = std::move(reason);
        return false;
    }
    void SetFilePath(std::string path) { filePath_ = std::move(path); }

private:
    std::string lastError_;
    std::string filePath_;
};

// A sink writing WAVE files (the path gets ".wav").
std::unique_ptr<OutputSink> MakeWaveSink();

// A sink over a loaded plug-in module (owned by the caller, kept loaded for
// the sink's life) and the quality code passed to every open. Null when the
// module is null or lacks OpenOutput, CloseOutput or WriteOutput.
std::unique_ptr<OutputSink> MakePluginSink(void* module, int32_t qualityCode);

// Loads the plug-in module of `format` by the module search path; empty for
// a format Cadrix writes itself, an unknown format, or a module that is
// missing or does not load.
ModuleHandle LoadPluginModule(int32_t format);

}  // namespace cadrix
