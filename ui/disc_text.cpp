#include "disc_text.h"

#include <QStringDecoder>

#include <algorithm>

namespace cadrix {

namespace {

// Windows-1252 at 0x80..0x9F; the five undefined bytes map to the C1
// controls of the same value, as Windows' own conversion does.
constexpr char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};


bool DecodeUtf8(std::string_view bytes, QString& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !utf8.hasError();
}

// Length of an incomplete UTF-8 sequence at the end of `bytes` (0 if none):
// texts are cut to a byte limit, which may split the last character.
size_t CutSequenceLength(std::string_view bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // continuation byte: look further back
        const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return needed > back ? back : 0;
    }
    return 0;
}

}  // namespace

QString DecodeDiscText(std::string_view bytes) {
    QString text;
    if (DecodeUtf8(bytes, text)) return text;
    // Only a text that shows UTF-8 elsewhere is taken as cut; a lone high
    // byte at the end of plain ASCII is a Windows-1252 character.
    if (const size_t cut = CutSequenceLength(bytes); cut != 0 && DecodeUtf8(bytes.substr(0, bytes.size() - cut), text)) {
        const bool hasMultiByte = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80; });
        if (hasMultiByte) return text;
    }
    text.clear();
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += (byte >= 0x80 && byte < 0xA0) ? QChar(CP1252_HIGH[byte - 0x80]) : QChar(byte);
    }
    return text;
}

}  // namespace cadrix
