#include "app/QtPlatform.h"

#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

MsgAnswer QtMessageBox(const std::string& text, const std::string& title, MsgButtons buttons) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
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

// In the dialog for several files, Open on one selected folder takes that folder, where
// Qt's dialog would only go into it.
class FilesOrFolderDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    bool takeFolder = false;
    QString folder;

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (takeFolder && chosen.size() == 1 && QFileInfo(chosen.front()).isDir()) {
            folder = chosen.front();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

std::optional<std::string> QtFileDialog(CommonDialog::Mode mode, const CommonDialog& cd) {
    FilesOrFolderDialog dialog(QApplication::activeWindow());
    dialog.setNameFilter(QString::fromStdString(QtFilterFromCommonFilter(cd.Filter)));
    if (!cd.InitDir.empty())
        dialog.setDirectory(QString::fromStdString(cd.InitDir));
    if (!cd.FileName.empty())
        dialog.selectFile(QString::fromStdString(cd.FileName));
    if (mode == CommonDialog::Mode::Folder) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else if (mode == CommonDialog::Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Qt adds the suffix to a name typed without one and asks before replacing a file.
        if (!cd.DefaultExt.empty())
            dialog.setDefaultSuffix(QString::fromStdString(cd.DefaultExt));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(mode == CommonDialog::Mode::OpenMany ? QFileDialog::ExistingFiles
                                                                : QFileDialog::ExistingFile);
        if (mode == CommonDialog::Mode::OpenMany) {
            // The desktop's own dialog cannot be told to take a folder as well.
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.takeFolder = true;
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (!dialog.folder.isEmpty())
        return dialog.folder.toStdString();
    if (dialog.selectedFiles().isEmpty())
        return std::nullopt;
    if (mode == CommonDialog::Mode::OpenMany)
        return dialog.selectedFiles().join('\n').toStdString();
    return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
}

} // namespace

void InstallQtPlatform() {
    SetMessageBoxHandler(QtMessageBox);
    CommonDialog::SetBackend(QtFileDialog);
}
