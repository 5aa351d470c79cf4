#pragma once

#include <QString>

#include <string>
#include <vector>

class TableDocument;
class WorkbookWriter;
struct WorkbookSheet;

// The hidden sheet of the table's export: the configuration, each column's field and each
// row's file with the stamp it had, so that reading the workbook back matches by identity.
void WriteSourceSheet(const TableDocument& table, WorkbookWriter& writer);

// One line of an import's preview: a cell that differs from the table's value, or a problem.
struct ImportLine {
    enum class Status {
        Apply,   // a plain change, applied unless unticked
        Ask,     // a change with a doubt, applied only when ticked
        Refused, // never applied
    };
    Status status = Status::Apply;
    QString sFile;  // as the table names it, or as the spreadsheet does when the table has none
    QString sField; // the field's alias; empty for a whole row
    QString sOld;
    QString sNew;
    QString sReason; // empty for a plain change
    int row = -1;    // the table's row and field of an applicable change
    int field = -1;
};

struct ImportPlan {
    std::vector<ImportLine> lines; // in the sheet's order, row by row
    QString sNote;                 // about the workbook as a whole
    // The lines applied by default and those that are not.
    int Applicable() const;
};

// Works out what the sheets read from a workbook change in the table: rows are matched to
// files by the hidden sheet's paths, else by the File column's name (or the path the table
// shows when the files lie in several folders); columns by the hidden sheet's fields, else by
// their header alias. Never by position.
ImportPlan PlanImport(const TableDocument& table, const std::vector<WorkbookSheet>& sheets);

// Applies the lines that are applicable and chosen (chosen[i] for lines[i]) as one step of
// the table's edits; returns the cells set.
int ApplyImport(TableDocument& table, const ImportPlan& plan, const std::vector<bool>& chosen);
