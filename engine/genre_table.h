// The fixed table of genre names used by the disc database.
#pragma once

#include <array>
#include <string_view>

namespace cadrix {

constexpr int GENRE_COUNT = 272;

// Entry n is the name of genre number n; unassigned numbers are empty.
extern const std::array<std::string_view, GENRE_COUNT> GenreTable;

}  // namespace cadrix
