#include "xml/SpliceSave.h"

#include "common/FileStamp.h"
#include "xml/XmlPtr.h"
#include "xml/XmlText.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <libxml/encoding.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int Utf8Length(uint32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Reads one character of well-formed UTF-8 (values are checked when they are written).
uint32_t NextUtf8(std::string_view text, size_t& i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = length == 1   ? c
                  : length == 2 ? (c & 0x1F)
                  : length == 3 ? (c & 0x0F)
                                : (c & 0x07);
    for (int k = 1; k < length && i + k < text.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += static_cast<size_t>(length);
    return cp;
}

// How the file's bytes become the parser's characters and back.
struct Codec {
    enum class Kind { Utf8, Utf16LE, Utf16BE, SingleByte } kind = Kind::Utf8;
    std::array<uint32_t, 256> decode{};
    std::unordered_map<uint32_t, unsigned char> encode;

    static std::optional<Codec> For(const std::string& encoding) {
        Codec codec;
        if (encoding.empty())
            return codec;
        if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
            codec.kind = encoding == "UTF-16LE" ? Kind::Utf16LE : Kind::Utf16BE;
            return codec;
        }
        // Any other encoding is read only when it maps every byte to one character and
        // leaves ASCII as it is: then offsets can be counted character by character.
        xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding.c_str());
        if (!handler)
            return std::nullopt;
        codec.kind = Kind::SingleByte;
        bool usable = true;
        OwnedBuffer in(xmlBufferCreate());
        OwnedBuffer out(xmlBufferCreate());
        for (int byte = 0; byte < 256 && usable && in && out; ++byte) {
            xmlBufferEmpty(in.get());
            xmlBufferEmpty(out.get());
            const unsigned char raw = static_cast<unsigned char>(byte);
            xmlBufferAdd(in.get(), &raw, 1);
            codec.decode[byte] = kNone;
            if (xmlCharEncInFunc(handler, out.get(), in.get()) < 0 ||
                xmlBufferLength(out.get()) == 0) {
                // A byte the encoding lacks is fine; one that starts a longer sequence is not.
                usable = xmlBufferLength(in.get()) == 0 || byte >= 0x80;
                continue;
            }
            std::string_view text(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                                  static_cast<size_t>(xmlBufferLength(out.get())));
            size_t i = 0;
            const uint32_t cp = NextUtf8(text, i);
            if (i != text.size() || xmlBufferLength(in.get()) != 0) {
                usable = false;
                continue;
            }
            codec.decode[byte] = cp;
            codec.encode.emplace(cp, raw);
        }
        xmlCharEncCloseFunc(handler);
        for (int byte = 0x20; byte < 0x7F && usable; ++byte)
            usable = codec.decode[byte] == static_cast<uint32_t>(byte);
        for (int byte : {'\t', '\n', '\r'})
            usable = usable && codec.decode[byte] == static_cast<uint32_t>(byte);
        if (!usable)
            return std::nullopt;
        return codec;
    }

    // One character at p; the number of bytes it takes, or 0 when avail does not hold it
    // whole or it is not valid.
    int Next(const unsigned char* p, size_t avail, uint32_t& cp) const {
        if (kind == Kind::SingleByte) {
            cp = decode[*p];
            return avail >= 1 && cp != kNone ? 1 : 0;
        }
        const auto unit = [&](size_t at) -> uint32_t {
            return kind == Kind::Utf16LE ? (p[at] | (p[at + 1] << 8)) : ((p[at] << 8) | p[at + 1]);
        };
        if (avail < 2)
            return 0;
        cp = unit(0);
        if (cp < 0xD800 || cp > 0xDFFF)
            return 2;
        if (cp > 0xDBFF || avail < 4)
            return 0;
        const uint32_t low = unit(2);
        if (low < 0xDC00 || low > 0xDFFF)
            return 0;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        return 4;
    }

    // Appends text in the file's encoding. With references, a character the encoding lacks
    // is written as a character reference. Returns the length of what the parser will
    // decode from it.
    uint64_t Encode(std::string_view text, std::string& out, bool references) const {
        if (kind == Kind::Utf8) {
            out.append(text);
            return text.size();
        }
        uint64_t decoded = 0;
        for (size_t i = 0; i < text.size();) {
            const uint32_t cp = NextUtf8(text, i);
            if (kind == Kind::SingleByte) {
                const auto found = encode.find(cp);
                if (found != encode.end()) {
                    out += static_cast<char>(found->second);
                    decoded += static_cast<uint64_t>(Utf8Length(cp));
                } else if (references) {
                    const std::string reference = "&#" + std::to_string(cp) + ";";
                    out += reference;
                    decoded += reference.size();
                } else {
                    out += '?';
                    decoded += 1;
                }
                continue;
            }
            const auto put = [&](uint32_t unit) {
                const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit);
                if (kind == Kind::Utf16LE)
                    out += {low, high};
                else
                    out += {high, low};
            };
            if (cp >= 0x10000) {
                put(0xD800 + ((cp - 0x10000) >> 10));
                put(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                put(cp);
            }
            decoded += static_cast<uint64_t>(Utf8Length(cp));
        }
        return decoded;
    }
};

