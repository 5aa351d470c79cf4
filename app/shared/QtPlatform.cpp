#include "app/shared/QtPlatform.h"

#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    switch (buttons) {
    case MsgButtons::OverwriteCancel:
        yes = box.addButton(QStringLiteral("&Overwrite"), QMessageBox::AcceptRole);
        break;
    case MsgButtons::ReplaceSkipCancel:
        yes = box.addButton(QStringLiteral("&Replace"), QMessageBox::AcceptRole);
        no = box.addButton(QStringLiteral("&Skip"), QMessageBox::RejectRole);
        break;
    case MsgButtons::OKCancel: {
        QPushButton* ok = box.addButton(QMessageBox::Ok);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(ok);
        box.exec();
        return box.clickedButton() == ok ? MsgAnswer::OK : MsgAnswer::Cancel;
    }
    default:
        yes = box.addButton(QMessageBox::Yes);
        no = box.addButton(QMessageBox::No);
        break;
    }
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(buttons == MsgButtons::OverwriteCancel ? cancel : yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes)
        return MsgAnswer::Yes;
    if (no && box.clickedButton() == no)
        return MsgAnswer::No;
    return MsgAnswer::Cancel;
}

std::function<bool(const std::string&)>& Refused() {
    static std::function<bool(const std::string&)> refused;
    return refused;
}

class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    // In the dialog for several files, Open on one selected folder takes that folder, where
    // Qt's dialog would only go into it.
    bool takeFolder = false;
    QString folder;

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (takeFolder && chosen.size() == 1 && QFileInfo(chosen.front()).isDir()) {
            folder = chosen.front();
            QDialog::accept();
            return;
        }
        // A refused name goes back unasked; its owner says why and shows the dialog again.
        const bool refused = acceptMode() == AcceptSave && Refused() && !chosen.isEmpty() &&
                             Refused()(QDir::toNativeSeparators(chosen.first()).toStdString());
        setOption(DontConfirmOverwrite, refused);
        QFileDialog::accept();
    }
};

std::optional<std::vector<std::string>> QtFileDialog(CommonDialog::Mode mode,
                                                     const CommonDialog& cd) {
    FileDialog dialog(QApplication::activeWindow());
    // A native dialog asks to replace a file before the refusal could be made.
    if (mode == CommonDialog::Mode::Save && Refused())
        dialog.setOption(QFileDialog::DontUseNativeDialog);
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
        dialog.setFileMode(mode == CommonDialog::Mode::OpenMany || cd.MultiSelect
                               ? QFileDialog::ExistingFiles
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
        return std::vector{dialog.folder.toStdString()};
    if (dialog.selectedFiles().isEmpty())
        return std::nullopt;
    if (mode == CommonDialog::Mode::OpenMany) {
        std::vector<std::string> chosen;
        for (const QString& file : dialog.selectedFiles())
            chosen.push_back(file.toStdString());
        return chosen;
    }
    if (cd.MultiSelect && mode == CommonDialog::Mode::Open) {
        std::vector<std::string> chosen;
        for (const QString& file : dialog.selectedFiles())
            chosen.push_back(QDir::toNativeSeparators(file).toStdString());
        return chosen;
    }
    return std::vector{QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString()};
}

} // namespace

void InstallQtPlatform() {
    SetMessageBoxHandler(DetailedMessageBoxHandler(QtMessageBox));
    CommonDialog::SetBackend(QtFileDialog);
}

RefusedSaveNames::RefusedSaveNames(std::function<bool(const std::string&)> refused) {
    Refused() = std::move(refused);
}

RefusedSaveNames::~RefusedSaveNames() {
    Refused() = nullptr;
}
