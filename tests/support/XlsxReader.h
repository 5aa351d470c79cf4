#pragma once

#include <string>
#include <vector>

// Reads back the sheet names, the first worksheet's cells and each cell style's number format.
struct XlsxCell {
    std::string ref;  // "A1"
    std::string type; // the t attribute: "s" shared string, "" number or blank, "str" ...
    std::string text; // the shared string for t="s", else the raw <v> content
    bool IsText() const { return type == "s" || type == "inlineStr"; }
    int style = 0; // index into cellXfs
    bool hasFormula = false;
};

struct XlsxContent {
    std::vector<std::string> sheetNames;
    std::vector<XlsxCell> cells;     // first worksheet, document order
    std::vector<int> styleNumFmtIds; // numFmtId of each cellXfs entry

    const XlsxCell* Find(const std::string& ref) const;
    int NumFmtIdOf(const XlsxCell& cell) const;
};

// False when the tests were built without a zip library.
bool CanReadXlsx();

// Throws std::runtime_error when the file is not a readable workbook.
XlsxContent ReadXlsx(const std::string& path);
