#pragma once

#include "xml/SourcePositions.h"

#include <libxml/tree.h>

#include <cstdint>
#include <vector>

class QIODevice;

// One stretch of the source replaced by a save, in decoded offsets: [start, end) became
// length characters' worth of decoded text.
struct Replacement {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t length = 0;
    // An element of the form <a/> that got content, and that content's length.
    xmlNodePtr element = nullptr;
    uint64_t content = 0;
};

struct SpliceResult {
    std::vector<Replacement> replacements;
    std::vector<xmlNodePtr> attributes; // written ones, whose marks go once the file is in place
    uint32_t checksum = 0;              // of the bytes written
    int64_t size = 0;
};

// Writes source's bytes to out with the values written since the load put in place of the
// original ones, every other byte as it was; each value in the file's encoding and so that a
// load reads it back as it is. False, with out in an unknown state, when the document cannot
// be saved this way: the file has changed since the load, its encoding is one the splice does
// not follow, or a written value has no known place in it. Throws Failure, out again in an
// unknown state, for a value that no file could hold so that a load reads it back (spaces at
// the ends of an attribute that the document type declares tokenized).
bool SpliceSave(xmlDocPtr doc, const LoadedSource& source, QIODevice& out, SpliceResult& result);

// After the spliced file has replaced the one at path: makes it the document's source, with
// every element's places moved past the replacements and no value marked as written. False
// when the places no longer fit, and the document must not be spliced again.
bool RebaseSource(xmlDocPtr doc, LoadedSource& source, const SpliceResult& result,
                  const std::string& path, int64_t modified);

// On unless a benchmark measures the full serialization in its place.
void SetSplicingEnabled(bool enabled);
bool SplicingEnabled();
