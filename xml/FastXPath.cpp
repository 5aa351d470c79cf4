#include "xml/FastXPath.h"

#include "xml/XmlText.h"

#include <libxml/xpath.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <unordered_set>

namespace {

// Below this many children a plain scan costs little, and an index of every such parent
// would take much memory in a large file.
constexpr size_t kIndexThreshold = 256;
// A parent scanned more often than this, with more children than the second, is indexed too.
constexpr uint32_t kScansBeforeIndex = 4;
constexpr size_t kSmallParent = 8;

// Names are taken in ASCII only. Beyond it libxml2 applies the older XML name rules, under
// which some characters that documents may use in names (such as the euro sign) make an
// invalid expression; such paths are left to libxml2 whole.
bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

class Parser {
public:
    Parser(const std::string& text, const std::vector<std::pair<std::string, std::string>>& ns)
        : s_(text), ns_(ns) {}

    std::optional<FastXPath::Path> Run() {
        FastXPath::Path path;
        bool descendant = false;
        if (Eat("//")) {
            path.absolute = true;
            descendant = true;
        } else if (Eat("/")) {
            path.absolute = true;
        }
        while (true) {
            FastXPath::Step step;
            step.descendant = descendant;
            if (!ParseStep(step))
                return std::nullopt;
            path.steps.push_back(std::move(step));
            if (pos_ == s_.size())
                break;
            if (Eat("//"))
                descendant = true;
            else if (Eat("/"))
                descendant = false;
            else
                return std::nullopt;
        }
        // Attribute and text steps can only end a path.
        for (size_t i = 0; i + 1 < path.steps.size(); ++i) {
            const auto kind = path.steps[i].kind;
            if (kind == FastXPath::Step::Kind::Attribute || kind == FastXPath::Step::Kind::Text)
                return std::nullopt;
        }
        return path;
    }

private:
    bool Eat(const char* token) {
        const size_t n = std::strlen(token);
        if (s_.compare(pos_, n, token) != 0)
            return false;
        pos_ += n;
        return true;
    }

    void SkipBlanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t'))
            ++pos_;
    }

    bool ParseNcName(std::string& out) {
        if (pos_ >= s_.size() || !IsNameStart(s_[pos_]))
            return false;
        const size_t start = pos_;
        while (pos_ < s_.size() && IsNameChar(s_[pos_]))
            ++pos_;
        out = s_.substr(start, pos_ - start);
        return true;
    }

    // A QName resolved against the bindings; an unbound prefix is left to libxml2's error.
    bool ParseName(FastXPath::Name& name, bool allowAny) {
        if (allowAny && Eat("*")) {
            name.any = true;
            return true;
        }
        std::string first;
        if (!ParseNcName(first))
            return false;
        if (pos_ < s_.size() && s_[pos_] == ':' && s_.compare(pos_, 2, "::") != 0) {
            ++pos_;
            std::string local;
            if (!ParseNcName(local))
                return false;
            const auto binding = std::find_if(ns_.begin(), ns_.end(),
                                              [&](const auto& b) { return b.first == first; });
            // libxml2 would take such a URI only up to the NUL.
            if (binding == ns_.end() || binding->second.find('\0') != std::string::npos)
                return false;
            name.uri = binding->second;
            name.local = local;
            return true;
        }
        name.local = first;
        return true;
    }

    bool ParseStep(FastXPath::Step& step) {
        using Kind = FastXPath::Step::Kind;
        if (Eat("..")) {
            step.kind = Kind::Parent;
            return !step.descendant;
        }
        if (Eat(".")) {
            step.kind = Kind::Self;
            return !step.descendant;
        }
        if (Eat("@")) {
            step.kind = Kind::Attribute;
            return !step.descendant && ParseName(step.name, false);
        }
        if (Eat("text()")) {
            step.kind = Kind::Text;
            return !step.descendant;
        }
        step.kind = Kind::Child;
        if (!ParseName(step.name, true))
            return false;
        // A name followed by "(" or "::" is a function or an axis.
        if (pos_ < s_.size() && (s_[pos_] == '(' || s_[pos_] == ':'))
            return false;
        while (Eat("[")) {
            FastXPath::Predicate predicate;
            SkipBlanks();
            if (Eat("@")) {
                predicate.kind = FastXPath::Predicate::Kind::AttributeEquals;
                if (!ParseName(predicate.attribute, false))
                    return false;
                SkipBlanks();
                if (!Eat("="))
                    return false;
                SkipBlanks();
                if (pos_ >= s_.size() || (s_[pos_] != '\'' && s_[pos_] != '"'))
                    return false;
                const char quote = s_[pos_++];
                const size_t end = s_.find(quote, pos_);
                if (end == std::string::npos)
                    return false;
                predicate.value = s_.substr(pos_, end - pos_);
                // libxml2 refuses some characters in a literal, and versions differ in which.
                if (!IsXmlText(predicate.value))
                    return false;
                pos_ = end + 1;
            } else {
                // Positions count among a parent's children, which "//" would blur.
                if (step.descendant)
                    return false;
                const size_t start = pos_;
                while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_])))
                    ++pos_;
                if (pos_ == start || pos_ - start > 9)
                    return false;
                predicate.kind = FastXPath::Predicate::Kind::Position;
                predicate.position = std::stoul(s_.substr(start, pos_ - start));
                if (predicate.position == 0)
                    return false;
            }
            SkipBlanks();
            if (!Eat("]"))
                return false;
            step.predicates.push_back(std::move(predicate));
        }
        return true;
    }

    const std::string& s_;
    const std::vector<std::pair<std::string, std::string>>& ns_;
    size_t pos_ = 0;
};

