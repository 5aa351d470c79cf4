#pragma once

#include "common/FileStamp.h"
#include "xml/PlainPaths.h"

#include <libxml/parser.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where each element of a loaded document stands in its file, so that a save can copy the
// file and replace only the values that changed. The places are offsets into the text as the
// parser decoded it (UTF-8; the same as file offsets in a UTF-8 file). They are kept in fields
// of the element node that a document without schema validation never uses (psvi, line and
// extra), so a document of millions of elements needs no table beside its tree.
struct SourceRecorder {
    // The name of the decoder the parser read the file with; empty for UTF-8.
    std::string encoding;
    bool encodingSeen = false;
    // The document type declaration as the file writes it, internal subset included, so a
    // full save can write it back unchanged; empty when there is none or it was not seen whole.
    std::string doctype;
    uint64_t doctypeStart = 0;
    bool doctypeStarted = false;

    // With paths to keep, an element that none of them can select, nor anything inside it,
    // is dropped from the tree as soon as it has been read; the root always stays. Every
    // element stays in a document with a document type, or in an encoding that a save
    // cannot splice: such a document is saved whole.
    const PlainPaths* keep = nullptr;
    bool dropped = false; // some element was
    std::optional<PlainPaths::Matcher> matcher;
    bool keepAll = false;
    size_t depth = 0;
    size_t wholeAt = 0; // the depth of an element kept with everything inside it
    size_t dropAt = 0;  // the depth of an element to drop
};

// Makes the parser record the places of every element it builds. The recorder must outlive
// the parse; the context's _private is taken for it.
void RecordSourcePositions(xmlParserCtxtPtr parser, SourceRecorder& recorder);

// Element places are kept only below this offset, so that its bit can mark a written value.
inline constexpr uint64_t kSourceOffsetLimit = uint64_t{1} << 31;

struct ElementSpan {
    uint32_t open = 0;    // '<' of the start tag
    uint32_t close = 0;   // '>' that ends the start tag, or '/' of "/>"
    uint32_t endOpen = 0; // '<' of the end tag; equal to close for the form <a/>
    bool EmptyForm() const { return endOpen == close; }
};

// The element's places, or false for an element that was not read from the file.
bool SourceSpan(xmlNodePtr element, ElementSpan& span);

// Notes that the value of an element or attribute has been written since the load; true
// when it had not been noted yet.
bool MarkValueWritten(xmlNodePtr node);
bool ValueWritten(xmlNodePtr node);

// The file a document was loaded from, as it was then: a save may splice it only while it
// is still the same.
struct LoadedSource {
    std::string path;
    FileStamp stamp;
    std::string encoding; // as SourceRecorder::encoding
    // The elements and attributes whose values were written since, so a save need not
    // look through the whole tree for them; when there are too many, it does.
    std::vector<xmlNodePtr> written;
    bool writtenUnlisted = false;

    void NoteWritten(xmlNodePtr node) {
        if (written.size() < kListedWrites)
            written.push_back(node);
        else
            writtenUnlisted = true;
    }
    static constexpr size_t kListedWrites = 1 << 16;
};

// Sets an element's places anew and clears its written mark.
void SetSourceSpan(xmlNodePtr element, const ElementSpan& span);
// Clears the written mark of an attribute.
void ClearValueWritten(xmlNodePtr attribute);
