#include "app/shared/FileRules.h"

#include "common/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QValidator>

#include <algorithm>
#include <filesystem>

namespace {

// Refuses typing that would make the text longer than the limit, but lets a longer text that
// came from the file stand (and shrink) until the user shortens it.
class LengthLimit : public QValidator {
public:
    LengthLimit(QLineEdit* edit, int limit) : QValidator(edit), edit_(edit), limit_(limit) {}

    State validate(QString& input, int&) const override {
        if (input.size() <= limit_ || (edit_ && input.size() <= edit_->text().size()))
            return Acceptable;
        return Invalid;
    }

private:
    QPointer<QLineEdit> edit_;
    int limit_;
};

} // namespace

bool SameFile(const QString& a, const QString& b) {
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
        QDir::cleanPath(QFileInfo(b).absoluteFilePath()))
        return true;
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(a.toStdString()),
                                       std::filesystem::path(b.toStdString()), error) &&
           !error;
}

bool IsOriginFileName(const QString& sName, const QString& sOrigin) {
    // The text test alone would let "./orig.xml" or a link replace the origin file.
    return sName.toUpper() == sOrigin.toUpper() || SameFile(sName, sOrigin);
}

bool ChangedOnDisk(const QString& sPath, const FileStamp& stamp) {
    const std::optional<FileStamp> now = StampOf(sPath);
    return !now || *now != stamp;
}

bool AskSaveChanges(bool bChanged, const std::function<bool()>& save) {
    if (!bChanged)
        return true;
    switch (ShowMessageBox("Save changed data?", "Save data", MsgButtons::YesNoCancel)) {
    case MsgAnswer::Yes:
        return save();
    case MsgAnswer::No:
        return true;
    default:
        return false;
    }
}

QString LimitedEdit(const QString& oldText, const QString& newText, int limit) {
    return newText.left(std::max<qsizetype>(limit, oldText.size()));
}

void SetLimitedEditorText(QLineEdit* edit, const QString& text, int limit) {
    // A paste is cut to what still fits, as with any limited line edit.
    edit->setMaxLength(std::max<int>(limit, static_cast<int>(text.size())));
    edit->setText(text);
    if (!edit->validator())
        edit->setValidator(new LengthLimit(edit, limit));
}
