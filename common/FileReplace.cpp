#include "common/FileReplace.h"

#include <QFileInfo>

bool MayReplaceFile(const std::string& path) {
    const QFileInfo target(QString::fromStdString(path));
    return !target.exists() ||
           (target.isFile() && target.isWritable() && target.permission(QFileDevice::WriteOwner));
}
