#pragma once

#include "xml/XmlPtr.h"

#include <libxml/encoding.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// How a file's bytes become the text the parser reads (UTF-8) and back, for a save that
// copies the file and replaces stretches of it found by their offsets in that text. Other
// than UTF-8 and UTF-16, the file is read with the very converter libxml2 read it with, so
// that offsets match whatever that converter makes of the bytes.
class XmlCodec {
public:
    // Nothing for an encoding the converter cannot be matched against byte by byte: one
    // whose ASCII bytes are not always the characters they look like. Those are the
    // stateful ones (ISO-2022-*, UTF-7, HZ), where a byte's meaning depends on an escape
    // far before it, and those that do not read markup as ASCII (EBCDIC, UCS-4).
    static std::unique_ptr<XmlCodec> For(const std::string& encoding);
    ~XmlCodec();
    XmlCodec(const XmlCodec&) = delete;
    XmlCodec& operator=(const XmlCodec&) = delete;

    // Where the parser's offsets begin in the file, from its first bytes: rawPrefix bytes
    // (a UTF-16 byte-order mark) come before offset 0; a declared encoding takes over right
    // after the declaration's encoding value, so offsets there start over at 0 (shift is the
    // number of bytes before that point). False when the head does not show it.
    bool Origin(std::string_view head, size_t& rawPrefix, int64_t& shift) const;

    enum class Step {
        Progress,   // raw bytes became decoded bytes of text
        NeedBytes,  // more of the file is needed before anything can be handed out
        Misaligned, // room ends inside a character, or the bytes cannot be decoded
    };
    // Reads on from p, the next avail bytes of the file (last: the file ends there), into at
    // most room bytes of text, appended to text when given. Hands out raw bytes and their
    // text only where both line up, so that the bytes before a stop are exactly those of
    // the text before it. One character at a time when fine. Bytes that the converter has
    // been fed but not yet answered stay at p for the next call.
    Step Decode(const unsigned char* p, size_t avail, bool last, uint64_t room, bool fine,
                size_t& raw, uint64_t& decoded, std::string* text);

    // Appends text (UTF-8 markup, escaped) to out in the file's encoding, so that the
    // parser decodes it back to what it means: a character the encoding holds as itself,
    // any other as a character reference. Returns the length the parser will count for
    // it, or nothing when it cannot be written so.
    std::optional<uint64_t> Encode(std::string_view text, std::string& out);

private:
    enum class Kind { Utf8, Utf16LE, Utf16BE, Converted };
    XmlCodec() = default;

    Step DecodeUtf16(const unsigned char* p, size_t avail, bool last, uint64_t room, bool fine,
                     size_t& raw, uint64_t& decoded, std::string* text) const;
    Step DecodeConverted(const unsigned char* p, size_t avail, bool last, uint64_t room, bool fine,
                         size_t& raw, uint64_t& decoded, std::string* text);
    // Feeds bytes to the converter and appends what it hands out to pending_.
    bool Feed(const unsigned char* bytes, size_t size);
    // Whether bytes, followed by an ASCII byte as in the file, decode to exactly text.
    bool DecodesTo(std::string_view bytes, std::string_view text);
    bool Convert(std::string_view text, std::string& out);

    struct HandlerClose {
        void operator()(xmlCharEncodingHandler* handler) const { xmlCharEncCloseFunc(handler); }
    };
    using Handler = std::unique_ptr<xmlCharEncodingHandler, HandlerClose>;

    Kind kind_ = Kind::Utf8;
    std::string name_;
    Handler reader_;  // decodes the file as it is copied
    Handler writer_;  // encodes written values
    Handler checker_; // decodes written values back, from a clean state each time
    OwnedBuffer in_, out_;

    // Bytes that are characters of their own, and their text: what a byte decodes to when the
    // converter holds nothing before it and hands it out at once, holding nothing after.
    std::array<std::string, 256> single_;
    std::array<bool, 256> plain_{};

    // While the converter is being fed: the bytes from p fed so far and the text they gave.
    bool clean_ = true;
    bool settled_ = false; // pending_ is complete: its last byte was handed out as itself
    size_t fed_ = 0;
    std::string pending_;
};
