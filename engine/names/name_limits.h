// The limits that a disc's folder and a track's file are named within, in
// bytes.
#pragma once

#include <cstddef>

namespace cadrix {

// The base folder and the disc's folder together; a longer one fails the
// track.
constexpr size_t MAX_FOLDER_PATH = 244;
// A track's path before its extension; a longer one is cut.
constexpr size_t MAX_FILE_PATH = 256;
// The longest file name Linux accepts; the extension a writer appends
// (".wav", ".wma", ".ogg", ".flac") must still fit.
constexpr size_t MAX_NAME_COMPONENT = 255;
constexpr size_t EXTENSION_ROOM = 5;

// Names that Cadrix saves from a service or CD-Text are cut so that the
// disc's folder name takes at most this much, which leaves a base folder of
// up to 64 bytes room; the suite's own texts are never cut.
constexpr size_t MAX_SAVED_FOLDER_NAME = MAX_FOLDER_PATH - 64;
// ... and so that a track's "<artist> - <title>" or title fits in a file
// name after "NN - " and before the extension.
constexpr size_t MAX_SAVED_TRACK_PART = MAX_NAME_COMPONENT - EXTENSION_ROOM - 5;

}  // namespace cadrix
