#include "ogg_retag.h"

#include <ogg/ogg.h>

#include <cstdint>
#include <cstring>
#include <span>

#include "file_replace.h"
#include "vorbis_comment_block.h"

namespace {

constexpr size_t kPageHeader = 27;

struct Page {
    size_t start = 0;
    size_t headerBytes = 0;
    size_t bodyBytes = 0;
};

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The pages of `file` one after another from its start; false when
// something else is found.
bool SplitPages(std::span<const uint8_t> file, std::vector<Page>& pages) {
    size_t at = 0;
    while (at < file.size()) {
        if (file.size() - at < kPageHeader || std::memcmp(file.data() + at, "OggS", 4) != 0) return false;
        const size_t segments = file[at + 26];
        if (file.size() - at < kPageHeader + segments) return false;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += file[at + kPageHeader + i];
        Page page{at, kPageHeader + segments, body};
        if (file.size() - at - page.headerBytes < body) return false;
        pages.push_back(page);
        at += page.headerBytes + body;
    }
    return !pages.empty();
}

}  // namespace

bool RetagOggFile(const std::string& path, const std::vector<cadrix::plugin::Tag>& tags, std::string& error) {
    std::vector<uint8_t> file;
    if (!cadrix::plugin::ReadWholeFile(path, file, error)) return false;
    std::vector<uint8_t> head;
    std::vector<uint8_t> rest;
    if (!RetagOggBytes(file, tags, head, rest, error)) {
        error = "'" + path + "': " + error;
        return false;
    }
    return cadrix::plugin::ReplaceWholeFile(path, {std::span<const uint8_t>(head), std::span<const uint8_t>(rest)},
                                            error);
}

namespace {

// The three header packets of the stream `serial` starts, and how many pages
// they fill; false (with the reason) when they share a page with audio or
// are no Vorbis headers.
bool HeaderPackets(std::span<const uint8_t> file, const std::vector<Page>& pages, uint32_t serial,
                   std::vector<std::vector<uint8_t>>& packets, size_t& headerPages, std::string& error) {
    packets.assign(1, {});
    headerPages = 0;
    for (; headerPages < pages.size() && packets.size() <= 3; ++headerPages) {
        const Page& page = pages[headerPages];
        if (Le32(&file[page.start + 14]) != serial) break;
        const uint8_t* lacing = &file[page.start + kPageHeader];
        const uint8_t* data = &file[page.start + page.headerBytes];
        for (size_t i = 0; i < page.headerBytes - kPageHeader; ++i) {
            if (packets.size() > 3) {
                error = "the headers share a page with audio";
                return false;
            }
            packets.back().insert(packets.back().end(), data, data + lacing[i]);
            data += lacing[i];
            if (lacing[i] < 255) packets.emplace_back();
        }
    }
    packets.pop_back();
    const auto isHeader = [](const std::vector<uint8_t>& packet, uint8_t type) {
        return packet.size() >= 7 && packet[0] == type && std::memcmp(packet.data() + 1, "vorbis", 6) == 0;
    };
    if (packets.size() != 3 || !isHeader(packets[0], 1) || !isHeader(packets[1], 3) || !isHeader(packets[2], 5)) {
        error = "no Vorbis headers Cadrix can read";
        return false;
    }
    return true;
}

// The headers paged as the encoder pages them: the identification alone,
// then the comments and the codebooks ending a page of their own. The number
// of pages in `sequence`; false when libogg runs out of memory.
bool PageHeaders(uint32_t serial, std::span<std::vector<uint8_t>* const> packets, std::vector<uint8_t>& head,
                 uint32_t& sequence) {
    ogg_stream_state stream;
    if (ogg_stream_init(&stream, static_cast<int>(serial)) != 0) return false;
    head.clear();
    sequence = 0;
    bool paged = true;
    for (size_t i = 0; i < packets.size(); ++i) {
        ogg_packet packet{};
        packet.packet = packets[i]->data();
        packet.bytes = static_cast<long>(packets[i]->size());
        packet.b_o_s = i == 0 ? 1 : 0;
        packet.packetno = static_cast<ogg_int64_t>(i);
        paged = paged && ogg_stream_packetin(&stream, &packet) == 0;
        ogg_page page;
        while (i != 1 && ogg_stream_flush(&stream, &page) != 0) {
            head.insert(head.end(), page.header, page.header + page.header_len);
            head.insert(head.end(), page.body, page.body + page.body_len);
            ++sequence;
        }
    }
    ogg_stream_clear(&stream);
    return paged;
}

}  // namespace

bool RetagOggBytes(std::span<const uint8_t> file, const std::vector<cadrix::plugin::Tag>& tags,
                   std::vector<uint8_t>& head, std::vector<uint8_t>& rest, std::string& error) {
    std::vector<Page> pages;
    if (!SplitPages(file, pages)) {
        error = "no Ogg file";
        return false;
    }
    const uint32_t serial = Le32(&file[pages[0].start + 14]);
    std::vector<std::vector<uint8_t>> packets;
    size_t headerPages = 0;
    if (!HeaderPackets(file, pages, serial, packets, headerPages, error)) return false;
    auto comments = ParseVorbisCommentBlock(std::span<const uint8_t>(packets[1]).subspan(7));
    if (!comments) {
        error = "the comments cannot be read";
        return false;
    }
    for (const auto& tag : tags) comments->Set(tag.name, tag.value);
    std::vector<uint8_t> commentPacket{3, 'v', 'o', 'r', 'b', 'i', 's'};
    const std::vector<uint8_t> body = comments->Bytes();
    commentPacket.insert(commentPacket.end(), body.begin(), body.end());
    commentPacket.push_back(1);  // framing bit
    std::vector<uint8_t>* const sources[] = {&packets[0], &commentPacket, &packets[2]};
    uint32_t sequence = 0;
    if (!PageHeaders(serial, sources, head, sequence)) {
        error = "out of memory";
        return false;
    }

    // The audio pages keep their bytes but follow on in sequence.
    const size_t restStart = headerPages < pages.size() ? pages[headerPages].start : file.size();
    rest.assign(file.begin() + static_cast<ptrdiff_t>(restStart), file.end());
    for (size_t i = headerPages; i < pages.size(); ++i) {
        uint8_t* header = rest.data() + (pages[i].start - restStart);
        if (Le32(header + 14) == serial) PutLe32(header + 18, sequence++);
        ogg_page page{header, static_cast<long>(pages[i].headerBytes), header + pages[i].headerBytes,
                      static_cast<long>(pages[i].bodyBytes)};
        ogg_page_checksum_set(&page);
    }
    return true;
}
