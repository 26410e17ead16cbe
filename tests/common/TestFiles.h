// Temporary files for the tests of this folder.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

inline void WriteBytes(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray ReadBytes(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A folder of its own for each test, removed afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return Folder.filePath(name); }
    QTemporaryDir Folder;
};
