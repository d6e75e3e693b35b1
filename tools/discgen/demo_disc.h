// The demo disc: a short album of generated music, with the files that let
// Cadrix find it and name it: a virtual drive folder holding the image, the
// suite's ini file pointing at a disc database, and the disc's database file.
#ifndef CADRIX_DISCGEN_DEMO_DISC_H
#define CADRIX_DISCGEN_DEMO_DISC_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "disc_generator.h"

namespace cadrix::discgen {

struct DemoAlbum {
    std::string artist;
    std::string title;
    std::string year;
    int genre = 0;  // disc database genre number
    std::vector<std::string> trackTitles;
};

DiscDescription DemoDiscDescription();
const DemoAlbum& DemoAlbumInfo();

// The database file's text for `album` (track n is named on the line TTITLEn).
std::string DiscDatabaseText(const DemoAlbum& album);

// Writes under `root`:
//   drive/demo.cue, drive/demo.bin       the disc in a virtual drive folder
//   config/Zephyrtone/zephtone.ini       "datadir:<root>/database/"
//   database/<cddb id>.cdb               the album's names
//   env.sh                               exports CADRIX_VIRTUAL_DRIVES and XDG_CONFIG_HOME
// `root` is made absolute first. Other CUE sheets in drive/ are removed so the
// drive holds one disc.
bool WriteDemo(const std::filesystem::path& root, std::string* error = nullptr);

}  // namespace cadrix::discgen

#endif
