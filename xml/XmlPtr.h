#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

// Frees libxml2 objects with the library's own functions, for owning them in a unique_ptr.
struct XmlFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
    void operator()(xmlBufferPtr buffer) const { xmlBufferFree(buffer); }
    void operator()(xmlParserCtxtPtr parser) const { xmlFreeParserCtxt(parser); }
};

using OwnedDoc = std::unique_ptr<xmlDoc, XmlFree>;
using OwnedBuffer = std::unique_ptr<xmlBuffer, XmlFree>;
using OwnedParser = std::unique_ptr<xmlParserCtxt, XmlFree>;
