#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a load (libxml2 with blank text dropped) makes of pieces of markup, and how a value is
// written so that a load makes that value of it again.

// What the parser does with text of blanks only between an element's markup.
struct BlankRules {
    enum class Blanks {
        Kept,    // under xml:space="preserve", or the element is declared with mixed content
        Dropped, // the element is declared with element content
        Guessed, // undeclared: the parser judges by the text's neighbours
    } blanks = Blanks::Guessed;
    // Whether text the parser kept makes it keep every later blank (not under
    // xml:space="default", which pins that off).
    bool keptTextCounts = true;
};

// The value a load reads from an attribute's text between its quotes: references resolved,
// white space normalized; with tokenized (a declared type other than CDATA) spaces trimmed
// and runs of them made one. Nothing when it holds a reference whose text is not known here.
std::optional<std::string> AttributeValueRead(std::string_view text, bool tokenized);

// The value a load reads from an element's content between its tags. Nothing when it holds
// markup other than CDATA sections, an entity whose text is not known here, or blanks whose
// fate the parser decides by where its input buffer happens to end.
std::optional<std::string> ContentRead(std::string_view text, const BlankRules& rules);

// An element's content holding value: '&', '<' and '>' escaped, a CR (which would read back
// as a line feed) as a reference, and with blanksAsReferences every blank, which the parser
// cannot drop then.
std::string EscapeContent(std::string_view value, bool blanksAsReferences);

// An attribute's text between quote characters: '&', '<' and the quote escaped, and what
// attribute normalization would change written as references.
std::string EscapeAttribute(std::string_view value, char quote);

struct AttributeText {
    std::string_view name;
    size_t valueStart = 0;
    size_t valueEnd = 0;
    char quote = '"';
};

// The attributes of a start tag's text, from '<' up to its closing '>' or "/>".
bool ParseStartTag(std::string_view tag, std::vector<AttributeText>& attributes);
