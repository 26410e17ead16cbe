#include "ProfileFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

class ProfileFileTest : public TempFolderTest {
protected:
    QString Ini() const { return Path(QStringLiteral("test.ini")); }
    void Given(const QByteArray& bytes) { WriteBytes(Ini(), bytes); }
};

struct IntegerCase {
    const char* Text;
    bool Valid;
    int Value;
};

} // namespace

TEST(ProfileFileIntegers, FollowThePlatformRules) {
    const IntegerCase cases[] = {
        {"2", true, 2},
        {"-15", true, -15},
        {"+7", true, 7},
        {"007", true, 7},
        {"0x2", true, 2},
        {"0X1f", true, 31},
        {"0xFFFFFFFF", true, -1},
        {"0x7fffffff", true, 2147483647},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"0x", false, 0},
        {"0x1G", false, 0},
        {"0x100000000", false, 0},
        {"2147483648", false, 0},
        {"two", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"1 2", false, 0},
        {"12abc", false, 0},
        {"$10", false, 0},
    };
    for (const IntegerCase& c : cases) {
        int value = 12345;
        EXPECT_EQ(ProfileFile::ParseInteger(QString::fromLatin1(c.Text), value), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_EQ(value, c.Value) << c.Text;
        }
    }
}

TEST_F(ProfileFileTest, ReadsCaseBlindWithDefaults) {
    Given("; settings\r\n[Mode]\r\n  n_server = 0x2 \r\nC_SERVER=two\r\nFlag=5\r\nZero=0\r\n"
          "Quoted=\"  spaced \"\r\n[mode]\r\nOther=1\r\n");
    const ProfileFile ini(Ini());
    EXPECT_EQ(ini.ReadInteger("MODE", "N_Server", 1), 2);
    EXPECT_EQ(ini.ReadInteger("Mode", "C_Server", 7), 7);
    EXPECT_TRUE(ini.ReadBool("Mode", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("Mode", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("Mode", "Missing", true));
    EXPECT_EQ(ini.ReadString("Mode", "Quoted", "x"), "  spaced ");
    // A repeated section header still belongs to the same section.
    EXPECT_EQ(ini.ReadInteger("Mode", "Other", 0), 1);
    EXPECT_EQ(ini.ReadString("Missing", "N_Server", "d"), "d");
    EXPECT_EQ(ini.ReadString("Mode", "; settings", "d"), "d");
    EXPECT_TRUE(ini.SectionExists("MODE"));
    EXPECT_FALSE(ini.ValueExists("Mode", "Missing"));

    const ProfileFile none(Path("absent.ini"));
    EXPECT_EQ(none.ReadString("Alias", "SERVER_NAME", "SERVER_OIK"), "SERVER_OIK");
    EXPECT_EQ(none.ReadInteger("Mode", "N_Server", 1), 1);
    EXPECT_FALSE(none.SectionExists("Mode"));
}

TEST_F(ProfileFileTest, CountsAValueUpTo2047Characters) {
    const QByteArray longValue(3000, 'A');
    Given("[Alias]\nSERVER_NAME=" + longValue + "\nEXACT=" + QByteArray(2047, 'b') + "\n");
    const ProfileFile ini(Ini());
    EXPECT_EQ(ini.ReadString("Alias", "SERVER_NAME", ""), QString(2047, u'A'));
    EXPECT_EQ(ini.ReadString("Alias", "EXACT", ""), QString(2047, u'b'));
    // Cyrillic counts in characters, not in bytes.
    Given("[A]\nK=" + QString(3000, QChar(0x0416)).toUtf8() + "\n");
    EXPECT_EQ(ini.ReadString("A", "K", "").size(), 2047);
}

TEST_F(ProfileFileTest, ReadsWindows1251WhenNotUtf8) {
    // "Имя" in Windows-1251, then the same file in UTF-8.
    Given("[Login]\r\nNAME=\xC8\xEC\xFF\r\nSIGN=\xB9\x98\r\n");
    const ProfileFile ini(Ini());
    EXPECT_EQ(ini.ReadString("Login", "NAME", ""), QStringLiteral("Имя"));
    EXPECT_EQ(ini.ReadString("Login", "SIGN", ""), QString(QChar(0x2116)) + QChar(0x0098));
    Given(QStringLiteral("[Login]\nNAME=Имя\n").toUtf8());
    EXPECT_EQ(ini.ReadString("Login", "NAME", ""), QStringLiteral("Имя"));
    // A byte-order mark does not hide the first section.
    Given("\xEF\xBB\xBF[Login]\nNAME=x\n");
    EXPECT_EQ(ini.ReadString("Login", "NAME", ""), "x");
}

TEST_F(ProfileFileTest, WritingKeepsEveryOtherLineInPlace) {
    Given("; comment\r\n[Admin_KMR.TKMF_Admin]\r\nLeft=1\r\ngarbage without equals\r\nTop=2\r\n\r\n"
          "[Login]\r\nNAME=old\r\n");
    ProfileFile ini(Ini());
    ini.WriteString("admin_kmr.tkmf_admin", "LEFT", "10");
    ini.WriteString("Admin_KMR.TKMF_Admin", "Width", "800");
    ini.WriteString("Login", "SHOWTIME", "1");
    ini.WriteString("New", "Key", "line\r\nbreak");
    ini.DeleteKey("Admin_KMR.TKMF_Admin", "Top");
    ini.DeleteKey("Admin_KMR.TKMF_Admin", "Absent");
    EXPECT_EQ(ReadBytes(Ini()),
              QByteArray("; comment\r\n[Admin_KMR.TKMF_Admin]\r\nLeft=10\r\n"
                         "garbage without equals\r\nWidth=800\r\n\r\n"
                         "[Login]\r\nNAME=old\r\nSHOWTIME=1\r\n\r\n[New]\r\nKey=line  break\r\n"));
}

TEST_F(ProfileFileTest, RewritesA1251FileAsUtf8WithItsTextIntact) {
    Given("[Login]\nNAME=\xC8\xEC\xFF\n\x01\x02\xFF\xFE garbage\n");
    ProfileFile ini(Ini());
    const QString before = ProfileFile::DecodeText(ReadBytes(Ini()));
    ini.WriteString("Login", "SHOWTIME", "0");
    const QByteArray after = ReadBytes(Ini());
    EXPECT_EQ(ProfileFile::DecodeText(after),
              QString(before).replace("NAME=Имя\n", "NAME=Имя\nSHOWTIME=0\n"));
    EXPECT_TRUE(after.startsWith(QStringLiteral("[Login]\nNAME=Имя\n").toUtf8()));
    EXPECT_EQ(ini.ReadString("Login", "NAME", ""), QStringLiteral("Имя"));
}

TEST_F(ProfileFileTest, MalformedFilesNeitherCrashNorLoseLines) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 7919) % 256));
    const QByteArray megabyte(1024 * 1024, 'x');
    const QByteArray content = "[Broken\r\n=no name\r\nno equals at all\r\n" + garbage +
                               "\r\n[Mode]\r\nhuge=" + megabyte + "\r\n" + megabyte +
                               "\r\nN_Server=2\r\n[Unterminated\r\nC_Server=2";
    Given(content);
    ProfileFile ini(Ini());
    EXPECT_EQ(ini.ReadString("Mode", "huge", "").size(), ProfileFile::MaxValueLength);
    EXPECT_EQ(ini.ReadInteger("Mode", "N_Server", 1), 2);
    // An unterminated header opens no section: the key after it still belongs to [Mode].
    EXPECT_EQ(ini.ReadInteger("Mode", "C_Server", 0), 2);
    EXPECT_EQ(ini.ReadString("Broken", "", "d"), "d");
    EXPECT_EQ(ini.ReadString("Mode", "no equals at all", "d"), "d");

    const QString before = ProfileFile::DecodeText(ReadBytes(Ini()));
    ini.WriteString("Mode", "N_Server", "1");
    const QString after = ProfileFile::DecodeText(ReadBytes(Ini()));
    QString expected = before;
    expected.replace("N_Server=2", "N_Server=1");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(ini.ReadInteger("Mode", "N_Server", 0), 1);
    // The last line had no line end; a key added after it gets one.
    ini.WriteString("Mode", "Extra", "1");
    EXPECT_TRUE(ReadBytes(Ini()).endsWith("\r\n[Unterminated\r\nC_Server=2\r\nExtra=1\r\n"));
}

TEST_F(ProfileFileTest, RefusedWriteRaisesAndLeavesNoDamage) {
    const QString inMissingFolder = Path("missing/Temp.tmp");
    ProfileFile missing(inMissingFolder);
    try {
        missing.WriteString("Login", "NAME", "x");
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + inMissingFolder);
        EXPECT_STREQ(e.what(), qUtf8Printable("Unable to write to " + inMissingFolder));
    }
    // Deleting a key never fails.
    EXPECT_NO_THROW(missing.DeleteKey("Login", "NAME"));

    // A folder in place of the file.
    ASSERT_TRUE(QDir(Folder.path()).mkdir("Temp.tmp"));
    ProfileFile folder(Path("Temp.tmp"));
    EXPECT_THROW(folder.WriteInteger("A", "B", 1), EIniFileException);

    // A read-only file keeps its content whole.
    Given("[A]\nB=1\n");
    QFile::setPermissions(Ini(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    if (!QFileInfo(Ini()).isWritable()) {
        ProfileFile readOnly(Ini());
        EXPECT_THROW(readOnly.WriteString("A", "B", "2"), EIniFileException);
        EXPECT_EQ(ReadBytes(Ini()), QByteArray("[A]\nB=1\n"));
    }
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "temporary file left";
}