bool HasMoreChildrenThan(xmlNodePtr parent, size_t count) {
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (count-- == 0)
            return true;
    }
    return false;
}

bool NameMatches(xmlNodePtr node, const FastXPath::Name& name) {
    if (name.any)
        return true;
    if (std::strcmp(reinterpret_cast<const char*>(node->name), name.local.c_str()) != 0)
        return false;
    if (name.uri.empty())
        return node->ns == nullptr;
    // One pass over the URI: Parse takes none that holds a NUL.
    return node->ns && node->ns->href &&
           std::strcmp(reinterpret_cast<const char*>(node->ns->href), name.uri.c_str()) == 0;
}

bool ElementMatches(xmlNodePtr node, const FastXPath::Name& name) {
    return node->type == XML_ELEMENT_NODE && NameMatches(node, name);
}

// Calls f with each attribute of the element that the name selects. There is at most one in
// a namespace-well-formed document, but nothing here relies on that.
template <class F> void ForEachAttribute(xmlNodePtr element, const FastXPath::Name& name, F f) {
    for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
        if (NameMatches(reinterpret_cast<xmlNodePtr>(attr), name))
            f(attr);
    }
}

// The attribute's string value; the usual single text child is read without copying twice.
std::string AttributeValue(xmlAttrPtr attr) {
    if (attr->children && !attr->children->next && attr->children->type == XML_TEXT_NODE)
        return attr->children->content ? reinterpret_cast<const char*>(attr->children->content)
                                       : "";
    xmlChar* content = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr));
    std::string value = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return value;
}

std::string Key(const void* parent, const FastXPath::Name& element,
                const FastXPath::Name& attribute) {
    return std::to_string(reinterpret_cast<uintptr_t>(parent)) + '\x1f' + element.uri + '\x1f' +
           (element.any ? "*" : element.local) + '\x1f' + attribute.uri + '\x1f' + attribute.local;
}

// Whether the attribute's string value is value; the usual single text child is compared
// in place.
bool AttributeValueIs(xmlAttrPtr attr, const std::string& value) {
    if (attr->children && !attr->children->next && attr->children->type == XML_TEXT_NODE) {
        const char* content = reinterpret_cast<const char*>(attr->children->content);
        return content ? value.size() == std::strlen(content) && value.compare(content) == 0
                       : value.empty();
    }
    return AttributeValue(attr) == value;
}

bool PassesAttributePredicate(xmlNodePtr node, const FastXPath::Predicate& predicate) {
    bool passes = false;
    ForEachAttribute(node, predicate.attribute, [&](xmlAttrPtr attr) {
        passes = passes || AttributeValueIs(attr, predicate.value);
    });
    return passes;
}

// Files node under the values of its attributes that the name selects, once per value.
void AddToIndex(std::unordered_map<std::string, std::vector<xmlNodePtr>>& index, xmlNodePtr node,
                const FastXPath::Name& attribute) {
    ForEachAttribute(node, attribute, [&](xmlAttrPtr attr) {
        auto& nodes = index[AttributeValue(attr)];
        if (nodes.empty() || nodes.back() != node)
            nodes.push_back(node);
    });
}

// Calls f with every node below top, in document order.
template <class F> void ForEachBelow(xmlNodePtr top, F f) {
    if (top->type != XML_ELEMENT_NODE && top->type != XML_DOCUMENT_NODE)
        return;
    for (xmlNodePtr node = top->children; node;) {
        f(node);
        if (node->type == XML_ELEMENT_NODE && node->children) {
            node = node->children;
            continue;
        }
        while (node != top && !node->next)
            node = node->parent;
        node = node == top ? nullptr : node->next;
    }
}

bool InDocumentTree(xmlNodePtr node) {
    while (node->parent)
        node = node->parent;
    return node->type == XML_DOCUMENT_NODE;
}

