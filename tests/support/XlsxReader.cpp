#include "support/XlsxReader.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>
#include <stdexcept>

#ifdef RAVLEN_HAVE_LIBZIP
#include <zip.h>
#endif

namespace {

constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

#ifdef RAVLEN_HAVE_LIBZIP
std::string ReadPart(zip_t* archive, const std::string& name) {
    zip_stat_t stat;
    if (zip_stat(archive, name.c_str(), 0, &stat) != 0)
        throw std::runtime_error("missing part " + name);
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen(archive, name.c_str(), 0),
                                                            zip_fclose);
    if (!file)
        throw std::runtime_error("cannot open part " + name);
    std::string content(stat.size, '\0');
    if (zip_fread(file.get(), content.data(), content.size()) !=
        static_cast<zip_int64_t>(content.size()))
        throw std::runtime_error("cannot read part " + name);
    return content;
}
#endif

using DocPtr = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

DocPtr Parse(const std::string& xml) {
    DocPtr doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET),
        xmlFreeDoc);
    if (!doc)
        throw std::runtime_error("part is not well-formed XML");
    return doc;
}

// Runs an XPath with the prefix "m" bound to the spreadsheet namespace.
std::vector<xmlNodePtr> Select(xmlDocPtr doc, const char* xpath, xmlNodePtr context = nullptr) {
    std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> ctx(xmlXPathNewContext(doc),
                                                                         xmlXPathFreeContext);
    xmlXPathRegisterNs(ctx.get(), BAD_CAST "m", BAD_CAST kMainNs);
    if (context)
        ctx->node = context;
    std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
        xmlXPathEvalExpression(BAD_CAST xpath, ctx.get()), xmlXPathFreeObject);
    std::vector<xmlNodePtr> nodes;
    if (result && result->nodesetval)
        for (int i = 0; i < result->nodesetval->nodeNr; ++i)
            nodes.push_back(result->nodesetval->nodeTab[i]);
    return nodes;
}

std::string Attribute(xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetProp(node, BAD_CAST name);
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

std::string Content(xmlNodePtr node) {
    xmlChar* value = xmlNodeGetContent(node);
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

int ToInt(const std::string& text) {
    return text.empty() ? 0 : std::stoi(text);
}

} // namespace

const XlsxCell* XlsxContent::Find(const std::string& ref) const {
    for (const XlsxCell& cell : cells)
        if (cell.ref == ref)
            return &cell;
    return nullptr;
}

int XlsxContent::NumFmtIdOf(const XlsxCell& cell) const {
    if (cell.style < 0 || cell.style >= static_cast<int>(styleNumFmtIds.size()))
        return -1;
    return styleNumFmtIds[cell.style];
}

bool CanReadXlsx() {
#ifdef RAVLEN_HAVE_LIBZIP
    return true;
#else
    return false;
#endif
}

XlsxContent ReadXlsx(const std::string& path) {
#ifndef RAVLEN_HAVE_LIBZIP
    throw std::runtime_error("built without a zip library: cannot read " + path);
#else
    int error = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
        zip_open(path.c_str(), ZIP_RDONLY, &error), zip_discard);
    if (!archive)
        throw std::runtime_error("not a zip archive: " + path);

    XlsxContent content;
    const DocPtr workbook = Parse(ReadPart(archive.get(), "xl/workbook.xml"));
    for (xmlNodePtr sheet : Select(workbook.get(), "/m:workbook/m:sheets/m:sheet"))
        content.sheetNames.push_back(Attribute(sheet, "name"));

    std::vector<std::string> sharedStrings;
    if (zip_name_locate(archive.get(), "xl/sharedStrings.xml", 0) >= 0) {
        const DocPtr strings = Parse(ReadPart(archive.get(), "xl/sharedStrings.xml"));
        for (xmlNodePtr si : Select(strings.get(), "/m:sst/m:si")) {
            std::string text;
            for (xmlNodePtr t : Select(strings.get(), ".//m:t", si))
                text += Content(t);
            sharedStrings.push_back(text);
        }
    }

    const DocPtr styles = Parse(ReadPart(archive.get(), "xl/styles.xml"));
    for (xmlNodePtr xf : Select(styles.get(), "/m:styleSheet/m:cellXfs/m:xf"))
        content.styleNumFmtIds.push_back(ToInt(Attribute(xf, "numFmtId")));
    for (xmlNodePtr fmt : Select(styles.get(), "/m:styleSheet/m:numFmts/m:numFmt"))
        content.customNumFmts.emplace_back(ToInt(Attribute(fmt, "numFmtId")),
                                           Attribute(fmt, "formatCode"));

    const DocPtr sheet = Parse(ReadPart(archive.get(), "xl/worksheets/sheet1.xml"));
    for (xmlNodePtr c : Select(sheet.get(), "/m:worksheet/m:sheetData/m:row/m:c")) {
        XlsxCell cell;
        cell.ref = Attribute(c, "r");
        cell.type = Attribute(c, "t");
        cell.style = ToInt(Attribute(c, "s"));
        cell.hasFormula = !Select(sheet.get(), "m:f", c).empty();
        const auto values = Select(sheet.get(), "m:v", c);
        const std::string raw = values.empty() ? "" : Content(values.front());
        if (cell.type == "s") {
            const int index = ToInt(raw);
            if (index < 0 || index >= static_cast<int>(sharedStrings.size()))
                throw std::runtime_error("shared string index out of range in " + cell.ref);
            cell.text = sharedStrings[index];
        } else if (cell.type == "inlineStr") {
            for (xmlNodePtr t : Select(sheet.get(), "m:is//m:t", c))
                cell.text += Content(t);
        } else {
            cell.text = raw;
        }
        content.cells.push_back(std::move(cell));
    }
    return content;
#endif
}
