// Runs a helper program (ocisqlite-admin ...) from a test and returns its exit status.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Plain fork and exec: QProcess starts its child in a way ThreadSanitizer cannot follow, which makes it
// report races that are none in every later test of the program. -1 when the program did not end normally.
inline int RunProgram(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& a : arguments)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