// Where the parser's decoded offsets begin in the file. A UTF-16 byte-order mark is not
// part of the decoded text; a declared single-byte encoding takes over right after the
// declaration's encoding value, and the parser counts from there.
bool FindOrigin(const Codec& codec, std::string_view head, size_t& rawPrefix, int64_t& shift) {
    rawPrefix = 0;
    shift = 0;
    if (codec.kind == Codec::Kind::Utf16LE || codec.kind == Codec::Kind::Utf16BE) {
        if (head.size() >= 2 &&
            (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF"))
            rawPrefix = 2;
        return true;
    }
    if (codec.kind != Codec::Kind::SingleByte)
        return true;
    if (head.substr(0, 5) != "<?xml")
        return false;
    const size_t end = head.find("?>");
    size_t at = head.find("encoding", 5);
    if (end == std::string_view::npos || at == std::string_view::npos || at > end)
        return false;
    at += 8;
    const auto skipBlanks = [&] {
        while (at < end &&
               (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n'))
            ++at;
    };
    skipBlanks();
    if (at >= end || head[at] != '=')
        return false;
    ++at;
    skipBlanks();
    if (at >= end || (head[at] != '"' && head[at] != '\''))
        return false;
    const size_t close = head.find(head[at], at + 1);
    if (close == std::string_view::npos || close > end)
        return false;
    shift = static_cast<int64_t>(close + 1);
    return true;
}

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

// The original file read once from start to end, a piece at a time, by decoded offsets.
class SourceReader {
public:
    explicit SourceReader(const Codec& codec) : codec_(codec), buffer_(kChunk) {}

    bool Open(const QString& path, Sink& sink) {
        file_.setFileName(path);
        if (!file_.open(QIODevice::ReadOnly) || !Fill(256))
            return false;
        size_t prefix = 0;
        int64_t shift = 0;
        if (!FindOrigin(codec_, std::string_view(buffer_.data() + pos_, end_ - pos_), prefix,
                        shift))
            return false;
        sink.Write(buffer_.data(), prefix);
        pos_ += prefix;
        decoded_ = -shift;
        return true;
    }

    int64_t Position() const { return decoded_; }

    // Moves on to the decoded offset to. The bytes passed go to sink, their text to text,
    // each when given.
    bool Advance(int64_t to, Sink* sink, std::string* text) {
        if (to < decoded_)
            return false;
        while (decoded_ < to) {
            if (end_ - pos_ < 4 && !Fill(4))
                return false;
            if (pos_ == end_)
                return false;
            const size_t runStart = pos_;
            if (codec_.kind == Codec::Kind::Utf8) {
                const size_t count =
                    std::min<size_t>(end_ - pos_, static_cast<size_t>(to - decoded_));
                if (text)
                    text->append(buffer_.data() + pos_, count);
                pos_ += count;
                decoded_ += static_cast<int64_t>(count);
            } else {
                while (decoded_ < to && pos_ < end_ && (end_ - pos_ >= 4 || eof_)) {
                    uint32_t cp = 0;
                    const int length =
                        codec_.Next(reinterpret_cast<const unsigned char*>(buffer_.data()) + pos_,
                                    end_ - pos_, cp);
                    if (length == 0 || decoded_ + Utf8Length(cp) > to)
                        return false;
                    if (text)
                        AppendUtf8(*text, cp);
                    pos_ += static_cast<size_t>(length);
                    decoded_ += Utf8Length(cp);
                }
            }
            if (sink)
                sink->Write(buffer_.data() + runStart, pos_ - runStart);
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

    const Codec& codec_;
    QFile file_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    uLong crc_ = crc32(0, nullptr, 0);
    int64_t read_ = 0;
    int64_t decoded_ = 0;
};

// The value the parser made of markup text: references resolved, line ends and, in an
// attribute, white space normalized. Nothing when it holds markup or a reference whose
// text is not known here.
std::optional<std::string> ValueOf(std::string_view text, bool attribute) {
    std::string value;
    value.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '&') {
            const size_t semicolon = text.find(';', i);
            if (semicolon == std::string_view::npos)
                return std::nullopt;
            const std::string_view name = text.substr(i + 1, semicolon - i - 1);
            i = semicolon + 1;
            if (name == "lt")
                value += '<';
            else if (name == "gt")
                value += '>';
            else if (name == "amp")
                value += '&';
            else if (name == "apos")
                value += '\'';
            else if (name == "quot")
                value += '"';
            else if (name.size() > 1 && name[0] == '#') {
                const bool hex = name[1] == 'x';
                const std::string digits(name.substr(hex ? 2 : 1));
                char* end = nullptr;
                const unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
                if (digits.empty() || *end || cp > 0x10FFFF)
                    return std::nullopt;
                AppendUtf8(value, static_cast<uint32_t>(cp));
            } else {
                return std::nullopt;
            }
        } else if (c == '<') {
            if (attribute || text.substr(i, 9) != "<![CDATA[")
                return std::nullopt;
            const size_t end = text.find("]]>", i + 9);
            if (end == std::string_view::npos)
                return std::nullopt;
            for (size_t k = i + 9; k < end; ++k) {
                if (text[k] == '\r') {
                    value += '\n';
                    if (k + 1 < end && text[k + 1] == '\n')
                        ++k;
                } else {
                    value += text[k];
                }
            }
            i = end + 3;
        } else if (c == '\r') {
            value += attribute ? ' ' : '\n';
            i += i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        } else {
            value += attribute && (c == '\n' || c == '\t') ? ' ' : c;
            ++i;
        }
    }
    return value;
}

// Element text escapes '&', '<' and '>'. An attribute value (quote given) escapes '&', '<' and
// its own quote, and writes what attribute normalization would change as references. A raw
// CR would read back as a line feed in either.
std::string Escape(std::string_view value, char quote = 0) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '\r')
            out += "&#13;";
        else if (!quote && c == '>')
            out += "&gt;";
        else if (quote && c == '\t')
            out += "&#9;";
        else if (quote && c == '\n')
            out += "&#10;";
        else if (quote && c == quote)
            out += quote == '"' ? "&quot;" : "&apos;";
        else
            out += c;
    }
    return out;
}

struct AttributeText {
    std::string_view name;
    size_t valueStart = 0;
    size_t valueEnd = 0;
    char quote = '"';
};

// The attributes of a start tag's text, from '<' up to its closing '>' or "/>".
bool ParseStartTag(std::string_view tag, std::vector<AttributeText>& attributes) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t i = 1;
    while (i < tag.size() && !blank(tag[i]))
        ++i;
    for (;;) {
        while (i < tag.size() && blank(tag[i]))
            ++i;
        if (i == tag.size())
            return true;
        AttributeText attribute;
        const size_t nameStart = i;
        while (i < tag.size() && !blank(tag[i]) && tag[i] != '=')
            ++i;
        attribute.name = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && blank(tag[i]))
            ++i;
        if (i == tag.size() || tag[i] != '=')
            return false;
        ++i;
        while (i < tag.size() && blank(tag[i]))
            ++i;
        if (i == tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return false;
        attribute.quote = tag[i];
        attribute.valueStart = i + 1;
        const size_t close = tag.find(attribute.quote, i + 1);
        if (close == std::string_view::npos)
            return false;
        attribute.valueEnd = close;
        attributes.push_back(attribute);
        i = close + 1;
    }
}

