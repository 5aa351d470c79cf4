#include "xml/StreamedValues.h"

#include "common/Strings.h"
#include "xml/FileReader.h"
#include "xml/XmlText.h"

#include <QFileInfo>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

bool SameName(const FastXPath::Name& a, const FastXPath::Name& b) {
    return a.any == b.any && a.uri == b.uri && a.local == b.local;
}

bool SameStep(const FastXPath::Name& name, const std::vector<FastXPath::Predicate>& predicates,
              const FastXPath::Name& otherName,
              const std::vector<FastXPath::Predicate>& otherPredicates) {
    if (!SameName(name, otherName) || predicates.size() != otherPredicates.size())
        return false;
    for (size_t i = 0; i < predicates.size(); ++i)
        if (!SameName(predicates[i].attribute, otherPredicates[i].attribute) ||
            predicates[i].value != otherPredicates[i].value)
            return false;
    return true;
}

// The parser's names against a step's: no URI is no namespace.
bool NameIs(const FastXPath::Name& name, const xmlChar* local, const xmlChar* uri) {
    if (name.any)
        return true;
    if (std::strcmp(reinterpret_cast<const char*>(local), name.local.c_str()) != 0)
        return false;
    return name.uri.empty()
               ? uri == nullptr
               : uri && std::strcmp(reinterpret_cast<const char*>(uri), name.uri.c_str()) == 0;
}

} // namespace

std::optional<StreamedValues> StreamedValues::Compile(const std::vector<std::string>& paths,
                                                      const std::string& namespaces) {
    std::vector<std::pair<std::string, std::string>> bindings;
    if (!IsBlank(namespaces) && !ParseNamespaceDeclarations(namespaces, bindings))
        return std::nullopt;
    StreamedValues compiled;
    compiled.paths_ = paths.size();
    for (uint32_t index = 0; index < paths.size(); ++index) {
        const std::optional<FastXPath::Path> path = FastXPath::Parse(paths[index], bindings);
        if (!path || !path->absolute || path->steps.empty())
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
            uint32_t next = 0;
            for (uint32_t child : compiled.nodes_[node].children)
                if (SameStep(compiled.nodes_[child].name, compiled.nodes_[child].predicates,
                             step.name, step.predicates))
                    next = child;
            if (next == 0) {
                next = static_cast<uint32_t>(compiled.nodes_.size());
                compiled.nodes_.push_back({step.name, step.predicates, {}, {}, {}, {}});
                compiled.nodes_[node].children.push_back(next);
            }
            node = next;
            if (last)
                compiled.nodes_[node].ends.push_back(index);
        }
    }
    for (Node& node : compiled.nodes_)
        compiled.GroupChildren(node);
    return compiled;
}