// The parent axis as libxml2 takes it: a node taken out of the tree still belongs to its
// document, and the document node stands above it.
xmlNodePtr ParentOf(xmlNodePtr node) {
    switch (node->type) {
    case XML_DOCUMENT_NODE:
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DOCUMENT_FRAG_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return nullptr;
    case XML_ATTRIBUTE_NODE:
        return node->parent;
    default:
        return node->parent ? node->parent : reinterpret_cast<xmlNodePtr>(node->doc);
    }
}

// Applies the predicates from index first on, in order, to one parent's candidates.
std::vector<xmlNodePtr> ApplyPredicates(std::vector<xmlNodePtr> nodes,
                                        const std::vector<FastXPath::Predicate>& predicates,
                                        size_t first) {
    for (size_t i = first; i < predicates.size() && !nodes.empty(); ++i) {
        const auto& predicate = predicates[i];
        if (predicate.kind == FastXPath::Predicate::Kind::Position) {
            if (predicate.position > nodes.size())
                nodes.clear();
            else
                nodes = {nodes[predicate.position - 1]};
        } else {
            std::erase_if(nodes,
                          [&](xmlNodePtr n) { return !PassesAttributePredicate(n, predicate); });
        }
    }
    return nodes;
}

void SortAndDedupe(std::vector<xmlNodePtr>& nodes) {
    if (nodes.size() < 2)
        return;
    std::unordered_set<xmlNodePtr> seen;
    std::erase_if(nodes, [&](xmlNodePtr n) { return !seen.insert(n).second; });
    if (!InDocumentOrder(nodes))
        std::stable_sort(nodes.begin(), nodes.end(), DocumentOrderLess);
}

} // namespace

xmlNodePtr NextInTree(xmlNodePtr node) {
    if (node->type == XML_ELEMENT_NODE && node->children)
        return node->children;
    for (; node->parent && node->parent->type == XML_ELEMENT_NODE; node = node->parent) {
        if (node->next)
            return node->next;
    }
    return nullptr;
}

bool DocumentOrderLess(xmlNodePtr a, xmlNodePtr b) {
    return a != b && xmlXPathCmpNodes(a, b) == 1;
}

bool InDocumentOrder(const std::vector<xmlNodePtr>& nodes) {
    for (size_t i = 1; i < nodes.size(); ++i) {
        if (xmlXPathCmpNodes(nodes[i - 1], nodes[i]) == -1)
            return false;
    }
    return true;
}

void ForgetDocumentOrder(xmlNodePtr top) {
    const auto forget = [](xmlNodePtr node) {
        if (node->type == XML_ELEMENT_NODE && reinterpret_cast<ptrdiff_t>(node->content) < 0)
            node->content = nullptr;
    };
    forget(top);
    ForEachBelow(top, forget);
}

std::optional<FastXPath::Path>
FastXPath::Parse(const std::string& path,
                 const std::vector<std::pair<std::string, std::string>>& ns) {
    if (path.empty())
        return std::nullopt;
    return Parser(path, ns).Run();
}

const FastXPath::ValueIndex& FastXPath::GlobalIndex(const Name& element, const Name& attribute) {
    const std::string key = Key(nullptr, element, attribute);
    if (auto found = global_.find(key); found != global_.end())
        return found->second;
    ValueIndex& index = global_[key];
    // One pre-order walk, so each list is in document order.
    xmlNodePtr node = xmlDocGetRootElement(doc_);
    while (node) {
        if (ElementMatches(node, element))
            AddToIndex(index, node, attribute);
        node = NextInTree(node);
    }
    return index;
}

const FastXPath::ValueIndex& FastXPath::ParentIndex(xmlNodePtr parent, const Name& element,
                                                    const Name& attribute) {
    const std::string key = Key(parent, element, attribute);
    if (auto found = perParent_.find(key); found != perParent_.end())
        return found->second;
    ValueIndex& index = perParent_[key];
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (ElementMatches(child, element))
            AddToIndex(index, child, attribute);
    }
    return index;
}

bool FastXPath::ScannedOften(xmlNodePtr parent) {
    // Many paths through one parent, as a configuration has through the root of every file:
    // an index of its children costs less than a scan for each path.
    return ++scans_[parent] > kScansBeforeIndex && HasMoreChildrenThan(parent, kSmallParent);
}

