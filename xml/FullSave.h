#pragma once

#include <libxml/tree.h>

#include <string>

class QIODevice;

// Writes the whole of doc to device in encoding and reads what it writes back with the
// parse options of a load; throws Failure unless that holds the same elements, attributes
// and values as doc. White space is added between elements only where a load drops it
// again. A doctype, when given, is the declaration as the loaded file wrote it and is
// written in place of the library's own rendering of the document type.
void WriteWholeDocument(xmlDocPtr doc, const char* encoding, const std::string& doctype,
                        int parseOptions, QIODevice& device);
