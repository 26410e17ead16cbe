// The client library search on both platforms, against a fake machine, and loading failures.
#include "Oracle.h"
#include "OracleCI.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class FakePlatform : public TOciPlatform {
public:
    QMap<QString, QString> env;
    QSet<QString> files; // full paths, compared in upper case on Windows
    QSet<QString> dirs;
    QMap<QString, QMap<QString, QString>> registry; // key -> value name -> value
    QString exeDir = QStringLiteral("/opt/kmr/bin");
    mutable int registryReads = 0;

    QString Environment(const QString& name) const override { return env.value(name); }
    bool FileExists(const QString& path) const override { return files.contains(path.toUpper()); }
    bool DirectoryExists(const QString& path) const override { return dirs.contains(path.toUpper()); }
    QStringList FilesMatching(const QString& directory, const QString& pattern) const override {
        const QString prefix = directory.toUpper() + QLatin1Char('\\');
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern.toUpper()));
        QStringList result;
        for (const QString& file : files)
            if (file.startsWith(prefix) && !file.mid(prefix.size()).contains(QLatin1Char('\\')) &&
                re.match(file.mid(prefix.size())).hasMatch())
                result << originalName.value(file, file.mid(prefix.size()));
        result.sort();
        return result;
    }
    QString ExecutableDirectory() const override { return exeDir; }
    std::optional<QString> RegistryValue(const QString& key, const QString& name) const override {
        ++registryReads;
        const auto k = registry.constFind(key.toUpper());
        if (k == registry.cend() || !k->contains(name.toUpper()))
            return std::nullopt;
        return k->value(name.toUpper());
    }
    QStringList RegistrySubkeys(const QString& key) const override {
        ++registryReads;
        QStringList result;
        const QString prefix = key.toUpper() + QLatin1Char('\\');
        for (auto it = registry.cbegin(); it != registry.cend(); ++it)
            if (it.key().startsWith(prefix) && !it.key().mid(prefix.size()).contains(QLatin1Char('\\')))
                result << keyName.value(it.key()).mid(prefix.size());
        return result;
    }

    void AddFile(const QString& path) {
        files.insert(path.toUpper());
        originalName.insert(path.toUpper(), path.section(QLatin1Char('\\'), -1));
    }
    void AddDir(const QString& path) { dirs.insert(path.toUpper()); }
    void SetValue(const QString& key, const QString& name, const QString& value) {
        registry[key.toUpper()][name.toUpper()] = value;
        keyName[key.toUpper()] = key;
    }
    // A registered home HOMEn with its bin folder.
    void AddHome(int number, const QString& name, const QString& dir) {
        const QString key = QStringLiteral("SOFTWARE\\ORACLE\\HOME%1").arg(number);
        SetValue(key, QStringLiteral("ORACLE_HOME"), dir);
        SetValue(key, QStringLiteral("ORACLE_HOME_NAME"), name);
        AddDir(dir + QStringLiteral("\\bin"));
    }

private:
    QMap<QString, QString> originalName;
    QMap<QString, QString> keyName;
};

TEST(WindowsDiscovery, OcidllParameterForcesThePathWithoutAnySearch) {
    FakePlatform p;
    p.AddHome(0, QStringLiteral("OraHome"), QStringLiteral("C:\\oracle"));
    p.AddFile(QStringLiteral("C:\\oracle\\bin\\oci.dll"));
    QString preferred;
    const TOciSearch r = OciSearchWindows(
        p, {QStringLiteral("user/pw"), QStringLiteral("ocidll=D:\\client\\oci.dll")}, preferred);
    EXPECT_EQ(r.Failure, ofNone);
    EXPECT_EQ(r.Path, QStringLiteral("D:\\client\\oci.dll"));
    ASSERT_FALSE(r.Log.isEmpty());
    EXPECT_EQ(r.Log.first(), QStringLiteral("OCIDLL forced to D:\\client\\oci.dll"));
    EXPECT_EQ(p.registryReads, 0);
}

