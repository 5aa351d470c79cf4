#include "app/QtPlatform.h"

#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

MsgAnswer QtMessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                       const std::string& details) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    if (!details.empty())
        box.setDetailedText(QString::fromStdString(details));
    if (buttons == MsgButtons::OK) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return MsgAnswer::OK;
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}

std::optional<std::string> QtFileDialog(CommonDialog::Mode mode, const CommonDialog& cd) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setNameFilter(QString::fromStdString(QtFilterFromCommonFilter(cd.Filter)));
    if (!cd.InitDir.empty())
        dialog.setDirectory(QString::fromStdString(cd.InitDir));
    if (!cd.FileName.empty())
        dialog.selectFile(QString::fromStdString(cd.FileName));
    if (mode == CommonDialog::Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Qt adds the suffix to a name typed without one and asks before replacing a file.
        if (!cd.DefaultExt.empty())
            dialog.setDefaultSuffix(QString::fromStdString(cd.DefaultExt));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
}

} // namespace

void InstallQtPlatform() {
    SetMessageBoxHandler(DetailedMessageBoxHandler(QtMessageBox));
    CommonDialog::SetBackend(QtFileDialog);
}
