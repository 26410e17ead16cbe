// An embedded server filled for the administration benchmarks: the schema and the main server's SRV
// row, then users, programs with their groups, grants and memberships, written through the access
// layer in one transaction. Shared by the benchmarks that read many users and programs.
#pragma once

#include "Oracle.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace bench {

inline const char* const DbUser = "USER_OIK";
inline const char* const DbPassword = "QUILLMOSS";
inline constexpr int GroupsPerProgram = 5;
inline constexpr int GrantsPerUser = 10;

// Runs a tool of the build's bin folder; the benchmark ends when it fails.
inline void RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KMR_BIN_DIR "/") + program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        std::exit(1);
    }
}

// Creates the server file (connect identifier server, lower-cased, in the current folder) with the
// schema and the given SRV script of schema/.
inline void CreateServer(const QString& folder, const QString& server, const char* srvScript) {
    RunTool(QStringLiteral("ocisqlite-admin"),
            {QStringLiteral("create"), folder + QLatin1Char('/') + server.toLower() + QStringLiteral(".db"),
             QStringLiteral("--user"), QString::fromLatin1(DbUser), QStringLiteral("--password"),
             QString::fromLatin1(DbPassword)});
    for (const char* script : {"kmr_schema.sql", srvScript})
        RunTool(QStringLiteral("ocisql"),
                {QStringLiteral("%1/%2@%3").arg(QLatin1String(DbUser), QLatin1String(DbPassword), server),
                 QStringLiteral("@" KMR_SOURCE_DIR "/schema/") + QString::fromLatin1(script)});
}

inline std::unique_ptr<TOracleSession> Logon(const QString& server) {
    auto s = std::make_unique<TOracleSession>();
    s->SetLogonUsername(QString::fromLatin1(DbUser));
    s->SetLogonPassword(QString::fromLatin1(DbPassword));
    s->SetLogonDatabase(server);
    s->LogOn();
    return s;
}

// Runs one statement per row of values through a query with integer and text binds.
inline void InsertAll(TOracleQuery& q, const QString& sql, const QStringList& names, int rows,
                      const std::function<QVariantList(int)>& values) {
    q.DeleteVariables();
    q.SetSQLText(sql);
    const QVariantList first = values(0);
    for (int i = 0; i < names.size(); ++i)
        q.DeclareVariable(names[i], first[i].typeId() == QMetaType::QString ? otString : otInteger);
    for (int r = 0; r < rows; ++r) {
        const QVariantList v = values(r);
        for (int i = 0; i < names.size(); ++i)
            q.SetVariable(names[i], v[i]);
        q.Execute();
    }
}

// User 1 is the administrator admin/kmr2026 (group 1 holds the administration right); every user
// holds GrantsPerUser programs and a group in all but one of them.
inline void FillAdminData(const QString& server, int users, int programs) {
    auto s = Logon(server);
    TOracleQuery q;
    q.SetSession(s.get());
    for (const char* sql : {"INSERT INTO USER_GROUP VALUES (1, 10)", "INSERT INTO USER_G_P VALUES (1, 14)"}) {
        q.SetSQLText(QString::fromLatin1(sql));
        q.Execute();
    }
    InsertAll(q,
              QStringLiteral("INSERT INTO USER_PSW (TABNUM, NAME, PWD, ALLNAME, GROUPID, WENABLED) "
                             "VALUES (:T, :N, :P, :A, :G, 'T')"),
              {QStringLiteral("T"), QStringLiteral("N"), QStringLiteral("P"), QStringLiteral("A"),
               QStringLiteral("G")},
              users, [](int r) {
                  const int i = r + 1;
                  return QVariantList{i, i == 1 ? QStringLiteral("admin") : QStringLiteral("user%1").arg(i),
                                      i == 1 ? QStringLiteral("kmr2026") : QStringLiteral("pw%1").arg(i),
                                      QStringLiteral("Пользователь Номер %1").arg(i, 5, 10, QLatin1Char('0')),
                                      i == 1 ? 1 : 1 + i % 6};
              });
    InsertAll(
        q,
        QStringLiteral("INSERT INTO KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS) VALUES (:ID, :N, :A)"),
        {QStringLiteral("ID"), QStringLiteral("N"), QStringLiteral("A")}, programs, [](int r) {
            return QVariantList{r + 1, QStringLiteral("PROG%1.EXE").arg(r + 1),
                                QStringLiteral("Программа %1").arg(r + 1)};
        });
    InsertAll(q, QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES (:P, :G, :N)"),
              {QStringLiteral("P"), QStringLiteral("G"), QStringLiteral("N")}, programs * GroupsPerProgram,
              [](int r) {
                  return QVariantList{1 + r / GroupsPerProgram, 1 + r % GroupsPerProgram,
                                      QStringLiteral("Группа %1").arg(1 + r % GroupsPerProgram)};
              });
    const int grants = std::min(GrantsPerUser, programs);
    InsertAll(q, QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (:T, :P)"),
              {QStringLiteral("T"), QStringLiteral("P")}, users * grants, [&](int r) {
                  const int user = 1 + r / grants;
                  return QVariantList{user, 1 + (user * 7 + (r % grants) * 13) % programs};
              });
    InsertAll(q, QStringLiteral("INSERT INTO KMR_GROUP_FOR_USER VALUES (:T, :P, :G)"),
              {QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("G")}, users * (grants - 1),
              [&](int r) {
                  const int user = 1 + r / (grants - 1);
                  return QVariantList{user, 1 + (user * 7 + (r % (grants - 1)) * 13) % programs,
                                      1 + (user + r) % GroupsPerProgram};
              });
    s->Commit();
    s->LogOff();
}

inline int CountLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return int(f.readAll().count('\n'));
}

} // namespace bench
