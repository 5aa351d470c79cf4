#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

class CommonDialog;
class DOMWrapper;
class QCloseEvent;
class WorkbookWriter;

// Why a failure happened, for a message box's details: the failure's number and
// description, and where in the input it lies when known.
std::string FailureDetails(const std::exception& e);

// Why the file at sPath did not load, for a box's details: that it cannot be read and why, or
// where and why it does not parse.
std::string LoadFailureDetails(const std::string& sPath, const std::exception& e);

// Why a check path may select nothing in doc: its root element is in another namespace than
// RidoRudu's. Empty when it is not.
std::string NamespaceNote(const DOMWrapper& doc);

// Shows a trapped failure as "number description" under title; a cancelled file dialog
// ends its procedure without a word.
void ShowFailure(const std::exception& e, const std::string& title);

// Writes a header and the rows that addRows gives into a workbook at sPath, then opens it
// with the application associated with its type. A failure shows its message. The wait
// cursor covers only the rows: saving, the message and the opener run with the normal one.
void ExportToWorkbook(const std::string& sPath, const std::vector<std::string>& header,
                      const std::function<void(WorkbookWriter&)>& addRows);

// The export button of a window: "No data found" without rows, else the workbook's name from
// the window's dialog, then exportTo with that name.
void ExportWithDialog(CommonDialog& CD, bool hasRows,
                      const std::function<void(const std::string&)>& exportTo);

// Lets a close request through once the unsaved-changes guard agrees. A failed save keeps
// the window open with its edits and says why.
void CloseAfterGuard(QCloseEvent* event, const std::function<bool()>& askSaveChanges);
