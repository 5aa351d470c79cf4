#pragma once

#include <QString>

#include <cstdint>

class DOMWrapper;
class QProgressDialog;
class QWidget;

// While it lives, a load or save of a document shows how far it has come in the window's
// progress dialog: the file's name and a percentage. The dialog appears only for work that
// lasts longer than its minimum duration; everything stays on the one GUI thread.
class FileProgress {
public:
    // expectedTotal stands in for a total that the work does not know beforehand.
    FileProgress(QWidget* window, QProgressDialog* dialog, DOMWrapper& doc, const QString& label,
                 int64_t expectedTotal = 0);
    ~FileProgress();
    FileProgress(const FileProgress&) = delete;
    FileProgress& operator=(const FileProgress&) = delete;

private:
    void Report(int64_t done, int64_t total);

    QProgressDialog* dialog_;
    DOMWrapper& doc_;
    int64_t expectedTotal_;
    int percent_ = 0;
};

// The window's progress dialog, hidden until a long load or save needs it.
QProgressDialog* CreateProgressDialog(QWidget* window);
