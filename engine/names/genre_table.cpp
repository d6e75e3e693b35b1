// The genre names of the suite's disc database, indexed by the number of a
// "DGENRE1=" line. Empty entries are unassigned numbers.
#include "names/genre_table.h"

#include <string>
#include <utility>

namespace cadrix {

const std::array<std::string_view, GENRE_COUNT> GenreTable = {
    "",  // 0
    "",  // 1
    "Ambient/Dream Pop",  // 2
    "Art Rock",  // 3
    "Avant Rock",  // 4
    "Brit Pop",  // 5
    "Emo",  // 6
    "Experimental",  // 7
    "Alt-Folk",  // 8
    "Post-Punk",  // 9
    "General Alternative",  // 10
    "Grunge",  // 11
    "Indie",  // 12
    "Ska/Rock Steady",  // 13
    "Christian Pop",  // 14
    "Power Pop",  // 15
    "Jam Bands",  // 16
    "Teen Pop",  // 17
    "",  // 18
    "Short Stories",  // 19
    "Comedy",  // 20
    "General Books",  // 21
    "General Spoken",  // 22
    "Poetry",  // 23
    "Politics",  // 24
    "Religion",  // 25
    "Spoken Word",  // 26
    "Stories/Fairytales",  // 27
    "",  // 28
    "Acoustic Blues",  // 29
    "Blues Rock",  // 30
    "Electric Blues",  // 31
    "General Blues",  // 32
    "General R&B",  // 33
    "Cool/West Coast Jazz",  // 34
    "Motown",  // 35
    "Soul",  // 36
    "Zydeco/Cajun",  // 37
    "",  // 38
    "General Children's Music",  // 39
    "",  // 40
    "Baroque",  // 41
    "Chamber Music",  // 42
    "Choral",  // 43
    "Contemporary",  // 44
    "Ensembles",  // 45
    "General Classical",  // 46
    "Classical Guitar",  // 47
    "Medieval",  // 48
    "Opera",  // 49
    "Romantic Era",  // 50
    "Piano",  // 51
    "Polka",  // 52
    "Renaissance Era",  // 53
    "Strings",  // 54
    "",  // 55
    "Alternative Country",  // 56
    "Bluegrass",  // 57
    "Country Blues",  // 58
    "Traditional Country",  // 59
    "General Country",  // 60
    "Rockabilly",  // 61
    "Contemporary Country",  // 62
    "Tejano/Norteno",  // 63
    "",  // 64
    "General Dance",  // 65
    "Ballroom",  // 66
    "Club Dance",  // 67
    "Dancehall",  // 68
    "Pop Vocals",  // 69
    "",  // 70
    "General Data",  // 71
    "Applications",  // 72
    "Games",  // 73
    "Operating Systems",  // 74
    "",  // 75
    "Folk-Rock",  // 76
    "Bachelor Pad",  // 77
    "General Easy Listening",  // 78
    "Lounge",  // 79
    "Love Songs",  // 80
    "Mood Music",  // 81
    "Soft Rock",  // 82
    "",  // 83
    "Acid House",  // 84
    "Big Beat",  // 85
    "World Fusion",  // 86
    "Drum n' Bass/Jungle",  // 87
    "Electronica",  // 88
    "General Electronic",  // 89
    "Turntablism",  // 90
    "Minimalist Experimental",  // 91
    "Ambient Electronica",  // 92
    "Ragga",  // 93
    "",  // 94
    "Contemporary Folk",  // 95
    "General Folk",  // 96
    "Traditional Folk",  // 97
    "",  // 98
    "Central Asian",  // 99
    "Foreign Rap",  // 100
    "Garage",  // 101
    "General House",  // 102
    "Deep House",  // 103
    "Progressive House",  // 104
    "Happy House",  // 105
    "",  // 106
    "Industrial Dance",  // 107
    "Dark Techno/Darkwave",  // 108
    "Klezmer",  // 109
    "Electro",  // 110
    "General Industrial",  // 111
    "Hard Rock",  // 112
    "",  // 113
    "Detroit Techno",  // 114
    "Dub",  // 115
    "Gabber",  // 116
    "General Techno",  // 117
    "Hardcore Techno",  // 118
    "Illbient",  // 119
    "Minimal/Noise",  // 120
    "Old School Industrial",  // 121
    "Rave Music",  // 122
    "Urban Crossover",  // 123
    "Tribal House",  // 124
    "",  // 125
    "General Trance",  // 126
    "Ambient Trance",  // 127
    "Hard Trance/Acid",  // 128
    "Progressive/Dream",  // 129
    "Tech Trance",  // 130
    "",  // 131
    "Bass Assault",  // 132
    "East Coast Rap",  // 133
    "Freestyle Rap",  // 134
    "Gangsta",  // 135
    "General Hip Hop",  // 136
    "General Rap",  // 137
    "Hardcore Rap",  // 138
    "Horrorcore",  // 139
    "Christian Rap",  // 140
    "Old School Hip Hop",  // 141
    "Rap Metal",  // 142
    "Southern Rap",  // 143
    "Trip Hop",  // 144
    "West Coast Rap",  // 145
    "Underground Rap",  // 146
    "",  // 147
    "Chanukka",  // 148
    "Christmas",  // 149
    "General Holiday",  // 150
    "Halloween",  // 151
    "Adult Film/Erotica",  // 152
    "",  // 153
    "Acid Jazz",  // 154
    "Bop",  // 155
    "Big Band Swing",  // 156
    "Dixieland/New Orleans Jazz",  // 157
    "Free/Avant Jazz",  // 158
    "Fusion",  // 159
    "General Jazz",  // 160
    "Latin",  // 161
    "Ragtime",  // 162
    "Swing Revival",  // 163
    "Smooth Jazz",  // 164
    "Jazz Vocals",  // 165
    "",  // 166
    "Ambient New Age",  // 167
    "Environmental Music",  // 168
    "General New Age",  // 169
    "Meditation Music",  // 170
    "",  // 171
    "Acoustic Pop",  // 172
    "Disco",  // 173
    "European Pop",  // 174
    "General Pop",  // 175
    "",  // 176
    "General Religious",  // 177
    "General Christian",  // 178
    "Gospel",  // 179
    "",  // 180
    "Funk Rock",  // 181
    "Pop-Punk",  // 182
    "Riot Grrrl/Queercore",  // 183
    "Alternative Metal",  // 184
    "Classic Rock",  // 185
    "Black/Death Metal",  // 186
    "Grindcore",  // 187
    "Funk",  // 188
    "General Metal",  // 189
    "General Punk",  // 190
    "General Rock",  // 191
    "Goth Rock",  // 192
    "Gothic Metal",  // 193
    "Hardcore Metal",  // 194
    "Hardcore Punk",  // 195
    "Heavy Metal",  // 196
    "Christian Rock",  // 197
    "Hardcore Industrial",  // 198
    "Instrumental Rock",  // 199
    "Lo-Fi/Garage",  // 200
    "New Wave",  // 201
    "Old School Punk",  // 202
    "Pop/Hair Metal",  // 203
    "Progressive Metal",  // 204
    "Progressive Rock",  // 205
    "Psychedelic Rock",  // 206
    "Rock & Roll",  // 207
    "Ska Revival/3rd Wave",  // 208
    "Southern Rock",  // 209
    "Straight Edge Punk",  // 210
    "Surf Rock",  // 211
    "Thrash/Speed Metal",  // 212
    "",  // 213
    "General Soundtrack",  // 214
    "Film Score",  // 215
    "Film Soundtrack",  // 216
    "Musicals/Broadway",  // 217
    "Television Score",  // 218
    "Television Soundtrack",  // 219
    "",  // 220
    "General Unclassifiable",  // 221
    "",  // 222
    "African",  // 223
    "Middle East/Arabic",  // 224
    "Asian",  // 225
    "Brazilian",  // 226
    "Caribbean",  // 227
    "General Celtic",  // 228
    "Classical Indian",  // 229
    "Western European",  // 230
    "Flamenco/Gypsy",  // 231
    "French",  // 232
    "German",  // 233
    "Hawaiian",  // 234
    "Indian Subcontinent",  // 235
    "Irish Celtic",  // 236
    "Jewish/Israeli",  // 237
    "Latin Pop",  // 238
    "Mexican",  // 239
    "Latin Rock",  // 240
    "General Latin",  // 241
    "Native American",  // 242
    "Oceania",  // 243
    "Quebecois",  // 244
    "Ranchero",  // 245
    "General Reggae",  // 246
    "Eastern European",  // 247
    "Salsa/Merengue",  // 248
    "Scandinavian",  // 249
    "South/Central American",  // 250
    "Spanish/Portugese",  // 251
    "Aboriginal Australian/Didjeridu",  // 252
    "Japanese Rock",  // 253
    "Japanese Pop",  // 254
    "Japanese Folk",  // 255
    "Japanese Enka",  // 256
    "Japanese Traditional (Minzoku)",  // 257
    "Japanese Blues",  // 258
    "Japanese Fusion",  // 259
    "Japanese Jazz",  // 260
    "Japanese Classical",  // 261
    "Japanese General Soundtrack",  // 262
    "Anime",  // 263
    "Game",  // 264
    "Karaoke",  // 265
    "Japanese Karaoke",  // 266
    "Japanese Children's Song (Doyo)",  // 267
    "Japanese Unclassifiable",  // 268
    "Tropical/Samba",  // 269
    "Afro-Cuban",  // 270
    "General World",  // 271
};

namespace {

// Lower-case letters and digits only: "Drum n' Bass/Jungle" -> "drumnbassjungle".
std::string GenreKey(std::string_view name) {
    std::string key;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') key.push_back(static_cast<char>(c - 'A' + 'a'));
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) key.push_back(c);
    }
    return key;
}

