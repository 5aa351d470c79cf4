#pragma once

#include "xml/FastXPath.h"
#include "xml/SourcePositions.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// One libxml2 document with what belongs to it for its whole life: the nodes taken out of
// its tree (kept until the document goes, so no reference dangles), the selection
// namespaces, and the XPath context with its compiled expressions. The document's _private
// points back here, so any node leads to its holder.
struct XmlDocHolder : std::enable_shared_from_this<XmlDocHolder> {
    // A holder of a new, empty document; sets the library up on first use.
    static std::shared_ptr<XmlDocHolder> Create();
    // The library's set-up for every thread, once.
    static void SetUpLibrary();
    // Documents of holders that go from now on are not freed: the process is ending.
    static void LeaveDocumentsToTheSystem();

    explicit XmlDocHolder(xmlDocPtr document);
    ~XmlDocHolder();
    XmlDocHolder(const XmlDocHolder&) = delete;
    XmlDocHolder& operator=(const XmlDocHolder&) = delete;

    // Takes ownership of another document in place of the current one.
    void Replace(xmlDocPtr document);
    void SetNamespaces(std::vector<std::pair<std::string, std::string>> declarations);

    // Every node the path selects from context (a node of this document), in document order:
    // by the fast path where it applies, else by libxml2. Throws Failure for an expression
    // libxml2 rejects or one that does not give a node-set.
    std::vector<xmlNodePtr> Select(const std::string& path, xmlNodePtr context);
    // Compiled once per holder; throws Failure for an expression the engine rejects.
    xmlXPathCompExprPtr Compile(const std::string& path);
    xmlXPathContextPtr Context();
    // The path in the subset that FastXPath evaluates, or null. Valid until the next call on
    // this thread.
    const FastXPath::Path* FastPath(const std::string& path);
    FastXPath& Fast();
    // Drops what was derived from elements and attribute values; called on every such change.
    void Invalidate() {
        if (fast_)
            fast_->Invalidate();
    }

    static XmlDocHolder* Of(xmlNodePtr node) {
        return node && node->doc ? static_cast<XmlDocHolder*>(node->doc->_private) : nullptr;
    }

    // Anything but a value changed: a save can no longer splice the loaded file.
    void MarkStructureChanged() { source.reset(); }

    xmlDocPtr doc = nullptr;
    // The file the document was loaded from, while a save may still splice it.
    std::optional<LoadedSource> source;
    // The document type declaration as the loaded file wrote it (no operation changes it).
    std::string doctype;
    std::unordered_set<xmlNodePtr> discarded;
    std::vector<std::pair<std::string, std::string>> namespaces;
    std::string lastXPathError;

    // A document of which only the elements that some paths select, and those on their way,
    // were kept: how to read it whole, and what was done to it since.
    struct Part {
        std::string path;       // the file
        std::string namespaces; // the selection namespaces, as Load took them
        std::unordered_set<std::string> paths;
        std::vector<std::pair<std::string, std::string>> writes; // SetElementValue
    };
    std::optional<Part> part;

private:
    void DropXPath();

    xmlXPathContextPtr context_ = nullptr;
    std::unordered_map<std::string, xmlXPathCompExprPtr> compiled_;
    std::unique_ptr<FastXPath> fast_;
};

// The parser's kind of reason when an element of doc bears two attributes of one expanded
// name (two prefixes bound to one namespace), which namespaces forbid and libxml2 only
// warns of; empty when there is none.
std::string RepeatedAttributeFault(xmlDocPtr doc);
