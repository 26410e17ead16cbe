// The embedded server's tools run from the build folder, temporary folders and server files, for
// every test program. No Qt here: the OCI tests link libocisqlite alone.
#pragma once

#include <string>
#include <vector>

// The account the schema scripts and the demo settings use.
inline constexpr const char* DemoUser = "USER_OIK";
inline constexpr const char* DemoPassword = "QUILLMOSS";

// A program of the build folder, a file of the source tree.
std::string BinPath(const std::string& name);
std::string SourcePath(const std::string& relative);

struct TToolResult {
    int ExitCode = -1; // -1 when the program did not start or did not end by itself
    std::string Out, Err;
    std::string All() const { return Out + Err; }
};

// Runs a program of the build folder with empty input. With a data folder, OCISQLITE_DATA names it
// and it is the working folder. Never an Oracle client the machine may have (no ORACLE_HOME), and
// no round-trip trace: the tool's own calls are not the test's. Plain fork and exec: QProcess starts
// its child in a way ThreadSanitizer cannot follow, which makes it report races that are none.
TToolResult RunTool(const std::string& program, const std::vector<std::string>& args,
                    const std::string& dataFolder = {});

// Creates a server file holding one account; empty when it worked, else what the tool said.
std::string CreateServerFile(const std::string& path, const std::string& user, const std::string& password);

// A server file made once per test program from these scripts of schema/ (run by ocisql in order,
// none: the account alone), for the tests to copy. Empty with the reason in *error when it failed.
std::string TemplateServerFile(const std::vector<std::string>& scripts, std::string* error);

// A folder of its own under the temporary folder, removed with everything in it.
class TTempFolder {
public:
    explicit TTempFolder(const std::string& prefix = "kmr-test");
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + '/' + name; }

private:
    std::string FPath;
};