TEST(WindowsDiscovery, TwoHomesTheOneEarliestOnPathWinsUnlessOneIsNamed) {
    FakePlatform p;
    p.SetValue(QStringLiteral("SOFTWARE\\ORACLE\\ALL_HOMES"), QStringLiteral("HOME_COUNTER"),
               QStringLiteral("2"));
    p.AddHome(0, QStringLiteral("OraHome81"), QStringLiteral("C:\\ora81"));
    p.AddHome(1, QStringLiteral("OraHome92"), QStringLiteral("C:\\ora92"));
    p.AddFile(QStringLiteral("C:\\ora81\\bin\\oci.dll"));
    p.AddFile(QStringLiteral("C:\\ora92\\bin\\oci.dll"));
    p.env[QStringLiteral("PATH")] = QStringLiteral("C:\\Windows;c:\\ORA92\\bin;C:\\ora81\\bin");

    QString preferred;
    TOciSearch r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.Failure, ofNone);
    EXPECT_EQ(r.HomeKey, QStringLiteral("SOFTWARE\\ORACLE\\HOME1"));
    EXPECT_EQ(r.Path, QStringLiteral("C:\\ora92\\bin\\oci.dll"));
    EXPECT_EQ(r.Log,
              QStringList({QStringLiteral("OracleHomeKey: SOFTWARE\\ORACLE\\HOME1"),
                           QStringLiteral("OracleHomeDir: C:\\ora92"), QStringLiteral("Found: oci.dll"),
                           QStringLiteral("Using: C:\\ora92\\bin\\oci.dll")}));
    // The first choice is remembered for the rest of the process.
    EXPECT_EQ(preferred, QStringLiteral("OraHome92"));

    QString none;
    r = OciSearchWindows(p, {QStringLiteral("OracleHome=orahome81")}, none);
    EXPECT_EQ(r.HomeKey, QStringLiteral("SOFTWARE\\ORACLE\\HOME0"));
    EXPECT_EQ(r.Path, QStringLiteral("C:\\ora81\\bin\\oci.dll"));

    // Neither home on PATH: the last of the list sorted by name.
    p.env[QStringLiteral("PATH")] = QStringLiteral("C:\\Windows");
    QString fresh;
    r = OciSearchWindows(p, {}, fresh);
    EXPECT_EQ(r.HomeKey, QStringLiteral("SOFTWARE\\ORACLE\\HOME1"));
}

TEST(WindowsDiscovery, KeyNamedHomesAreListedBesideNumberedOnes) {
    FakePlatform p;
    p.SetValue(QStringLiteral("SOFTWARE\\ORACLE\\KEY_OraClient11g"), QStringLiteral("ORACLE_HOME"),
               QStringLiteral("C:\\app\\client"));
    p.AddDir(QStringLiteral("C:\\app\\client\\bin"));
    p.AddFile(QStringLiteral("C:\\app\\client\\bin\\oci.dll"));
    // A key whose home has no bin folder is not a home.
    p.SetValue(QStringLiteral("SOFTWARE\\ORACLE\\KEY_Broken"), QStringLiteral("ORACLE_HOME"),
               QStringLiteral("C:\\gone"));
    QString preferred;
    const TOciSearch r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.HomeKey, QStringLiteral("SOFTWARE\\ORACLE\\KEY_OraClient11g"));
    EXPECT_EQ(r.Path, QStringLiteral("C:\\app\\client\\bin\\oci.dll"));
}

TEST(WindowsDiscovery, HighestOraDllVersionWinsWithoutOciDll) {
    FakePlatform p;
    p.SetValue(QStringLiteral("SOFTWARE\\ORACLE"), QStringLiteral("ORACLE_HOME"),
               QStringLiteral("C:\\orant"));
    p.AddDir(QStringLiteral("C:\\orant\\bin"));
    p.AddFile(QStringLiteral("C:\\orant\\bin\\ora73.dll"));
    p.AddFile(QStringLiteral("C:\\orant\\bin\\ora805.dll"));
    p.AddFile(QStringLiteral("C:\\orant\\bin\\oracore.dll"));
    QString preferred;
    const TOciSearch r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.Failure, ofNone);
    EXPECT_EQ(r.HomeKey, QStringLiteral("SOFTWARE\\ORACLE"));
    EXPECT_EQ(r.Path, QStringLiteral("C:\\orant\\bin\\ora805.dll"));
    EXPECT_TRUE(r.Log.contains(QStringLiteral("Found: ora73.dll")));
    EXPECT_TRUE(r.Log.contains(QStringLiteral("Found: ora805.dll")));
    EXPECT_FALSE(r.Log.contains(QStringLiteral("Found: oracore.dll")));
}

