#include "common/FileStamp.h"
#include "app/shared/FileRules.h"

#include "support/Seams.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Another program rewrites the file with the same length and puts its time back.
void RewriteKeepingSizeAndTime(const std::string& path, const std::string& content) {
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileStamp, TellsARewrittenFileFromTheOneReadEvenAtTheSameSizeAndTime) {
    TempFiles files;
    const std::string path = files.Write("a.xml", "<r>1</r>");
    const QString name = QString::fromStdString(path);
    const std::optional<FileStamp> read = StampOf(name);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->nSize, 8);
    EXPECT_FALSE(ChangedOnDisk(name, *read));

    RewriteKeepingSizeAndTime(path, "<r>2</r>");
    EXPECT_EQ(StampOf(name)->nModified, read->nModified);
    EXPECT_TRUE(ChangedOnDisk(name, *read));

    QFile::remove(name);
    EXPECT_FALSE(StampOf(name));
    EXPECT_TRUE(ChangedOnDisk(name, *read));
}

} // namespace
