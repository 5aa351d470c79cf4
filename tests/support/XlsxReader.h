#pragma once

#include <string>
#include <vector>

// Reads back what a spreadsheet program would see in an .xlsx file: the sheet names, the
// first worksheet's cells and the number format of each cell style. Test-only.
struct XlsxCell {
    std::string ref;  // "A1"
    std::string type; // the t attribute: "s" shared string, "" number or blank, "str" ...
    std::string text; // the shared string for t="s", else the raw <v> content
    // A string cell, shared or inline: never a number, a boolean or a date.
    bool IsText() const { return type == "s" || type == "inlineStr"; }
    int style = 0; // index into cellXfs
    bool hasFormula = false;
};

struct XlsxContent {
    std::vector<std::string> sheetNames;
    std::vector<XlsxCell> cells;                            // first worksheet, document order
    std::vector<int> styleNumFmtIds;                        // numFmtId of each cellXfs entry
    std::vector<std::pair<int, std::string>> customNumFmts; // numFmtId, formatCode

    const XlsxCell* Find(const std::string& ref) const;
    int NumFmtIdOf(const XlsxCell& cell) const;
};

// False when the tests were built without a zip library.
bool CanReadXlsx();

// Throws std::runtime_error when the file is not a readable workbook.
XlsxContent ReadXlsx(const std::string& path);
