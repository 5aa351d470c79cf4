#include "xml/SpliceSave.h"

#include "common/Failure.h"
#include "common/FileStamp.h"
#include "xml/MarkupScanner.h"
#include "xml/XmlCodec.h"
#include "xml/XmlText.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <libxml/valid.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The output, with the checksum and size of what went into it.
class Sink {
public:
    explicit Sink(QIODevice& device) : device_(device) {}
    void Write(const char* data, size_t size) {
        if (size == 0 || failed_)
            return;
        failed_ = device_.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size);
        crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
        size_ += static_cast<int64_t>(size);
    }
    void Write(std::string_view text) { Write(text.data(), text.size()); }
    bool Failed() const { return failed_; }
    uint32_t Checksum() const { return static_cast<uint32_t>(crc_); }
    int64_t Size() const { return size_; }

private:
    QIODevice& device_;
    bool failed_ = false;
    uLong crc_ = crc32(0, nullptr, 0);
    int64_t size_ = 0;
};

// Offsets in the text read against offsets in the bytes, where both line up, each counted
// from where a read began.
using Marks = std::vector<std::pair<uint64_t, size_t>>;

// The original file read once from start to end, a piece at a time, by decoded offsets.
class SourceReader {
public:
    // Without a codec the file can only be copied whole.
    explicit SourceReader(XmlCodec* codec) : codec_(codec), buffer_(kChunk) {}

    bool Open(const QString& path, Sink& sink) {
        file_.setFileName(path);
        if (!file_.open(QIODevice::ReadOnly) || !Fill(256))
            return false;
        size_t prefix = 0;
        int64_t shift = 0;
        if (!codec_ ||
            !codec_->Origin(std::string_view(buffer_.data() + pos_, end_ - pos_), prefix, shift))
            return true;
        sink.Write(buffer_.data(), prefix);
        pos_ += prefix;
        decoded_ = -shift;
        positioned_ = true;
        return true;
    }

    // Moves on to the decoded offset to. The bytes passed go to sink or raw, their text to
    // text, each when given; marks, when given, receives where bytes and text line up.
    bool Advance(int64_t to, Sink* sink, std::string* text, std::string* raw = nullptr,
                 Marks* marks = nullptr) {
        if (!positioned_ || to < decoded_)
            return false;
        const int64_t from = decoded_;
        size_t bytes = 0;
        if (marks)
            marks->assign(1, {0, 0});
        while (decoded_ < to) {
            size_t count = 0;
            uint64_t length = 0;
            const auto step = codec_->Decode(
                reinterpret_cast<const unsigned char*>(buffer_.data()) + pos_, end_ - pos_, eof_,
                static_cast<uint64_t>(to - decoded_), marks != nullptr, count, length, text);
            if (step == XmlCodec::Step::Misaligned)
                return false;
            if (step == XmlCodec::Step::NeedBytes) {
                if (!Fill(end_ - pos_ + 1))
                    return false;
                continue;
            }
            if (sink)
                sink->Write(buffer_.data() + pos_, count);
            if (raw)
                raw->append(buffer_.data() + pos_, count);
            pos_ += count;
            bytes += count;
            decoded_ += static_cast<int64_t>(length);
            if (marks)
                marks->emplace_back(static_cast<uint64_t>(decoded_ - from), bytes);
        }
        return true;
    }

    // Copies the rest of the file; true when the whole of it was the file that was loaded.
    bool Finish(Sink& sink, const LoadedSource& source) {
        for (;;) {
            sink.Write(buffer_.data() + pos_, end_ - pos_);
            pos_ = end_;
            if (eof_)
                break;
            if (!Fill(kChunk))
                return false;
        }
        return read_ == source.stamp.nSize && static_cast<uint32_t>(crc_) == source.stamp.nChecksum;
    }

private:
    static constexpr size_t kChunk = 1 << 20;

