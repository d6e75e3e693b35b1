#include "demo_disc.h"

#include <cstdio>
#include <fstream>
#include <system_error>

namespace cadrix::discgen {
namespace {

bool WriteTextFile(const std::filesystem::path& path, const std::string& text, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path temporary = path.string() + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            if (error != nullptr) {
                *error = "cannot write " + path.string();
            }
            return false;
        }
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec && error != nullptr) {
        *error = "cannot write " + path.string() + ": " + ec.message();
    }
    return !ec;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

DiscDescription DemoDiscDescription() {
    DiscDescription disc;
    disc.seed = 20260512;
    // About 20 to 40 seconds each; lengths off the whole second on purpose.
    for (uint32_t frames : {2340U, 1813U, 2861U, 2032U, 2617U}) {
        TrackDescription track;
        track.frames = frames;
        disc.tracks.push_back(track);
    }
    return disc;
}

const DemoAlbum& DemoAlbumInfo() {
    static const DemoAlbum album{
        "The Quiet Orrery",
        "Lanterns Over Kessel Bay",
        "2024",
        92,  // Ambient Electronica
        {"Harbour Lights at Four", "Copper Kite", "The Cartographer's Waltz", "Salt & Static", "Low Tide, High Signal"},
    };
    return album;
}

std::string DiscDatabaseText(const DemoAlbum& album) {
    std::string text;
    text += "DARTIST=" + album.artist + "\n";
    text += "DTITLE=" + album.title + "\n";
    text += "DYEAR=" + album.year + "\n";
    text += "DGENRE1=" + std::to_string(album.genre) + "\n";
    text += "DCOMP=0\n";
    for (size_t i = 0; i < album.trackTitles.size(); ++i) {
        text += "TTITLE" + std::to_string(i + 1) + "=" + album.trackTitles[i] + "\n";
    }
    return text;
}

bool WriteDemo(const std::filesystem::path& rootIn, std::string* error) {
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::absolute(rootIn, ec).lexically_normal();
    if (ec) {
        if (error != nullptr) {
            *error = "bad folder " + rootIn.string();
        }
        return false;
    }
    const std::filesystem::path drive = root / "drive";
    std::filesystem::create_directories(drive, ec);
    for (const auto& entry : std::filesystem::directory_iterator(drive, ec)) {
        if (entry.path().extension() == ".cue" && entry.path().filename() != "demo.cue") {
            std::filesystem::remove(entry.path(), ec);
        }
    }
    const DiscDescription disc = DemoDiscDescription();
    if (!WriteDiscImage(disc, drive, "demo", error)) {
        return false;
    }
    const std::filesystem::path database = root / "database";
    char name[16];
    std::snprintf(name, sizeof name, "%x.cdb", ExpectedTocOf(disc).cddbId);
    const std::string databaseDir = database.string() + "/";
    const std::string env =
        "# Points Cadrix at the demo disc: source this file.\n"
        "export CADRIX_VIRTUAL_DRIVES=" +
        ShellQuoted(drive.string()) +
        "\n"
        "export XDG_CONFIG_HOME=" +
        ShellQuoted((root / "config").string()) + "\n";
    return WriteTextFile(database / name, DiscDatabaseText(DemoAlbumInfo()), error) &&
           WriteTextFile(root / "config" / "Zephyrtone" / "zephtone.ini", "datadir:" + databaseDir + "\n", error) &&
           WriteTextFile(root / "env.sh", env, error);
}

}  // namespace cadrix::discgen
