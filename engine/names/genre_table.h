// The fixed table of genre names used by the disc database.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace cadrix {

constexpr int GENRE_COUNT = 272;

// Entry n is the name of genre number n; unassigned numbers are empty.
extern const std::array<std::string_view, GENRE_COUNT> GenreTable;

// The number of the entry nearest to a free genre name ("hip hop",
// "Alternative Rock", "newage"), or -1 when none is near. Letters and digits
// are compared without case; a name matches an entry, then the entry
// "General " + name, then a few common other spellings, then the general
// entry of its last word that has one ("Symphonic Metal" -> "General Metal").
int32_t NearestGenre(std::string_view name);

}  // namespace cadrix
