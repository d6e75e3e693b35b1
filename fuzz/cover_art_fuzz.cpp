// Whatever the bytes: an index gives a web address or nothing, and an image
// is taken only as a JPEG or PNG with dimensions, its bytes unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "names/cover_art.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string url = cadrix::FrontImageUrl(bytes);
    if (!url.empty() && !url.starts_with("http://") && !url.starts_with("https://")) std::abort();
    if (const auto image = cadrix::InspectImage(bytes)) {
        if (image->bytes != bytes || image->width <= 0 || image->height <= 0) std::abort();
        if (image->mime != "image/jpeg" && image->mime != "image/png") std::abort();
    }
    return 0;
}
