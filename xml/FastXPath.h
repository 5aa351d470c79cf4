#pragma once

#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Evaluates the location paths that configurations use most, such as
// /FD:Flow/FD:Datas[@Table='T12']/FD:Field[@Name='F7'] or //FD:Datas[@Table='T12']/FD:Field,
// without walking the whole tree for every path: attribute-value lookups go through indexes
// built once per document. The result is the exact node-set of the full XPath evaluation.
// Expressions outside that subset are left to libxml2.
class FastXPath {
public:
    struct Name {
        std::string uri; // empty: no namespace
        std::string local;
        bool any = false; // "*"
    };
    struct Predicate {
        enum class Kind { AttributeEquals, Position } kind;
        Name attribute;
        std::string value;
        size_t position = 0;
    };
    struct Step {
        enum class Kind { Child, Self, Parent, Attribute, Text } kind = Kind::Child;
        bool descendant = false; // preceded by "//"
        Name name;
        std::vector<Predicate> predicates;
    };
    struct Path {
        bool absolute = false;
        std::vector<Step> steps;
    };

    // Parses path with the given prefix bindings; nothing when it is outside the subset.
    static std::optional<Path> Parse(const std::string& path,
                                     const std::vector<std::pair<std::string, std::string>>& ns);

    explicit FastXPath(xmlDocPtr doc) : doc_(doc) {}

    // Every selected node in document order.
    std::vector<xmlNodePtr> Evaluate(const Path& path, xmlNodePtr context);

    // Numbers the elements for cheap document-order comparisons, the first time two nodes
    // are compared: most paths select one node, and numbering a large tree takes a walk.
    void NumberElements();

    // Called after any change of elements or attribute values.
    void Invalidate() {
        global_.clear();
        perParent_.clear();
        scans_.clear();
    }

private:
    using ValueIndex = std::unordered_map<std::string, std::vector<xmlNodePtr>>;

    const ValueIndex& GlobalIndex(const Name& element, const Name& attribute);
    const ValueIndex& ParentIndex(xmlNodePtr parent, const Name& element, const Name& attribute);
    bool ScannedOften(xmlNodePtr parent);
    std::vector<xmlNodePtr> ChildStep(const std::vector<xmlNodePtr>& from, const Step& step);
    std::vector<xmlNodePtr> DescendantStep(const std::vector<xmlNodePtr>& from, const Step& step);

    xmlDocPtr doc_;
    bool numbered_ = false;
    std::unordered_map<std::string, ValueIndex> global_;
    std::unordered_map<std::string, ValueIndex> perParent_;
    std::unordered_map<xmlNodePtr, uint32_t> scans_; // of parents not indexed
};

// The node after node in a pre-order walk of the root element's tree that enters element
// children only; null at the end of the root element.
xmlNodePtr NextInTree(xmlNodePtr node);

// "a before b" in document order. Elements numbered by xmlXPathOrderDocElems are compared by
// their numbers, so a structural change must not leave a number out of order; the others by
// walking the tree.
bool DocumentOrderLess(xmlNodePtr a, xmlNodePtr b);

// Whether nodes are in document order (nodes of different trees have none). Each node is
// compared with the next, from the earlier one, which meets the later one soon among many
// siblings.
bool InDocumentOrder(const std::vector<xmlNodePtr>& nodes);

// Clears the order numbers of top and the elements below it, for a subtree that moves.
// Comparisons that meet an element without a number walk the tree instead.
void ForgetDocumentOrder(xmlNodePtr top);