    // At least need bytes from pos_ unless the file ends first.
    bool Fill(size_t need) {
        if (end_ - pos_ >= need || eof_)
            return true;
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        if (buffer_.size() < need)
            buffer_.resize(std::max(need, 2 * buffer_.size()));
        while (end_ < need && !eof_) {
            const qint64 count =
                file_.read(buffer_.data() + end_, static_cast<qint64>(buffer_.size() - end_));
            if (count < 0)
                return false;
            if (count == 0) {
                eof_ = true;
                break;
            }
            crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(buffer_.data() + end_),
                         static_cast<uInt>(count));
            read_ += count;
            end_ += static_cast<size_t>(count);
        }
        return true;
    }

    XmlCodec* codec_;
    QFile file_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool positioned_ = false;
    uLong crc_ = crc32(0, nullptr, 0);
    int64_t read_ = 0;
    int64_t decoded_ = 0;
};

// The byte offset that marks give for a decoded offset.
std::optional<size_t> RawOffset(const Marks& marks, uint64_t decoded) {
    const auto at =
        std::lower_bound(marks.begin(), marks.end(), std::make_pair(decoded, size_t{0}));
    if (at == marks.end() || at->first != decoded)
        return std::nullopt;
    return at->second;
}

const char* TypeName(xmlAttributeType type) {
    switch (type) {
    case XML_ATTRIBUTE_ID:
        return "ID";
    case XML_ATTRIBUTE_IDREF:
        return "IDREF";
    case XML_ATTRIBUTE_IDREFS:
        return "IDREFS";
    case XML_ATTRIBUTE_ENTITY:
        return "ENTITY";
    case XML_ATTRIBUTE_ENTITIES:
        return "ENTITIES";
    case XML_ATTRIBUTE_NMTOKEN:
        return "NMTOKEN";
    case XML_ATTRIBUTE_NMTOKENS:
        return "NMTOKENS";
    case XML_ATTRIBUTE_ENUMERATION:
        return "an enumeration";
    case XML_ATTRIBUTE_NOTATION:
        return "NOTATION";
    default:
        return "CDATA";
    }
}

// The type the internal subset declares for the attribute, looked up as the parser does, by
// the names as written; the external subset is never read. CDATA when undeclared.
xmlAttributeType DeclaredType(xmlDocPtr doc, xmlNodePtr element, xmlAttrPtr attribute) {
    if (!doc->intSubset)
        return XML_ATTRIBUTE_CDATA;
    const xmlAttributePtr declaration =
        xmlGetDtdQAttrDesc(doc->intSubset, BAD_CAST QualifiedName(element).c_str(), attribute->name,
                           attribute->ns ? attribute->ns->prefix : nullptr);
    return declaration ? declaration->atype : XML_ATTRIBUTE_CDATA;
}

// What the parser does with blank text in the element, as the saved file will tell it: the
// xml:space in force and the element's declaration (found by its local name, as the
// parser looks it up).
BlankRules RulesFor(xmlDocPtr doc, xmlNodePtr element) {
    using Blanks = BlankRules::Blanks;
    for (xmlNodePtr node = element; node && node->type == XML_ELEMENT_NODE; node = node->parent)
        for (xmlAttrPtr a = node->properties; a; a = a->next) {
            if (!a->ns || !xmlStrEqual(a->ns->href, XML_XML_NAMESPACE) ||
                !xmlStrEqual(a->name, BAD_CAST "space"))
                continue;
            const std::string space = ContentOf(reinterpret_cast<xmlNodePtr>(a));
            if (space == "preserve")
                return {Blanks::Kept, false};
            if (space == "default") {
                const int mixed = xmlIsMixedElement(doc, element->name);
                return {mixed == 1   ? Blanks::Kept
                        : mixed == 0 ? Blanks::Dropped
                                     : Blanks::Guessed,
                        false};
            }
        }
    const int mixed = xmlIsMixedElement(doc, element->name);
    return {mixed == 1 ? Blanks::Kept : mixed == 0 ? Blanks::Dropped : Blanks::Guessed, true};
}

