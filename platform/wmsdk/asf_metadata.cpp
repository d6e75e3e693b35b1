// The metadata objects of an ASF header: written for a new file, read from
// a finished one and written anew in a header rebuilt around them.
#include <algorithm>
#include <cstring>

#include "asf_muxer.h"
#include "asf_objects.h"

namespace wmsdk::asf_objects {

// Attributes whose values are too long for the extended content description
// (pictures), as file-level records of the metadata library; nothing when
// there are none.
void AddMetadataLibrary(Bytes& b, const AsfMetadata& m) {
    const auto large = [](const AsfAttribute& a) { return a.value.size() > 0xFFFF; };
    const auto count = std::count_if(m.extended.begin(), m.extended.end(), large);
    if (count == 0) return;
    const size_t o = b.Begin(kMetadataLibraryObject);
    b.U16(static_cast<uint16_t>(count));
    for (const AsfAttribute& a : m.extended) {
        if (!large(a)) continue;
        b.U16(0);  // language list index
        b.U16(0);  // the file, no stream
        b.U16(static_cast<uint16_t>((a.name.size() + 1) * 2));
        b.U16(static_cast<uint16_t>(a.type));
        b.U32(static_cast<uint32_t>(a.value.size()));
        b.Text(a.name);
        b.Raw(a.value);
    }
    b.End(o);
}

// The content description and extended content description objects, each
// when it has something to hold; returns how many were written.
uint32_t WriteMetadataObjects(const AsfMetadata& m, std::vector<uint8_t>& out) {
    Bytes b(out);
    uint32_t objects = 0;
    const std::u16string* texts[] = {&m.title, &m.author, &m.copyright, &m.description, &m.rating};
    if (std::any_of(std::begin(texts), std::end(texts), [](auto* t) { return !t->empty(); })) {
        const size_t o = b.Begin(kContentDescriptionObject);
        for (auto* t : texts) b.U16(TextBytes(*t));
        for (auto* t : texts)
            if (!t->empty()) b.Text(*t);
        b.End(o);
        ++objects;
    }
    const auto fits = [](const AsfAttribute& a) { return a.value.size() <= 0xFFFF; };
    const auto count = std::count_if(m.extended.begin(), m.extended.end(), fits);
    if (count > 0) {
        const size_t o = b.Begin(kExtendedContentDescriptionObject);
        b.U16(static_cast<uint16_t>(count));
        for (const AsfAttribute& a : m.extended) {
            if (!fits(a)) continue;
            b.U16(static_cast<uint16_t>((a.name.size() + 1) * 2));
            b.Text(a.name);
            b.U16(static_cast<uint16_t>(a.type));
            b.U16(static_cast<uint16_t>(a.value.size()));
            b.Raw(a.value);
        }
        b.End(o);
        ++objects;
    }
    return objects;
}

}  // namespace wmsdk::asf_objects

