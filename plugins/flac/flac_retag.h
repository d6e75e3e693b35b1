// Changing the tags of a finished FLAC file: its VORBIS_COMMENT block is
// rewritten (or added), the padding that follows gives or takes the
// difference where it can, and the file is replaced as a whole.
#ifndef CADRIX_FLAC_RETAG_H
#define CADRIX_FLAC_RETAG_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plugin_session.h"

// False, with the reason, when `path` is no FLAC file whose metadata blocks
// can be read, or it cannot be replaced; the file then is as it was.
bool RetagFlacFile(const std::string& path, const std::vector<cadrix::plugin::Tag>& tags, std::string& error);

// The same over the bytes of a file: `head` gets the new metadata, which the
// bytes from `audioStart` on follow. False, with the reason, when the bytes
// are no FLAC stream whose metadata can be read.
bool RetagFlacBytes(std::span<const uint8_t> file, const std::vector<cadrix::plugin::Tag>& tags,
                    std::vector<uint8_t>& head, size_t& audioStart, std::string& error);

#endif
