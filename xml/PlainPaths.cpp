#include "xml/PlainPaths.h"

#include "common/Strings.h"
#include "xml/XmlText.h"

#include <algorithm>
#include <cstring>

namespace {

bool SameName(const FastXPath::Name& a, const FastXPath::Name& b) {
    return a.any == b.any && a.uri == b.uri && a.local == b.local;
}

bool SameStep(const PlainPaths::Node& node, const FastXPath::Step& step) {
    if (!SameName(node.name, step.name) || node.predicates.size() != step.predicates.size())
        return false;
    for (size_t i = 0; i < step.predicates.size(); ++i)
        if (!SameName(node.predicates[i].attribute, step.predicates[i].attribute) ||
            node.predicates[i].value != step.predicates[i].value)
            return false;
    return true;
}

} // namespace

bool ParserNameIs(const FastXPath::Name& name, const xmlChar* local, const xmlChar* uri) {
    if (name.any)
        return true;
    if (std::strcmp(reinterpret_cast<const char*>(local), name.local.c_str()) != 0)
        return false;
    return name.uri.empty()
               ? uri == nullptr
               : uri && std::strcmp(reinterpret_cast<const char*>(uri), name.uri.c_str()) == 0;
}

std::optional<std::string_view> PlainAttributeValue(const xmlChar** attribute) {
    const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                 static_cast<size_t>(attribute[4] - attribute[3]));
    // The parser hands an ampersand on as a reference for the tree to resolve.
    if (value.find('&') != std::string_view::npos)
        return std::nullopt;
    return value;
}

std::optional<PlainPaths> PlainPaths::Compile(const std::vector<std::string>& paths,
                                              const std::string& namespaces) {
    std::vector<std::pair<std::string, std::string>> bindings;
    if (!IsBlank(namespaces) && !ParseNamespaceDeclarations(namespaces, bindings))
        return std::nullopt;
    PlainPaths compiled;
    compiled.count_ = paths.size();
    for (uint32_t index = 0; index < paths.size(); ++index) {
        const std::optional<FastXPath::Path> path = FastXPath::Parse(paths[index], bindings);
        // Paths are read from the document node, where FD:A and /FD:A are one.
        if (!path || path->steps.empty())
            return std::nullopt;
        uint32_t node = 0;
        for (size_t i = 0; i < path->steps.size(); ++i) {
            const FastXPath::Step& step = path->steps[i];
            if (step.descendant)
                return std::nullopt;
            const bool last = i + 1 == path->steps.size();
            if (step.kind == FastXPath::Step::Kind::Attribute && last && i > 0 &&
                step.predicates.empty()) {
                compiled.nodes_[node].attributes.emplace_back(step.name, index);
                break;
            }
            if (step.kind != FastXPath::Step::Kind::Child)
                return std::nullopt;
            // Positions count among siblings, which one pass could do, but rarely pays.
            for (const FastXPath::Predicate& predicate : step.predicates)
                if (predicate.kind != FastXPath::Predicate::Kind::AttributeEquals)
                    return std::nullopt;
            const auto& children = compiled.nodes_[node].children;
            const auto same = std::find_if(children.begin(), children.end(), [&](uint32_t c) {
                return SameStep(compiled.nodes_[c], step);
            });
            uint32_t next = same != children.end() ? *same : 0;
            if (next == 0) {
                next = static_cast<uint32_t>(compiled.nodes_.size());
                compiled.nodes_.push_back({step.name, step.predicates, {}, {}, {}});
                compiled.nodes_[node].children.push_back(next);
            }
            node = next;
            if (last)
                compiled.nodes_[node].ends.push_back(index);
        }
    }
    compiled.GroupChildren();
    return compiled;
}

void PlainPaths::GroupChildren() {
    groups_.resize(nodes_.size());
    for (size_t n = 0; n < nodes_.size(); ++n) {
        std::vector<Group>& groups = groups_[n];
        for (uint32_t child : nodes_[n].children) {
            const Node& step = nodes_[child];
            auto group = std::find_if(groups.begin(), groups.end(),
                                      [&](const Group& g) { return SameName(g.name, step.name); });
            if (group == groups.end()) {
                groups.push_back({step.name, std::nullopt, {}, {}});
                group = std::prev(groups.end());
                if (!step.predicates.empty())
                    group->key = step.predicates.front().attribute;
            }
            if (group->key && !step.predicates.empty() &&
                SameName(*group->key, step.predicates.front().attribute))
                group->byKey[step.predicates.front().value].push_back(child);
            else
                group->others.push_back(child);
        }
    }
}

bool PlainPaths::Matcher::Passes(const Node& node, int nAttributes, const xmlChar** attributes,
                                 bool& unsure) const {
    for (const FastXPath::Predicate& predicate : node.predicates) {
        bool passes = false;
        for (int i = 0; i < nAttributes; ++i) {
            const xmlChar** a = attributes + 5 * i;
            if (!ParserNameIs(predicate.attribute, a[0], a[2]))
                continue;
            const std::optional<std::string_view> value = PlainAttributeValue(a);
            unsure = unsure || !value;
            passes = passes || value == predicate.value;
        }
        if (!passes)
            return false;
    }
    return true;
}

PlainPaths::Matcher::Match PlainPaths::Matcher::Enter(const xmlChar* local, const xmlChar* uri,
                                                      int nAttributes, const xmlChar** attributes) {
    if (unmatchedDepth_ > 0 || runs_.back() == matched_.size()) {
        ++unmatchedDepth_;
        return Match::None;
    }
    const size_t from = runs_.back();
    const size_t to = matched_.size();
    runs_.push_back(to);
    bool unsure = false;
    for (size_t i = from; i < to; ++i) {
        for (const Group& group : paths_.groups_[matched_[i]]) {
            if (!ParserNameIs(group.name, local, uri))
                continue;
            const auto take = [&](const std::vector<uint32_t>& children) {
                for (uint32_t child : children)
                    if (Passes(paths_.nodes_[child], nAttributes, attributes, unsure))
                        matched_.push_back(child);
            };
            take(group.others);
            if (!group.key)
                continue;
            for (int k = 0; k < nAttributes; ++k) {
                const xmlChar** a = attributes + 5 * k;
                if (!ParserNameIs(*group.key, a[0], a[2]))
                    continue;
                const std::optional<std::string_view> value = PlainAttributeValue(a);
                if (!value) {
                    unsure = true;
                    continue;
                }
                const auto found = group.byKey.find(std::string(*value));
                if (found != group.byKey.end())
                    take(found->second);
            }
        }
    }
    if (unsure)
        return Match::Unsure;
    return matched_.size() > to ? Match::Step : Match::None;
}

void PlainPaths::Matcher::Leave() {
    if (unmatchedDepth_ > 0) {
        --unmatchedDepth_;
        return;
    }
    matched_.resize(runs_.back());
    runs_.pop_back();
}