namespace wmsdk {
namespace {

using namespace asf_objects;

uint64_t Le(std::span<const uint8_t> b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{b[at + i]} << (8 * i);
    return v;
}

GUID GuidAt(std::span<const uint8_t> b, size_t at) {
    GUID g{static_cast<uint32_t>(Le(b, at, 4)),
           static_cast<uint16_t>(Le(b, at + 4, 2)),
           static_cast<uint16_t>(Le(b, at + 6, 2)),
           {}};
    std::copy(b.begin() + static_cast<ptrdiff_t>(at + 8), b.begin() + static_cast<ptrdiff_t>(at + 16), g.Data4);
    return g;
}

std::u16string TextAt(std::span<const uint8_t> b, size_t at, size_t bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes; i += 2) text.push_back(static_cast<char16_t>(Le(b, at + i, 2)));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

// The header's objects: where each starts and how long it is.
struct Child {
    GUID id;
    size_t start;
    size_t size;
};

bool HeaderChildren(std::span<const uint8_t> file, std::vector<Child>& children, size_t& headerEnd) {
    if (file.size() < 30 || !(GuidAt(file, 0) == kHeaderObject)) return false;
    const uint64_t headerSize = Le(file, 16, 8);
    if (headerSize < 30 || headerSize > file.size()) return false;
    const uint32_t count = static_cast<uint32_t>(Le(file, 24, 4));
    size_t at = 30;
    for (uint32_t i = 0; i < count; ++i) {
        if (headerSize - at < 24) return false;
        const uint64_t size = Le(file, at + 16, 8);
        if (size < 24 || size > headerSize - at) return false;
        children.push_back({GuidAt(file, at), at, static_cast<size_t>(size)});
        at += static_cast<size_t>(size);
    }
    headerEnd = static_cast<size_t>(headerSize);
    return true;
}

bool ParseContentDescription(std::span<const uint8_t> o, AsfMetadata& m) {
    if (o.size() < 34) return false;
    std::u16string* texts[] = {&m.title, &m.author, &m.copyright, &m.description, &m.rating};
    size_t at = 34;
    for (int i = 0; i < 5; ++i) {
        const size_t length = static_cast<size_t>(Le(o, 24 + 2 * i, 2));
        if (o.size() - at < length) return false;
        *texts[i] = TextAt(o, at, length);
        at += length;
    }
    return true;
}

bool ParseExtendedContentDescription(std::span<const uint8_t> o, AsfMetadata& m) {
    if (o.size() < 26) return false;
    const size_t count = static_cast<size_t>(Le(o, 24, 2));
    size_t at = 26;
    for (size_t i = 0; i < count; ++i) {
        if (o.size() - at < 2) return false;
        const size_t nameBytes = static_cast<size_t>(Le(o, at, 2));
        at += 2;
        if (o.size() - at < nameBytes + 4) return false;
        AsfAttribute a;
        a.name = TextAt(o, at, nameBytes);
        at += nameBytes;
        a.type = static_cast<AsfValueType>(Le(o, at, 2));
        const size_t valueBytes = static_cast<size_t>(Le(o, at + 2, 2));
        at += 4;
        if (o.size() - at < valueBytes) return false;
        a.value.assign(o.begin() + static_cast<ptrdiff_t>(at), o.begin() + static_cast<ptrdiff_t>(at + valueBytes));
        at += valueBytes;
        m.extended.push_back(std::move(a));
    }
    return true;
}

}  // namespace

bool ReadAsfMetadata(std::span<const uint8_t> file, AsfMetadata& metadata) {
    std::vector<Child> children;
    size_t headerEnd = 0;
    if (!HeaderChildren(file, children, headerEnd)) return false;
    metadata = {};
    for (const Child& c : children) {
        const auto object = file.subspan(c.start, c.size);
        if (c.id == kContentDescriptionObject && !ParseContentDescription(object, metadata)) return false;
        if (c.id == kExtendedContentDescriptionObject && !ParseExtendedContentDescription(object, metadata))
            return false;
    }
    return true;
}

std::vector<uint8_t> RebuildAsfHeader(std::span<const uint8_t> file, const AsfMetadata& metadata, size_t& oldEnd) {
    std::vector<Child> children;
    if (!HeaderChildren(file, children, oldEnd)) return {};
    std::vector<uint8_t> out;
    Bytes b(out);
    const size_t header = b.Begin(kHeaderObject);
    b.Raw(file.subspan(24, 6));  // count (patched below) and the two reserved bytes
    uint32_t objects = 0;
    size_t fileProperties = 0;
    for (const Child& c : children) {
        if (c.id == kContentDescriptionObject || c.id == kExtendedContentDescriptionObject) continue;
        if (c.id == kFilePropertiesObject) fileProperties = out.size();
        b.Raw(file.subspan(c.start, c.size));
        ++objects;
    }
    objects += WriteMetadataObjects(metadata, out);
    b.Patch(header + 24, objects, 4);
    b.End(header);
    // The file size the file properties give.
    if (fileProperties != 0 && out.size() - fileProperties >= 48) {
        b.Patch(fileProperties + 40, out.size() + (file.size() - oldEnd), 8);
    }
    return out;
}

}  // namespace wmsdk
