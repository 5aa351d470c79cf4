#pragma once

#include "xml/FastXPath.h"

#include <libxml/xmlstring.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Paths of plain child steps from the document node, such as
// /FD:RidoRudu/FD:Datas[@Table='T']/FD:Field[@Name='F'] (or the same without the leading
// slash) or .../FD:Field/@Name, as a parser meets their elements one after another: what a
// configuration mostly reads. Paths share their leading steps, one node per distinct step.
class PlainPaths {
public:
    // Nothing when a path is of another kind, or the bindings are malformed.
    static std::optional<PlainPaths> Compile(const std::vector<std::string>& paths,
                                             const std::string& namespaces);

    struct Node {
        FastXPath::Name name;
        std::vector<FastXPath::Predicate> predicates; // each an attribute's value
        std::vector<uint32_t> children;
        std::vector<uint32_t> ends; // the paths that select this element
        std::vector<std::pair<FastXPath::Name, uint32_t>> attributes; // paths ending in @name
    };

    size_t Count() const { return count_; }
    const Node& At(uint32_t node) const { return nodes_[node]; }

    // Follows the elements as the parser starts and ends them, with their names and
    // attributes as its SAX2 interface gives them (five pointers an attribute).
    class Matcher {
    public:
        explicit Matcher(const PlainPaths& paths) : paths_(paths) {}

        enum class Match {
            None,   // no step: neither the element nor anything inside it is selected
            Step,   // the nodes of Matched()
            Unsure, // an attribute it tests holds a reference, which only the tree resolves
        };
        Match Enter(const xmlChar* local, const xmlChar* uri, int nAttributes,
                    const xmlChar** attributes);
        void Leave();
        // The nodes the element that entered last matched.
        std::span<const uint32_t> Matched() const {
            return std::span(matched_).subspan(runs_.back());
        }

    private:
        bool Passes(const Node& node, int nAttributes, const xmlChar** attributes,
                    bool& unsure) const;

        const PlainPaths& paths_;
        // Each open element's matched nodes, one run each; below an element that matched
        // none, only the depth is counted.
        std::vector<uint32_t> matched_{0};
        std::vector<size_t> runs_{0};
        size_t unmatchedDepth_ = 0;
    };

private:
    // The steps below one node that test the same name. Those whose first predicate tests
    // the group's key attribute are found by its value, as configurations mostly address
    // fields: FD:Field[@Name='F'].
    struct Group {
        FastXPath::Name name;
        std::optional<FastXPath::Name> key;
        std::unordered_map<std::string, std::vector<uint32_t>> byKey;
        std::vector<uint32_t> others;
    };

    void GroupChildren();

    std::vector<Node> nodes_{1};
    std::vector<std::vector<Group>> groups_; // by node
    size_t count_ = 0;
};

// The value of an attribute as the parser gives it, when the tree would hold it as it is:
// nothing when it holds a reference.
std::optional<std::string_view> PlainAttributeValue(const xmlChar** attribute);

// Whether a name of the parser's is the step's: no URI is no namespace.
bool ParserNameIs(const FastXPath::Name& name, const xmlChar* local, const xmlChar* uri);
