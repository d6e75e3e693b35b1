#include "names/cover_art.h"

#include <map>
#include <memory>
#include <variant>
#include <vector>

#include "names/disc_database.h"
#include "util/http_client.h"
#include "util/small_file.h"

namespace cadrix {

namespace {

constexpr size_t kMaxIndexBytes = size_t{256} << 10;
constexpr int kMaxDepth = 16;

uint32_t Be(std::string_view b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
    return v;
}

// The dimensions in a JPEG's first start-of-frame marker.
bool JpegSize(std::string_view b, int32_t& width, int32_t& height) {
    size_t at = 2;
    while (at + 4 <= b.size()) {
        if (static_cast<uint8_t>(b[at]) != 0xFF) return false;
        const uint8_t marker = static_cast<uint8_t>(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const uint32_t length = Be(b, at + 2, 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 9 > b.size()) return false;
            height = static_cast<int32_t>(Be(b, at + 5, 2));
            width = static_cast<int32_t>(Be(b, at + 7, 2));
            return width > 0 && height > 0;
        }
        if (length < 2) return false;
        at += 2 + length;
    }
    return false;
}

// A JSON value, as much of JSON as an archive index needs.
struct Json;
using JsonObject = std::map<std::string, Json, std::less<>>;
using JsonArray = std::vector<Json>;
struct Json {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>, std::shared_ptr<JsonObject>>
        value;
    const Json* Get(std::string_view key) const {
        const auto* object = std::get_if<std::shared_ptr<JsonObject>>(&value);
        if (object == nullptr) return nullptr;
        const auto it = (*object)->find(key);
        return it != (*object)->end() ? &it->second : nullptr;
    }
    std::string_view Text() const {
        const auto* text = std::get_if<std::string>(&value);
        return text != nullptr ? std::string_view(*text) : std::string_view();
    }
    const JsonArray* Array() const {
        const auto* array = std::get_if<std::shared_ptr<JsonArray>>(&value);
        return array != nullptr ? array->get() : nullptr;
    }
};

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    std::optional<Json> Document() {
        std::optional<Json> value = Value(0);
        Blanks();
        if (!value || at_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    void Blanks() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        Blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    std::optional<std::string> String() {
        if (!Take('"')) return std::nullopt;
        std::string out;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= text_.size()) return std::nullopt;
            const char e = text_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/': out.push_back(e); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'u': {
                    // Addresses are ASCII; other characters only need to be skipped.
                    if (text_.size() - at_ < 4) return std::nullopt;
                    uint32_t code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = text_[at_++];
                        const int digit = h >= '0' && h <= '9'   ? h - '0'
                                          : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                          : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                                 : -1;
                        if (digit < 0) return std::nullopt;
                        code = code << 4 | static_cast<uint32_t>(digit);
                    }
                    out.push_back(code < 0x80 ? static_cast<char>(code) : '?');
                    break;
                }
                default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<Json> Value(int depth) {
        if (depth > kMaxDepth) return std::nullopt;
        Blanks();
        if (at_ >= text_.size()) return std::nullopt;
        const char c = text_[at_];
        if (c == '"') {
            auto text = String();
            if (!text) return std::nullopt;
            return Json{std::move(*text)};
        }
        if (c == '{') {
            ++at_;
            auto object = std::make_shared<JsonObject>();
            if (!Take('}')) {
                do {
                    auto key = String();
                    if (!key || !Take(':')) return std::nullopt;
                    auto value = Value(depth + 1);
                    if (!value) return std::nullopt;
                    (*object)[std::move(*key)] = std::move(*value);
                } while (Take(','));
                if (!Take('}')) return std::nullopt;
            }
            return Json{std::move(object)};
        }
        if (c == '[') {
            ++at_;
            auto array = std::make_shared<JsonArray>();
            if (!Take(']')) {
                do {
                    auto value = Value(depth + 1);
                    if (!value) return std::nullopt;
                    array->push_back(std::move(*value));
                } while (Take(','));
                if (!Take(']')) return std::nullopt;
            }
            return Json{std::move(array)};
        }
        if (Word("true")) return Json{true};
        if (Word("false")) return Json{false};
        if (Word("null")) return Json{nullptr};
        const size_t start = at_;
        while (at_ < text_.size() && std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos)
            ++at_;
        if (at_ == start) return std::nullopt;
        return Json{0.0};  // numbers are not needed, only skipped
    }

    std::string_view text_;
    size_t at_ = 0;
};

bool IsWebAddress(std::string_view url) { return url.starts_with("http://") || url.starts_with("https://"); }

}  // namespace