class Splicer {
public:
    Splicer(xmlDocPtr doc, XmlCodec* codec, SourceReader& reader, Sink& sink, SpliceResult& result)
        : doc_(doc), codec_(codec), reader_(reader), sink_(sink), result_(result) {}

    // Values written in the start tag's attributes.
    bool StartTag(xmlNodePtr element, const ElementSpan& span) {
        std::string tag, raw;
        Marks marks;
        if (!reader_.Advance(span.open, &sink_, nullptr) ||
            !reader_.Advance(span.close, nullptr, &tag, &raw, &marks))
            return false;
        std::vector<AttributeText> attributes;
        if (!ParseStartTag(tag, attributes))
            return false;
        int pending = 0;
        for (xmlAttrPtr a = element->properties; a; a = a->next)
            if (ValueWritten(reinterpret_cast<xmlNodePtr>(a))) {
                ++pending;
                result_.attributes.push_back(reinterpret_cast<xmlNodePtr>(a));
            }
        std::string bytes;
        size_t copied = 0;
        for (const AttributeText& text : attributes) {
            xmlAttrPtr attribute = element->properties;
            while (attribute && QualifiedName(reinterpret_cast<xmlNodePtr>(attribute)) != text.name)
                attribute = attribute->next;
            if (!attribute || !ValueWritten(reinterpret_cast<xmlNodePtr>(attribute)))
                continue;
            --pending;
            const std::string value = ContentOf(reinterpret_cast<xmlNodePtr>(attribute));
            const xmlAttributeType type = DeclaredType(doc_, element, attribute);
            const bool tokenized = type != XML_ATTRIBUTE_CDATA;
            const std::string_view original =
                std::string_view(tag).substr(text.valueStart, text.valueEnd - text.valueStart);
            if (AttributeValueRead(original, tokenized) == value)
                continue;
            const std::string escaped = EscapeAttribute(value, text.quote);
            if (AttributeValueRead(escaped, tokenized) != value)
                throw Failure(kErrXmlLibrary,
                              "The attribute '" + std::string(text.name) + "' of element '" +
                                  QualifiedName(element) + "' is declared " + TypeName(type) +
                                  ", so a load would not read its value '" + value +
                                  "' as it is: spaces at its ends or in a row are dropped.");
            const auto start = RawOffset(marks, text.valueStart);
            const auto end = RawOffset(marks, text.valueEnd);
            if (!start || !end)
                return false;
            bytes.append(raw, copied, *start - copied);
            const auto length = codec_->Encode(escaped, bytes);
            if (!length)
                return false;
            result_.replacements.push_back(
                {span.open + text.valueStart, span.open + text.valueEnd, *length, nullptr});
            copied = *end;
        }
        // A written attribute that the tag does not show (a default from the DTD).
        if (pending != 0)
            return false;
        bytes.append(raw, copied);
        sink_.Write(bytes);
        return true;
    }

