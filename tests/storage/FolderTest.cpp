// The entries of the stored-programs window from a folder and the stored copies: which files count,
// the ticks, the stored copies the folder lacks, and the documented list text.
#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QDateTime Stored(QDate(2026, 3, 14), QTime(10, 22, 41));

void Touch(const QString& path, const QDateTime& time, bool executable = false) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("program");
    file.flush();
    ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

const TProgramEntry* Find(const std::vector<TProgramEntry>& entries, const QString& fileName) {
    for (const TProgramEntry& entry : entries)
        if (entry.FileName == fileName)
            return &entry;
    return nullptr;
}

TEST(ProgramFolder, TicksWhatIsNewerOrNotStoredAndOffersWhatTheFolderLacks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Touch(dir.filePath(QStringLiteral("defects.exe")), Stored.addSecs(3600)); // newer than its copy
    Touch(dir.filePath(QStringLiteral("OTKL.EXE")), Stored);                  // current
    Touch(dir.filePath(QStringLiteral("older.exe")), Stored.addDays(-1));     // older than its copy
    Touch(dir.filePath(QStringLiteral("newprog.exe")), Stored);               // not stored
    Touch(dir.filePath(QStringLiteral("tool")), Stored, true);                // executable without .exe
    Touch(dir.filePath(QStringLiteral("readme.txt")), Stored);                // not a program
    QDir(dir.path()).mkdir(QStringLiteral("sub.exe"));                        // a folder, not a program
    const std::vector<TStoredProgram> stored = {
        {1, QStringLiteral("DEFECTS.EXE"), QStringLiteral("Дефекты"), Stored},
        {2, QStringLiteral("OTKL.EXE"), QStringLiteral("Отключения"), Stored},
        {3, QStringLiteral("OLDER.EXE"), QStringLiteral("Старее"), Stored},
        {4, QStringLiteral("ZAYAVKI.EXE"), QStringLiteral("Заявки"), Stored},
        {5, QStringLiteral("NOTIME.EXE"), QStringLiteral("Без времени"), QDateTime()},
    };

    const auto entries = ListProgramFolder(dir.path(), stored);
    QStringList names;
    for (const TProgramEntry& entry : entries)
        names << entry.FileName;
    EXPECT_EQ(names, (QStringList{"defects.exe", "newprog.exe", "NOTIME.EXE", "older.exe", "OTKL.EXE", "tool",
                                  "ZAYAVKI.EXE"}));

    struct Expected {
        const char* file;
        bool stored, ticked, local;
        const char* title;
    };
    for (const Expected& e :
         {Expected{"defects.exe", true, true, true, "Дефекты"},
          Expected{"newprog.exe", false, true, true, "newprog"},
          Expected{"NOTIME.EXE", true, false, false, "Без времени"},
          Expected{"older.exe", true, false, true, "Старее"},
          Expected{"OTKL.EXE", true, false, true, "Отключения"}, Expected{"tool", false, true, true, "tool"},
          Expected{"ZAYAVKI.EXE", true, false, false, "Заявки"}}) {
        SCOPED_TRACE(e.file);
        const TProgramEntry* entry = Find(entries, QString::fromUtf8(e.file));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Stored, e.stored);
        EXPECT_EQ(entry->Ticked, e.ticked);
        EXPECT_EQ(entry->LocalTime.has_value(), e.local);
        EXPECT_EQ(entry->Title, QString::fromUtf8(e.title));
        EXPECT_EQ(entry->Path, QDir::toNativeSeparators(QDir(dir.path()).absoluteFilePath(entry->FileName)));
    }

    const TProgramEntry* defects = Find(entries, QStringLiteral("defects.exe"));
    EXPECT_EQ(defects->Name, QStringLiteral("DEFECTS.EXE"));
    EXPECT_EQ(defects->Text(), defects->Path + QStringLiteral(";defects.exe;Дефекты;14.03.2026 11:22:41;"
                                                              "14.03.2026 10:22:41;"));
}

TEST(ProgramFolder, WithoutAFolderOnlyTheStoredCopiesAreListedWithoutPaths) {
    const auto entries =
        ListProgramFolder(QString(), {{1, QStringLiteral("DEFECTS.EXE"), QStringLiteral("Д"), Stored}});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].Path.isEmpty());
    EXPECT_FALSE(entries[0].Ticked);
    EXPECT_EQ(entries[0].Text(), QStringLiteral(";DEFECTS.EXE;Д;;14.03.2026 10:22:41;"));
}

} // namespace
