// The suite's disc database: the folder named by the suite's ini file, and
// one text file per disc, named after its CDDB identifier, that names the
// disc and its tracks. Read only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "disc/disc_model.h"

namespace cadrix {

// The suite's ini file: "zephtone.ini" in the suite's configuration folder,
// $XDG_CONFIG_HOME/Zephyrtone/ (default ~/.config/Zephyrtone/). Empty when
// no configuration folder can be determined.
std::string SuiteIniPath();

// The database folder named by the ini text `ini`: the rest of the first
// line that starts with "datadir:" and has a non-empty rest, taken
// unchanged, with '/' appended unless it already ends in one. Empty when
// there is no such line.
std::string ParseDataDir(std::string_view ini);

// ParseDataDir over the ini file at SuiteIniPath(); empty when it cannot be
// read.
std::string ReadDataDir();

// The database file of disc `discId` in `dataDir` (which ends in '/'):
// the identifier in lower-case hexadecimal without leading zeros + ".cdb".
std::string DiscDatabasePath(std::string_view dataDir, uint32_t discId);

// Applies database lines one at a time to a drive record. The record's texts
// are expected cleared (ReadDisc does that); Finish() appends the set number
// to the disc title.
class DiscDatabaseReader {
public:
    explicit DiscDatabaseReader(DriveRecord& record) : record_(record) {}
    // One line without its terminator (a trailing CR is not part of it).
    void ApplyLine(std::string_view line);
    void Finish();

private:
    DriveRecord& record_;
    bool inSet_ = false;
    int32_t setNumber_ = 0;
};

// Applies a whole database text: lines end at LF, a CR right before the LF
// is dropped, and a last line without LF counts.
void ParseDiscDatabase(std::string_view text, DriveRecord& record);

// Reads the database file of record.discId from `dataDir` into `record`.
// False, with the record unchanged, when dataDir is empty or the file cannot
// be opened.
bool ReadDiscDatabase(std::string_view dataDir, DriveRecord& record);

// A number as atoi reads it: leading white space, an optional sign, decimal
// digits up to the first other character; no digits gives 0. Values beyond
// the int32 range saturate instead of wrapping.
int32_t ParseAtoi(std::string_view text);

}  // namespace cadrix
