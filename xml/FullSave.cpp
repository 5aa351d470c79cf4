#include "xml/FullSave.h"

#include "common/Failure.h"
#include "xml/FastXPath.h"
#include "xml/XmlPtr.h"
#include "xml/XmlText.h"

#include <QIODevice>

#include <memory>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/valid.h>
#include <libxml/xmlsave.h>

namespace {

// Output to the device, fed at the same time to a parser that reads it back.
struct Tee {
    QIODevice& device;
    xmlParserCtxtPtr check;
    bool failed = false;

    static int Write(void* context, const char* buffer, int length) {
        auto* tee = static_cast<Tee*>(context);
        if (tee->device.write(buffer, length) != length) {
            tee->failed = true;
            return -1;
        }
        xmlParseChunk(tee->check, buffer, length, 0);
        return length;
    }
};

// Whether a load keeps white space between elements somewhere: in elements declared with
// mixed or any content, and under xml:space. Indentation would become part of their values.
bool KeepsWhiteSpace(xmlDocPtr doc) {
    for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset}) {
        for (xmlNodePtr n = dtd ? dtd->children : nullptr; n; n = n->next) {
            if (n->type != XML_ELEMENT_DECL)
                continue;
            const auto type = reinterpret_cast<xmlElementPtr>(n)->etype;
            if (type == XML_ELEMENT_TYPE_ANY || type == XML_ELEMENT_TYPE_MIXED)
                return true;
        }
    }
    for (xmlNodePtr node = xmlDocGetRootElement(doc); node; node = NextInTree(node)) {
        if (node->type == XML_ELEMENT_NODE &&
            xmlHasNsProp(node, BAD_CAST "space", XML_XML_NAMESPACE))
            return true;
    }
    return false;
}

// The text an element holds itself, entity references by name.
std::string OwnText(xmlNodePtr element) {
    std::string text;
    for (xmlNodePtr child = element->children; child; child = child->next) {
        if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
            child->content)
            text += reinterpret_cast<const char*>(child->content);
        else if (child->type == XML_ENTITY_REF_NODE)
            text.append("&").append(reinterpret_cast<const char*>(child->name)).append(";");
    }
    return text;
}

xmlNodePtr NextElementSibling(xmlNodePtr node) {
    while (node && node->type != XML_ELEMENT_NODE)
        node = node->next;
    return node;
}

// Names compare as written: an element made with a prefixed name and no namespace reads back
// as one in the namespace the prefix is bound to.
bool SameValues(xmlNodePtr a, xmlNodePtr b) {
    if (QualifiedName(a) != QualifiedName(b) || OwnText(a) != OwnText(b))
        return false;
    xmlAttrPtr x = a->properties, y = b->properties;
    for (; x && y; x = x->next, y = y->next) {
        if (QualifiedName(reinterpret_cast<xmlNodePtr>(x)) !=
                QualifiedName(reinterpret_cast<xmlNodePtr>(y)) ||
            ContentOf(reinterpret_cast<xmlNodePtr>(x)) !=
                ContentOf(reinterpret_cast<xmlNodePtr>(y)))
            return false;
    }
    if (x || y)
        return false;
    xmlNodePtr c = NextElementSibling(a->children), d = NextElementSibling(b->children);
    for (; c && d; c = NextElementSibling(c->next), d = NextElementSibling(d->next))
        if (!SameValues(c, d))
            return false;
    return !c && !d;
}

// Puts the loaded declaration in the place of the document type for the time of the save:
// the library drops defaults and parameter-entity references from its own rendering of it.
class DoctypeAsWritten {
public:
    DoctypeAsWritten(xmlDocPtr doc, const std::string& text) : doc_(doc) {
        dtd_ = reinterpret_cast<xmlNodePtr>(doc->intSubset);
        if (text.empty() || !dtd_ || dtd_->parent != reinterpret_cast<xmlNodePtr>(doc))
            return;
        stand_ = xmlNewDocTextLen(doc, BAD_CAST text.data(), static_cast<int>(text.size()));
        if (!stand_)
            return;
        stand_->name = xmlStringTextNoenc;
        Swap(dtd_, stand_);
    }
    ~DoctypeAsWritten() {
        if (stand_) {
            Swap(stand_, dtd_);
            xmlFreeNode(stand_);
        }
    }
    DoctypeAsWritten(const DoctypeAsWritten&) = delete;
    DoctypeAsWritten& operator=(const DoctypeAsWritten&) = delete;

private:
    void Swap(xmlNodePtr out, xmlNodePtr in) {
        in->parent = out->parent;
        in->prev = out->prev;
        in->next = out->next;
        if (out->prev)
            out->prev->next = in;
        else
            doc_->children = in;
        if (out->next)
            out->next->prev = in;
        else
            doc_->last = in;
        out->prev = out->next = nullptr;
    }

    xmlDocPtr doc_;
    xmlNodePtr dtd_ = nullptr;
    xmlNodePtr stand_ = nullptr;
};

} // namespace

void WriteWholeDocument(xmlDocPtr doc, const char* encoding, const std::string& doctype,
                        int parseOptions, QIODevice& device) {
    OwnedParser check(xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr));
    if (!check)
        throw Failure(kErrXmlLibrary, "Out of memory");
    // The parser leaves the document it builds to its caller, also when a failure stops it.
    const auto freeCheckDoc = [](xmlParserCtxtPtr ctxt) {
        xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
    };
    const std::unique_ptr<xmlParserCtxt, decltype(freeCheckDoc)> checkDoc(check.get(),
                                                                          freeCheckDoc);
    xmlCtxtUseOptions(check.get(), parseOptions);
    Tee tee{device, check.get()};
    const int format = KeepsWhiteSpace(doc) ? 0 : XML_SAVE_FORMAT;
    bool written = false, flushed = false;
    {
        DoctypeAsWritten asWritten(doc, doctype);
        xmlSaveCtxtPtr writer =
            xmlSaveToIO(Tee::Write, nullptr, &tee, encoding, format | XML_SAVE_AS_XML);
        if (!writer)
            throw Failure(kErrXmlLibrary, "The document could not be serialized.");
        written = xmlSaveDoc(writer, doc) >= 0;
        flushed = xmlSaveClose(writer) >= 0;
    }
    if (tee.failed)
        throw Failure(kErrXmlLibrary, device.errorString().isEmpty()
                                          ? std::string("The file could not be written.")
                                          : device.errorString().toStdString());
    if (!written || !flushed)
        throw Failure(kErrXmlLibrary, "The document could not be serialized.");
    xmlParseChunk(check.get(), nullptr, 0, 1);
    OwnedDoc reread(check->myDoc);
    check->myDoc = nullptr;
    if (!reread || !check->wellFormed || !xmlDocGetRootElement(reread.get()) ||
        !SameValues(xmlDocGetRootElement(doc), xmlDocGetRootElement(reread.get())))
        throw Failure(kErrXmlLibrary,
                      "The document cannot be written so that it reads back as it is.");
}
