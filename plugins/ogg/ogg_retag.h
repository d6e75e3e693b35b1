// Changing the tags of a finished Ogg Vorbis file: the comment packet is
// rebuilt, the three header packets are paged anew and the audio pages that
// follow are renumbered (their checksums with them); the file is replaced as
// a whole.
#ifndef CADRIX_OGG_RETAG_H
#define CADRIX_OGG_RETAG_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plugin_session.h"

// False, with the reason, when `path` is no single Vorbis stream whose
// headers end a page, or it cannot be replaced; the file then is as it was.
bool RetagOggFile(const std::string& path, const std::vector<cadrix::plugin::Tag>& tags, std::string& error);

// The same over the bytes of a file: the new file is `head` then `rest`.
bool RetagOggBytes(std::span<const uint8_t> file, const std::vector<cadrix::plugin::Tag>& tags,
                   std::vector<uint8_t>& head, std::vector<uint8_t>& rest, std::string& error);

#endif
