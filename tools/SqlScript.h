// Splits the text of an SQL script into statements the way ocisql reads it.
#pragma once

#include <QString>
#include <optional>

// One statement of a script with the line it starts on (1-based).
struct TScriptStatement {
    QString Text; // without the terminating ";" (kept for PL/SQL blocks) or "/"
    int Line = 0;
    enum Kind { Sql, Include, Prompt, Exit };
    Kind Type =
        Sql; // Include: "@file" (Text is the file name); Prompt: "prompt text"; Exit: "exit" or "quit"
};

// Fed line by line; a statement ends with ";" at the end of a line, or with "/" alone on a line.
// Inside a PL/SQL block (begin, declare, create ... procedure/function/package/trigger) only "/" ends it.
class TSqlScriptReader {
public:
    // Returns the statement that this line completes, if any.
    std::optional<TScriptStatement> AddLine(const QString& line);
    // The unterminated rest at the end of the input, if any.
    std::optional<TScriptStatement> Finish();

    static bool IsPlSqlBlock(const QString& text);
    // For a single statement given whole (-c): the text without a terminating ";" unless a block.
    static QString StripTerminator(const QString& text);

private:
    QString FBuffer;
    int FStartLine = 0;
    int FLine = 0;
};
