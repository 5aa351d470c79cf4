#include "support/XlsxReader.h"

#include <libxml/parser.h>

#include <memory>
#include <stdexcept>

#ifdef RAVLEN_HAVE_LIBZIP
#include <zip.h>
#endif

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

#ifndef RAVLEN_HAVE_LIBZIP
bool CanReadXlsx() {
    return false;
}

XlsxContent ReadXlsx(const std::string& path) {
    throw std::runtime_error("built without a zip library: cannot read " + path);
}
#else
bool CanReadXlsx() {
    return true;
}

namespace {

using DocPtr = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// Child elements by local name; the parts use a single namespace.
std::vector<xmlNodePtr> Children(xmlNodePtr parent, const char* name) {
    std::vector<xmlNodePtr> found;
    for (xmlNodePtr node = parent ? parent->children : nullptr; node; node = node->next)
        if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name))
            found.push_back(node);
    return found;
}

xmlNodePtr Child(xmlNodePtr parent, const char* name) {
    const auto found = Children(parent, name);
    return found.empty() ? nullptr : found.front();
}

std::string Owned(xmlChar* value) {
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

std::string Attribute(xmlNodePtr node, const char* name) {
    return Owned(xmlGetProp(node, BAD_CAST name));
}

std::string Content(xmlNodePtr node) {
    return node ? Owned(xmlNodeGetContent(node)) : "";
}

int ToInt(const std::string& text) {
    return text.empty() ? 0 : std::stoi(text);
}

} // namespace

XlsxContent ReadXlsx(const std::string& path) {
    int error = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
        zip_open(path.c_str(), ZIP_RDONLY, &error), zip_discard);
    if (!archive)
        throw std::runtime_error("not a zip archive: " + path);
    const auto part = [&](const std::string& name) {
        zip_stat_t stat;
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
            zip_fopen(archive.get(), name.c_str(), 0), zip_fclose);
        if (!file || zip_stat(archive.get(), name.c_str(), 0, &stat) != 0)
            throw std::runtime_error("cannot open part " + name);
        std::string content(stat.size, '\0');
        if (zip_fread(file.get(), content.data(), content.size()) !=
            static_cast<zip_int64_t>(content.size()))
            throw std::runtime_error("cannot read part " + name);
        DocPtr doc(xmlReadMemory(content.data(), static_cast<int>(content.size()), nullptr, nullptr,
                                 XML_PARSE_NONET),
                   xmlFreeDoc);
        if (!doc)
            throw std::runtime_error("part is not well-formed XML: " + name);
        return doc;
    };

    XlsxContent content;
    const DocPtr workbook = part("xl/workbook.xml");
    for (xmlNodePtr sheet :
         Children(Child(xmlDocGetRootElement(workbook.get()), "sheets"), "sheet"))
        content.sheetNames.push_back(Attribute(sheet, "name"));

    std::vector<std::string> sharedStrings;
    if (zip_name_locate(archive.get(), "xl/sharedStrings.xml", 0) >= 0) {
        const DocPtr strings = part("xl/sharedStrings.xml");
        for (xmlNodePtr si : Children(xmlDocGetRootElement(strings.get()), "si"))
            sharedStrings.push_back(Content(si));
    }

    const DocPtr styles = part("xl/styles.xml");
    for (xmlNodePtr xf : Children(Child(xmlDocGetRootElement(styles.get()), "cellXfs"), "xf"))
        content.styleNumFmtIds.push_back(ToInt(Attribute(xf, "numFmtId")));

    const DocPtr sheet = part("xl/worksheets/sheet1.xml");
    for (xmlNodePtr row : Children(Child(xmlDocGetRootElement(sheet.get()), "sheetData"), "row"))
        for (xmlNodePtr c : Children(row, "c")) {
            XlsxCell cell{Attribute(c, "r"), Attribute(c, "t"), Content(Child(c, "v")),
                          ToInt(Attribute(c, "s")), Child(c, "f") != nullptr};
            if (cell.type == "s")
                cell.text = sharedStrings.at(ToInt(cell.text));
            else if (cell.type == "inlineStr")
                cell.text = Content(Child(c, "is"));
            content.cells.push_back(std::move(cell));
        }
    return content;
}
#endif
