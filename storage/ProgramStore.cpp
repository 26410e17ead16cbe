#include "ProgramStore.h"

#include "NoteDataSet.h"
#include "NoteQuery.h"
#include "OracleBase.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>
#include <memory>

namespace {

QString ErrorText(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Exception*>(&e))
        return error->Message().trimmed();
    return QString::fromUtf8(e.what());
}

void RollbackQuietly() {
    try {
        if (FOracleBase)
            FOracleBase->RollbackAll();
    } catch (...) {
        // The server that refused the statement may refuse the roll-back too; nothing was committed.
    }
}

// View mode began between the gate and the commit: CommitAll and RollbackAll both do nothing then,
// so the change still open on a session is dropped here rather than left for a later commit.
void DropOpenChange() {
    for (TOracleSession* session : {FOracleBase->ADatabase, FOracleBase->BDatabase}) {
        try {
            if (session && session->InTransaction())
                session->Rollback();
        } catch (...) {
            // A session that cannot roll back has lost its connection, and with it the change.
        }
    }
}

// Commits what the gate ran, as documented only when the main session has a change open. False
// when view mode began on the way: the gate may have skipped the statement, or CommitAll would
// skip the commit, and whatever is open is rolled back.
bool CommitUnlessViewMode() {
    if (!CanWrite) {
        DropOpenChange();
        return false;
    }
    if (FOracleBase->ADatabase->InTransaction())
        FOracleBase->CommitAll();
    // CommitAll commits nothing once view mode has begun; only then is it worth asking again.
    if (!CanWrite && FOracleBase->ADatabase->InTransaction()) {
        DropOpenChange();
        return false;
    }
    return true;
}

} // namespace

QString ViewModeText() {
    return QStringLiteral("Режим просмотра: изменения сейчас невозможны.");
}

QString ProgramFileName(const QString& path) {
    QString name = QFileInfo(path).fileName();
    for (QChar& c : name)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return name;
}

QDateTime ProgramFileTime(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    const QDateTime time = info.lastModified();
    return QDateTime(time.date(), QTime(time.time().hour(), time.time().minute(), time.time().second()));
}

QString NewProgramIdStatement() {
    return QStringLiteral("SELECT MAX(ID) ID FROM (\r\n"
                          "  SELECT MAX(ID_PROGRAMMEXE) ID FROM KMR_PROGRAMMEXE\r\n"
                          "  UNION ALL SELECT MAX(ID_PROGRAMM) FROM KMR_PROG_FOR_USER\r\n"
                          "  UNION ALL SELECT MAX(ID_PROGRAMM) FROM KMR_GROUP_FOR_PROG\r\n"
                          "  UNION ALL SELECT MAX(ID_PROGRAMM) FROM KMR_GROUP_FOR_USER\r\n"
                          "  UNION ALL SELECT MAX(ID_PROGRAMM) FROM KMR_PROG_PROP\r\n"
                          "  UNION ALL SELECT MAX(ID_PROGRAMM) FROM KMR_PROP_FOR_PROG)");
}

namespace {

// Stored copies of the file name; 0 also when they cannot be counted (as documented: the insert is
// then tried, and the unique index on PRNAME refuses it when the name is stored after all).
int StoredCopies(const QString& name) {
    // Bound rather than pasted into the text: a file name may hold an apostrophe.
    auto counter = std::make_unique<TNoteDataSet>();
    counter->SQL() << QStringLiteral("SELECT COUNT(*) PCOUNT FROM KMR_PROGRAMMEXE")
                   << QStringLiteral("WHERE PRNAME=:PRNAME");
    try {
        counter->DeclareVariable(QStringLiteral("PRNAME"), otString);
        counter->SetVariable(QStringLiteral("PRNAME"), name);
        if (counter->NoteOpen() && !counter->IsEmpty())
            return counter->FieldByName(QStringLiteral("PCOUNT"))->AsInteger();
    } catch (const std::exception&) {
    }
    return 0;
}

} // namespace

