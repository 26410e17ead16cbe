// An environment variable set for the life of the object; the value it had (or its absence) comes
// back at the end. For settings the embedded server reads on every call, such as
// OCISQLITE_BUSY_TIMEOUT_MS.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : FName(name) {
        if (const char* old = std::getenv(name))
            FOld = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};
