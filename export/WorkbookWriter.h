#pragma once

#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// The hidden sheet's name.
inline constexpr const char* kSourceSheetName = "Ravlen-Source";

// Writes a workbook with one worksheet "XML-Data": the header in row 1 ("Field" and "Value"
// unless given), then one row per AddRow. Every data cell holds its text without leading and
// trailing blanks, in text format, so that numbers, dates and formulas stay the text they are.
//
// The workbook goes to a temporary file in the target folder and replaces the target only
// when complete: after a failure no half-written file is left and an existing file is as it
// was. Every failure throws Failure.
class WorkbookWriter {
public:
    explicit WorkbookWriter(std::string path,
                            const std::vector<std::string>& header = {"Field", "Value"});
    ~WorkbookWriter();
    WorkbookWriter(const WorkbookWriter&) = delete;
    WorkbookWriter& operator=(const WorkbookWriter&) = delete;

    void AddRow(const std::string& alias, const std::string& value);
    void AddRow(const std::vector<std::string>& cells);
    // A row of a hidden sheet after the visible one, for what reading the workbook back needs:
    // cells kept exactly, blanks included.
    void AddHiddenRow(const std::vector<std::string>& cells);
    // Writes the workbook and moves it to the path. The writer is done afterwards.
    void Save();

private:
    void WriteText(int column, const std::string& text, lxw_format* format);
    void Discard();

    std::string path_;
    std::string tempPath_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* worksheet_ = nullptr;
    lxw_worksheet* hidden_ = nullptr;
    unsigned hiddenRow_ = 0;
    lxw_format* textFormat_ = nullptr;
    unsigned row_ = 0;
};
