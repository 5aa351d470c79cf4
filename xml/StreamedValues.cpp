#include "xml/StreamedValues.h"

#include "xml/FileReader.h"
#include "xml/XmlDocHolder.h"
#include "xml/XmlPtr.h"

#include <QFileInfo>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <limits>
#include <string_view>
#include <utility>

std::optional<StreamedValues> StreamedValues::Compile(const std::vector<std::string>& paths,
                                                      const std::string& namespaces) {
    std::optional<PlainPaths> compiled = PlainPaths::Compile(paths, namespaces);
    if (!compiled)
        return std::nullopt;
    return StreamedValues(std::move(*compiled));
}

// The state of one pass.
struct StreamedValues::Parse {
    explicit Parse(const PlainPaths& compiled) : paths(compiled), matcher(compiled) {}

    const PlainPaths& paths;
    PlainPaths::Matcher matcher;
    xmlParserCtxtPtr parser = nullptr;
    std::vector<std::optional<std::string>> values;
    // The element whose text is being gathered, and the paths that wait for it.
    bool gathering = false;
    std::string text;
    std::vector<uint32_t> waiting;
    bool needsTree = false;

    void GiveUp() {
        needsTree = true;
        xmlStopParser(parser);
    }

    void Start(const xmlChar* local, const xmlChar* uri, int nAttributes,
               const xmlChar** attributes) {
        if (gathering)
            return GiveUp(); // a selected element holding elements
        const PlainPaths::Matcher::Match match = matcher.Enter(local, uri, nAttributes, attributes);
        if (match == PlainPaths::Matcher::Match::Unsure)
            return GiveUp();
        if (match == PlainPaths::Matcher::Match::None)
            return;
        for (uint32_t matched : matcher.Matched()) {
            const PlainPaths::Node& node = paths.At(matched);
            for (uint32_t path : node.ends)
                if (!values[path])
                    waiting.push_back(path);
            for (const auto& [name, path] : node.attributes) {
                for (int k = 0; k < nAttributes && !values[path]; ++k) {
                    const xmlChar** a = attributes + 5 * k;
                    if (!ParserNameIs(name, a[0], a[2]))
                        continue;
                    const std::optional<std::string_view> value = PlainAttributeValue(a);
                    if (!value)
                        return GiveUp();
                    values[path] = std::string(*value);
                }
            }
        }
        if (!waiting.empty()) {
            gathering = true;
            text.clear();
        }
    }

    void End() {
        if (gathering) {
            for (uint32_t path : waiting)
                if (!values[path])
                    values[path] = text;
            waiting.clear();
            gathering = false;
        }
        matcher.Leave();
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
    XmlDocHolder::SetUpLibrary();
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

    Parse parse(paths_);
    parse.values.resize(paths_.Count());
    const std::function<void(int64_t, int64_t)> noProgress;
    FileReader reader{file, noProgress, stop, file.size(), {}};
    const OwnedParser parser(xmlCreateIOParserCtxt(&handler, &parse, FileReader::Read, nullptr,
                                                   &reader, XML_CHAR_ENCODING_NONE));
    if (!parser)
        return std::nullopt;
    parse.parser = parser.get();
    // The load's options, but blanks: without a tree the parser cannot tell which to drop,
    // and a selected element holding only text keeps all of its text either way.
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET);
    xmlParseDocument(parser.get());
    // Entity declarations make the parser keep a document of its own even without a tree.
    const OwnedDoc kept(std::exchange(parser->myDoc, nullptr));
    if (!parser->wellFormed || !parser->nsWellFormed || parse.needsTree || reader.failed ||
        reader.stopped)
        return std::nullopt;
    return Values{std::move(parse.values),
                  {reader.size, modified.value_or(0), static_cast<uint32_t>(reader.checksum)}};
}
