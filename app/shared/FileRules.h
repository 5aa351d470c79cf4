#pragma once

#include "common/FileStamp.h"

#include <QString>

#include <functional>

class QLineEdit;

// The rules about files and edits that every window of the program follows alike.

// True when both names lead to one file: the same text after resolving "." and "..", or the
// same file on disk through a symbolic or hard link.
bool SameFile(const QString& a, const QString& b);

// Whether saving to sName would overwrite the origin file sOrigin: the same name in any letter
// case, or the same file by another name.
bool IsOriginFileName(const QString& sName, const QString& sOrigin);

// Whether the file at sPath is no longer the one read with this stamp (also when it is gone).
bool ChangedOnDisk(const QString& sPath, const FileStamp& stamp);

// The unsaved-changes guard: without changes it proceeds at once; otherwise it asks "Save
// changed data?" and proceeds after a successful save (Yes) or without saving (No). Cancel, or
// a save that fails, abandons.
bool AskSaveChanges(bool bChanged, const std::function<bool()>& save);

// How many characters a person may type into a value cell.
inline constexpr int kTextLimit = 255;

// What an edit leaves of newText in a cell that held oldText: a value read from the file may
// be longer than the limit and stays so, or shrinks, until it is changed; no edit makes a value
// longer than both.
QString LimitedEdit(const QString& oldText, const QString& newText, int limit = kTextLimit);

// Puts a cell's text into its editor under the same rule: typing stops at the limit, while a
// longer text from the file stands whole.
void SetLimitedEditorText(QLineEdit* edit, const QString& text, int limit = kTextLimit);