std::optional<CoverImage> InspectImage(std::string bytes) {
    if (bytes.size() > MAX_COVER_BYTES) return std::nullopt;
    CoverImage image;
    if (bytes.size() > 24 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && bytes.compare(12, 4, "IHDR") == 0) {
        image.mime = "image/png";
        image.width = static_cast<int32_t>(Be(bytes, 16, 4));
        image.height = static_cast<int32_t>(Be(bytes, 20, 4));
        if (image.width <= 0 || image.height <= 0) return std::nullopt;
    } else if (bytes.size() > 4 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0) {
        image.mime = "image/jpeg";
        if (!JpegSize(bytes, image.width, image.height)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    image.bytes = std::move(bytes);
    return image;
}

std::string FrontImageUrl(std::string_view json) {
    const std::optional<Json> index = JsonParser(json).Document();
    const Json* images = index ? index->Get("images") : nullptr;
    const JsonArray* list = images != nullptr ? images->Array() : nullptr;
    if (list == nullptr) return {};
    const Json* front = nullptr;
    for (const Json& image : *list) {
        const Json* flag = image.Get("front");
        if (flag != nullptr && std::holds_alternative<bool>(flag->value) && std::get<bool>(flag->value)) {
            front = &image;
            break;
        }
    }
    for (const Json& image : *list) {
        const Json* types = front == nullptr ? image.Get("types") : nullptr;
        const JsonArray* names = types != nullptr ? types->Array() : nullptr;
        if (names == nullptr) continue;
        for (const Json& name : *names) {
            if (name.Text() == "Front") front = &image;
        }
        if (front != nullptr) break;
    }
    if (front == nullptr) return {};
    const Json* thumbnails = front->Get("thumbnails");
    for (const char* size : {"500", "large"}) {
        const Json* url = thumbnails != nullptr ? thumbnails->Get(size) : nullptr;
        if (url != nullptr && IsWebAddress(url->Text())) return std::string(url->Text());
    }
    const Json* url = front->Get("image");
    return url != nullptr && IsWebAddress(url->Text()) ? std::string(url->Text()) : std::string();
}

std::optional<CoverImage> FetchFrontCover(const CoverFetch& fetch, std::string_view releaseId) {
    if (fetch.server.empty() || releaseId.empty()) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + fetch.timeout;
    const auto get = [&](std::string url, size_t maxBytes) {
        HttpRequest request;
        request.url = std::move(url);
        request.userAgent = fetch.userAgent;
        request.maxBytes = maxBytes;
        request.cancel = fetch.cancel;
        request.timeout = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       deadline - std::chrono::steady_clock::now()),
                                   std::chrono::milliseconds(1));
        return HttpGet(request);
    };
    const HttpResponse index = get(fetch.server + "/release/" + std::string(releaseId), kMaxIndexBytes);
    if (index.outcome != HttpOutcome::Ok || index.status != 200) return std::nullopt;
    std::string url = FrontImageUrl(index.body);
    if (url.empty()) return std::nullopt;
    HttpResponse image = get(std::move(url), MAX_COVER_BYTES);
    if (image.outcome != HttpOutcome::Ok || image.status != 200) return std::nullopt;
    return InspectImage(std::move(image.body));
}

std::string OwnCoverPath(std::string_view ownFolder, uint32_t discId, std::string_view extension) {
    std::string path = DiscDatabasePath(ownFolder, discId);
    if (path.ends_with(".cdb")) path.resize(path.size() - 4);
    return path.append(extension);
}

namespace {

std::optional<CoverImage> LoadImage(const std::string& path) {
    std::optional<std::string> bytes = ReadSmallFile(path, MAX_COVER_BYTES);
    if (!bytes) return std::nullopt;
    return InspectImage(std::move(*bytes));
}

}  // namespace

std::optional<CoverImage> OwnCover(std::string_view ownFolder, uint32_t discId) {
    if (ownFolder.empty()) return std::nullopt;
    for (const char* extension : {".jpg", ".png"}) {
        if (auto image = LoadImage(OwnCoverPath(ownFolder, discId, extension))) return image;
    }
    return std::nullopt;
}

std::optional<CoverImage> FindDiscCover(const std::string& discFolder, std::string_view ownFolder, uint32_t discId,
                                        bool& fromUser) {
    for (const char* name : {"/cover.jpg", "/cover.png"}) {
        if (auto image = LoadImage(discFolder + name)) {
            fromUser = true;
            return image;
        }
    }
    fromUser = false;
    return OwnCover(ownFolder, discId);
}

}  // namespace cadrix
