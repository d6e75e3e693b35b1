// Feeds arbitrary bytes to the settings file's reader, then rewrites Cadrix's
// values into them: the other lines survive and the values read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cadrix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StoredValues values = ParseSettingsText(text);
    if (values.dir && values.dir->size() > MAX_STORED_DIR_BYTES) std::abort();

    CadrixSettings settings;
    if (values.formatWord) UnpackFormatWord(*values.formatWord, settings);
    ApplySettingsBounds(settings);
    settings.outputDir = std::string(text.substr(0, 300));
    const std::string rewritten = UpdateSettingsText(text, settings);
    const StoredValues back = ParseSettingsText(rewritten);
    if (!back.dir || !back.formatWord || !back.flacLevel) std::abort();
    const std::string_view kept = CutUtf8(settings.outputDir, MAX_STORED_DIR_BYTES);
    // A NUL ends the stored folder; everything before it comes back.
    if (*back.dir != kept.substr(0, kept.find('\0'))) std::abort();
    if (*back.formatWord != PackFormatWord(settings)) std::abort();
    return 0;
}
