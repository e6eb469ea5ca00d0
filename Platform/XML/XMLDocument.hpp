#pragma once
// A parsed XML document over libxml2, limited to what SVG cleaning needs. Parsing never
// loads anything from outside the text: external entities and DTDs are refused, internal
// entities expand within libxml2's own amplification limits.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv::xml {

class Document;

// An element of a Document; valid while the document lives and the element is attached.
class Element {
public:
    // The name as written: "prefix:local" when the element carries a prefix.
    std::string qualifiedName() const;
    std::string localName() const;
    // The namespace name (URI) the element is in, or nothing.
    std::optional<std::string> namespaceURI() const;

    // The text of the element's own text and CDATA children, joined.
    std::string text() const;

    // Every element below this one, depth-first in document order.
    std::vector<Element> descendants() const;
    // The element children, in document order.
    std::vector<Element> children() const;
    // Equal for two handles of the same element node.
    const void* identity() const { return node_; }
    // Removes the element with its subtree from the document and frees it.
    void detach();

    struct Attribute {
        std::string qualifiedName;
        std::string localName;
        std::string value;
        void* handle;  // the attribute node, for removal
    };
    std::vector<Attribute> attributes() const;
    void removeAttribute(const Attribute& attribute);
    // The value of the attribute with exactly this (unprefixed) name, or nothing.
    std::optional<std::string> attribute(const std::string& name) const;
    void setAttribute(const std::string& name, const std::string& value);

    // True when the element declares a namespace without a prefix (xmlns="...").
    bool declaresDefaultNamespace() const;
    void declareDefaultNamespace(const std::string& uri);

private:
    friend class Document;
    explicit Element(void* node) : node_(node) {}
    void* node_;
};

class Document {
public:
    // Nothing when the text is not well-formed XML or has no root element.
    static std::optional<Document> parse(std::string_view text);

    Element root() const;
    // The XML text of one element of this document (no declaration, nothing around it).
    std::string xmlString(const Element& element) const;

    // How many times an external entity or DTD load was asked for and refused, process-wide.
    static std::size_t refusedLoadCount();

private:
    struct Free {
        void operator()(void* doc) const noexcept;
    };
    explicit Document(void* doc) : doc_(doc) {}
    std::unique_ptr<void, Free> doc_;
};

}  // namespace dv::xml
