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

std::function<bool(const std::string&)>& Refused() {
    static std::function<bool(const std::string&)> refused;
    return refused;
}

class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        // A refused name goes back unasked; its owner says why and shows the dialog again.
        const QStringList files = selectedFiles();
        const bool refused = acceptMode() == AcceptSave && Refused() && !files.isEmpty() &&
                             Refused()(QDir::toNativeSeparators(files.first()).toStdString());
        setOption(DontConfirmOverwrite, refused);
        QFileDialog::accept();
    }
};

std::optional<std::string> QtFileDialog(CommonDialog::Mode mode, const CommonDialog& cd) {
    FileDialog dialog(QApplication::activeWindow());
    // A native dialog asks to replace a file before the refusal could be made.
    if (mode == CommonDialog::Mode::Save && Refused())
        dialog.setOption(QFileDialog::DontUseNativeDialog);
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

RefusedSaveNames::RefusedSaveNames(std::function<bool(const std::string&)> refused) {
    Refused() = std::move(refused);
}

RefusedSaveNames::~RefusedSaveNames() {
    Refused() = nullptr;
}
