// A small element tree of an XML reply, parsed with expat. Made for replies
// of web services, which may be hostile: no DTD (so no entity expansion),
// bounded depth, element count and text length.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cadrix {

struct XmlElement {
    std::string name;  // as written, prefix included; namespaces are not resolved
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // the character data directly inside, concatenated
    std::vector<XmlElement> children;

    // The first child named `childName`, or null.
    const XmlElement* Child(std::string_view childName) const;
    // The text of Child(childName), or empty.
    std::string_view ChildText(std::string_view childName) const;
    // Every child named `childName`, in document order.
    std::vector<const XmlElement*> Children(std::string_view childName) const;
    // The value of attribute `key`, or empty.
    std::string_view Attribute(std::string_view key) const;
};

struct XmlLimits {
    size_t maxElements = 200000;
    size_t maxDepth = 48;
    size_t maxTextBytes = 64 * 1024;  // per element; more is cut off
};

// The document's root element; nullopt for a document that is not
// well-formed UTF-8 XML, has a DOCTYPE, or exceeds the element or depth limit.
std::optional<XmlElement> ParseXml(std::string_view xml, const XmlLimits& limits = {});

}  // namespace cadrix
