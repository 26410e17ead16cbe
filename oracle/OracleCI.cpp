#include "OracleCI.h"

#include "Oracle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <algorithm>
#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Process-wide library state; every access holds the process lock, except the flag "loaded", which
// is read without it on every statement.
struct LibraryState {
    std::atomic<bool> loaded{false}; // set after the function table is complete
    void* handle = nullptr;
    QString path;
    QStringList log;
    TOciApi api;
    QString preferredHome; // the Oracle home chosen first in this process (Windows)
    std::optional<QStringList> commandLine;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

QString WinJoin(const QString& dir, const QString& name) {
    QString d = dir;
    while (d.endsWith(QLatin1Char('\\')) || d.endsWith(QLatin1Char('/')))
        d.chop(1);
    return d + QLatin1Char('\\') + name;
}

QString UnixJoin(const QString& dir, const QString& name) {
    QString d = dir;
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')))
        d.chop(1);
    return d + QLatin1Char('/') + name;
}

class SystemPlatform final : public TOciPlatform {
public:
    QString Environment(const QString& name) const override {
        return QString::fromLocal8Bit(qgetenv(name.toLocal8Bit().constData()));
    }
    bool FileExists(const QString& path) const override {
        const QFileInfo info(path);
        return info.exists() && info.isFile();
    }
    bool DirectoryExists(const QString& path) const override {
        const QFileInfo info(path);
        return info.exists() && info.isDir() && info.isReadable();
    }
    QStringList FilesMatching(const QString& directory, const QString& pattern) const override {
        QDir dir(directory);
        dir.setNameFilters({pattern});
        dir.setFilter(QDir::Files);
        dir.setSorting(QDir::Name | QDir::IgnoreCase);
        return dir.entryList();
    }
    QString ExecutableDirectory() const override {
        if (QCoreApplication::instance())
            return QCoreApplication::applicationDirPath();
#ifdef _WIN32
        wchar_t buffer[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
        return QFileInfo(QString::fromWCharArray(buffer, int(n))).absolutePath();
#else
        return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
#endif
    }
    std::optional<QString> RegistryValue(const QString& key, const QString& name) const override {
#ifdef _WIN32
        QSettings settings(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
        const QVariant v = settings.value(name);
        if (!v.isValid())
            return std::nullopt;
        return v.toString();
#else
        Q_UNUSED(key);
        Q_UNUSED(name);
        return std::nullopt;
#endif
    }
    QStringList RegistrySubkeys(const QString& key) const override {
#ifdef _WIN32
        QSettings settings(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
        return settings.childGroups();
#else
        Q_UNUSED(key);
        return {};
#endif
    }
};

QStringList ProcessArguments() {
    QStringList args;
    if (QCoreApplication::instance()) {
        args = QCoreApplication::arguments();
    } else {
#ifndef _WIN32
        QFile file(QStringLiteral("/proc/self/cmdline"));
        if (file.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = file.readAll().split('\0');
            for (const QByteArray& part : parts)
                args << QString::fromLocal8Bit(part);
            if (!args.isEmpty() && args.last().isEmpty())
                args.removeLast();
        }
#endif
    }
    if (!args.isEmpty())
        args.removeFirst(); // the program itself
    return args;
}

struct HomeEntry {
    int number = -1; // HOMEn, or -1 for a KEY_ home
    QString directory;
};

// Finds the Oracle home on Windows; fills key, directory and whether it has a "bin" folder.
void FindOracleHome(const TOciPlatform& p, const QStringList& arguments, QString& preferredHome,
                    TOciSearch& r) {
    const QString root = QStringLiteral("SOFTWARE\\ORACLE");
    QMap<QString, HomeEntry> homes; // sorted by name
    bool counterOk = false;
    const int counter = p.RegistryValue(root + QStringLiteral("\\ALL_HOMES"), QStringLiteral("HOME_COUNTER"))
                            .value_or(QString())
                            .trimmed()
                            .toInt(&counterOk);
    if (counterOk) {
        int found = 0;
        for (int i = 0; i <= 999 && found < std::max(counter, 1); ++i) {
            const QString key = root + QStringLiteral("\\HOME") + QString::number(i);
            const auto home = p.RegistryValue(key, QStringLiteral("ORACLE_HOME"));
            const auto name = p.RegistryValue(key, QStringLiteral("ORACLE_HOME_NAME"));
            if (home && name && p.DirectoryExists(WinJoin(*home, QStringLiteral("bin")))) {
                homes.insert(*name, HomeEntry{i, *home});
                ++found;
            }
        }
    }
    for (const QString& sub : p.RegistrySubkeys(root)) {
        if (!sub.startsWith(QLatin1String("KEY_"), Qt::CaseInsensitive))
            continue;
        const auto home = p.RegistryValue(root + QLatin1Char('\\') + sub, QStringLiteral("ORACLE_HOME"));
        if (home && p.DirectoryExists(WinJoin(*home, QStringLiteral("bin"))))
            homes.insert(sub.mid(4), HomeEntry{-1, *home});
    }

    QString key;
    if (!homes.isEmpty()) {
        QString preferred =
            OciCommandLineValue(arguments, QStringLiteral("ORACLEHOME")).value_or(QString()).toUpper();
        if (preferred.isEmpty())
            preferred = preferredHome;
        QString chosen;
        for (auto it = homes.cbegin(); it != homes.cend(); ++it)
            if (!preferred.isEmpty() && it.key().compare(preferred, Qt::CaseInsensitive) == 0)
                chosen = it.key();
        if (chosen.isEmpty()) {
            const QString path = p.Environment(QStringLiteral("PATH")).toUpper();
            qsizetype best = -1;
            for (auto it = homes.cbegin(); it != homes.cend(); ++it) {
                const qsizetype at = path.indexOf(WinJoin(it->directory, QStringLiteral("bin")).toUpper());
                if (at >= 0 && (best < 0 || at < best)) {
                    best = at;
                    chosen = it.key();
                }
            }
            if (chosen.isEmpty())
                chosen = homes.lastKey();
        }
        const HomeEntry& entry = homes[chosen];
        key = entry.number < 0 ? root + QStringLiteral("\\KEY_") + chosen
                               : root + QStringLiteral("\\HOME") + QString::number(entry.number);
        if (preferredHome.isEmpty())
            preferredHome = chosen;
    } else {
        key = root;
    }

    const QString keyHome = p.RegistryValue(key, QStringLiteral("ORACLE_HOME")).value_or(QString());
    if (keyHome.isEmpty() || !p.DirectoryExists(WinJoin(keyHome, QStringLiteral("bin"))))
        key.clear();
    r.HomeKey = key;
    r.HomeDir = key.isEmpty() ? QString() : keyHome;
    r.HomeHasBin = !key.isEmpty();
    if (r.HomeDir.isEmpty()) {
        const QString env = p.Environment(QStringLiteral("ORACLE_HOME"));
        if (!env.isEmpty() && env != QLatin1String(".")) {
            r.HomeDir = env;
            r.HomeHasBin = p.DirectoryExists(WinJoin(env, QStringLiteral("bin")));
        }
    }
    if (r.HomeDir.isEmpty()) {
        for (QString dir :
             p.Environment(QStringLiteral("PATH")).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            dir = dir.trimmed();
            while (dir.endsWith(QLatin1Char('\\')))
                dir.chop(1);
            if (dir.isEmpty() || !p.FileExists(WinJoin(dir, QStringLiteral("oci.dll"))))
                continue;
            r.HomeDir = dir;
            if (dir.toUpper().endsWith(QLatin1String("\\BIN"))) {
                r.HomeDir.chop(4);
                r.HomeHasBin = true;
            }
            break;
        }
    }
}

bool LoadLibraryFile(LibraryState& s, QStringList& log) {
#ifdef _WIN32
    HMODULE h = LoadLibraryW(reinterpret_cast<const wchar_t*>(s.path.utf16()));
    if (!h) {
        // A client whose dependencies lie in its own folder loads from there; its dependencies are
        // resolved during the load, so the working directory goes back at once.
        const QString saved = QDir::currentPath();
        QDir::setCurrent(QFileInfo(s.path).absolutePath());
        h = LoadLibraryW(reinterpret_cast<const wchar_t*>(s.path.utf16()));
        QDir::setCurrent(saved);
    }
    if (!h) {
        log << QStringLiteral("LoadLibrary(") + s.path + QStringLiteral(") returned 0");
        return false;
    }
    s.handle = h;
#else
    void* h = dlopen(QFile::encodeName(s.path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* reason = dlerror();
        log << QStringLiteral("LoadLibrary(") + s.path + QStringLiteral(") returned 0");
        if (reason)
            log << QString::fromLocal8Bit(reason);
        return false;
    }
    s.handle = h;
#endif
    return true;
}

void* Symbol(void* handle, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void CloseLibrary(LibraryState& s) {
    s.loaded.store(false, std::memory_order_release);
    if (s.handle) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(s.handle));
#else
        dlclose(s.handle);
#endif
    }
    s.handle = nullptr;
    s.api = TOciApi{};
}

// Fills the function table; returns the names of missing required entry points.
QStringList ResolveEntryPoints(LibraryState& s) {
    QStringList missing;
    TOciApi& a = s.api;
    const auto required = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(Symbol(s.handle, name));
        if (!slot)
            missing << QString::fromLatin1(name);
    };
    const auto optional = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(Symbol(s.handle, name));
    };
    required(a.OCIEnvCreate, "OCIEnvCreate");
    required(a.OCIHandleAlloc, "OCIHandleAlloc");
    required(a.OCIHandleFree, "OCIHandleFree");
    required(a.OCIDescriptorAlloc, "OCIDescriptorAlloc");
    required(a.OCIDescriptorFree, "OCIDescriptorFree");
    required(a.OCIServerAttach, "OCIServerAttach");
    required(a.OCIServerDetach, "OCIServerDetach");
    required(a.OCIAttrSet, "OCIAttrSet");
    required(a.OCIAttrGet, "OCIAttrGet");
    required(a.OCISessionBegin, "OCISessionBegin");
    required(a.OCISessionEnd, "OCISessionEnd");
    required(a.OCIServerVersion, "OCIServerVersion");
    required(a.OCITransCommit, "OCITransCommit");
    required(a.OCITransRollback, "OCITransRollback");
    required(a.OCIErrorGet, "OCIErrorGet");
    required(a.OCIStmtPrepare, "OCIStmtPrepare");
    required(a.OCIStmtExecute, "OCIStmtExecute");
    required(a.OCIStmtFetch, "OCIStmtFetch");
    required(a.OCIBindByName, "OCIBindByName");
    required(a.OCIDefineByPos, "OCIDefineByPos");
    required(a.OCIDefineDynamic, "OCIDefineDynamic");
    required(a.OCIParamGet, "OCIParamGet");
    required(a.OCIRowidToChar, "OCIRowidToChar");
    optional(a.OCIEnvNlsCreate, "OCIEnvNlsCreate");
    optional(a.OCIStmtFetch2, "OCIStmtFetch2");
    optional(a.OCIPing, "OCIPing");
    optional(a.OCIClientVersion, "OCIClientVersion");
    return missing;
}

} // namespace

const TOciPlatform& TOciPlatform::System() {
    static const SystemPlatform platform;
    return platform;
}

std::optional<QString> OciCommandLineValue(const QStringList& arguments, const QString& name) {
    for (const QString& arg : arguments) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        if (arg.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return arg.mid(eq + 1).left(255);
    }
    return std::nullopt;
}

double OciDllVersion(const QString& fileName) {
    QString base = fileName;
    const qsizetype dot = base.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        base = base.left(dot);
    if (!base.startsWith(QLatin1String("ora"), Qt::CaseInsensitive))
        return 0;
    QString digits = base.mid(3);
    if (digits.left(2).compare(QLatin1String("NT"), Qt::CaseInsensitive) == 0)
        digits = digits.mid(2);
    if (digits.isEmpty())
        return 0;
    for (const QChar c : digits)
        if (!c.isDigit())
            return 0;
    bool ok = false;
    const double v = (QStringLiteral("0.") + digits).toDouble(&ok);
    return ok && v > 0 ? v : 0;
}

TOciSearch OciSearchWindows(const TOciPlatform& p, const QStringList& arguments, QString& preferredHome) {
    TOciSearch r;
    if (const auto forced = OciCommandLineValue(arguments, QStringLiteral("OCIDLL"))) {
        r.Path = *forced;
        r.Log << QStringLiteral("OCIDLL forced to ") + r.Path;
        return r;
    }
    FindOracleHome(p, arguments, preferredHome, r);
    r.Log << QStringLiteral("OracleHomeKey: ") + r.HomeKey;
    r.Log << QStringLiteral("OracleHomeDir: ") + r.HomeDir;
    if (r.HomeDir.isEmpty()) {
        r.Failure = ofNotInstalled;
        return r;
    }
    const QString folder = r.HomeHasBin ? WinJoin(r.HomeDir, QStringLiteral("bin")) : r.HomeDir;
    QString chosen;
    if (p.FileExists(WinJoin(folder, QStringLiteral("oci.dll")))) {
        r.Log << QStringLiteral("Found: oci.dll");
        chosen = QStringLiteral("oci.dll");
    }
    double best = 0;
    QString bestFile;
    for (const QString& file : p.FilesMatching(folder, QStringLiteral("ora*.dll"))) {
        const double version = OciDllVersion(file);
        if (version <= 0)
            continue;
        r.Log << QStringLiteral("Found: ") + file;
        if (version > best) {
            best = version;
            bestFile = file;
        }
    }
    if (chosen.isEmpty())
        chosen = bestFile;
    if (chosen.isEmpty()) {
        r.Failure = ofLoad;
        return r;
    }
    r.Path = WinJoin(folder, chosen);
    r.Log << QStringLiteral("Using: ") + r.Path;
    return r;
}

TOciSearch OciSearchUnix(const TOciPlatform& p, const QStringList& arguments) {
    TOciSearch r;
    if (const auto forced = OciCommandLineValue(arguments, QStringLiteral("OCIDLL"))) {
        r.Path = *forced;
        r.Log << QStringLiteral("OCIDLL forced to ") + r.Path;
        return r;
    }
    const QString client = QStringLiteral("libclntsh.so");
    QString home = OciCommandLineValue(arguments, QStringLiteral("ORACLEHOME")).value_or(QString());
    if (home.isEmpty()) {
        home = p.Environment(QStringLiteral("ORACLE_HOME"));
        if (home == QLatin1String("."))
            home.clear();
    }
    if (!home.isEmpty()) {
        // A home the user named is used or the search fails: falling back silently to another
        // client would connect somewhere the user did not ask for.
        r.HomeDir = home;
        r.Log << QStringLiteral("OracleHomeDir: ") + home;
        if (!p.DirectoryExists(home)) {
            r.Log << QStringLiteral("Not a readable directory: ") + home;
            r.Failure = ofNotInstalled;
            return r;
        }
        r.HomeHasBin = p.DirectoryExists(UnixJoin(home, QStringLiteral("lib")));
        for (const QString& candidate :
             {UnixJoin(UnixJoin(home, QStringLiteral("lib")), client), UnixJoin(home, client)}) {
            if (p.FileExists(candidate)) {
                r.Log << QStringLiteral("Found: ") + candidate;
                r.Path = candidate;
                break;
            }
        }
        if (r.Path.isEmpty()) {
            r.Failure = ofLoad;
            return r;
        }
        r.Log << QStringLiteral("Using: ") + r.Path;
        return r;
    }
    for (const QString& dir :
         p.Environment(QStringLiteral("LD_LIBRARY_PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString candidate = UnixJoin(dir, client);
        if (p.FileExists(candidate)) {
            r.Log << QStringLiteral("Found: ") + candidate;
            r.Path = candidate;
            r.Log << QStringLiteral("Using: ") + r.Path;
            return r;
        }
    }
    const QString bundled = UnixJoin(p.ExecutableDirectory(), QStringLiteral("libocisqlite.so"));
    if (p.FileExists(bundled)) {
        r.Log << QStringLiteral("Found: ") + bundled;
        r.Path = bundled;
        r.Log << QStringLiteral("Using: ") + r.Path;
        return r;
    }
    r.Log << QStringLiteral("Not found: ") + client + QStringLiteral(" (LD_LIBRARY_PATH), ") + bundled;
    r.Failure = ofNotInstalled;
    return r;
}

QString OciInitializationError(int failure, const QString& path, const QStringList& log) {
    QString reason;
    switch (failure) {
    case ofLoad:
        reason = path.isEmpty() ? QStringLiteral("Could not locate OCI dll")
                                : QStringLiteral("Could not load \"") + path + QLatin1Char('"');
        break;
    case ofInitialize:
        reason = QStringLiteral("Could not initialize \"") + path + QLatin1Char('"');
        break;
    default:
        reason = QStringLiteral("SQL*Net not properly installed");
        break;
    }
    return QStringLiteral("Initialization error\r\n") + reason + QStringLiteral("\r\n\r\n") +
           log.join(QStringLiteral("\r\n"));
}

// ---------------------------------------------------------------------------------------------------------

TOracleCriticalSection& OracleCI::ProcessLock() {
    static TOracleCriticalSection lock;
    return lock;
}

void OracleCI::EnsureLoaded() {
    if (IsLoaded())
        return;
    TOracleLock lock(&ProcessLock());
    LibraryState& s = State();
    if (s.handle)
        return;
    s.log.clear();
#ifdef _WIN32
    TOciSearch search = OciSearchWindows(TOciPlatform::System(), CommandLine(), s.preferredHome);
#else
    TOciSearch search = OciSearchUnix(TOciPlatform::System(), CommandLine());
#endif
    s.log = search.Log;
    s.path = search.Path;
    int failure = search.Failure;
    if (failure == ofNone && !LoadLibraryFile(s, s.log))
        failure = ofLoad;
    if (failure == ofNone) {
        const QStringList missing = ResolveEntryPoints(s);
        if (!missing.isEmpty()) {
            s.log << QStringLiteral("Missing entry points: ") + missing.join(QStringLiteral(", "));
            failure = ofInitialize;
        }
    }
    if (failure != ofNone) {
        const QString message = OciInitializationError(failure, s.path, s.log);
        CloseLibrary(s);
        s.path.clear();
        throw Exception(message);
    }
    // Publishes the function table to the threads that test IsLoaded without the lock.
    s.loaded.store(true, std::memory_order_release);
}

bool OracleCI::IsLoaded() {
    return State().loaded.load(std::memory_order_acquire);
}

void OracleCI::Unload() {
    TOracleLock lock(&ProcessLock());
    LibraryState& s = State();
    CloseLibrary(s);
    s.path.clear();
    s.log.clear();
}

const TOciApi& OracleCI::Api() {
    return State().api;
}

QString OracleCI::LibraryPath() {
    TOracleLock lock(&ProcessLock());
    return State().path;
}

QString OracleCI::SearchLog() {
    TOracleLock lock(&ProcessLock());
    return State().log.join(QStringLiteral("\r\n"));
}

void OracleCI::SetCommandLine(const QStringList& arguments) {
    TOracleLock lock(&ProcessLock());
    State().commandLine = arguments;
}

QStringList OracleCI::CommandLine() {
    TOracleLock lock(&ProcessLock());
    LibraryState& s = State();
    if (!s.commandLine)
        s.commandLine = ProcessArguments();
    return *s.commandLine;
}

int OracleCI::ClientVersion() {
    if (!IsLoaded() || !Api().OCIClientVersion)
        return 0;
    sword feature = 0, update = 0, revision = 0, increment = 0, ext = 0;
    Api().OCIClientVersion(&feature, &update, &revision, &increment, &ext);
    return int(feature);
}
