// Start-up values of the program and the settings file mvtu.ini.
//
// The values are set once, on the user-interface thread, while the database module is created
// (InitProgramDir, then LoadModeSettings); every other thread only reads them afterwards.
// The settings file is opened anew on every call and never written.
#pragma once

#include <QString>

// The process's working directory when the database module was created (not the executable's
// folder), with the platform's separators.
extern QString ProgramDir;
// ProgramDir + separator + "Temp.tmp": the window geometry and last sign-in store.
extern QString TempFileName;
// 1 when [Mode] N_Server = 2, else 0.
extern int TwoServers;
// 2 when [Mode] C_Server = 2, else 0 (automatic choice).
extern int ServerChoice;
// [Mode] SHOW_SMENA_PASSWORD.
extern bool ShowSmenaPassword;
// [Mode] CallTimeout: seconds a round trip to a server may take before it fails (0 = no bound).
extern int CallTimeout;
// The bound when the key is missing or not a number of seconds from 0 to MaxCallTimeout.
inline constexpr int DefaultCallTimeout = 15;
inline constexpr int MaxCallTimeout = 86400;

// Defaults of the [Alias] keys.
inline constexpr const char* DefaultServerName = "SERVER_OIK";
inline constexpr const char* DefaultPassword = "QUILLMOSS";
inline constexpr const char* DefaultUserName = "USER_OIK";

// The values of [Mode].
struct ModeSettings {
    int TwoServers = 0;
    int ServerChoice = 0;
    bool ShowSmenaPassword = false;
    int CallTimeout = DefaultCallTimeout;
};

// The logon parameters of one alias and its auto-connect flag.
struct AliasSettings {
    QString ServerName; // SERVER_NAME -> LogonDatabase
    QString Password;   // PASSWORD_   -> LogonPassword
    QString UserName;   // USER_NAME   -> LogonUsername
    bool AutoConnect = false;
};

// ProgramDir := current working directory; TempFileName := ProgramDir + separator + "Temp.tmp".
void InitProgramDir();
// TempFileName, first set from the current working directory when it is empty or one character.
QString EnsureTempFileName();
// ProgramDir + separator + "mvtu.ini" (the working directory while ProgramDir is still empty).
QString SettingsFileName();
// Joins a folder and a file name with the platform's separator.
QString JoinProgramPath(const QString& dir, const QString& fileName);

// "" for alias 0, "_" + number otherwise: [Alias], [Alias_1], [Timer], [Timer_1].
QString AliasSuffix(int number);

// Reads [Mode] of the given settings file (a missing file gives every default).
ModeSettings ReadModeSettings(const QString& iniFile);
// Reads [Alias<suffix>] and [Timer<suffix>] AutoConnect of the given settings file.
AliasSettings ReadAliasSettings(const QString& iniFile, int number);
// The same from SettingsFileName().
AliasSettings ReadAliasSettings(int number);

// Reads [Mode] of SettingsFileName() into TwoServers, ServerChoice, ShowSmenaPassword and
// CallTimeout.
void LoadModeSettings();
