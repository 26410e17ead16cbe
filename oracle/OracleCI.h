// Finding, loading and calling the Oracle client library. Every client entry point the layer uses is
// called through the one process-wide function table here.
#pragma once

#include "OciDefs.h"

#include <QString>
#include <QStringList>
#include <optional>

class TOracleCriticalSection;

// The process-wide function table, filled by dlsym / GetProcAddress at load time.
struct TOciApi {
    // Required: without any one of these the library counts as unusable ("Could not initialize").
    OCIEnvCreate_t OCIEnvCreate = nullptr;
    OCIHandleAlloc_t OCIHandleAlloc = nullptr;
    OCIHandleFree_t OCIHandleFree = nullptr;
    OCIDescriptorAlloc_t OCIDescriptorAlloc = nullptr;
    OCIDescriptorFree_t OCIDescriptorFree = nullptr;
    OCIServerAttach_t OCIServerAttach = nullptr;
    OCIServerDetach_t OCIServerDetach = nullptr;
    OCIAttrSet_t OCIAttrSet = nullptr;
    OCIAttrGet_t OCIAttrGet = nullptr;
    OCISessionBegin_t OCISessionBegin = nullptr;
    OCISessionEnd_t OCISessionEnd = nullptr;
    OCIServerVersion_t OCIServerVersion = nullptr;
    OCITransCommit_t OCITransCommit = nullptr;
    OCITransRollback_t OCITransRollback = nullptr;
    OCIErrorGet_t OCIErrorGet = nullptr;
    OCIStmtPrepare_t OCIStmtPrepare = nullptr;
    OCIStmtExecute_t OCIStmtExecute = nullptr;
    OCIStmtFetch_t OCIStmtFetch = nullptr;
    OCIBindByName_t OCIBindByName = nullptr;
    OCIDefineByPos_t OCIDefineByPos = nullptr;
    OCIDefineDynamic_t OCIDefineDynamic = nullptr;
    OCIParamGet_t OCIParamGet = nullptr;
    OCIRowidToChar_t OCIRowidToChar = nullptr;
    // Optional groups.
    OCIEnvNlsCreate_t OCIEnvNlsCreate = nullptr;
    OCIStmtFetch2_t OCIStmtFetch2 = nullptr;
    OCIPing_t OCIPing = nullptr;
    OCIClientVersion_t OCIClientVersion = nullptr;
};

// The process-wide client library state. Loading and unloading run under the process-wide lock;
// IsLoaded takes no lock, so that a statement never waits for another thread's log-on.
class OracleCI {
public:
    // Nothing when loaded; otherwise chooses, loads, resolves and initialises the library, or raises
    // Exception("Initialization error\r\n" + reason + "\r\n\r\n" + search log) after unloading.
    static void EnsureLoaded();
    static bool IsLoaded();
    // Frees the library and forgets the path, home, capabilities and log. Sessions must be gone.
    static void Unload();

    // The loaded function table; valid only while IsLoaded().
    static const TOciApi& Api();
    // The lock that serialises loading the library and creating and freeing environments. It is
    // never held across a round trip to a server.
    static TOracleCriticalSection& ProcessLock();
    // The client's feature release (19 for 19.3), 0 when the client does not say.
    static int ClientVersion();

    static QString LibraryPath();
    static QString SearchLog(); // lines separated by CR LF

    // The command-line parameters read for OCIDLL= and ORACLEHOME=; the process's own by default.
    static void SetCommandLine(const QStringList& arguments);
    static QStringList CommandLine();
};

// What the search reads from the machine: environment, files, the executable's folder and, on
// Windows, the registry under HKEY_LOCAL_MACHINE. Tests give a fake.
class TOciPlatform {
public:
    virtual ~TOciPlatform() = default;
    virtual QString Environment(const QString& name) const = 0;
    virtual bool FileExists(const QString& path) const = 0;
    virtual bool DirectoryExists(const QString& path) const = 0;
    // File names (not paths) in a folder matching a wildcard pattern such as "ora*.dll", any case.
    virtual QStringList FilesMatching(const QString& directory, const QString& pattern) const = 0;
    virtual QString ExecutableDirectory() const = 0;
    virtual std::optional<QString> RegistryValue(const QString& key, const QString& name) const = 0;
    virtual QStringList RegistrySubkeys(const QString& key) const = 0;
    // The real machine.
    static const TOciPlatform& System();
};

// Failure codes of the search and of loading.
enum TOciFailure { ofNone = 0, ofLoad = 1, ofInitialize = 2, ofNotInstalled = 3 };

struct TOciSearch {
    int Failure = ofNone;
    QString Path;    // the chosen library ("" when none)
    QStringList Log; // search log lines
    QString HomeKey; // Windows: the chosen home's registry key
    QString HomeDir;
    bool HomeHasBin = false;
};

// The value of a NAME=value command-line parameter (name any case, value at most 255 characters).
std::optional<QString> OciCommandLineValue(const QStringList& arguments, const QString& name);

// The Windows search: OCIDLL=, the registered Oracle homes (ALL_HOMES\HOME_COUNTER, HOMEn and KEY_
// keys), ORACLEHOME= or the earliest home on PATH, then oci.dll or the highest ora*.dll version.
// preferredHome is the process's remembered choice; the first choice is stored in it.
TOciSearch OciSearchWindows(const TOciPlatform& platform, const QStringList& arguments,
                            QString& preferredHome);
// The version number of an "ora*.dll" candidate, 0 when it has none ("ora805.dll" -> 0.805).
double OciDllVersion(const QString& fileName);

// The search on Unix: OCIDLL=; ORACLEHOME= or ORACLE_HOME (lib/libclntsh.so, or the home itself for
// an Instant Client folder); libclntsh.so along LD_LIBRARY_PATH; libocisqlite.so beside the program.
TOciSearch OciSearchUnix(const TOciPlatform& platform, const QStringList& arguments);

// The message of the initialisation error for a failure code.
QString OciInitializationError(int failure, const QString& path, const QStringList& log);
