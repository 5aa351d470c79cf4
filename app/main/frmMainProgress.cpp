#include "app/main/frmMainProgress.h"

#include "common/MessageBox.h"
#include "xml/DOMWrapper.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

namespace {
// Work shorter than this finishes without a dialog.
constexpr int kShowAfterMs = 500;
} // namespace

QProgressDialog* CreateProgressDialog(QWidget* window) {
    auto* dialog = new QProgressDialog(window);
    dialog->setObjectName(QStringLiteral("dlgProgress"));
    dialog->setWindowTitle(QString::fromUtf8(kAppTitle));
    // Neither a load nor a save can stop halfway.
    dialog->setCancelButton(nullptr);
    dialog->setRange(0, 100);
    dialog->setMinimumDuration(kShowAfterMs);
    // It only informs: the keyboard stays with the window.
    dialog->setAttribute(Qt::WA_ShowWithoutActivating);
    // A new dialog shows itself after its minimum duration unless it is reset.
    dialog->reset();
    return dialog;
}

FileProgress::FileProgress(QWidget* window, QProgressDialog* dialog, DOMWrapper& doc,
                           const QString& label, int64_t expectedTotal)
    : dialog_(dialog), doc_(doc), expectedTotal_(expectedTotal) {
    // Whatever a closed dialog or message box covered is drawn again before the work blocks.
    if (window->isVisible())
        window->repaint();
    dialog_->reset();
    dialog_->setLabelText(label);
    dialog_->setValue(0); // starts the clock for the minimum duration
    doc_.SetProgress([this](int64_t done, int64_t total) { Report(done, total); });
}

FileProgress::~FileProgress() {
    doc_.SetProgress(nullptr);
    dialog_->reset();
}

void FileProgress::Report(int64_t done, int64_t total) {
    // An estimated total may fall short: the work is finished only when it says so.
    const bool estimated = total <= 0;
    if (estimated)
        total = std::max(expectedTotal_, done);
    if (total <= 0)
        return;
    const int percent =
        static_cast<int>(std::min<int64_t>(estimated ? 99 : 100, done * 100 / total));
    if (percent <= percent_)
        return;
    percent_ = percent;
    dialog_->setValue(percent);
    // The dialog paints itself; input waits until the work is done, so nothing re-enters it.
    if (dialog_->isVisible())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
