#include "SqlScript.h"

#include <QRegularExpression>

bool TSqlScriptReader::IsPlSqlBlock(const QString& text) {
    static const QRegularExpression block(QStringLiteral("^\\s*(begin|declare|create\\s+(or\\s+replace\\s+)?("
                                                         "procedure|function|package|trigger|type))\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    return block.match(text).hasMatch();
}

QString TSqlScriptReader::StripTerminator(const QString& text) {
    QString t = text.trimmed();
    if (t.endsWith(QLatin1Char('/')) && t.size() > 1 && t.at(t.size() - 2) == QLatin1Char('\n'))
        t = t.left(t.size() - 1).trimmed();
    if (!IsPlSqlBlock(t))
        while (t.endsWith(QLatin1Char(';')))
            t = t.left(t.size() - 1).trimmed();
    return t;
}

std::optional<TScriptStatement> TSqlScriptReader::AddLine(const QString& rawLine) {
    ++FLine;
    QString line = rawLine;
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    const QString trimmed = line.trimmed();
    if (FBuffer.isEmpty()) {
        // Between statements: blank lines, comments and SQL*Plus remarks are skipped.
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1String("--")) ||
            trimmed.compare(QLatin1String("rem"), Qt::CaseInsensitive) == 0 ||
            trimmed.startsWith(QLatin1String("rem "), Qt::CaseInsensitive) || trimmed == QLatin1String("/"))
            return std::nullopt;
        if (trimmed.startsWith(QLatin1Char('@'))) {
            QString file = trimmed.mid(1).trimmed();
            if (file.endsWith(QLatin1Char(';')))
                file.chop(1);
            return TScriptStatement{file, FLine, TScriptStatement::Include};
        }
        const QString word = trimmed.section(QLatin1Char(' '), 0, 0).toLower();
        if (word == QLatin1String("prompt"))
            return TScriptStatement{trimmed.mid(6).trimmed(), FLine, TScriptStatement::Prompt};
        if (word == QLatin1String("exit") || word == QLatin1String("quit") ||
            word == QLatin1String("exit;") || word == QLatin1String("quit;"))
            return TScriptStatement{QString(), FLine, TScriptStatement::Exit};
        FStartLine = FLine;
    }
    if (trimmed == QLatin1String("/")) {
        TScriptStatement statement{FBuffer.trimmed(), FStartLine};
        if (!IsPlSqlBlock(statement.Text))
            statement.Text = StripTerminator(statement.Text);
        FBuffer.clear();
        return statement;
    }
    if (!FBuffer.isEmpty())
        FBuffer += QLatin1Char('\n');
    FBuffer += line;
    if (trimmed.endsWith(QLatin1Char(';')) && !IsPlSqlBlock(FBuffer)) {
        TScriptStatement statement{StripTerminator(FBuffer), FStartLine};
        FBuffer.clear();
        return statement;
    }
    return std::nullopt;
}

std::optional<TScriptStatement> TSqlScriptReader::Finish() {
    const QString rest = FBuffer.trimmed();
    FBuffer.clear();
    if (rest.isEmpty())
        return std::nullopt;
    return TScriptStatement{IsPlSqlBlock(rest) ? rest : StripTerminator(rest), FStartLine};
}
