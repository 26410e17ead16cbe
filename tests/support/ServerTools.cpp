#include "ServerTools.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string BinPath(const std::string& name) {
    return std::string(KMR_BIN_DIR) + '/' + name;
}

std::string SourcePath(const std::string& relative) {
    return std::string(KMR_SOURCE_DIR) + '/' + relative;
}

TToolResult RunTool(const std::string& program, const std::vector<std::string>& args,
                    const std::string& dataFolder) {
    TToolResult result;
    // Everything the child needs is made before the fork: between fork and exec only calls that
    // are safe in a copy of a process with threads.
    const std::string path = BinPath(program);
    std::vector<std::string> words{path};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('='));
        if (name == "ORACLE_HOME" || name == "OCISQLITE_TRACE" ||
            (!dataFolder.empty() && name == "OCISQLITE_DATA"))
            continue;
        vars.push_back(var);
    }
    if (!dataFolder.empty())
        vars.push_back("OCISQLITE_DATA=" + dataFolder);
    std::vector<char*> envp;
    for (std::string& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    TTempFolder output("kmr-tool");
    const std::string outPath = output.File("out"), errPath = output.File("err");
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || err < 0 || in < 0) {
        result.Err = "cannot capture the output of " + program;
        for (int fd : {out, err, in})
            if (fd >= 0)
                ::close(fd);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!dataFolder.empty() && ::chdir(dataFolder.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (int fd : {out, err, in})
        ::close(fd);
    int status = 0;
    pid_t waited = -1;
    if (pid > 0)
        do
            waited = ::waitpid(pid, &status, 0);
        while (waited < 0 && errno == EINTR);
    result.Out = ReadWhole(outPath);
    result.Err = ReadWhole(errPath);
    if (pid < 0 || waited != pid)
        result.Err += "cannot run " + path;
    else if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    else
        result.Err += path + " ended by signal " + std::to_string(WTERMSIG(status));
    return result;
}

std::string CreateServerFile(const std::string& path, const std::string& user, const std::string& password) {
    const TToolResult r =
        RunTool("ocisqlite-admin", {"create", path, "--user", user, "--password", password});
    return r.ExitCode == 0 ? std::string() : "ocisqlite-admin create " + path + " failed: " + r.All();
}

std::string TemplateServerFile(const std::vector<std::string>& scripts, std::string* error) {
    static std::mutex lock;
    // Removed when the test program ends.
    static TTempFolder folder("kmr-template");
    static std::map<std::vector<std::string>, std::pair<std::string, std::string>> made; // path, error
    const std::lock_guard guard(lock);
    auto found = made.find(scripts);
    if (found == made.end()) {
        const std::string path = folder.File("server" + std::to_string(made.size()) + ".db");
        std::string failure = CreateServerFile(path, DemoUser, DemoPassword);
        const std::string logon = std::string(DemoUser) + '/' + DemoPassword + '@' + path;
        for (const std::string& script : scripts) {
            if (!failure.empty())
                break;
            const TToolResult r = RunTool("ocisql", {logon, '@' + SourcePath("schema/" + script)});
            if (r.ExitCode != 0)
                failure = "ocisql @" + script + " failed: " + r.All();
        }
        found = made.emplace(scripts, std::make_pair(failure.empty() ? path : std::string(), failure)).first;
    }
    *error = found->second.second;
    return found->second.first;
}

TTempFolder::TTempFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + '/' + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()))
        FPath = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    if (!FPath.empty())
        std::filesystem::remove_all(FPath, ignored);
}
