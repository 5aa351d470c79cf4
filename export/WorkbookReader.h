#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A cell as a spreadsheet program saved it: its kind tells what the program made of the text.
struct WorkbookCell {
    enum class Kind : uint8_t { Empty, Text, Number, Date, Bool };
    Kind kind = Kind::Empty;
    // Text as is; a number in its shortest form ("12", "1.5", "1.23456789012346e+18"); a date as
    // "YYYY-MM-DD", with " hh:mm:ss" when it has a time; "TRUE" or "FALSE".
    std::string text;
};

struct WorkbookSheet {
    std::string name;
    std::vector<std::vector<WorkbookCell>> rows; // from row 1; a row as long as its last cell

    // The cell at a 0-based row and column; an empty one beyond the sheet.
    const WorkbookCell& At(size_t row, size_t column) const;
};

// Reads every sheet of a .xlsx or .ods workbook, or a .csv file (UTF-8 with or without byte
// order mark, comma or semicolon separated, taken as one sheet of text cells). The format
// comes from the name's extension. Every failure throws Failure.
std::vector<WorkbookSheet> ReadWorkbook(const std::string& path);

// The number's shortest text that reads back as the same double.
std::string NumberText(double value);
