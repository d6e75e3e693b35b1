#include "cd_text.h"

#include "text_codec.h"

namespace akrip {
namespace {

void AddLines(std::string& out, size_t track, const CdTextEntry& entry) {
    const std::pair<const char*, const std::string*> fields[] = {{"TITLE", &entry.title},
                                                                 {"PERFORMER", &entry.performer},
                                                                 {"SONGWRITER", &entry.songwriter}};
    for (const auto& [name, text] : fields) {
        if (text->empty()) continue;
        std::string value = *text;
        for (char& c : value) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        out += std::string(name) + " " + std::to_string(track) + "=" + value + "\n";
    }
}

}  // namespace

std::string TextToUtf8(std::string_view text) {
    return cadrix::text::IsValidUtf8(text) ? std::string(text) : cadrix::text::Latin1ToUtf8(text);
}

std::string CdTextLines(const DiscToc& toc) {
    std::string out;
    AddLines(out, 0, toc.discText);
    for (size_t k = 0; k < toc.trackTexts.size() && k < toc.tracks.size(); ++k) AddLines(out, k + 1, toc.trackTexts[k]);
    return out;
}

}  // namespace akrip
