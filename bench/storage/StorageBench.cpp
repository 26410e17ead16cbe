// Storing a 50 MB program on the demo main server and fetching it back, the way the stored-programs
// window does it (StoreProgram, FetchProgram), against copying the file with cp in the same run.
// Each run is a child process, so its peak resident size (getrusage of the child) is its own; a
// child that sets up the same servers and transfers nothing gives the memory the transfer adds.
// Prints the time ratio to cp and the peak memory against the file size, also over a slow link.
#include "DemoServers.h"

#include "OracleBase.h"
#include "ProgramStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr qsizetype FileSize = 50 * 1024 * 1024;

struct TRun {
    double Seconds = 0; // the transfer alone, as the child measured it (cp: the whole process)
    long PeakKb = 0;
    int Status = -1;
};

// Runs argv as a child; its exit status, peak memory and (for cp) elapsed time.
TRun RunChild(const std::vector<std::string>& args, const char* latency = nullptr) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        if (latency)
            setenv("OCISQLITE_LATENCY_MS", latency, 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    TRun run;
    run.Seconds = double(timer.nsecsElapsed()) / 1e9;
    run.PeakKb = usage.ru_maxrss;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!out.empty())
        run.Seconds = std::strtod(out.c_str(), nullptr); // the child's own figure
    return run;
}

// Child: the demo servers and the database module, then (unless idle) store and fetch the file.
int Child(int argc, char** argv, bool transfer) {
    QCoreApplication app(argc, argv);
    const QString source = QString::fromLocal8Bit(argv[2]);
    const QString target = QString::fromLocal8Bit(argv[3]);
    TDemoServers demo;
    if (!demo.Error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(demo.Error()));
        return 2;
    }
    qunsetenv("OCISQLITE_TRACE");
    demo.Start(1, {0, 0, 0});
    if (!CanWrite)
        return 3;
    double seconds = 0;
    if (transfer) {
        QElapsedTimer timer;
        timer.start();
        const TSaveOutcome stored = StoreProgram(source, QStringLiteral("Большая программа"));
        if (stored.Result != TSaveOutcome::Stored) {
            std::fprintf(stderr, "store: %s\n", qPrintable(stored.Error));
            return 4;
        }
        const double storeSeconds = double(timer.nsecsElapsed()) / 1e9;
        const TFetchOutcome fetched = FetchProgram(target);
        if (fetched.Result != TFetchOutcome::Fetched) {
            std::fprintf(stderr, "fetch: %s\n", qPrintable(fetched.Error));
            return 5;
        }
        seconds = double(timer.nsecsElapsed()) / 1e9;
        std::fprintf(stderr, "store %.3f s, fetch %.3f s\n", storeSeconds, seconds - storeSeconds);
    }
    std::printf("%.6f\n", seconds);
    demo.Stop();
    return 0;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && (std::strcmp(argv[1], "--transfer") == 0 || std::strcmp(argv[1], "--idle") == 0))
        return Child(argc, argv, std::strcmp(argv[1], "--transfer") == 0);

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("src/BIG.EXE"));
    const QString copied = dir.filePath(QStringLiteral("cp/BIG.EXE"));
    const QString fetched = dir.filePath(QStringLiteral("dst/BIG.EXE"));
    for (const char* sub : {"src", "cp", "dst"})
        QDir(dir.path()).mkdir(QLatin1String(sub));
    {
        QByteArray bytes(FileSize, Qt::Uninitialized);
        std::mt19937_64 rng(42);
        for (qsizetype i = 0; i + 8 <= bytes.size(); i += 8) {
            const std::uint64_t v = rng();
            std::memcpy(bytes.data() + i, &v, 8);
        }
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
    }
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    const std::string src = source.toStdString();
    const std::string dst = fetched.toStdString();

    const TRun cp = RunChild({"/bin/cp", src, copied.toStdString()});
    QFile::remove(copied);
    // The same copy made durable, as the server's commit and the fetched file's rename are.
    const TRun cpSync =
        RunChild({"/bin/sh", "-c", "cp \"$0\" \"$1\" && sync \"$1\"", src, copied.toStdString()});
    const TRun idle = RunChild({self, "--idle", src, dst});
    const TRun transfer = RunChild({self, "--transfer", src, dst});
    const bool same = ReadAll(source) == ReadAll(fetched);
    QFile::remove(fetched);
    const TRun slow = RunChild({self, "--transfer", src, dst}, "50");
    if (cp.Status != 0 || cpSync.Status != 0 || idle.Status != 0 || transfer.Status != 0 ||
        slow.Status != 0 || !same) {
        std::fprintf(stderr, "benchmark run failed (cp %d, idle %d, transfer %d, slow %d, identical %d)\n",
                     cp.Status, idle.Status, transfer.Status, slow.Status, int(same));
        return 1;
    }
    const double mb = double(FileSize) / (1024 * 1024);
    std::printf("50 MB program: cp %.3f s, store+fetch %.3f s, time ratio %.2f (goal 3.00)\n", cp.Seconds,
                transfer.Seconds, transfer.Seconds / cp.Seconds);
    std::printf("  against cp followed by sync of the copy (%.3f s): ratio %.2f\n", cpSync.Seconds,
                transfer.Seconds / cpSync.Seconds);
    std::printf("  over a slow link (OCISQLITE_LATENCY_MS=50): store+fetch %.3f s, ratio to cp %.2f\n",
                slow.Seconds, slow.Seconds / cp.Seconds);
    std::printf("peak memory: cp %.1f MB, servers idle %.1f MB, store+fetch %.1f MB = %.2f x size in all, "
                "%.2f x size above idle (goal 3.00)\n",
                cp.PeakKb / 1024.0, idle.PeakKb / 1024.0, transfer.PeakKb / 1024.0,
                transfer.PeakKb / 1024.0 / mb, (transfer.PeakKb - idle.PeakKb) / 1024.0 / mb);
    return 0;
}
