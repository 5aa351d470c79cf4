#include "xml/XmlDocHolder.h"

#include "common/Failure.h"
#include "xml/NodePool.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <atomic>

namespace {

void CaptureXPathError(void* userData, xmlErrorPtr error) {
    auto* holder = static_cast<XmlDocHolder*>(userData);
    if (holder && error && error->message) {
        std::string message = error->message;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        holder->lastXPathError = message;
    }
}

// Nothing is ever fetched from outside the file being read: no external entity, no DTD.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

// Freeing a large document node by node takes longer than its loading's parse; at the end
// of the process the system takes the memory back at once.
std::atomic<bool> g_leaveToSystem{false};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_LEAK__)
constexpr bool kLeakChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
constexpr bool kLeakChecked = true;
#else
constexpr bool kLeakChecked = false;
#endif
#else
constexpr bool kLeakChecked = false;
#endif

void IgnoreLibraryError(void*, xmlErrorPtr) {}
void IgnoreGenericError(void*, const char*, ...) {}

} // namespace

void XmlDocHolder::SetUpLibrary() {
    static const bool done = [] {
        InstallNodePools();
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternalEntity);
        // Failures reach the caller through the class error, not through stderr; the defaults
        // cover threads that load documents later.
        xmlSetStructuredErrorFunc(nullptr, IgnoreLibraryError);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
        xmlThrDefSetStructuredErrorFunc(nullptr, IgnoreLibraryError);
        xmlThrDefSetGenericErrorFunc(nullptr, IgnoreGenericError);
        return true;
    }();
    (void)done;
}

std::shared_ptr<XmlDocHolder> XmlDocHolder::Create() {
    SetUpLibrary();
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    if (!doc)
        throw Failure(kErrXmlLibrary, "Out of memory");
    return std::make_shared<XmlDocHolder>(doc);
}

XmlDocHolder::XmlDocHolder(xmlDocPtr document) : doc(document) {
    doc->_private = this;
}

void XmlDocHolder::LeaveDocumentsToTheSystem() {
    if (!kLeakChecked)
        g_leaveToSystem = true;
}

XmlDocHolder::~XmlDocHolder() {
    if (g_leaveToSystem.load(std::memory_order_relaxed))
        return;
    DropXPath();
    for (xmlNodePtr node : discarded) {
        // A discarded node that found a new parent belongs to that tree now.
        if (node->parent == nullptr)
            xmlFreeNode(node);
    }
    xmlFreeDoc(doc);
}

void XmlDocHolder::Replace(xmlDocPtr document) {
    DropXPath();
    for (xmlNodePtr node : discarded) {
        if (node->parent == nullptr)
            xmlFreeNode(node);
    }
    discarded.clear();
    source.reset();
    doctype.clear();
    xmlFreeDoc(doc);
    doc = document;
    doc->_private = this;
}

void XmlDocHolder::SetNamespaces(std::vector<std::pair<std::string, std::string>> declarations) {
    DropXPath();
    namespaces = std::move(declarations);
}

void XmlDocHolder::DropXPath() {
    fast_.reset();
    for (auto& entry : compiled_)
        xmlXPathFreeCompExpr(entry.second);
    compiled_.clear();
    if (context_)
        xmlXPathFreeContext(context_);
    context_ = nullptr;
}