class Splicer {
public:
    Splicer(const Codec& codec, SourceReader& reader, Sink& sink, SpliceResult& result)
        : codec_(codec), reader_(reader), sink_(sink), result_(result) {}

    // Values written in the start tag's attributes.
    bool StartTag(xmlNodePtr element, const ElementSpan& span) {
        std::string tag;
        if (!reader_.Advance(span.open, &sink_, nullptr) ||
            !reader_.Advance(span.close, nullptr, &tag))
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
            const auto original = ValueOf(
                std::string_view(tag).substr(text.valueStart, text.valueEnd - text.valueStart),
                true);
            if (original && *original == value)
                continue;
            codec_.Encode(std::string_view(tag).substr(copied, text.valueStart - copied), bytes,
                          false);
            const uint64_t length = codec_.Encode(Escape(value, text.quote), bytes, true);
            result_.replacements.push_back(
                {span.open + text.valueStart, span.open + text.valueEnd, length, nullptr});
            copied = text.valueEnd;
        }
        // A written attribute that the tag does not show (a default from the DTD).
        if (pending != 0)
            return false;
        codec_.Encode(std::string_view(tag).substr(copied), bytes, false);
        sink_.Write(bytes);
        return true;
    }

    // The content of an element whose value was written.
    bool Content(xmlNodePtr element, const ElementSpan& span) {
        const std::string value = ContentOf(element);
        std::string bytes;
        if (span.EmptyForm()) {
            if (value.empty())
                return true;
            std::string closing;
            if (!reader_.Advance(span.close, &sink_, nullptr) ||
                !reader_.Advance(span.close + 2, nullptr, &closing) || closing != "/>")
                return false;
            const uint64_t length = codec_.Encode(">", bytes, false);
            const uint64_t content = codec_.Encode(Escape(value), bytes, true);
            const uint64_t end = codec_.Encode("</" + QualifiedName(element) + ">", bytes, false);
            result_.replacements.push_back(
                {span.close, span.close + 2u, length + content + end, element});
            result_.replacements.back().content = content;
            sink_.Write(bytes);
            return true;
        }
        const int64_t start = int64_t{span.close} + 1;
        if (!reader_.Advance(start, &sink_, nullptr))
            return false;
        // Text longer than this cannot stand for the value: skip it unread.
        const uint64_t length = span.endOpen - static_cast<uint64_t>(start);
        std::string original;
        if (length <= 16 * value.size() + 64) {
            if (!reader_.Advance(span.endOpen, nullptr, &original))
                return false;
            const auto was = ValueOf(original, false);
            if (was && *was == value) {
                codec_.Encode(original, bytes, false);
                sink_.Write(bytes);
                return true;
            }
        } else if (!reader_.Advance(span.endOpen, nullptr, nullptr)) {
            return false;
        }
        const uint64_t written = codec_.Encode(Escape(value), bytes, true);
        result_.replacements.push_back(
            {static_cast<uint64_t>(start), span.endOpen, written, nullptr});
        sink_.Write(bytes);
        return true;
    }

private:
    const Codec& codec_;
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
    const std::optional<Codec> codec = Codec::For(source.encoding);
    if (!codec)
        return false;
    Sink sink(out);
    SourceReader reader(*codec);
    if (!reader.Open(path, sink))
        return false;
    Splicer splicer(*codec, reader, sink, result);
    const auto splice = [&](xmlNodePtr element) {
        const bool attributes = AnyAttributeWritten(element);
        const bool content = ValueWritten(element);
        ElementSpan span;
        if ((attributes || content) && !SourceSpan(element, span))
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
