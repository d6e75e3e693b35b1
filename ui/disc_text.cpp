#include "disc_text.h"

#include <QStringDecoder>

#include <algorithm>

#include "text_codec.h"

namespace cadrix {

namespace {

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
    if (const size_t cut = CutSequenceLength(bytes);
        cut != 0 && DecodeUtf8(bytes.substr(0, bytes.size() - cut), text)) {
        const bool hasMultiByte = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80; });
        if (hasMultiByte) return text;
    }
    text.clear();
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += QChar(static_cast<char16_t>(cadrix::text::FromCp1252(byte)));
    }
    return text;
}

}  // namespace cadrix