std::vector<xmlNodePtr> FastXPath::ChildStep(const std::vector<xmlNodePtr>& from,
                                             const Step& step) {
    std::vector<xmlNodePtr> result;
    const bool firstIsAttribute = !step.predicates.empty() &&
                                  step.predicates.front().kind == Predicate::Kind::AttributeEquals;
    for (xmlNodePtr parent : from) {
        if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE)
            continue;
        std::vector<xmlNodePtr> candidates;
        size_t firstPredicate = 0;
        if (firstIsAttribute &&
            (HasMoreChildrenThan(parent, kIndexThreshold) || ScannedOften(parent))) {
            const auto& predicate = step.predicates.front();
            const auto& index = ParentIndex(parent, step.name, predicate.attribute);
            if (auto found = index.find(predicate.value); found != index.end())
                candidates = found->second;
            firstPredicate = 1;
        } else if (firstIsAttribute) {
            // The attribute test does not depend on position: it can sift while scanning.
            const auto& predicate = step.predicates.front();
            for (xmlNodePtr child = parent->children; child; child = child->next) {
                if (ElementMatches(child, step.name) && PassesAttributePredicate(child, predicate))
                    candidates.push_back(child);
            }
            firstPredicate = 1;
        } else {
            for (xmlNodePtr child = parent->children; child; child = child->next) {
                if (ElementMatches(child, step.name))
                    candidates.push_back(child);
            }
        }
        for (xmlNodePtr node :
             ApplyPredicates(std::move(candidates), step.predicates, firstPredicate))
            result.push_back(node);
    }
    return result;
}

std::vector<xmlNodePtr> FastXPath::DescendantStep(const std::vector<xmlNodePtr>& from,
                                                  const Step& step) {
    // Only attribute predicates come here: the same for every candidate, whatever its parent.
    std::vector<xmlNodePtr> candidates;
    if (!std::all_of(from.begin(), from.end(), InDocumentTree)) {
        // Below a node taken out of the tree lies what no walk of the document meets.
        for (xmlNodePtr start : from) {
            ForEachBelow(start, [&](xmlNodePtr node) {
                if (ElementMatches(node, step.name))
                    candidates.push_back(node);
            });
        }
        return ApplyPredicates(std::move(candidates), step.predicates, 0);
    }
    size_t firstPredicate = 0;
    if (!step.predicates.empty()) {
        const auto& predicate = step.predicates.front();
        const auto& index = GlobalIndex(step.name, predicate.attribute);
        if (auto found = index.find(predicate.value); found != index.end())
            candidates = found->second;
        firstPredicate = 1;
    } else {
        xmlNodePtr node = xmlDocGetRootElement(doc_);
        while (node) {
            if (ElementMatches(node, step.name))
                candidates.push_back(node);
            node = NextInTree(node);
        }
    }
    candidates = ApplyPredicates(std::move(candidates), step.predicates, firstPredicate);

    // descendant-or-self::node()/child::X: X must lie strictly below one of the start nodes,
    // or be the root element when a start node is the document.
    std::unordered_set<xmlNodePtr> starts(from.begin(), from.end());
    std::vector<xmlNodePtr> result;
    for (xmlNodePtr candidate : candidates) {
        for (xmlNodePtr up = candidate->parent; up; up = up->parent) {
            if (starts.count(up)) {
                result.push_back(candidate);
                break;
            }
        }
    }
    return result;
}

void FastXPath::NumberElements() {
    if (!numbered_ && doc_)
        xmlXPathOrderDocElems(doc_);
    numbered_ = true;
}

std::vector<xmlNodePtr> FastXPath::Evaluate(const Path& path, xmlNodePtr context) {
    std::vector<xmlNodePtr> nodes{path.absolute ? reinterpret_cast<xmlNodePtr>(context->doc)
                                                : context};
    for (const Step& step : path.steps) {
        std::vector<xmlNodePtr> next;
        switch (step.kind) {
        case Step::Kind::Self:
            next = nodes;
            break;
        case Step::Kind::Parent:
            for (xmlNodePtr node : nodes) {
                if (xmlNodePtr parent = ParentOf(node))
                    next.push_back(parent);
            }
            break;
        case Step::Kind::Attribute:
            for (xmlNodePtr node : nodes) {
                if (node->type == XML_ELEMENT_NODE)
                    ForEachAttribute(node, step.name, [&](xmlAttrPtr attr) {
                        next.push_back(reinterpret_cast<xmlNodePtr>(attr));
                    });
            }
            break;
        case Step::Kind::Text:
            for (xmlNodePtr node : nodes) {
                if (node->type != XML_ELEMENT_NODE)
                    continue;
                for (xmlNodePtr child = node->children; child; child = child->next) {
                    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
                        next.push_back(child);
                }
            }
            break;
        case Step::Kind::Child:
            next = step.descendant ? DescendantStep(nodes, step) : ChildStep(nodes, step);
            break;
        }
        if (next.size() > 1)
            NumberElements();
        SortAndDedupe(next);
        nodes = std::move(next);
        if (nodes.empty())
            break;
    }
    return nodes;
}