void StreamedValues::GroupChildren(Node& node) const {
    for (uint32_t child : node.children) {
        const Node& step = nodes_[child];
        auto group = std::find_if(node.groups.begin(), node.groups.end(),
                                  [&](const Group& g) { return SameName(g.name, step.name); });
        if (group == node.groups.end()) {
            node.groups.push_back({step.name, std::nullopt, {}, {}});
            group = std::prev(node.groups.end());
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

// The state of one pass. Each open element has the nodes it matched on a stack; below an
// element that matched none, nothing can match, so only the depth is counted there.
struct StreamedValues::Parse {
    explicit Parse(const StreamedValues& compiled) : paths(compiled) {}

    const StreamedValues& paths;
    xmlParserCtxtPtr parser = nullptr;
    std::vector<std::optional<std::string>> values;
    std::vector<uint32_t> matched{0}; // the nodes of the open elements, one run each
    std::vector<size_t> runs{0};      // where each open element's run starts
    size_t unmatchedDepth = 0;
    // The element whose text is being gathered, and the paths that wait for it.
    bool gathering = false;
    std::string text;
    std::vector<uint32_t> waiting;
    bool needsTree = false;

    void GiveUp() {
        needsTree = true;
        xmlStopParser(parser);
    }

    bool Passes(const Node& node, int nAttributes, const xmlChar** attributes) {
        for (const FastXPath::Predicate& predicate : node.predicates) {
            bool passes = false;
            for (int i = 0; i < nAttributes; ++i) {
                const xmlChar** a = attributes + 5 * i;
                if (!NameIs(predicate.attribute, a[0], a[2]))
                    continue;
                const std::string_view value(reinterpret_cast<const char*>(a[3]),
                                             static_cast<size_t>(a[4] - a[3]));
                if (value.find('&') != std::string_view::npos) {
                    GiveUp();
                    return false;
                }
                passes = passes || value == predicate.value;
            }
            if (!passes)
                return false;
        }
        return true;
    }

    // The parser hands an ampersand in an attribute on as a reference for the tree to
    // resolve: such a value is not compared here.
    void Start(const xmlChar* local, const xmlChar* uri, int nAttributes,
               const xmlChar** attributes) {
        if (gathering)
            return GiveUp(); // a selected element holding elements
        if (unmatchedDepth > 0 || runs.back() == matched.size()) {
            ++unmatchedDepth;
            return;
        }
        const size_t from = runs.back();
        const size_t to = matched.size();
        runs.push_back(to);
        for (size_t i = from; i < to && !needsTree; ++i) {
            for (const Group& group : paths.nodes_[matched[i]].groups) {
                if (!NameIs(group.name, local, uri))
                    continue;
                const auto take = [&](const std::vector<uint32_t>& children) {
                    for (uint32_t child : children)
                        if (Passes(paths.nodes_[child], nAttributes, attributes))
                            matched.push_back(child);
                };
                take(group.others);
                if (!group.key)
                    continue;
                for (int k = 0; k < nAttributes; ++k) {
                    const xmlChar** a = attributes + 5 * k;
                    if (!NameIs(*group.key, a[0], a[2]))
                        continue;
                    const std::string value(reinterpret_cast<const char*>(a[3]),
                                            static_cast<size_t>(a[4] - a[3]));
                    if (value.find('&') != std::string::npos)
                        return GiveUp();
                    const auto found = group.byKey.find(value);
                    if (found != group.byKey.end())
                        take(found->second);
                }
            }
        }
        for (size_t i = to; i < matched.size() && !needsTree; ++i) {
            const Node& node = paths.nodes_[matched[i]];
            for (uint32_t path : node.ends)
                if (!values[path])
                    waiting.push_back(path);
            for (const auto& [name, path] : node.attributes) {
                if (values[path])
                    continue;
                for (int k = 0; k < nAttributes; ++k) {
                    const xmlChar** a = attributes + 5 * k;
                    if (!NameIs(name, a[0], a[2]))
                        continue;
                    const std::string_view value(reinterpret_cast<const char*>(a[3]),
                                                 static_cast<size_t>(a[4] - a[3]));
                    if (value.find('&') != std::string_view::npos)
                        return GiveUp();
                    values[path] = std::string(value);
                    break;
                }
            }
        }
        if (!waiting.empty()) {
            gathering = true;
            text.clear();
        }
    }

    void End() {
        if (unmatchedDepth > 0) {
            --unmatchedDepth;
            return;
        }
        if (gathering) {
            for (uint32_t path : waiting)
                if (!values[path])
                    values[path] = text;
            waiting.clear();
            gathering = false;
        }
        matched.resize(runs.back());
        runs.pop_back();
    }

    static Parse& Of(void* context) { return *static_cast<Parse*>(context); }

    static void OnStart(void* context, const xmlChar* local, const xmlChar*, const xmlChar* uri,
                        int, const xmlChar**, int nAttributes, int, const xmlChar** attributes) {
        Of(context).Start(local, uri, nAttributes, attributes);
    }
    static void OnEnd(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        Of(context).End();
    }
    static void OnText(void* context, const xmlChar* text, int length) {
        Parse& parse = Of(context);
        if (parse.gathering)
            parse.text.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    }
    // Inside a selected element these are nodes of their own, beside which the tree keeps or
    // drops blank text by rules of its own: the full load answers.
    static void OnCData(void* context, const xmlChar*, int) { OnOther(context); }
    static void OnComment(void* context, const xmlChar*) { OnOther(context); }
    static void OnInstruction(void* context, const xmlChar*, const xmlChar*) { OnOther(context); }
    static void OnOther(void* context) {
        if (Of(context).gathering)
            Of(context).GiveUp();
    }
    // Entities, default attributes and attribute types come with a document type.
    static void OnDocumentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        Of(context).GiveUp();
    }
    static void Quiet(void*, const char*, ...) {}
    static void QuietStructured(void*, xmlErrorPtr) {}
};

std::optional<StreamedValues::Values> StreamedValues::Read(const std::string& path,
                                                           const std::atomic<bool>* stop) const {
    QFile file(QString::fromStdString(path));
    if (QFileInfo(file).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
        file.size() > std::numeric_limits<int>::max())
        return std::nullopt;
    const std::optional<int64_t> modified = ModifiedTime(file.handle());

    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = Parse::OnStart;
    handler.endElementNs = Parse::OnEnd;
    handler.characters = Parse::OnText;
    handler.ignorableWhitespace = Parse::OnText;
    handler.cdataBlock = Parse::OnCData;
    handler.comment = Parse::OnComment;
    handler.processingInstruction = Parse::OnInstruction;
    handler.internalSubset = Parse::OnDocumentType;
    handler.externalSubset = Parse::OnDocumentType;
    handler.warning = Parse::Quiet;
    handler.error = Parse::Quiet;
    handler.fatalError = Parse::Quiet;
    handler.serror = Parse::QuietStructured;

    Parse parse(*this);
    parse.values.resize(paths_);
    const std::function<void(int64_t, int64_t)> noProgress;
    FileReader reader{file, noProgress, stop, file.size(), {}};
    xmlParserCtxtPtr parser = xmlCreateIOParserCtxt(&handler, &parse, FileReader::Read, nullptr,
                                                    &reader, XML_CHAR_ENCODING_NONE);
    if (!parser)
        return std::nullopt;
    parse.parser = parser;
    // The load's options, but blanks: without a tree the parser cannot tell which to drop,
    // and a selected element holding only text keeps all of its text either way.
    xmlCtxtUseOptions(parser, XML_PARSE_NONET);
    xmlParseDocument(parser);
    // Entity declarations make the parser keep a document of its own even without a tree.
    if (parser->myDoc) {
        xmlFreeDoc(parser->myDoc);
        parser->myDoc = nullptr;
    }
    const bool complete = parser->wellFormed && parser->nsWellFormed && !parse.needsTree &&
                          !reader.failed && !reader.stopped;
    xmlFreeParserCtxt(parser);
    if (!complete)
        return std::nullopt;
    return Values{std::move(parse.values),
                  {reader.size, modified.value_or(0), static_cast<uint32_t>(reader.checksum)}};
}
