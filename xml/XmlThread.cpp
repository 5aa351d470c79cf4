#include "xml/XmlThread.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace {
void IgnoreLibraryError(void*, xmlErrorPtr) {}
void IgnoreGenericError(void*, const char*, ...) {}
} // namespace

void PrepareXmlThread() {
    xmlSetStructuredErrorFunc(nullptr, IgnoreLibraryError);
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
}