xmlXPathContextPtr XmlDocHolder::Context() {
    if (!context_) {
        context_ = xmlXPathNewContext(doc);
        if (!context_)
            throw Failure(kErrXmlLibrary, "Out of memory");
        context_->error = CaptureXPathError;
        context_->userData = this;
        for (const auto& [prefix, uri] : namespaces)
            xmlXPathRegisterNs(context_, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
    }
    return context_;
}

xmlXPathCompExprPtr XmlDocHolder::Compile(const std::string& path) {
    // libxml2 reads an expression up to a NUL byte, and would drop the rest unseen.
    if (path.find('\0') != std::string::npos)
        throw Failure(kErrXmlLibrary, "Invalid expression");
    if (auto found = compiled_.find(path); found != compiled_.end())
        return found->second;
    lastXPathError.clear();
    xmlXPathCompExprPtr expression = xmlXPathCtxtCompile(Context(), BAD_CAST path.c_str());
    if (!expression)
        throw Failure(kErrXmlLibrary,
                      lastXPathError.empty() ? "Invalid expression" : lastXPathError);
    compiled_.emplace(path, expression);
    return expression;
}

std::vector<xmlNodePtr> XmlDocHolder::Select(const std::string& path, xmlNodePtr context) {
    if (const FastXPath::Path* fast = FastPath(path))
        return Fast().Evaluate(*fast, context);
    xmlXPathCompExprPtr expression = Compile(path);
    xmlXPathContextPtr ctxt = Context();
    // The library sorts and merges node-sets as it goes.
    Fast().NumberElements();
    ctxt->node = context;
    lastXPathError.clear();
    xmlXPathObjectPtr result = xmlXPathCompiledEval(expression, ctxt);
    if (!result)
        throw Failure(kErrXmlLibrary,
                      lastXPathError.empty() ? "Invalid expression" : lastXPathError);
    std::vector<xmlNodePtr> nodes;
    if (result->type != XPATH_NODESET) {
        xmlXPathFreeObject(result);
        throw Failure(kErrXmlLibrary, "Expression does not return a node-set.");
    }
    if (xmlNodeSetPtr set = result->nodesetval; set && set->nodeNr > 0) {
        xmlXPathNodeSetSort(set);
        nodes.reserve(static_cast<size_t>(set->nodeNr));
        for (int i = 0; i < set->nodeNr; ++i) {
            // Namespace nodes are copies owned by the result; they cannot outlive it.
            if (set->nodeTab[i]->type != XML_NAMESPACE_DECL)
                nodes.push_back(set->nodeTab[i]);
        }
    }
    xmlXPathFreeObject(result);
    // libxml2's sort puts a comment or text that follows an element before that element's
    // descendants; its plain comparison does not, and checking the order costs little.
    if (!InDocumentOrder(nodes))
        std::stable_sort(nodes.begin(), nodes.end(), DocumentOrderLess);
    return nodes;
}

const FastXPath::Path* XmlDocHolder::FastPath(const std::string& path) {
    // A table reads the same few paths in every file it opens: each thread keeps the paths it
    // parsed last, with the bindings they were parsed under. Not all of a large configuration,
    // which would cost megabytes; parsing is cheap next to evaluating anyway.
    struct Parsed {
        std::vector<std::pair<std::string, std::string>> namespaces;
        std::optional<FastXPath::Path> path;
    };
    constexpr size_t kKept = 256;
    thread_local std::unordered_map<std::string, Parsed> parsed;
    auto found = parsed.find(path);
    if (found == parsed.end() || found->second.namespaces != namespaces) {
        if (found == parsed.end() && parsed.size() >= kKept)
            parsed.clear();
        Parsed& entry = parsed[path];
        entry.namespaces = namespaces;
        entry.path = FastXPath::Parse(path, namespaces);
        found = parsed.find(path);
    }
    return found->second.path ? &*found->second.path : nullptr;
}

FastXPath& XmlDocHolder::Fast() {
    if (!fast_)
        fast_ = std::make_unique<FastXPath>(doc);
    return *fast_;
}

std::string RepeatedAttributeFault(xmlDocPtr doc) {
    for (xmlNodePtr node = xmlDocGetRootElement(doc); node; node = NextInTree(node)) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        // Attributes without a namespace cannot repeat: the parser refuses a repeated name.
        for (xmlAttrPtr a = node->properties; a; a = a->next) {
            if (!a->ns)
                continue;
            for (xmlAttrPtr b = a->next; b; b = b->next) {
                if (b->ns && xmlStrEqual(a->name, b->name) && xmlStrEqual(a->ns->href, b->ns->href))
                    return std::string("Namespaced Attribute ") +
                           reinterpret_cast<const char*>(a->name) + " in '" +
                           reinterpret_cast<const char*>(a->ns->href) + "' redefined";
            }
        }
    }
    return {};
}
