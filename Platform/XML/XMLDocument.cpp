#include "Platform/XML/XMLDocument.hpp"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <atomic>
#include <climits>
#include <mutex>

namespace dv::xml {

namespace {

std::atomic<std::size_t> refusedLoads{0};

xmlParserInputPtr refuseEveryLoad(const char*, const char*, xmlParserCtxtPtr) {
    refusedLoads.fetch_add(1, std::memory_order_relaxed);
    return nullptr;
}

void setUpOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // Process-wide, so every libxml2 user in the process (the SVG renderer included)
        // is kept from reading files or the network through entities and DTDs.
        xmlSetExternalEntityLoader(refuseEveryLoad);
    });
}

xmlNodePtr node(void* p) { return static_cast<xmlNodePtr>(p); }

std::string str(const xmlChar* s) { return s ? std::string(reinterpret_cast<const char*>(s)) : std::string(); }

std::string qualified(const xmlNs* ns, const xmlChar* name) {
    std::string n = str(name);
    if (ns != nullptr && ns->prefix != nullptr) return str(ns->prefix) + ":" + n;
    return n;
}

// libxml2 keeps a name with an undeclared prefix whole ("x:href"); its local part is what
// follows the colon.
std::string localPart(const xmlChar* name) {
    std::string n = str(name);
    auto colon = n.rfind(':');
    return colon == std::string::npos ? n : n.substr(colon + 1);
}

}  // namespace

std::string Element::qualifiedName() const { return qualified(node(node_)->ns, node(node_)->name); }

std::string Element::localName() const { return localPart(node(node_)->name); }

std::optional<std::string> Element::namespaceURI() const {
    const xmlNs* ns = node(node_)->ns;
    if (ns == nullptr || ns->href == nullptr) return std::nullopt;
    return str(ns->href);
}

std::string Element::text() const {
    std::string out;
    for (xmlNodePtr c = node(node_)->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content) out += str(c->content);
    }
    return out;
}

std::vector<Element> Element::children() const {
    std::vector<Element> out;
    for (xmlNodePtr c = xmlFirstElementChild(node(node_)); c; c = xmlNextElementSibling(c)) out.push_back(Element(c));
    return out;
}

std::vector<Element> Element::descendants() const {
    std::vector<Element> out;
    // An explicit stack: nesting depth comes from the file.
    std::vector<xmlNodePtr> stack;
    for (xmlNodePtr c = xmlLastElementChild(node(node_)); c; c = xmlPreviousElementSibling(c)) stack.push_back(c);
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        out.push_back(Element(n));
        for (xmlNodePtr c = xmlLastElementChild(n); c; c = xmlPreviousElementSibling(c)) stack.push_back(c);
    }
    return out;
}

void Element::detach() {
    xmlUnlinkNode(node(node_));
    xmlFreeNode(node(node_));
    node_ = nullptr;
}

std::vector<Element::Attribute> Element::attributes() const {
    std::vector<Attribute> out;
    for (xmlAttrPtr a = node(node_)->properties; a; a = a->next) {
        xmlChar* v = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
        out.push_back(Attribute{qualified(a->ns, a->name), localPart(a->name), str(v), a});
        xmlFree(v);
    }
    return out;
}

void Element::removeAttribute(const Attribute& attribute) { xmlRemoveProp(static_cast<xmlAttrPtr>(attribute.handle)); }

std::optional<std::string> Element::attribute(const std::string& name) const {
    for (xmlAttrPtr a = node(node_)->properties; a; a = a->next) {
        if (qualified(a->ns, a->name) == name) {
            xmlChar* v = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
            std::string s = str(v);
            xmlFree(v);
            return s;
        }
    }
    return std::nullopt;
}

void Element::setAttribute(const std::string& name, const std::string& value) {
    // The value is taken as text (escaped when written out), never as markup.
    xmlSetProp(node(node_), reinterpret_cast<const xmlChar*>(name.c_str()), reinterpret_cast<const xmlChar*>(value.c_str()));
}

bool Element::declaresDefaultNamespace() const {
    for (xmlNsPtr ns = node(node_)->nsDef; ns; ns = ns->next) {
        if (ns->prefix == nullptr) return true;
    }
    return false;
}

void Element::declareDefaultNamespace(const std::string& uri) {
    xmlNewNs(node(node_), reinterpret_cast<const xmlChar*>(uri.c_str()), nullptr);
}

void Document::Free::operator()(void* doc) const noexcept { xmlFreeDoc(static_cast<xmlDocPtr>(doc)); }

std::optional<Document> Document::parse(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    setUpOnce();
    // NOENT expands internal entities (exported drawings declare their namespace that way);
    // external ones go to the refusing loader. Never DTDLOAD, HUGE or XInclude.
    const int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, options);
    if (doc == nullptr) return std::nullopt;
    Document d(doc);
    if (xmlDocGetRootElement(doc) == nullptr) return std::nullopt;
    return d;
}

Element Document::root() const { return Element(xmlDocGetRootElement(static_cast<xmlDocPtr>(doc_.get()))); }

std::string Document::xmlString(const Element& element) const {
    xmlBufferPtr buf = xmlBufferCreate();
    if (buf == nullptr) return {};
    std::string out;
    if (xmlNodeDump(buf, static_cast<xmlDocPtr>(doc_.get()), node(element.node_), 0, 0) >= 0) {
        out.assign(reinterpret_cast<const char*>(xmlBufferContent(buf)), static_cast<std::size_t>(xmlBufferLength(buf)));
    }
    xmlBufferFree(buf);
    return out;
}

std::size_t Document::refusedLoadCount() { return refusedLoads.load(std::memory_order_relaxed); }

}  // namespace dv::xml
