// The inside of an encoder plug-in module: one session object carries the
// module's single output from OpenOutput to CloseOutput. plugin_exports.cpp
// turns it into the C entry points of cadrix_plugin.h; each plug-in defines
// ModuleSession() and links that file in.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cadrix_plugin.h"

namespace cadrix::plugin {

// A tag for RetagOutput, copied from the host's record.
struct Tag {
    std::string name;
    std::string value;  // UTF-8
};

class Session {
public:
    virtual ~Session() = default;
    virtual int32_t OpenOutput(const char* baseName, int32_t qualityCode, const OutputTrackInfo* info) = 0;
    virtual int32_t WriteOutput(const uint8_t* pcm, uint32_t byteCount) = 0;
    virtual void CloseOutput() = 0;
    // Sets `tags` in the finished file `fileName`, replacing it atomically;
    // 1 when done. A plug-in without tags of its own keeps this refusal.
    virtual int32_t RetagOutput(const std::string& fileName, const std::vector<Tag>& tags) {
        (void)fileName;
        (void)tags;
        return Fail("this plug-in cannot change the tags of a finished file");
    }

    // The extras given for the next OpenOutput (all zero and empty when the
    // host gave none); the exports clear them after every OpenOutput.
    const OutputTrackExtras& Extras() const { return extras_; }
    void SetExtras(const OutputTrackExtras* extras) {
        ClearExtras();
        if (extras == nullptr) return;
        // Only the fields that both sides know are read.
        const size_t known = std::min<size_t>(extras->size, sizeof(OutputTrackExtras));
        std::memcpy(&extras_, extras, known);
        extras_.size = sizeof(OutputTrackExtras);
        if (known < offsetof(OutputTrackExtras, albumArtist) + sizeof(const char*)) extras_.albumArtist = nullptr;
        albumArtist_ = extras_.albumArtist != nullptr ? extras_.albumArtist : "";
        extras_.albumArtist = albumArtist_.c_str();
        KeepDiscCodes(known);
    }
    void ClearExtras() {
        extras_ = EmptyExtras();
        albumArtist_.clear();
        KeepDiscCodes(0);
    }

    // Why the last OpenOutput or WriteOutput of this session failed; empty
    // when nothing failed since the last successful OpenOutput.
    const std::string& LastError() const { return lastError_; }

protected:
    // Records a failure; returns 0 so that `return Fail("...");` ends a call.
    int32_t Fail(std::string reason) {
        lastError_ = std::move(reason);
        return 0;
    }
    void ClearError() { lastError_.clear(); }

private:
    // The ISRC and catalog number are kept as copies (empty when the host's
    // record is too short to hold them); pre-emphasis as given.
    void KeepDiscCodes(size_t known) {
        const auto has = [known](size_t offset, size_t size) { return known >= offset + size; };
        isrc_ = has(offsetof(OutputTrackExtras, isrc), sizeof(const char*)) && extras_.isrc ? extras_.isrc : "";
        catalog_ = has(offsetof(OutputTrackExtras, catalog), sizeof(const char*)) && extras_.catalog ? extras_.catalog
                                                                                                     : "";
        if (!has(offsetof(OutputTrackExtras, preEmphasis), sizeof(int32_t))) extras_.preEmphasis = 0;
        extras_.isrc = isrc_.c_str();
        extras_.catalog = catalog_.c_str();
    }

    std::string isrc_;
    std::string catalog_;
    std::string lastError_;
    static OutputTrackExtras EmptyExtras() {
        OutputTrackExtras empty{};
        empty.size = sizeof(OutputTrackExtras);
        empty.albumArtist = "";
        return empty;
    }

    OutputTrackExtras extras_ = EmptyExtras();
    std::string albumArtist_;
};

// The module's one session, defined by each plug-in.
Session& ModuleSession();

}  // namespace cadrix::plugin
