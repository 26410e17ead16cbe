#include "Settings.h"
#include "TestFiles.h"

#include <QDir>

namespace {

class SettingsTest : public TempFolderTest {
protected:
    QString Ini() const { return Path(QStringLiteral("mvtu.ini")); }
    void Given(const QByteArray& bytes) { WriteBytes(Ini(), bytes); }
};

// Restores the working directory and the start-up values a test changed.
class ProgramDirGuard {
public:
    ProgramDirGuard() : FDir(QDir::currentPath()), FProgramDir(ProgramDir), FTempFileName(TempFileName) {}
    ~ProgramDirGuard() {
        QDir::setCurrent(FDir);
        ProgramDir = FProgramDir;
        TempFileName = FTempFileName;
        TwoServers = 0;
        ServerChoice = 0;
        ShowSmenaPassword = false;
    }

private:
    QString FDir, FProgramDir, FTempFileName;
};

} // namespace

TEST_F(SettingsTest, MissingFileGivesOneServerAndTheDefaultAccount) {
    const ModeSettings mode = ReadModeSettings(Ini());
    EXPECT_EQ(mode.TwoServers, 0);
    EXPECT_EQ(mode.ServerChoice, 0);
    EXPECT_FALSE(mode.ShowSmenaPassword);
    const AliasSettings alias = ReadAliasSettings(Ini(), 0);
    EXPECT_EQ(alias.ServerName, "SERVER_OIK");
    EXPECT_EQ(alias.UserName, "USER_OIK");
    EXPECT_EQ(alias.Password, "QUILLMOSS");
    EXPECT_FALSE(alias.AutoConnect);
}

TEST_F(SettingsTest, ModeValues) {
    struct Case {
        const char* File;
        int TwoServers, ServerChoice;
        bool ShowSmenaPassword;
    };
    const Case cases[] = {
        {"[Mode]\nN_Server=2\nC_Server=2\n", 1, 2, false},
        {"[Mode]\nN_Server=0x2\n", 1, 0, false},
        {"[Mode]\nN_Server=two\nC_Server=0x2\n", 0, 2, false},
        {"[Mode]\nN_Server=3\nC_Server=1\n", 0, 0, false},
        {"[MODE]\nn_server=2\nc_server=1\nSHOW_SMENA_PASSWORD=5\n", 1, 0, true},
        {"[Mode]\nSHOW_SMENA_PASSWORD=yes\n", 0, 0, false},
        // C_Server counts even with one server; the database module looks at it only with two.
        {"[Mode]\nC_Server=2\n", 0, 2, false},
    };
    for (const Case& c : cases) {
        Given(c.File);
        const ModeSettings mode = ReadModeSettings(Ini());
        EXPECT_EQ(mode.TwoServers, c.TwoServers) << c.File;
        EXPECT_EQ(mode.ServerChoice, c.ServerChoice) << c.File;
        EXPECT_EQ(mode.ShowSmenaPassword, c.ShowSmenaPassword) << c.File;
    }
}

TEST_F(SettingsTest, CallTimeoutInSecondsWithADefault) {
    const std::pair<const char*, int> cases[] = {
        {"", 15},
        {"[Mode]\nN_Server=2\n", 15},
        {"[Mode]\nCallTimeout=5\n", 5},
        {"[mode]\ncalltimeout=0x1E\n", 30},
        {"[Mode]\nCallTimeout=0\n", 0}, // no bound
        {"[Mode]\nCallTimeout=-3\n", 15},
        {"[Mode]\nCallTimeout=soon\n", 15},
        {"[Mode]\nCallTimeout=86400\n", 86400},
        {"[Mode]\nCallTimeout=86401\n", 15},
    };
    for (const auto& [file, seconds] : cases) {
        Given(file);
        EXPECT_EQ(ReadModeSettings(Ini()).CallTimeout, seconds) << file;
    }
}

TEST_F(SettingsTest, AliasSectionsAndTheirTimers) {
    Given("[Mode]\nN_Server=2\n[Alias]\nSERVER_NAME=MAIN\nPASSWORD_=pw\nUSER_NAME=u\n"
          "[Timer]\nAutoConnect=1\n[alias_1]\nserver_name=RESERVE\n");
    const AliasSettings main = ReadAliasSettings(Ini(), 0);
    EXPECT_EQ(main.ServerName, "MAIN");
    EXPECT_EQ(main.Password, "pw");
    EXPECT_EQ(main.UserName, "u");
    EXPECT_TRUE(main.AutoConnect);
    // [Alias_1] takes the defaults for what it lacks, and [Timer] does not count for it.
    const AliasSettings reserve = ReadAliasSettings(Ini(), 1);
    EXPECT_EQ(reserve.ServerName, "RESERVE");
    EXPECT_EQ(reserve.Password, "QUILLMOSS");
    EXPECT_EQ(reserve.UserName, "USER_OIK");
    EXPECT_FALSE(reserve.AutoConnect);

    Given("[Timer_1]\nAutoConnect=0x1\n");
    EXPECT_FALSE(ReadAliasSettings(Ini(), 0).AutoConnect);
    EXPECT_TRUE(ReadAliasSettings(Ini(), 1).AutoConnect);

    Given("[Alias]\nSERVER_NAME=" + QByteArray(3000, 'S') + "\n");
    EXPECT_EQ(ReadAliasSettings(Ini(), 0).ServerName, QString(2047, u'S'));
    EXPECT_EQ(AliasSuffix(0), "");
    EXPECT_EQ(AliasSuffix(1), "_1");
}

TEST_F(SettingsTest, ProgramDirIsTheWorkingDirectoryAtStart) {
    ProgramDirGuard guard;
    Given("[Mode]\nN_Server=2\nC_Server=2\nSHOW_SMENA_PASSWORD=1\n[Alias_1]\nSERVER_NAME=R\n");
    ASSERT_TRUE(QDir::setCurrent(Folder.path()));
    InitProgramDir();
    const QString here = QDir::toNativeSeparators(QDir::currentPath());
    EXPECT_EQ(ProgramDir, here);
    EXPECT_EQ(TempFileName, here + QDir::separator() + "Temp.tmp");
    EXPECT_EQ(SettingsFileName(), here + QDir::separator() + "mvtu.ini");
    LoadModeSettings();
    EXPECT_EQ(TwoServers, 1);
    EXPECT_EQ(ServerChoice, 2);
    EXPECT_TRUE(ShowSmenaPassword);
    EXPECT_EQ(ReadAliasSettings(1).ServerName, "R");

    // Moving elsewhere later does not move the files.
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    EXPECT_EQ(SettingsFileName(), here + QDir::separator() + "mvtu.ini");
    EXPECT_EQ(EnsureTempFileName(), here + QDir::separator() + "Temp.tmp");

    // A store created before the database module falls back to the working directory.
    TempFileName = "x";
    EXPECT_EQ(EnsureTempFileName(),
              QDir::toNativeSeparators(QDir::currentPath()) + QDir::separator() + "Temp.tmp");
}
