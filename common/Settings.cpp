#include "Settings.h"

#include "ProfileFile.h"

#include <QDir>

QString ProgramDir;
QString TempFileName;
int TwoServers = 0;
int ServerChoice = 0;
bool ShowSmenaPassword = false;
int CallTimeout = DefaultCallTimeout;

QString JoinProgramPath(const QString& dir, const QString& fileName) {
    return dir + QDir::separator() + fileName;
}

void InitProgramDir() {
    ProgramDir = QDir::toNativeSeparators(QDir::currentPath());
    TempFileName = JoinProgramPath(ProgramDir, QStringLiteral("Temp.tmp"));
}

QString EnsureTempFileName() {
    if (TempFileName.size() <= 1)
        TempFileName =
            JoinProgramPath(QDir::toNativeSeparators(QDir::currentPath()), QStringLiteral("Temp.tmp"));
    return TempFileName;
}

QString SettingsFileName() {
    // Before the database module fixed ProgramDir, the working directory is the program directory.
    const QString dir = ProgramDir.isEmpty() ? QDir::toNativeSeparators(QDir::currentPath()) : ProgramDir;
    return JoinProgramPath(dir, QStringLiteral("mvtu.ini"));
}

QString AliasSuffix(int number) {
    return number == 0 ? QString() : u'_' + QString::number(number);
}

ModeSettings ReadModeSettings(const QString& iniFile) {
    const ProfileFile ini(iniFile);
    const QString mode = QStringLiteral("Mode");
    ModeSettings result;
    result.TwoServers = ini.ReadInteger(mode, QStringLiteral("N_Server"), 1) == 2 ? 1 : 0;
    result.ServerChoice = ini.ReadInteger(mode, QStringLiteral("C_Server"), 0) == 2 ? 2 : 0;
    result.ShowSmenaPassword = ini.ReadBool(mode, QStringLiteral("SHOW_SMENA_PASSWORD"), false);
    const int callTimeout = ini.ReadInteger(mode, QStringLiteral("CallTimeout"), DefaultCallTimeout);
    result.CallTimeout = callTimeout >= 0 && callTimeout <= MaxCallTimeout ? callTimeout : DefaultCallTimeout;
    return result;
}

AliasSettings ReadAliasSettings(const QString& iniFile, int number) {
    const ProfileFile ini(iniFile);
    const QString alias = QStringLiteral("Alias") + AliasSuffix(number);
    const QString timer = QStringLiteral("Timer") + AliasSuffix(number);
    AliasSettings result;
    result.ServerName =
        ini.ReadString(alias, QStringLiteral("SERVER_NAME"), QString::fromLatin1(DefaultServerName));
    result.Password =
        ini.ReadString(alias, QStringLiteral("PASSWORD_"), QString::fromLatin1(DefaultPassword));
    result.UserName =
        ini.ReadString(alias, QStringLiteral("USER_NAME"), QString::fromLatin1(DefaultUserName));
    result.AutoConnect = ini.ReadBool(timer, QStringLiteral("AutoConnect"), false);
    return result;
}

AliasSettings ReadAliasSettings(int number) {
    return ReadAliasSettings(SettingsFileName(), number);
}

void LoadModeSettings() {
    const ModeSettings mode = ReadModeSettings(SettingsFileName());
    TwoServers = mode.TwoServers;
    ServerChoice = mode.ServerChoice;
    ShowSmenaPassword = mode.ShowSmenaPassword;
    CallTimeout = mode.CallTimeout;
}
