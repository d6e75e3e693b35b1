#include "ogg_test_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

DecodedOgg DecodeOgg(const std::string& path) {
    DecodedOgg d;
    auto file = std::make_unique<OggVorbis_File>();
    if (ov_fopen(path.c_str(), file.get()) != 0) return d;
    std::unique_ptr<OggVorbis_File, int (*)(OggVorbis_File*)> owner(file.release(), [](OggVorbis_File* f) {
        const int r = ov_clear(f);
        delete f;
        return r;
    });
    OggVorbis_File* vf = owner.get();
    const vorbis_info* info = ov_info(vf, -1);
    if (ov_streams(vf) != 1 || info == nullptr || info->channels != 2 || info->rate != 44100) return d;
    d.pcmTotal = ov_pcm_total(vf, -1);
    if (const vorbis_comment* vc = ov_comment(vf, -1)) {
        for (int i = 0; i < vc->comments; ++i) {
            const std::string entry(vc->user_comments[i], static_cast<size_t>(vc->comment_lengths[i]));
            const size_t eq = entry.find('=');
            std::string name = entry.substr(0, eq);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
            d.comments.emplace(name, eq == std::string::npos ? "" : entry.substr(eq + 1));
        }
    }
    for (;;) {
        float** channels = nullptr;
        int section = 0;
        const long n = ov_read_float(vf, &channels, 4096, &section);
        if (n == 0) break;
        if (n < 0) return d;
        d.left.insert(d.left.end(), channels[0], channels[0] + n);
        d.right.insert(d.right.end(), channels[1], channels[1] + n);
    }
    d.ok = true;
    return d;
}

double SnrDb(const std::vector<uint8_t>& pcm, const DecodedOgg& decoded, size_t first, size_t frames) {
    double signal = 0, noise = 0;
    for (size_t i = first; i < first + frames && i < decoded.left.size() && i * 4 + 3 < pcm.size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            const auto s = static_cast<int16_t>(pcm[i * 4 + c * 2] | (pcm[i * 4 + c * 2 + 1] << 8));
            const double x = s / 32768.0;
            const double y = c == 0 ? decoded.left[i] : decoded.right[i];
            signal += x * x;
            noise += (x - y) * (x - y);
        }
    }
    return 10 * std::log10(signal / std::max(noise, 1e-20));
}