TSaveOutcome StoreProgram(const QString& path, const QString& title) {
    TSaveOutcome outcome;
    const QFileInfo info(path);
    if (path.trimmed().isEmpty() || !info.exists() || info.isDir()) {
        outcome.Result = TSaveOutcome::NoFile;
        return outcome;
    }
    const QDateTime fileTime = ProgramFileTime(path);
    const QString name = ProgramFileName(path);

    // The whole file in memory; PRCOD refers to these bytes until the statement has run.
    QByteArray bytes;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            outcome.Result = file.exists() ? TSaveOutcome::ReadFailed : TSaveOutcome::NoFile;
            outcome.Error = file.errorString();
            return outcome;
        }
        if (file.size() > std::numeric_limits<int>::max()) {
            outcome.Result = TSaveOutcome::ReadFailed;
            outcome.Error = QStringLiteral("файл больше 2 ГБ");
            return outcome;
        }
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            outcome.Result = TSaveOutcome::ReadFailed;
            outcome.Error = file.errorString();
            return outcome;
        }
    }

    if (!FOracleBase || !CanWrite) {
        outcome.Result = TSaveOutcome::ViewMode;
        return outcome;
    }

    // Another station may take the same number between the count and the insert: the key refuses
    // the insert, and the count and the number are made again, up to three times.
    int newId = 0;
    for (int attempt = 1;; ++attempt) {
        const int count = StoredCopies(name);

        newId = 0;
        if (count == 0) {
            newId = NextId(NewProgramIdStatement());
            if (newId <= 0) {
                outcome.Result = TSaveOutcome::NoNumber;
                outcome.Statement = NewProgramIdStatement();
                return outcome;
            }
        }

        auto dataSet = std::make_unique<TNoteDataSet>();
        if (count == 0)
            dataSet->SQL() << QStringLiteral("INSERT INTO KMR_PROGRAMMEXE")
                           << QStringLiteral(
                                  "       (ID_PROGRAMMEXE, PRNAME,  PRALIAS,  PRDATE_TIME,  PRCOD)")
                           << QStringLiteral("VALUES (:IDPRG, :PRNAME, :PRALIAS, :PRDATE_TIME, :PRCOD)");
        else
            dataSet->SQL() << QStringLiteral("UPDATE KMR_PROGRAMMEXE")
                           << QStringLiteral("SET PRCOD      =:PRCOD")
                           << QStringLiteral("   ,PRDATE_TIME=:PRDATE_TIME")
                           << QStringLiteral("   ,PRALIAS    =:PRALIAS")
                           << QStringLiteral("WHERE PRNAME   =:PRNAME");
        try {
            if (count == 0)
                dataSet->DeclareVariable(QStringLiteral("IDPRG"), otInteger);
            dataSet->DeclareVariable(QStringLiteral("PRNAME"), otString);
            dataSet->DeclareVariable(QStringLiteral("PRALIAS"), otString);
            dataSet->DeclareVariable(QStringLiteral("PRDATE_TIME"), otDate);
            dataSet->DeclareVariable(QStringLiteral("PRCOD"), otLongRaw);
            if (count == 0)
                dataSet->SetVariable(QStringLiteral("IDPRG"), newId);
            dataSet->SetVariable(QStringLiteral("PRNAME"), name);
            dataSet->SetVariable(QStringLiteral("PRALIAS"), title);
            dataSet->SetVariable(QStringLiteral("PRDATE_TIME"), fileTime);
            dataSet->SetLongVariable(QStringLiteral("PRCOD"), bytes.constData(), int(bytes.size()));

            dataSet->GatedExecSQL();
            if (!CommitUnlessViewMode()) {
                outcome.Result = TSaveOutcome::ViewMode;
                return outcome;
            }
        } catch (const std::exception& e) {
            RollbackQuietly();
            // A number taken meanwhile is taken again; a name another station stored meanwhile is
            // its program, which this store must not replace unseen: that is reported below.
            const auto* oracle = dynamic_cast<const EOracleError*>(&e);
            if (count == 0 && oracle && oracle->ErrorCode() == 1 && attempt < 3 && StoredCopies(name) == 0)
                continue;
            outcome.Result = TSaveOutcome::Failed;
            outcome.Error = ErrorText(e);
            outcome.Statement = dataSet->SQL().join(QStringLiteral("\r\n"));
            return outcome;
        }
        break;
    }
    outcome.Result = TSaveOutcome::Stored;
    outcome.NewId = newId;
    return outcome;
}

