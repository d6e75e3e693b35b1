#include "virtual_drive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "cdrdao_toc.h"
#include "cue_sheet.h"
#include "image_reader.h"
#include "sheet_lexer.h"
#include "wave_file.h"

namespace akrip {
namespace {

constexpr size_t kMaxSheetBytes = 1 << 20;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

bool HasExtension(std::string_view name, std::string_view upper) {
    return name.size() > upper.size() && SheetKeywordIs(name.substr(name.size() - upper.size()), upper);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// O_NONBLOCK: opening a FIFO without a writer would wait for one; anything
// but a regular file is then refused.
UniqueFd OpenRegularFile(const std::string& path, uint64_t& size) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return UniqueFd();
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

// Sheets written on other systems use '\' and another letter case.
UniqueFd OpenDataFile(const std::string& folder, std::string name, uint64_t& size) {
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::string path = name.starts_with('/') ? name : folder + "/" + name;
    if (UniqueFd fd = OpenRegularFile(path, size); fd.Valid()) return fd;
    const std::string parent = FolderOf(path);
    const std::string leaf = path.substr(path.rfind('/') + 1);
    DirPtr dir(::opendir(parent.c_str()));
    if (!dir) return UniqueFd();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (EqualsIgnoringCase(entry->d_name, leaf)) return OpenRegularFile(parent + "/" + entry->d_name, size);
    }
    return UniqueFd();
}

std::optional<ImageFile> ResolveFile(const std::string& folder, const PlanFile& planFile) {
    ImageFile file;
    uint64_t size = 0;
    file.fd = OpenDataFile(folder, planFile.name, size);
    if (!file.fd.Valid()) return std::nullopt;
    file.payloadBytes = size;
    if (planFile.format == FileFormat::WaveLittleEndian || planFile.format == FileFormat::WaveBigEndian) {
        const int fd = file.fd.Get();
        auto readAt = [fd](uint64_t offset, std::span<uint8_t> out) {
            return ::pread(fd, out.data(), out.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(out.size());
        };
        auto payload = FindWavePayload(readAt, size);
        if (!payload) return std::nullopt;
        file.payloadOffset = payload->offset;
        file.payloadBytes = payload->bytes;
    }
    return file;
}

std::optional<std::string> ReadSheet(const std::string& path) {
    uint64_t size = 0;
    UniqueFd fd = OpenRegularFile(path, size);
    if (!fd.Valid() || size > kMaxSheetBytes) return std::nullopt;
    std::string text(static_cast<size_t>(size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        ssize_t got = ::read(fd.Get(), text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        done += static_cast<size_t>(got);
    }
    return text;
}

}  // namespace

std::optional<DiscImage> LoadDiscImage(const std::string& sheetPath) {
    auto text = ReadSheet(sheetPath);
    if (!text) return std::nullopt;
    auto plan = HasExtension(sheetPath, ".TOC") ? ParseCdrdaoToc(*text) : ParseCueSheet(*text);
    if (!plan) return std::nullopt;
    const std::string folder = FolderOf(sheetPath);
    return LayoutDiscImage(*plan, [&folder](const PlanFile& file) { return ResolveFile(folder, file); });
}

std::optional<DiscImage> FindDiscImage(const std::string& folder) {
    std::vector<std::string> sheets;
    {
        DirPtr dir(::opendir(folder.c_str()));
        if (!dir) return std::nullopt;
        while (const dirent* entry = ::readdir(dir.get())) {
            std::string_view name = entry->d_name;
            if (HasExtension(name, ".CUE") || HasExtension(name, ".TOC")) sheets.emplace_back(name);
        }
    }
    std::sort(sheets.begin(), sheets.end());
    for (const std::string& sheet : sheets) {
        if (auto image = LoadDiscImage(folder + "/" + sheet)) return image;
    }
    return std::nullopt;
}

VirtualDrive::VirtualDrive(std::string folder) : folder_(std::move(folder)) {}

namespace {

// What tells one disc image from another: its TOC with the codes and index
// points of its sub-channel, and the identity, size and modification time
// of each data file.
std::vector<int64_t> DiscIdentity(const std::optional<DiscImage>& image) {
    std::vector<int64_t> identity;
    if (!image) return identity;
    const std::hash<std::string> hash;
    for (const TocTrack& track : image->toc.tracks) {
        identity.insert(identity.end(), {track.start, track.control, static_cast<int64_t>(hash(track.isrc))});
        for (const TocIndex& index : track.indexes) identity.push_back(index.lsn);
    }
    identity.insert(identity.end(), {image->toc.leadOut, static_cast<int64_t>(hash(image->toc.mcn))});
    for (const ImageFile& file : image->files) {
        struct stat info {};
        if (file.fd.Valid() && ::fstat(file.fd.Get(), &info) == 0) {
            identity.insert(identity.end(),
                            {static_cast<int64_t>(info.st_dev), static_cast<int64_t>(info.st_ino),
                             static_cast<int64_t>(info.st_size), info.st_mtim.tv_sec, info.st_mtim.tv_nsec});
        }
    }
    return identity;
}

}  // namespace

DiscToc VirtualDrive::ReadToc() {
    std::optional<DiscImage> found = FindDiscImage(folder_);
    std::vector<int64_t> identity = DiscIdentity(found);
    if (!probed_ || identity != identity_) {
        if (probed_) NewDisc();
        image_ = std::move(found);
        identity_ = std::move(identity);
    }
    probed_ = true;
    return image_ ? image_->toc : DiscToc{};
}

uint32_t VirtualDrive::ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) {
    if (!probed_) ReadToc();  // a read before any TOC read
    if (!image_) return 0;
    const uint32_t readable = ReadableImageFrames(*image_, lsn, frames);
    if (readable == 0 || !ReadImageAudio(*image_, lsn, readable, out)) return 0;
    return readable;
}

std::optional<AudioRange> VirtualDrive::TrackRange(int track) {
    if (!probed_) ReadToc();
    if (!image_) return std::nullopt;
    for (const AudioRange& range : ReadableAudioRanges(image_->toc)) {
        if (range.track == track) return range;
    }
    return std::nullopt;
}

DiscLayout VirtualDrive::Layout() {
    if (!probed_) ReadToc();
    if (!image_) return {};
    return {image_->toc, LayoutSource::Sheet};
}

}  // namespace akrip
