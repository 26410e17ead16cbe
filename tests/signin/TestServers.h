// Demo servers for the sign-in and window tests: embedded database files made once per test
// program from the schema scripts and the demo data, copied into a fresh folder for each test,
// with a settings file, the working directory and the environment pointing at them.
#pragma once

#include "HostInfo.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

class TTestServers {
public:
    static constexpr const char* MainServer = "SERVER_OIK";
    static constexpr const char* ReserveServer = "SERVER_OIK_R";
    static constexpr const char* DbUser = "USER_OIK";
    static constexpr const char* DbPassword = "QUILLMOSS";

    // Two servers: main (0, 1, 0) and reserve (1, 0, 0), mirroring while both answer. One server:
    // only the main one, in edit mode. Extra ini lines are appended to mvtu.ini.
    explicit TTestServers(bool twoServers, const QString& extraIni = {});
    ~TTestServers();

    const QString& Dir() const { return FDir; }
    QString DbFile(const QString& server) const;

    // Runs statements on a server through a session of its own and commits.
    void Exec(const QString& server, const QStringList& statements) const;
    void Exec(const QString& server, const QString& statement) const { Exec(server, QStringList{statement}); }
    // The first column of the first row, or an invalid variant when there is no row.
    QVariant Scalar(const QString& server, const QString& select) const;
    // All rows of a select, each row's columns joined by "|".
    QStringList Rows(const QString& server, const QString& select) const;

    // The address the sign-in sees for this workstation.
    static QString HostAddress();

private:
    std::unique_ptr<QTemporaryDir> FTemp;
    QString FDir;
    QString FOldCwd;
};

// The application object of the test program (offscreen), created on first use.
void EnsureApplication();

// A workstation with a fixed address, or one whose name does not resolve (empty address).
class TFixedHost : public THostInfo {
public:
    explicit TFixedHost(const QString& address) : FAddress(address) {}
    std::optional<QString> LocalHostName() const override { return QStringLiteral("kmr-test"); }
    std::optional<std::vector<TIPv4>> Resolve(const QString&) const override;

private:
    QString FAddress;
};

// Builds the template servers once per process (schema, demo data, state rows); fails the test
// program when the tools are missing.
QString TemplateServersDir();
