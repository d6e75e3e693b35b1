#include "picture_block.h"

#include <cstring>

namespace {

constexpr uint32_t kFrontCover = 3;
constexpr uint32_t kDepth = 24;

void Be32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

std::vector<uint8_t> FlacPictureBody(const OutputTrackExtras& extras) {
    std::vector<uint8_t> body;
    if (extras.picture == nullptr || extras.pictureBytes == 0 || extras.pictureMime == nullptr ||
        *extras.pictureMime == '\0') {
        return body;
    }
    const size_t mime = std::strlen(extras.pictureMime);
    body.reserve(32 + mime + extras.pictureBytes);
    Be32(body, kFrontCover);
    Be32(body, static_cast<uint32_t>(mime));
    body.insert(body.end(), extras.pictureMime, extras.pictureMime + mime);
    Be32(body, 0);  // description
    Be32(body, static_cast<uint32_t>(extras.pictureWidth > 0 ? extras.pictureWidth : 0));
    Be32(body, static_cast<uint32_t>(extras.pictureHeight > 0 ? extras.pictureHeight : 0));
    Be32(body, kDepth);
    Be32(body, 0);  // colours of a palette
    Be32(body, extras.pictureBytes);
    body.insert(body.end(), extras.picture, extras.picture + extras.pictureBytes);
    return body;
}

std::string Base64(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (n > 1) group |= uint32_t{bytes[i + 1]} << 8;
        if (n > 2) group |= bytes[i + 2];
        for (size_t k = 0; k < 4; ++k) text.push_back(k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=');
    }
    return text;
}