    // The content of an element whose value was written.
    bool Content(xmlNodePtr element, const ElementSpan& span) {
        const std::string value = ContentOf(element);
        const BlankRules rules = RulesFor(doc_, element);
        // What reads back: blanks the parser would drop go as references.
        std::string escaped = EscapeContent(value, rules.blanks == BlankRules::Blanks::Dropped);
        if (ContentRead(escaped, rules) != value) {
            escaped = EscapeContent(value, true);
            if (ContentRead(escaped, rules) != value)
                return false;
        }
        std::string bytes;
        if (span.EmptyForm()) {
            if (value.empty())
                return true;
            std::string closing;
            if (!reader_.Advance(span.close, &sink_, nullptr) ||
                !reader_.Advance(span.close + 2, nullptr, &closing) || closing != "/>")
                return false;
            const auto open = codec_->Encode(">", bytes);
            const auto content = codec_->Encode(escaped, bytes);
            const auto end = codec_->Encode("</" + QualifiedName(element) + ">", bytes);
            if (!open || !content || !end)
                return false;
            result_.replacements.push_back(
                {span.close, span.close + 2u, *open + *content + *end, element});
            result_.replacements.back().content = *content;
            sink_.Write(bytes);
            return true;
        }
        const int64_t start = int64_t{span.close} + 1;
        if (!reader_.Advance(start, &sink_, nullptr))
            return false;
        // Text longer than this cannot stand for the value: skip it unread.
        const uint64_t length = span.endOpen - static_cast<uint64_t>(start);
        if (length <= 16 * value.size() + 64) {
            std::string original, raw;
            if (!reader_.Advance(span.endOpen, nullptr, &original, &raw))
                return false;
            if (ContentRead(original, rules) == value) {
                sink_.Write(raw);
                return true;
            }
        } else if (!reader_.Advance(span.endOpen, nullptr, nullptr)) {
            return false;
        }
        const auto written = codec_->Encode(escaped, bytes);
        if (!written)
            return false;
        result_.replacements.push_back(
            {static_cast<uint64_t>(start), span.endOpen, *written, nullptr});
        sink_.Write(bytes);
        return true;
    }

private:
    xmlDocPtr doc_;
    XmlCodec* codec_;
    SourceReader& reader_;
    Sink& sink_;
    SpliceResult& result_;
};

bool AnyAttributeWritten(xmlNodePtr element) {
    for (xmlAttrPtr a = element->properties; a; a = a->next)
        if (ValueWritten(reinterpret_cast<xmlNodePtr>(a)))
            return true;
    return false;
}

bool InTree(xmlNodePtr node, xmlDocPtr doc) {
    while (node && node != reinterpret_cast<xmlNodePtr>(doc))
        node = node->parent;
    return node != nullptr;
}

// The next element in document order; children of skipped elements are passed over.
xmlNodePtr NextElement(xmlNodePtr node, bool descend) {
    xmlNodePtr next = descend ? node->children : nullptr;
    while (next && next->type != XML_ELEMENT_NODE)
        next = next->next;
    if (next)
        return next;
    for (xmlNodePtr n = node; n && n->type == XML_ELEMENT_NODE; n = n->parent) {
        for (next = n->next; next; next = next->next)
            if (next->type == XML_ELEMENT_NODE)
                return next;
    }
    return nullptr;
}

bool g_splicing = true;

} // namespace

void SetSplicingEnabled(bool enabled) {
    g_splicing = enabled;
}

bool SplicingEnabled() {
    return g_splicing;
}

bool SpliceSave(xmlDocPtr doc, const LoadedSource& source, QIODevice& out, SpliceResult& result) {
    result = {};
    const QString path = QString::fromStdString(source.path);
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != source.stamp.nSize ||
        ModifiedTime(path) != source.stamp.nModified)
        return false;
    // A file in an encoding the splice cannot follow (a stateful one: ISO-2022-*, UTF-7) is
    // written whole once a value must be put into it, but copied as it is while none is.
    const std::unique_ptr<XmlCodec> codec = XmlCodec::For(source.encoding);
    Sink sink(out);
    SourceReader reader(codec.get());
    if (!reader.Open(path, sink))
        return false;
    Splicer splicer(doc, codec.get(), reader, sink, result);
    const auto splice = [&](xmlNodePtr element) {
        const bool attributes = AnyAttributeWritten(element);
        const bool content = ValueWritten(element);
        ElementSpan span;
        if ((attributes || content) && (!codec || !SourceSpan(element, span)))
            return false;
        return (!attributes || splicer.StartTag(element, span)) &&
               (!content || splicer.Content(element, span));
    };
    if (source.writtenUnlisted) {
        for (xmlNodePtr element = xmlDocGetRootElement(doc); element;
             element = NextElement(element, !ValueWritten(element)))
            if (!splice(element))
                return false;
    } else {
        // The elements whose values were written, in the order of their start tags. Those
        // whose element has since gone with an ancestor's content are not in the file.
        std::vector<std::pair<uint32_t, xmlNodePtr>> elements;
        for (xmlNodePtr node : source.written) {
            xmlNodePtr element = node->type == XML_ATTRIBUTE_NODE ? node->parent : node;
            ElementSpan span;
            if (!ValueWritten(node) || !InTree(element, doc))
                continue;
            if (!SourceSpan(element, span))
                return false;
            elements.emplace_back(span.open, element);
        }
        std::sort(elements.begin(), elements.end());
        elements.erase(std::unique(elements.begin(), elements.end()), elements.end());
        for (const auto& [open, element] : elements)
            if (!splice(element))
                return false;
    }
    if (!reader.Finish(sink, source) || sink.Failed())
        return false;
    result.checksum = sink.Checksum();
    result.size = sink.Size();
    return true;
}

