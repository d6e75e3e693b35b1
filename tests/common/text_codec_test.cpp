// The shared text codec against glibc's iconv: every short byte sequence and
// random texts (seed printed) are judged and converted by both.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "text_codec.h"

namespace {

using namespace cadrix::text;

// An iconv descriptor, closed when the program ends.
struct IconvHandle {
    iconv_t cd = nullptr;
    IconvHandle() = default;
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    ~IconvHandle() {
        if (cd != nullptr && cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

// `bytes` converted by iconv from `from` to `to`; none when iconv refuses them.
// One descriptor per pair of encodings, reset before every conversion.
std::optional<std::string> Iconv(const char* from, const char* to, const std::string& bytes) {
    static std::map<std::pair<std::string, std::string>, IconvHandle> open;
    iconv_t& cd = open[{from, to}].cd;
    if (cd == nullptr) cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in = bytes;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size();
    size_t outLeft = out.size();
    const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (done == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// The code points of valid UTF-8 as iconv decodes them (UTF-32LE).
std::u32string CodePointsOf(const std::string& utf32le) {
    std::u32string points;
    for (size_t i = 0; i + 4 <= utf32le.size(); i += 4) {
        uint32_t c = 0;
        for (int k = 3; k >= 0; --k) c = (c << 8) | static_cast<unsigned char>(utf32le[i + static_cast<size_t>(k)]);
        points.push_back(c);
    }
    return points;
}

std::u32string Decode(const std::string& text) {
    std::u32string points;
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const size_t length = Utf8Sequence(text, i, c);
        if (length == 0) return {};
        points.push_back(c);
        i += length;
    }
    return points;
}

// Every sequence of one and two bytes, and three- and four-byte sequences
// over the bytes where validity changes.
std::vector<std::string> ShortSequences() {
    std::vector<std::string> all;
    for (int a = 0; a < 256; ++a) {
        all.push_back(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b) all.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
    const int edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                         0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    for (int a : edges) {
        for (int b : edges) {
            for (int c : edges) {
                all.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
                for (int d : edges) {
                    all.push_back(
                        {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)});
                }
            }
        }
    }
    return all;
}

TEST(TextCodec, JudgesAndDecodesUtf8AsIconvDoes) {
    for (const std::string& bytes : ShortSequences()) {
        const auto iconv = Iconv("UTF-8", "UTF-32LE", bytes);
        ASSERT_EQ(IsValidUtf8(bytes), iconv.has_value()) << testing::PrintToString(bytes);
        if (iconv) {
            ASSERT_EQ(Decode(bytes), CodePointsOf(*iconv)) << testing::PrintToString(bytes);
        }
    }
}

TEST(TextCodec, EncodesWhatIconvDecodes) {
    for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x3000 ? 1 : 97)) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string utf8;
        AppendUtf8(utf8, c);
        const auto iconv = Iconv("UTF-8", "UTF-32LE", utf8);
        ASSERT_TRUE(iconv.has_value()) << std::hex << static_cast<uint32_t>(c);
        ASSERT_EQ(CodePointsOf(*iconv), std::u32string(1, c));
        std::u16string utf16;
        AppendUtf16(utf16, c);
        const std::string utf16le(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
        ASSERT_EQ(Iconv("UTF-16LE", "UTF-8", utf16le), utf8) << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(TextCodec, EightBitCodePagesAsIconvConvertsThem) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Latin1ToUtf8(byte), Iconv("ISO-8859-1", "UTF-8", byte));
        const auto cp1252 = Iconv("WINDOWS-1252", "UTF-8", byte);
        if (cp1252) {
            EXPECT_EQ(Cp1252ToUtf8(byte), *cp1252) << b;
        } else {
            // The five bytes Windows-1252 leaves undefined: the C1 control of
            // the same value.
            EXPECT_EQ(Cp1252ToUtf8(byte), Latin1ToUtf8(byte)) << b;
            EXPECT_TRUE(b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) << b;
        }
    }
}

TEST(TextCodec, CutsRandomTextsOnCharacterBoundaries) {
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const char32_t samples[] = {U'a', U'\u00e9', U'\u20ac', U'\u4e2d', U'\U0001F3B5'};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 12);
        for (int k = 0; k < count; ++k) AppendUtf8(text, samples[random() % 5]);
        const size_t limit = random() % (text.size() + 2);
        const std::string cut(CutUtf8(text, limit));
        ASSERT_LE(cut.size(), limit);
        ASSERT_EQ(text.compare(0, cut.size(), cut), 0);
        ASSERT_TRUE(Iconv("UTF-8", "UTF-32LE", cut).has_value()) << testing::PrintToString(text) << " " << limit;
        // Nothing more fits: the next character would pass the limit.
        if (cut.size() < text.size()) {
            char32_t next = 0;
            ASSERT_GT(cut.size() + Utf8Sequence(text, cut.size(), next), limit);
        }
    }
}

}  // namespace
