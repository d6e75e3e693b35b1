// Line and word splitting shared by the cue sheet and cdrdao TOC parsers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image_plan.h"

namespace akrip {

// A track mode keyword of a sheet: audio or data, the bytes a sector of it
// takes in the data file, which part of the sector that is, and the disc
// type a disc with such a track has.
struct SheetTrackMode {
    std::string_view name;
    bool audio;
    uint32_t sectorBytes;
    SectorFormat format;
    uint8_t discType;
};

struct SheetToken {
    std::string text;
    bool quoted = false;
};

// Splits `text` into lines (LF, CRLF or CR), dropping a leading UTF-8 BOM.
std::vector<std::string_view> SplitSheetLines(std::string_view text);

// Splits one line into blank-separated words; "double quoted" words may hold
// blanks. An unterminated quote runs to the end of the line. Stops at a
// "//" comment when `slashComments` is set.
std::vector<SheetToken> TokenizeSheetLine(std::string_view line, bool slashComments);

bool SheetKeywordIs(std::string_view word, std::string_view keyword);  // ASCII, any case

// A decimal number without sign that fits in int64 and is at most `max`.
std::optional<int64_t> ParseSheetNumber(std::string_view text, int64_t max);

}  // namespace akrip
