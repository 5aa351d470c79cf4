#include "xml/MarkupScanner.h"

#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstdlib>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool AllBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsBlank);
}

// Resolves the predefined or character reference at text[i] ('&') onto value.
bool Resolve(std::string_view text, size_t& i, std::string& value) {
    const size_t semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos)
        return false;
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
        xmlChar utf8[4];
        const int length = digits.empty() || *end || cp == 0 || cp > 0x10FFFF
                               ? 0
                               : xmlCopyCharMultiByte(utf8, static_cast<int>(cp));
        if (length <= 0)
            return false;
        value.append(reinterpret_cast<const char*>(utf8), static_cast<size_t>(length));
    } else {
        return false;
    }
    return true;
}

// Line ends as the parser reads them: CR LF and a lone CR each become a line feed.
std::string LineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

// Character data up to this length lies whole in the parser's input buffer when it is read
// (the parser keeps at least 250 bytes ahead), so only its own markup splits it.
constexpr size_t kShortRun = 200;

} // namespace

std::optional<std::string> AttributeValueRead(std::string_view text, bool tokenized) {
    std::string value;
    value.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '&') {
            if (!Resolve(text, i, value))
                return std::nullopt;
        } else if (c == '<') {
            return std::nullopt;
        } else if (c == '\r') {
            value += ' ';
            i += i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        } else {
            value += c == '\n' || c == '\t' ? ' ' : c;
            ++i;
        }
    }
    if (!tokenized)
        return value;
    // Only spaces: a tab or line feed from a reference stays what it is.
    std::string tokens;
    bool space = false;
    for (const char c : value) {
        if (c == ' ') {
            space = !tokens.empty();
            continue;
        }
        if (space)
            tokens += ' ';
        space = false;
        tokens += c;
    }
    return tokens;
}

// Follows the parser through the content (xmlParseCharData and areBlanks of libxml2): text
// comes to it in pieces, and a piece of blanks only is dropped or kept by the rules, by the
// character after it, and by the nodes made before it.
std::optional<std::string> ContentRead(std::string_view text, const BlankRules& rules) {
    using Blanks = BlankRules::Blanks;
    std::string value;
    bool children = false, firstIsText = false, lastIsText = false;
    // Once text starting with a blank is kept, the parser keeps every later blank of the
    // element; maybeKept when that may have happened at a place not known here.
    bool keptText = false, maybeKeptText = false;
    const auto addText = [&](std::string_view piece) {
        value += piece;
        firstIsText = firstIsText || !children;
        children = lastIsText = true;
    };
    // Whether a piece of blanks only is kept, next being the character after it.
    const auto blanksKept = [&](char next, bool endTagNext) -> std::optional<bool> {
        if (rules.blanks == Blanks::Kept || keptText)
            return true;
        bool kept = false;
        if (rules.blanks == Blanks::Dropped)
            kept = false;
        else if (next != '<' && next != '\r')
            kept = true;
        else if (!children)
            kept = endTagNext;
        else
            kept = lastIsText || firstIsText;
        if (!kept && maybeKeptText)
            return std::nullopt;
        return kept;
    };
    // One piece as the parser hands it on; startsBlank pieces are judged, and their text,
    // when kept, counts.
    const auto piece = [&](std::string_view text, char next, bool endTagNext,
                           bool countsAlways) -> bool {
        if (text.empty())
            return true;
        if (AllBlank(text)) {
            const auto kept = blanksKept(next, endTagNext);
            if (!kept)
                return false;
            if (!*kept)
                return true;
        }
        addText(text);
        if ((countsAlways || IsBlank(text.front())) && rules.keptTextCounts)
            keptText = true;
        return true;
    };
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '<') {
            if (text.substr(i, 9) != "<![CDATA[")
                return std::nullopt;
            const size_t end = text.find("]]>", i + 9);
            if (end == std::string_view::npos)
                return std::nullopt;
            value += LineEnds(text.substr(i + 9, end - i - 9));
            children = true;
            lastIsText = false;
            i = end + 3;
            continue;
        }
        if (text[i] == '&') {
            std::string resolved;
            if (!Resolve(text, i, resolved))
                return std::nullopt;
            addText(resolved);
            continue;
        }
        const size_t end = std::min(text.find_first_of("<&", i), text.size());
        const std::string_view run = text.substr(i, end - i);
        i = end;
        const char after = end < text.size() ? text[end] : '<';
        const bool endTagAfter = end == text.size();
        if (rules.blanks == Blanks::Kept) {
            addText(LineEnds(run));
            continue;
        }
        if (run.size() >= kShortRun) {
            if (AllBlank(run))
                return std::nullopt;
            addText(LineEnds(run));
            maybeKeptText = maybeKeptText || rules.keptTextCounts;
            continue;
        }
        // ASCII text comes in pieces split where a CR LF stands; from the first other byte on
        // (a character beyond ASCII, a lone CR) the rest of the run comes as one piece.
        size_t ascii = 0;
        while (ascii < run.size() && static_cast<unsigned char>(run[ascii]) < 0x80 &&
               (run[ascii] != '\r' || (ascii + 1 < run.size() && run[ascii + 1] == '\n')))
            ++ascii;
        size_t from = 0;
        for (size_t cr = run.find('\r'); cr < ascii; cr = run.find('\r', cr + 1)) {
            if (!piece(run.substr(from, cr - from), '\r', false, false))
                return std::nullopt;
            from = cr + 1;
        }
        const char next = ascii < run.size() ? run[ascii] : after;
        if (!piece(run.substr(from, ascii - from), next, ascii == run.size() && endTagAfter,
                   false) ||
            !piece(LineEnds(run.substr(ascii)), after, endTagAfter, true))
            return std::nullopt;
    }
    return value;
}

std::string EscapeContent(std::string_view value, bool blanksAsReferences) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '\r')
            out += "&#13;";
        else if (blanksAsReferences && c == ' ')
            out += "&#32;";
        else if (blanksAsReferences && c == '\t')
            out += "&#9;";
        else if (blanksAsReferences && c == '\n')
            out += "&#10;";
        else
            out += c;
    }
    return out;
}

std::string EscapeAttribute(std::string_view value, char quote) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '\r')
            out += "&#13;";
        else if (c == '\t')
            out += "&#9;";
        else if (c == '\n')
            out += "&#10;";
        else if (c == quote)
            out += quote == '"' ? "&quot;" : "&apos;";
        else
            out += c;
    }
    return out;
}

bool ParseStartTag(std::string_view tag, std::vector<AttributeText>& attributes) {
    size_t i = 1;
    while (i < tag.size() && !IsBlank(tag[i]))
        ++i;
    for (;;) {
        while (i < tag.size() && IsBlank(tag[i]))
            ++i;
        if (i == tag.size())
            return true;
        AttributeText attribute;
        const size_t nameStart = i;
        while (i < tag.size() && !IsBlank(tag[i]) && tag[i] != '=')
            ++i;
        attribute.name = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && IsBlank(tag[i]))
            ++i;
        if (i == tag.size() || tag[i] != '=')
            return false;
        ++i;
        while (i < tag.size() && IsBlank(tag[i]))
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
