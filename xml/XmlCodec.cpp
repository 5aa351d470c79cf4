#include "xml/XmlCodec.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlstring.h>

#include <algorithm>

namespace {

// Characters that markup is made of and that the scanner and escaping take for ASCII.
constexpr std::string_view kMarkup = " \t\n\r<>&;#\"'=/![]?-:_.0123456789"
                                     "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Runs bytes through a converter, appending what it gives to text, for as long as it takes
// more (it stops when its output buffer is full). Bytes it needs more of to make a character
// stay in in. False on bytes it cannot convert.
bool Run(xmlCharEncodingHandler* handler, xmlBufferPtr in, xmlBufferPtr out, std::string_view bytes,
         bool decode, std::string& text) {
    if (!bytes.empty() && xmlBufferAdd(in, reinterpret_cast<const xmlChar*>(bytes.data()),
                                       static_cast<int>(bytes.size())) != 0)
        return false;
    for (;;) {
        const int before = xmlBufferLength(in);
        xmlBufferEmpty(out);
        const int result =
            decode ? xmlCharEncInFunc(handler, out, in) : xmlCharEncOutFunc(handler, out, in);
        text.append(reinterpret_cast<const char*>(xmlBufferContent(out)),
                    static_cast<size_t>(xmlBufferLength(out)));
        xmlBufferEmpty(out);
        if (result < 0)
            return false;
        if (xmlBufferLength(in) == 0 || xmlBufferLength(in) == before)
            return true;
    }
}

// Far from a stop, bytes go to the converter this many at least at a time; none makes more
// than kMostPerByte bytes of text (a character of four from one byte), and what it holds
// back is less than kHeld.
constexpr size_t kBulk = 4096;
constexpr uint64_t kMostPerByte = 4;
constexpr uint64_t kHeld = 64;

// The length of the UTF-8 character text starts with, or 0.
int FirstCharLength(std::string_view text) {
    int length = static_cast<int>(std::min<size_t>(text.size(), 4));
    if (length == 0 ||
        xmlGetUTF8Char(reinterpret_cast<const unsigned char*>(text.data()), &length) < 0)
        return 0;
    return length;
}

} // namespace

XmlCodec::~XmlCodec() = default;

std::unique_ptr<XmlCodec> XmlCodec::For(const std::string& encoding) {
    std::unique_ptr<XmlCodec> codec(new XmlCodec);
    if (encoding.empty())
        return codec;
    codec->name_ = encoding;
    codec->in_.reset(xmlBufferCreate());
    codec->out_.reset(xmlBufferCreate());
    codec->writer_.reset(xmlFindCharEncodingHandler(encoding.c_str()));
    codec->checker_.reset(xmlFindCharEncodingHandler(encoding.c_str()));
    if (!codec->in_ || !codec->out_ || !codec->writer_ || !codec->checker_)
        return nullptr;
    if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
        codec->kind_ = encoding == "UTF-16LE" ? Kind::Utf16LE : Kind::Utf16BE;
        return codec;
    }
    codec->kind_ = Kind::Converted;
    codec->reader_.reset(xmlFindCharEncodingHandler(encoding.c_str()));
    if (!codec->reader_)
        return nullptr;
    // Each byte on its own, followed by an ASCII letter: a byte is a character of its own when
    // it comes out at once as one character and the letter then comes out as itself.
    Handler probe;
    for (int byte = 0; byte < 256; ++byte) {
        if (!probe)
            probe.reset(xmlFindCharEncodingHandler(encoding.c_str()));
        xmlBufferEmpty(codec->in_.get());
        const char raw = static_cast<char>(byte);
        std::string text, after;
        const bool decoded =
            probe && Run(probe.get(), codec->in_.get(), codec->out_.get(), {&raw, 1}, true, text);
        const bool whole = decoded && xmlBufferLength(codec->in_.get()) == 0 && !text.empty() &&
                           FirstCharLength(text) == static_cast<int>(text.size());
        const bool released =
            whole && Run(probe.get(), codec->in_.get(), codec->out_.get(), "a", true, after) &&
            after == "a";
        if (whole && released) {
            codec->plain_[byte] = true;
            codec->single_[byte] = text;
        } else {
            probe.reset(); // it may hold something still
        }
    }
    xmlBufferEmpty(codec->in_.get());
    for (int byte = 0; byte < 0x80; ++byte)
        if (!codec->plain_[byte])
            return nullptr;
    for (const char c : kMarkup)
        if (codec->single_[static_cast<unsigned char>(c)] != std::string(1, c))
            return nullptr;
    return codec;
}

