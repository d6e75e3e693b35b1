#include "sheet_lexer.h"

#include "image_plan.h"

#include <charconv>

namespace akrip {

std::vector<std::string_view> SplitSheetLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string_view> lines;
    size_t begin = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(begin, i - begin));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        begin = i + 1;
    }
    if (begin < text.size()) lines.push_back(text.substr(begin));
    return lines;
}

std::vector<SheetToken> TokenizeSheetLine(std::string_view line, bool slashComments) {
    std::vector<SheetToken> tokens;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
    while (i < line.size()) {
        if (blank(line[i])) {
            ++i;
            continue;
        }
        if (slashComments && line.substr(i).starts_with("//")) break;
        SheetToken token;
        if (line[i] == '"') {
            token.quoted = true;
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos) end = line.size();
            token.text = std::string(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = i;
            while (end < line.size() && !blank(line[end])) ++end;
            token.text = std::string(line.substr(i, end - i));
            i = end;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool SheetKeywordIs(std::string_view word, std::string_view keyword) {
    if (word.size() != keyword.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != keyword[i]) return false;
    }
    return true;
}

std::optional<int64_t> ParseSheetNumber(std::string_view text, int64_t max) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<int64_t> ParseMsf(std::string_view text) {
    size_t first = text.find(':');
    if (first == std::string_view::npos) return std::nullopt;
    size_t second = text.find(':', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    auto minutes = ParseSheetNumber(text.substr(0, first), 999);
    auto seconds = ParseSheetNumber(text.substr(first + 1, second - first - 1), 59);
    auto frames = ParseSheetNumber(text.substr(second + 1), kFramesPerSecond - 1);
    if (!minutes || !seconds || !frames) return std::nullopt;
    return *minutes * kFramesPerMinute + *seconds * kFramesPerSecond + *frames;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> ParseMcn(std::string_view text) {
    if (text.size() != 13) return std::nullopt;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
    }
    return std::string(text);
}

// Some sheets write the ISRC's parts apart: US-RC1-76-07839.
std::optional<std::string> ParseIsrc(std::string_view text) {
    std::string code;
    for (char c : text) {
        if (c == '-') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        code += c;
    }
    if (code.size() != 12) return std::nullopt;
    for (size_t i = 0; i < code.size(); ++i) {
        const bool letter = code[i] >= 'A' && code[i] <= 'Z';
        if (!IsDigit(code[i]) && (i >= 5 || !letter)) return std::nullopt;
    }
    return code;
}

}  // namespace akrip
