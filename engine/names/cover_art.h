// Front covers: fetched from the Cover Art Archive by MusicBrainz release,
// kept beside Cadrix's own disc file, and recognised (JPEG or PNG, with its
// dimensions) wherever they come from.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cadrix {

// The public archive; CADRIX_COVERART_SERVER replaces it.
constexpr std::string_view COVERART_DEFAULT_SERVER = "https://coverartarchive.org";
// The largest image taken, downloaded or the user's own (FLAC's picture
// block holds at most 16 MiB).
constexpr size_t MAX_COVER_BYTES = size_t{8} << 20;

struct CoverImage {
    std::string bytes;
    std::string mime;  // "image/jpeg" or "image/png"
    int32_t width = 0;
    int32_t height = 0;
    std::string_view Extension() const { return mime == "image/png" ? ".png" : ".jpg"; }
};

// `bytes` as a cover: a JPEG (dimensions from its first frame header) or a
// PNG (from its IHDR) of at most MAX_COVER_BYTES; none for anything else.
std::optional<CoverImage> InspectImage(std::string bytes);

// The address of the front image in an archive index (JSON): of the image
// marked "front" (else the first whose "types" hold "Front"), its 500-pixel
// thumbnail, else "large", else the image itself; only http:// and https://
// addresses. Empty when there is none or the text is no JSON object.
std::string FrontImageUrl(std::string_view json);

struct CoverFetch {
    std::string server;  // base URL; empty fetches nothing
    std::string userAgent;
    std::chrono::milliseconds timeout{8000};  // of the index and the image together
    const std::atomic<bool>* cancel = nullptr;
};

// GETs <server>/release/<releaseId>, then the front image it names. None
// when the release has no front cover, the server fails, time runs out or
// the image is neither JPEG nor PNG or too large.
std::optional<CoverImage> FetchFrontCover(const CoverFetch& fetch, std::string_view releaseId);

// Where Cadrix keeps the cover of disc `discId` in its own folder (which ends
// in '/'): the disc file's name with the image's extension.
std::string OwnCoverPath(std::string_view ownFolder, uint32_t discId, std::string_view extension);

// The cover Cadrix keeps in its own folder for `discId`; none when there is
// none (or no own folder).
std::optional<CoverImage> OwnCover(std::string_view ownFolder, uint32_t discId);

// The cover of a rip's disc folder: the user's own cover.jpg or cover.png
// there first, else the one Cadrix kept in its own folder for `discId`.
// `fromUser` tells which.
std::optional<CoverImage> FindDiscCover(const std::string& discFolder, std::string_view ownFolder, uint32_t discId,
                                        bool& fromUser);

}  // namespace cadrix