bool XmlCodec::Origin(std::string_view head, size_t& rawPrefix, int64_t& shift) const {
    rawPrefix = 0;
    shift = 0;
    if (kind_ == Kind::Utf16LE || kind_ == Kind::Utf16BE) {
        if (head.size() >= 2 &&
            (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF"))
            rawPrefix = 2;
        return true;
    }
    if (kind_ != Kind::Converted)
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

XmlCodec::Step XmlCodec::Decode(const unsigned char* p, size_t avail, bool last, uint64_t room,
                                bool fine, size_t& raw, uint64_t& decoded, std::string* text) {
    raw = 0;
    decoded = 0;
    switch (kind_) {
    case Kind::Utf8: {
        if (avail == 0)
            return last ? Step::Misaligned : Step::NeedBytes;
        raw = std::min<size_t>({avail, static_cast<size_t>(room), fine ? size_t{1} : avail});
        decoded = raw;
        if (text)
            text->append(reinterpret_cast<const char*>(p), raw);
        return Step::Progress;
    }
    case Kind::Utf16LE:
    case Kind::Utf16BE:
        return DecodeUtf16(p, avail, last, room, fine, raw, decoded, text);
    case Kind::Converted:
        return DecodeConverted(p, avail, last, room, fine, raw, decoded, text);
    }
    return Step::Misaligned;
}

XmlCodec::Step XmlCodec::DecodeUtf16(const unsigned char* p, size_t avail, bool last, uint64_t room,
                                     bool fine, size_t& raw, uint64_t& decoded,
                                     std::string* text) const {
    const auto unit = [&](size_t at) -> uint32_t {
        return kind_ == Kind::Utf16LE ? (p[at] | (p[at + 1] << 8)) : ((p[at] << 8) | p[at + 1]);
    };
    while (raw < avail && decoded < room) {
        const size_t left = avail - raw;
        if (left < 2)
            break;
        uint32_t cp = unit(raw);
        size_t length = 2;
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (left < 4)
                break;
            const uint32_t low = unit(raw + 2);
            if (cp > 0xDBFF || low < 0xDC00 || low > 0xDFFF)
                return Step::Misaligned;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            length = 4;
        }
        xmlChar utf8[4];
        const int size = xmlCopyCharMultiByte(utf8, static_cast<int>(cp));
        if (size <= 0 || decoded + static_cast<uint64_t>(size) > room)
            return raw > 0 ? Step::Progress : Step::Misaligned;
        if (text)
            text->append(reinterpret_cast<const char*>(utf8), static_cast<size_t>(size));
        raw += length;
        decoded += static_cast<uint64_t>(size);
        if (fine)
            break;
    }
    if (raw > 0)
        return Step::Progress;
    return last ? Step::Misaligned : Step::NeedBytes;
}

bool XmlCodec::Feed(const unsigned char* bytes, size_t size) {
    return Run(reader_.get(), in_.get(), out_.get(), {reinterpret_cast<const char*>(bytes), size},
               true, pending_);
}

XmlCodec::Step XmlCodec::DecodeConverted(const unsigned char* p, size_t avail, bool last,
                                         uint64_t room, bool fine, size_t& raw, uint64_t& decoded,
                                         std::string* text) {
    const auto handOut = [&](size_t bytes, size_t length) {
        raw = bytes;
        decoded = length;
        if (text)
            text->append(pending_, 0, length);
        pending_.erase(0, length);
        fed_ -= bytes;
    };
    if (clean_) {
        // Characters of one byte need no converter while it holds nothing.
        while (raw < avail && plain_[p[raw]] && decoded + single_[p[raw]].size() <= room) {
            if (text)
                text->append(single_[p[raw]]);
            decoded += single_[p[raw]].size();
            ++raw;
            if (fine)
                break;
        }
        if (raw > 0)
            return Step::Progress;
        if (avail == 0)
            return last ? Step::Misaligned : Step::NeedBytes;
        if (plain_[p[0]])
            return Step::Misaligned;
        clean_ = false;
    }
    for (;;) {
        if (settled_) {
            if (pending_.size() > room)
                return Step::Misaligned;
            handOut(fed_, pending_.size());
            settled_ = false;
            clean_ = true;
            return Step::Progress;
        }
        if (fed_ == avail)
            return last ? Step::Misaligned : Step::NeedBytes;
        // Far from the stop, a stretch at once, handed out whole with what the converter still
        // holds: that comes out with the bytes after it, before the stop, which falls only
        // where bytes and text line up again.
        const uint64_t far = room > pending_.size() + kHeld ? room - pending_.size() - kHeld : 0;
        const size_t bulk =
            static_cast<size_t>(std::min<uint64_t>(avail - fed_, far / kMostPerByte));
        if (!fine && bulk >= kBulk) {
            if (!Feed(p + fed_, bulk))
                return Step::Misaligned;
            fed_ += bulk;
            if (pending_.size() > room)
                return Step::Misaligned;
            handOut(fed_, pending_.size());
            return Step::Progress;
        }
        const unsigned char byte = p[fed_];
        if (!Feed(&byte, 1))
            return Step::Misaligned;
        ++fed_;
        // An ASCII byte handed out as itself with nothing left over ends the stretch: what the
        // converter held back came out before it, and it is a character of one byte.
        const std::string& own = single_[byte];
        if (byte < 0x80 && xmlBufferLength(in_.get()) == 0 && pending_.size() >= own.size() &&
            pending_.compare(pending_.size() - own.size(), own.size(), own) == 0) {
            const size_t before = pending_.size() - own.size();
            if (before > room)
                return Step::Misaligned;
            settled_ = true;
            if (before == 0)
                continue;
            // The stretch before that byte first, so a stop can fall between the two.
            handOut(fed_ - 1, before);
            return Step::Progress;
        }
        if (pending_.size() > room)
            return Step::Misaligned;
    }
}

bool XmlCodec::Convert(std::string_view text, std::string& out) {
    OwnedBuffer in(xmlBufferCreate()), converted(xmlBufferCreate());
    return in && converted && Run(writer_.get(), in.get(), converted.get(), text, false, out) &&
           xmlBufferLength(in.get()) == 0;
}

bool XmlCodec::DecodesTo(std::string_view bytes, std::string_view text) {
    // The ASCII byte after it, as the quote or '<' that follows a value in the file, makes the
    // converter hand out all it holds.
    std::string sentinel, decoded;
    OwnedBuffer in(xmlBufferCreate()), out(xmlBufferCreate());
    bool same =
        in && out && Convert("\"", sentinel) &&
        Run(checker_.get(), in.get(), out.get(), std::string(bytes) + sentinel, true, decoded) &&
        xmlBufferLength(in.get()) == 0 && decoded.size() == text.size() + 1 &&
        decoded.compare(0, text.size(), text) == 0 && decoded.back() == '"';
    if (!same) // whatever it still holds must not reach the next check
        checker_.reset(xmlFindCharEncodingHandler(name_.c_str()));
    return same && checker_;
}

std::optional<uint64_t> XmlCodec::Encode(std::string_view text, std::string& out) {
    if (kind_ == Kind::Utf8) {
        out.append(text);
        return text.size();
    }
    if (!checker_)
        return std::nullopt;
    std::string bytes;
    if (Convert(text, bytes) && DecodesTo(bytes, text)) {
        out += bytes;
        return text.size();
    }
    // Character by character: one that the encoding lacks, or that does not come back as
    // itself (Shift_JIS reads the byte it writes for a backslash as a yen sign), becomes a
    // reference; so does one that changes the character before it when decoded after it (a
    // Hebrew point composes with its letter). Should a longer run still change, every
    // character outside ASCII does.
    for (const bool all : {false, true}) {
        std::string written, previous, previousBytes;
        bytes.clear();
        for (size_t i = 0; i < text.size();) {
            const int length = FirstCharLength(text.substr(i));
            if (length == 0)
                return std::nullopt;
            const std::string_view c = text.substr(i, static_cast<size_t>(length));
            i += static_cast<size_t>(length);
            std::string single;
            if ((!all || length == 1) && Convert(c, single) && DecodesTo(single, c) &&
                (previous.empty() ||
                 DecodesTo(previousBytes + single, previous + std::string(c)))) {
                bytes += single;
                written += c;
                previous = c;
                previousBytes = single;
                continue;
            }
            int size = length;
            const std::string reference =
                "&#" +
                std::to_string(
                    xmlGetUTF8Char(reinterpret_cast<const unsigned char*>(c.data()), &size)) +
                ";";
            if (!Convert(reference, bytes))
                return std::nullopt;
            written += reference;
            previous.clear();
        }
        if (DecodesTo(bytes, written)) {
            out += bytes;
            return written.size();
        }
    }
    return std::nullopt;
}