TEST(WindowsDiscovery, DllVersionNumbers) {
    EXPECT_DOUBLE_EQ(OciDllVersion(QStringLiteral("ora805.dll")), 0.805);
    EXPECT_DOUBLE_EQ(OciDllVersion(QStringLiteral("ora73.dll")), 0.73);
    EXPECT_DOUBLE_EQ(OciDllVersion(QStringLiteral("ORANT71.DLL")), 0.71);
    EXPECT_GT(OciDllVersion(QStringLiteral("ora805.dll")), OciDllVersion(QStringLiteral("ora73.dll")));
    EXPECT_EQ(OciDllVersion(QStringLiteral("oracore.dll")), 0);
    EXPECT_EQ(OciDllVersion(QStringLiteral("ora.dll")), 0);
}

TEST(WindowsDiscovery, EnvironmentHomeAndOciDllOnPathAreTheFallbacks) {
    FakePlatform p;
    p.env[QStringLiteral("PATH")] = QStringLiteral("C:\\Windows;D:\\instant\\BIN\\");
    p.AddFile(QStringLiteral("D:\\instant\\BIN\\oci.dll"));
    QString preferred;
    TOciSearch r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.HomeDir, QStringLiteral("D:\\instant"));
    EXPECT_EQ(r.Path, QStringLiteral("D:\\instant\\bin\\oci.dll"));

    p.env[QStringLiteral("ORACLE_HOME")] = QStringLiteral("E:\\client");
    p.AddFile(QStringLiteral("E:\\client\\oci.dll"));
    r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.HomeDir, QStringLiteral("E:\\client"));
    EXPECT_EQ(r.Path, QStringLiteral("E:\\client\\oci.dll"));
}

TEST(WindowsDiscovery, NoHomeAnywhereIsNotInstalledWithTheLog) {
    FakePlatform p;
    p.env[QStringLiteral("PATH")] = QStringLiteral("C:\\Windows");
    QString preferred;
    const TOciSearch r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.Failure, ofNotInstalled);
    EXPECT_EQ(OciInitializationError(r.Failure, r.Path, r.Log),
              QStringLiteral("Initialization error\r\nSQL*Net not properly installed\r\n\r\n"
                             "OracleHomeKey: \r\nOracleHomeDir: "));
}

TEST(WindowsDiscovery, HomeWithoutCandidatesCannotLocateTheDll) {
    FakePlatform p;
    p.AddHome(0, QStringLiteral("Empty"), QStringLiteral("C:\\empty"));
    p.SetValue(QStringLiteral("SOFTWARE\\ORACLE\\ALL_HOMES"), QStringLiteral("HOME_COUNTER"),
               QStringLiteral("1"));
    QString preferred;
    const TOciSearch r = OciSearchWindows(p, {}, preferred);
    EXPECT_EQ(r.Failure, ofLoad);
    EXPECT_TRUE(OciInitializationError(r.Failure, r.Path, r.Log)
                    .startsWith(QStringLiteral("Initialization error\r\nCould not locate OCI dll\r\n\r\n")));
}

TEST(UnixDiscovery, SearchOrder) {
    FakePlatform p;
    p.files.insert(QStringLiteral("/OPT/KMR/BIN/LIBOCISQLITE.SO"));
    TOciSearch r = OciSearchUnix(p, {});
    EXPECT_EQ(r.Path, QStringLiteral("/opt/kmr/bin/libocisqlite.so"));

    p.env[QStringLiteral("LD_LIBRARY_PATH")] = QStringLiteral("/usr/lib:/opt/instantclient");
    p.files.insert(QStringLiteral("/OPT/INSTANTCLIENT/LIBCLNTSH.SO"));
    r = OciSearchUnix(p, {});
    EXPECT_EQ(r.Path, QStringLiteral("/opt/instantclient/libclntsh.so"));

    p.env[QStringLiteral("ORACLE_HOME")] = QStringLiteral("/u01/oracle");
    p.dirs.insert(QStringLiteral("/U01/ORACLE"));
    p.files.insert(QStringLiteral("/U01/ORACLE/LIB/LIBCLNTSH.SO"));
    r = OciSearchUnix(p, {});
    EXPECT_EQ(r.Path, QStringLiteral("/u01/oracle/lib/libclntsh.so"));

    r = OciSearchUnix(p, {QStringLiteral("OCIDLL=/x/libclntsh.so.19.1")});
    EXPECT_EQ(r.Path, QStringLiteral("/x/libclntsh.so.19.1"));
    EXPECT_EQ(r.Log.first(), QStringLiteral("OCIDLL forced to /x/libclntsh.so.19.1"));
}