bool RebaseSource(xmlDocPtr doc, LoadedSource& source, const SpliceResult& result,
                  const std::string& path, int64_t modified) {
    // Offsets past each replacement move by the sum of the length changes before them.
    std::vector<std::pair<uint64_t, int64_t>> shifts;
    int64_t delta = 0;
    for (const Replacement& r : result.replacements) {
        delta += static_cast<int64_t>(r.length) - static_cast<int64_t>(r.end - r.start);
        shifts.emplace_back(r.end, delta);
    }
    // Start tags come in document order and end tags in the order they close, so each
    // sequence of offsets only grows and one pass over the shifts serves it.
    struct Cursor {
        const std::vector<std::pair<uint64_t, int64_t>>& shifts;
        size_t next = 0;
        uint64_t Moved(uint64_t offset) {
            while (next < shifts.size() && shifts[next].first <= offset)
                ++next;
            return offset + static_cast<uint64_t>(next == 0 ? 0 : shifts[next - 1].second);
        }
    };
    Cursor starts{shifts}, ends{shifts};
    bool fits = true;
    const auto firstChild = [](xmlNodePtr node) {
        xmlNodePtr child = node->children;
        while (child && child->type != XML_ELEMENT_NODE)
            child = child->next;
        return child;
    };
    const auto nextSibling = [](xmlNodePtr node) {
        xmlNodePtr sibling = node->next;
        while (sibling && sibling->type != XML_ELEMENT_NODE)
            sibling = sibling->next;
        return sibling;
    };
    const xmlNodePtr root = xmlDocGetRootElement(doc);
    for (xmlNodePtr node = root; node;) {
        ElementSpan span;
        if (SourceSpan(node, span)) {
            span.open = static_cast<uint32_t>(starts.Moved(span.open));
            span.close = static_cast<uint32_t>(starts.Moved(span.close));
        }
        SetSourceSpan(node, span);
        if (xmlNodePtr child = firstChild(node)) {
            node = child;
            continue;
        }
        while (node) {
            if (SourceSpan(node, span)) {
                const uint64_t endOpen = ends.Moved(span.endOpen);
                fits = fits && endOpen < kSourceOffsetLimit;
                span.endOpen = static_cast<uint32_t>(endOpen);
                SetSourceSpan(node, span);
            }
            if (node == root)
                node = nullptr;
            else if (xmlNodePtr sibling = nextSibling(node)) {
                node = sibling;
                break;
            } else
                node = node->parent;
        }
    }
    for (const Replacement& r : result.replacements) {
        if (r.element) {
            ElementSpan span;
            SourceSpan(r.element, span);
            span.endOpen = span.close + 1 + static_cast<uint32_t>(r.content);
            SetSourceSpan(r.element, span);
        }
    }
    for (xmlNodePtr attribute : result.attributes)
        ClearValueWritten(attribute);
    source.written.clear();
    source.writtenUnlisted = false;
    source.path = path;
    source.stamp = {result.size, modified, result.checksum};
    return fits;
}
