#include "xml/SourcePositions.h"

#include "xml/XmlCodec.h"

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <cstring>

namespace {

// psvi holds close in its high half and endOpen in its low half; open is split over line and
// extra. Offsets stay below the limit, which leaves the top bit of endOpen as the written mark.
constexpr uint64_t kWritten = kSourceOffsetLimit;

uint64_t Bits(xmlNodePtr node) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(node->psvi));
}

void SetBits(xmlNodePtr node, uint64_t bits) {
    node->psvi = reinterpret_cast<void*>(static_cast<uintptr_t>(bits));
}

SourceRecorder* RecorderOf(xmlParserCtxtPtr parser) {
    return static_cast<SourceRecorder*>(parser->_private);
}

// Offset in the decoded text of a pointer into the current input buffer.
uint64_t OffsetOf(xmlParserInputPtr input, const xmlChar* at) {
    return static_cast<uint64_t>(input->consumed) + static_cast<uint64_t>(at - input->base);
}

bool IsBlankByte(xmlChar c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the matcher follows the element at the recorder's depth: not inside an element
// kept whole or dropped.
bool Followed(const SourceRecorder& recorder) {
    return recorder.matcher && !recorder.keepAll &&
           !(recorder.wholeAt != 0 && recorder.depth > recorder.wholeAt) &&
           !(recorder.dropAt != 0 && recorder.depth > recorder.dropAt);
}

void FollowStart(SourceRecorder& recorder, const xmlChar* localname, const xmlChar* uri,
                 int nbAttributes, const xmlChar** attributes) {
    ++recorder.depth;
    if (recorder.depth == 1)
        recorder.keepAll = recorder.keepAll || !XmlCodec::For(recorder.encoding);
    if (!Followed(recorder))
        return;
    using Match = PlainPaths::Matcher::Match;
    const Match match = recorder.matcher->Enter(localname, uri, nbAttributes, attributes);
    bool selected = match == Match::Unsure;
    if (match == Match::Step)
        for (uint32_t node : recorder.matcher->Matched())
            selected = selected || !recorder.keep->At(node).ends.empty();
    if (selected)
        recorder.wholeAt = recorder.depth;
    else if (match == Match::None && recorder.depth > 1)
        recorder.dropAt = recorder.depth;
}

void FollowEnd(SourceRecorder& recorder, xmlParserCtxtPtr parser, xmlNodePtr node) {
    if (Followed(recorder))
        recorder.matcher->Leave();
    if (recorder.wholeAt == recorder.depth)
        recorder.wholeAt = 0;
    if (recorder.dropAt == recorder.depth) {
        recorder.dropAt = 0;
        if (node && node->type == XML_ELEMENT_NODE && node->parent &&
            node->parent->type == XML_ELEMENT_NODE) {
            xmlUnlinkNode(node);
            xmlFreeNode(node);
            recorder.dropped = true;
            // Text that follows must not be appended through the parser's note of the last
            // text it made, which may have been inside the element just dropped.
            parser->nodemem = 0;
            parser->nodelen = 0;
        }
    }
    --recorder.depth;
}

void StartElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                  const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                  int nbAttributes, int nbDefaulted, const xmlChar** attributes) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    xmlSAX2StartElementNs(context, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                          nbDefaulted, attributes);
    SourceRecorder* recorder = RecorderOf(parser);
    xmlNodePtr node = parser->node;
    xmlParserInputPtr input = parser->input;
    if (!recorder->encodingSeen) {
        recorder->encodingSeen = true;
        if (input && input->buf && input->buf->encoder && input->buf->encoder->name)
            recorder->encoding = input->buf->encoder->name;
    }
    FollowStart(*recorder, localname, uri, nbAttributes, attributes);
    // Elements that an entity's text builds are not in the file where they are used.
    if (parser->inputNr != 1 || !node || node->type != XML_ELEMENT_NODE || !input || !input->cur ||
        !input->base) {
        return;
    }
    const xmlChar* close = input->cur;
    if (*close != '>' && *close != '/') {
        return;
    }
    // A start tag holds no '<' of its own: attribute values cannot.
    const auto* open = static_cast<const xmlChar*>(
        memrchr(input->base, '<', static_cast<size_t>(close - input->base)));
    const uint64_t closeAt = OffsetOf(input, close);
    if (!open || closeAt >= kSourceOffsetLimit) {
        return;
    }
    const uint64_t openAt = OffsetOf(input, open);
    SetBits(node, closeAt << 32);
    node->line = static_cast<unsigned short>(openAt & 0xFFFF);
    node->extra = static_cast<unsigned short>(openAt >> 16);
}

