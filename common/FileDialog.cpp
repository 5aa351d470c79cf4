#include "common/FileDialog.h"

#include "common/Failure.h"

#include <QStringList>

namespace {
CommonDialog::Backend& CurrentBackend() {
    static CommonDialog::Backend backend;
    return backend;
}
} // namespace

CommonDialog::Backend CommonDialog::SetBackend(Backend backend) {
    std::swap(CurrentBackend(), backend);
    return backend;
}

void CommonDialog::ShowOpen() {
    Show(Mode::Open);
}

void CommonDialog::ShowSave() {
    Show(Mode::Save);
}

void CommonDialog::ShowFolder() {
    Show(Mode::Folder);
}

void CommonDialog::ShowOpenMany() {
    Show(Mode::OpenMany);
}

void CommonDialog::Show(Mode mode) {
    std::optional<std::vector<std::string>> chosen;
    if (CurrentBackend())
        chosen = CurrentBackend()(mode, *this);
    if (!chosen)
        throw Failure(kDialogCancelledNumber, "Cancel was selected.");
    FileNames = std::move(*chosen);
    const bool many = mode == Mode::OpenMany || (mode == Mode::Open && MultiSelect);
    if (!many && FileNames.size() > 1)
        FileNames.resize(1);
    FileName = FileNames.empty() ? std::string() : FileNames.front();
}

std::string QtFilterFromCommonFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString text = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        entries << (text.contains('(') ? text : text + " (" + pattern + ")");
    }
    return entries.join(";;").toStdString();
}
