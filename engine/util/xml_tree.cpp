#include "util/xml_tree.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <type_traits>

namespace cadrix {

namespace {

class TreeBuilder {
public:
    TreeBuilder(XML_Parser parser, const XmlLimits& limits) : parser_(parser), limits_(limits) {}

    void Start(const char* name, const char** attributes) {
        if (failed_) return;
        if (++elements_ > limits_.maxElements || path_.size() >= limits_.maxDepth || (path_.empty() && done_)) {
            return Fail();
        }
        XmlElement& element = path_.empty() ? root_ : path_.back()->children.emplace_back();
        element.name = name;
        for (int i = 0; attributes[i] != nullptr; i += 2)
            element.attributes.emplace_back(attributes[i], attributes[i + 1]);
        path_.push_back(&element);
    }
    void End() {
        if (failed_ || path_.empty()) return;
        path_.pop_back();
        done_ = path_.empty();
    }
    void Text(std::string_view text) {
        if (failed_ || path_.empty()) return;
        std::string& target = path_.back()->text;
        target.append(text.substr(0, limits_.maxTextBytes - std::min(target.size(), limits_.maxTextBytes)));
    }
    void Fail() {
        if (!failed_) XML_StopParser(parser_, XML_FALSE);
        failed_ = true;
    }
    bool Complete() const { return !failed_ && done_; }
    XmlElement& Root() { return root_; }

private:
    XML_Parser parser_;
    const XmlLimits& limits_;
    XmlElement root_;
    // The open elements; a pointer stays valid because an element gets no
    // further sibling while a child of it is open.
    std::vector<XmlElement*> path_;
    size_t elements_ = 0;
    bool done_ = false;
    bool failed_ = false;
};

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

const XmlElement* XmlElement::Child(std::string_view childName) const {
    for (const XmlElement& child : children) {
        if (child.name == childName) return &child;
    }
    return nullptr;
}

std::string_view XmlElement::ChildText(std::string_view childName) const {
    const XmlElement* child = Child(childName);
    return child != nullptr ? std::string_view(child->text) : std::string_view();
}

std::vector<const XmlElement*> XmlElement::Children(std::string_view childName) const {
    std::vector<const XmlElement*> found;
    for (const XmlElement& child : children) {
        if (child.name == childName) found.push_back(&child);
    }
    return found;
}

std::string_view XmlElement::Attribute(std::string_view key) const {
    for (const auto& [name, value] : attributes) {
        if (name == key) return value;
    }
    return {};
}

std::optional<XmlElement> ParseXml(std::string_view xml, const XmlLimits& limits) {
    if (xml.size() > INT_MAX) return std::nullopt;
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
    if (!parser) return std::nullopt;
    TreeBuilder builder(parser.get(), limits);
    XML_SetUserData(parser.get(), &builder);
    XML_SetElementHandler(
        parser.get(),
        [](void* b, const XML_Char* name, const XML_Char** attributes) {
            static_cast<TreeBuilder*>(b)->Start(name, attributes);
        },
        [](void* b, const XML_Char*) { static_cast<TreeBuilder*>(b)->End(); });
    XML_SetCharacterDataHandler(parser.get(), [](void* b, const XML_Char* text, int length) {
        static_cast<TreeBuilder*>(b)->Text(std::string_view(text, static_cast<size_t>(length)));
    });
    // A reply has no use for a DTD; refusing one rules out entity expansion.
    XML_SetStartDoctypeDeclHandler(parser.get(), [](void* b, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<TreeBuilder*>(b)->Fail();
    });
    if (XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) != XML_STATUS_OK) {
        return std::nullopt;
    }
    if (!builder.Complete()) return std::nullopt;
    return std::move(builder.Root());
}

}  // namespace cadrix
