#include "ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <map>

QString EntryTimeText(const std::optional<QDateTime>& time) {
    if (!time || !time->isValid())
        return QString();
    return time->toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

QString TProgramEntry::Text() const {
    const QChar end = u';';
    return Path + end + FileName + end + Title + end + EntryTimeText(LocalTime) + end +
           EntryTimeText(ServerTime) + end;
}

bool IsProgramFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    return info.suffix().compare(QStringLiteral("exe"), Qt::CaseInsensitive) == 0 || info.isExecutable();
}

std::vector<TProgramEntry> ListProgramFolder(const QString& folder,
                                             const std::vector<TStoredProgram>& stored) {
    std::map<QString, const TStoredProgram*> byName;
    for (const TStoredProgram& program : stored)
        byName.emplace(program.Name, &program);

    std::vector<TProgramEntry> entries;
    const QDir dir(folder);
    const QFileInfoList files = folder.isEmpty()
                                    ? QFileInfoList()
                                    : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files) {
        if (!IsProgramFile(file.filePath()))
            continue;
        TProgramEntry entry;
        entry.Path = QDir::toNativeSeparators(file.absoluteFilePath());
        entry.FileName = file.fileName();
        entry.Name = ProgramFileName(file.fileName());
        entry.LocalTime = ProgramFileTime(file.absoluteFilePath());
        const auto found = byName.find(entry.Name);
        if (found != byName.end()) {
            const TStoredProgram& copy = *found->second;
            entry.Stored = true;
            entry.Title = copy.Title;
            if (copy.Time.isValid())
                entry.ServerTime = copy.Time;
            // A copy without a time cannot be shown to be current.
            entry.Ticked = !entry.ServerTime || *entry.LocalTime > *entry.ServerTime;
            byName.erase(found);
        } else {
            entry.Title = file.completeBaseName();
            entry.Ticked = true;
        }
        entries.push_back(std::move(entry));
    }
    // Stored copies the folder lacks: offered for fetching, not ticked.
    for (const auto& [name, copy] : byName) {
        TProgramEntry entry;
        if (!folder.isEmpty())
            entry.Path = QDir::toNativeSeparators(dir.absoluteFilePath(name));
        entry.FileName = name;
        entry.Name = name;
        entry.Title = copy->Title;
        if (copy->Time.isValid())
            entry.ServerTime = copy->Time;
        entry.Stored = true;
        entries.push_back(std::move(entry));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const TProgramEntry& a, const TProgramEntry& b) {
        return a.FileName.compare(b.FileName, Qt::CaseInsensitive) < 0;
    });
    return entries;
}