TEST(UnixDiscovery, ANamedHomeThatIsUnusableFailsInsteadOfFallingBack) {
    FakePlatform p;
    p.files.insert(QStringLiteral("/OPT/KMR/BIN/LIBOCISQLITE.SO"));
    p.env[QStringLiteral("ORACLE_HOME")] = QStringLiteral("/u01/missing");
    TOciSearch r = OciSearchUnix(p, {});
    EXPECT_EQ(r.Failure, ofNotInstalled);
    EXPECT_TRUE(r.Log.contains(QStringLiteral("OracleHomeDir: /u01/missing")));

    p.dirs.insert(QStringLiteral("/U01/EMPTY"));
    r = OciSearchUnix(p, {QStringLiteral("oraclehome=/u01/empty")});
    EXPECT_EQ(r.Failure, ofLoad);
    EXPECT_TRUE(r.Path.isEmpty());
}

// Loading for real: a file that is not a library, and a library without the entry points.
class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override { OracleCI::Unload(); }
    void TearDown() override {
        OracleCI::Unload();
        OracleCI::SetCommandLine({});
    }
    static QString LoadError(const QString& path) {
        OracleCI::SetCommandLine({QStringLiteral("OCIDLL=") + path});
        try {
            OracleCI::EnsureLoaded();
        } catch (const Exception& e) {
            EXPECT_FALSE(OracleCI::IsLoaded());
            return e.Message();
        }
        return QString();
    }
};

TEST_F(LoadingTest, NotALibraryCannotBeLoaded) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fake.so"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a library");
    file.close();
    const QString message = LoadError(path);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Initialization error\r\nCould not load \"") + path +
                                   QStringLiteral("\"\r\n\r\nOCIDLL forced to ") + path +
                                   QStringLiteral("\r\nLoadLibrary(") + path +
                                   QStringLiteral(") returned 0")))
        << message.toStdString();
}

TEST_F(LoadingTest, LibraryWithoutEntryPointsCannotBeInitialized) {
    // Any shared library that is not an OCI client: the sanitizer-free C math library is always there.
    QString path;
    for (const char* candidate : {"/lib/x86_64-linux-gnu/libm.so.6", "/usr/lib/x86_64-linux-gnu/libm.so.6",
                                  "/lib64/libm.so.6", "/usr/lib/libm.so.6"})
        if (QFile::exists(QString::fromLatin1(candidate)))
            path = QString::fromLatin1(candidate);
    if (path.isEmpty())
        GTEST_SKIP() << "no libm to load";
    const QString message = LoadError(path);
    EXPECT_TRUE(
        message.startsWith(QStringLiteral("Initialization error\r\nCould not initialize \"") + path + "\""))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("OCIServerAttach")));
}

TEST(CommandLine, ParameterValuesAreCaseBlindAndCut) {
    EXPECT_EQ(
        OciCommandLineValue({QStringLiteral("a"), QStringLiteral("OciDll=x=y")}, QStringLiteral("OCIDLL")),
        QStringLiteral("x=y"));
    EXPECT_FALSE(OciCommandLineValue({QStringLiteral("OCIDLLX=1")}, QStringLiteral("OCIDLL")).has_value());
    EXPECT_EQ(OciCommandLineValue({QStringLiteral("ORACLEHOME=") + QString(300, QLatin1Char('a'))},
                                  QStringLiteral("oraclehome"))
                  ->size(),
              255);
}

} // namespace