TFetchOutcome FetchProgram(const QString& path) {
    TFetchOutcome outcome;
    if (!FOracleBase) {
        outcome.Error = QStringLiteral("Not logged on");
        return outcome;
    }
    try {
        // The logged query rather than the dataset: the value is handed over without copies, so a
        // large program takes about its own size in memory once more.
        auto query = std::make_unique<TNoteQuery>();
        query->SQL() << QStringLiteral("SELECT PRALIAS, PRCOD, PRDATE_TIME FROM KMR_PROGRAMMEXE ")
                     << QStringLiteral("WHERE PRNAME=:PRNAME");
        query->DeclareVariable(QStringLiteral("PRNAME"), otString);
        query->SetVariable(QStringLiteral("PRNAME"), ProgramFileName(path));
        query->SetSession(FOracleBase->ADatabase);
        query->Execute();
        if (query->Eof()) {
            outcome.Result = TFetchOutcome::NotStored;
            return outcome;
        }
        const QByteArray bytes = query->Field(QStringLiteral("PRCOD")).toByteArray();
        const QVariant time = query->Field(QStringLiteral("PRDATE_TIME"));
        outcome.Title = query->Field(QStringLiteral("PRALIAS")).toString();
        if (time.isValid() && !time.isNull())
            outcome.Time = time.toDateTime();
        query->Close();

        QSaveFile file(path);
        auto fail = [&](const QString& reason) {
            file.cancelWriting();
            outcome.Result = TFetchOutcome::Failed;
            outcome.Error = reason;
            return outcome;
        };
        if (!file.open(QIODevice::WriteOnly))
            return fail(file.errorString());
        if (file.write(bytes) != bytes.size() || !file.flush())
            return fail(file.errorString());
        // Set after the last byte is written: a later write would move the time again. The rename
        // of the commit keeps it.
        if (outcome.Time.isValid() && !file.setFileTime(outcome.Time, QFileDevice::FileModificationTime))
            return fail(file.errorString());
        if (!file.commit()) {
            outcome.Result = TFetchOutcome::Failed;
            outcome.Error = file.errorString();
            return outcome;
        }
    } catch (const std::exception& e) {
        outcome.Result = TFetchOutcome::Failed;
        outcome.Error = ErrorText(e);
        return outcome;
    }
    outcome.Result = TFetchOutcome::Fetched;
    return outcome;
}

std::optional<std::vector<TStoredProgram>> ReadStoredPrograms() {
    if (!FOracleBase)
        return std::nullopt;
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral(
        "SELECT ID_PROGRAMMEXE, PRNAME, PRALIAS, PRDATE_TIME FROM KMR_PROGRAMMEXE ORDER BY PRNAME");
    if (!dataSet->NoteOpen())
        return std::nullopt;
    std::vector<TStoredProgram> programs;
    try {
        while (!dataSet->Eof()) {
            TStoredProgram program;
            program.Id = dataSet->FieldByName(QStringLiteral("ID_PROGRAMMEXE"))->AsInteger();
            program.Name = dataSet->FieldByName(QStringLiteral("PRNAME"))->AsString();
            program.Title = dataSet->FieldByName(QStringLiteral("PRALIAS"))->AsString();
            const TField* time = dataSet->FieldByName(QStringLiteral("PRDATE_TIME"));
            if (!time->IsNull())
                program.Time = time->AsDateTime();
            programs.push_back(std::move(program));
            if (!dataSet->NoteNext())
                return std::nullopt;
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return programs;
}

TRemoveOutcome RemoveProgram(int id) {
    TRemoveOutcome outcome;
    if (!FOracleBase || !CanWrite) {
        outcome.Result = TRemoveOutcome::ViewMode;
        return outcome;
    }
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral("DELETE FROM KMR_PROGRAMMEXE WHERE ID_PROGRAMMEXE = ") +
                          QString::number(id);
    try {
        // Not committed yet: the grant delete below commits both or rolls both back.
        dataSet->GatedExecSQL();
    } catch (const std::exception& e) {
        outcome.Result = TRemoveOutcome::ProgramFailed;
        outcome.Error = ErrorText(e);
        outcome.Statement = dataSet->SQL().join(QStringLiteral("\r\n"));
        RollbackQuietly();
        return outcome;
    }
    dataSet->SQL().clear();
    dataSet->SQL() << QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = ") +
                          QString::number(id);
    try {
        dataSet->SetSession(FOracleBase->ADatabase);
        dataSet->GatedExecSQL();
        if (!CommitUnlessViewMode()) {
            outcome.Result = TRemoveOutcome::ViewMode;
            return outcome;
        }
    } catch (const std::exception& e) {
        outcome.Result = TRemoveOutcome::GrantsFailed;
        outcome.Error = ErrorText(e);
        outcome.Statement = dataSet->SQL().join(QStringLiteral("\r\n"));
        RollbackQuietly();
        return outcome;
    }
    outcome.Result = TRemoveOutcome::Removed;
    return outcome;
}