void RecordEnd(xmlParserCtxtPtr parser, xmlNodePtr node, const xmlChar* localname,
               const xmlChar* prefix) {
    xmlParserInputPtr input = parser->input;
    if (!node || node->type != XML_ELEMENT_NODE || Bits(node) == 0 || parser->inputNr != 1 ||
        !input || !input->cur) {
        if (node && node->type == XML_ELEMENT_NODE)
            SetBits(node, 0);
        return;
    }
    const uint64_t close = Bits(node) >> 32;
    const xmlChar* end = input->cur; // just past the '>' of the end tag or of "/>"
    if (end - input->base >= 2 && OffsetOf(input, end - 2) == close) {
        SetBits(node, (close << 32) | close);
        return;
    }
    // Back over "</", the name, blanks and '>'.
    const xmlChar* p = end - 1;
    if (p < input->base || *p != '>') {
        SetBits(node, 0);
        return;
    }
    while (p > input->base && IsBlankByte(p[-1]))
        --p;
    const size_t localLength = std::strlen(reinterpret_cast<const char*>(localname));
    const size_t prefixLength = prefix ? std::strlen(reinterpret_cast<const char*>(prefix)) + 1 : 0;
    const ptrdiff_t back = static_cast<ptrdiff_t>(localLength + prefixLength + 2);
    if (p - input->base < back) {
        SetBits(node, 0);
        return;
    }
    const xmlChar* endOpen = p - back;
    if (endOpen[0] != '<' || endOpen[1] != '/' ||
        std::memcmp(endOpen + 2 + prefixLength, localname, localLength) != 0) {
        SetBits(node, 0);
        return;
    }
    SetBits(node, (close << 32) | OffsetOf(input, endOpen));
}

void EndElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                const xmlChar* uri) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    xmlNodePtr node = parser->node;
    xmlSAX2EndElementNs(context, localname, prefix, uri);
    RecordEnd(parser, node, localname, prefix);
    FollowEnd(*RecorderOf(parser), parser, node);
}

void InternalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                    const xmlChar* systemId) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    xmlSAX2InternalSubset(context, name, externalId, systemId);
    RecorderOf(parser)->keepAll = true;
    xmlParserInputPtr input = parser->input;
    if (parser->inputNr != 1 || !input || !input->cur || !input->base)
        return;
    static const char kDoctype[] = "<!DOCTYPE";
    const size_t length = sizeof kDoctype - 1;
    for (const xmlChar* p = input->cur;; --p) {
        if (input->end - p >= static_cast<ptrdiff_t>(length) &&
            std::memcmp(p, kDoctype, length) == 0) {
            RecorderOf(parser)->doctypeStart = OffsetOf(input, p);
            RecorderOf(parser)->doctypeStarted = true;
            return;
        }
        if (p == input->base)
            return;
    }
}

void ExternalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                    const xmlChar* systemId) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    xmlSAX2ExternalSubset(context, name, externalId, systemId);
    SourceRecorder* recorder = RecorderOf(parser);
    xmlParserInputPtr input = parser->input;
    if (!recorder->doctypeStarted || parser->inputNr != 1 || !input || !input->cur ||
        recorder->doctypeStart < input->consumed)
        return;
    const xmlChar* start = input->base + (recorder->doctypeStart - input->consumed);
    if (start >= input->cur || input->cur[-1] != '>')
        return;
    recorder->doctype.assign(reinterpret_cast<const char*>(start),
                             static_cast<size_t>(input->cur - start));
}

} // namespace

void RecordSourcePositions(xmlParserCtxtPtr parser, SourceRecorder& recorder) {
    parser->_private = &recorder;
    if (recorder.keep)
        recorder.matcher.emplace(*recorder.keep);
    parser->sax->startElementNs = StartElement;
    parser->sax->endElementNs = EndElement;
    parser->sax->internalSubset = InternalSubset;
    parser->sax->externalSubset = ExternalSubset;
}

bool SourceSpan(xmlNodePtr element, ElementSpan& span) {
    if (!element || element->type != XML_ELEMENT_NODE)
        return false;
    const uint64_t bits = Bits(element);
    span.close = static_cast<uint32_t>(bits >> 32);
    span.endOpen = static_cast<uint32_t>(bits & (kWritten - 1));
    span.open =
        static_cast<uint32_t>(element->line) | (static_cast<uint32_t>(element->extra) << 16);
    return span.close != 0 && span.endOpen != 0;
}

bool MarkValueWritten(xmlNodePtr node) {
    const bool fresh = !ValueWritten(node);
    if (!node)
        return false;
    if (node->type == XML_ELEMENT_NODE)
        SetBits(node, Bits(node) | kWritten);
    else if (node->type == XML_ATTRIBUTE_NODE)
        reinterpret_cast<xmlAttrPtr>(node)->psvi = reinterpret_cast<void*>(uintptr_t{1});
    else
        return false;
    return fresh;
}

bool ValueWritten(xmlNodePtr node) {
    if (!node)
        return false;
    if (node->type == XML_ELEMENT_NODE)
        return (Bits(node) & kWritten) != 0;
    return node->type == XML_ATTRIBUTE_NODE && reinterpret_cast<xmlAttrPtr>(node)->psvi != nullptr;
}

void SetSourceSpan(xmlNodePtr element, const ElementSpan& span) {
    SetBits(element, (uint64_t{span.close} << 32) | span.endOpen);
    element->line = static_cast<unsigned short>(span.open & 0xFFFF);
    element->extra = static_cast<unsigned short>(span.open >> 16);
}

void ClearValueWritten(xmlNodePtr attribute) {
    if (attribute && attribute->type == XML_ATTRIBUTE_NODE)
        reinterpret_cast<xmlAttrPtr>(attribute)->psvi = nullptr;
}