int32_t FindKey(std::string_view key) {
    if (key.empty()) return -1;
    for (size_t n = 0; n < GenreTable.size(); ++n) {
        if (!GenreTable[n].empty() && GenreKey(GenreTable[n]) == key) return static_cast<int32_t>(n);
    }
    return -1;
}

int32_t FindKeyOrGeneral(const std::string& key) {
    const int32_t exact = FindKey(key);
    return exact >= 0 ? exact : FindKey("general" + key);
}

// Spellings the online services use for entries named otherwise here.
constexpr std::pair<std::string_view, std::string_view> kOtherSpellings[] = {
    {"rnb", "generalrb"},
    {"rhythmandblues", "generalrb"},
    {"drumandbass", "drumnbassjungle"},
    {"dnb", "drumnbassjungle"},
    {"jungle", "drumnbassjungle"},
    {"indierock", "indie"},
    {"indiepop", "indie"},
    {"punkrock", "generalpunk"},
    {"ska", "skarocksteady"},
    {"singersongwriter", "contemporaryfolk"},
    {"children", "generalchildrensmusic"},
    {"childrens", "generalchildrensmusic"},
    {"soundtracks", "generalsoundtrack"},
    {"score", "filmscore"},
    {"showtunes", "musicalsbroadway"},
    {"musical", "musicalsbroadway"},
    {"audiobook", "generalbooks"},
    {"easylistening", "generaleasylistening"},
    {"ambient", "ambientelectronica"},
};

}  // namespace

int32_t NearestGenre(std::string_view name) {
    const std::string key = GenreKey(name);
    if (const int32_t found = FindKeyOrGeneral(key); found >= 0) return found;
    for (const auto& [spelling, entry] : kOtherSpellings) {
        if (key == spelling) return FindKey(entry);
    }
    // The last word that names a general entry: "Symphonic Metal", "Indie Pop".
    size_t end = name.size();
    while (end > 0) {
        const size_t space = name.find_last_of(" -/&", end - 1);
        const size_t begin = space == std::string_view::npos ? 0 : space + 1;
        if (begin < end) {
            if (const int32_t found = FindKey("general" + GenreKey(name.substr(begin, end - begin))); found >= 0) {
                return found;
            }
        }
        if (space == std::string_view::npos) break;
        end = space;
    }
    return -1;
}

}  // namespace cadrix
