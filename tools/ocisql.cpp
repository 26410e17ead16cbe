// ocisql: runs SQL statements and scripts through the access layer.
//
//   ocisql USER/PASSWORD@DATABASE [-k] [@script.sql | -c "statement"]...
//
// Without a script or -c it reads statements from standard input. A statement ends with ";" at the
// end of a line, a PL/SQL block with "/" alone on a line. Select results are printed tab-separated
// with a header line (NULL as an empty field, dates as yyyy-MM-dd[ HH:mm:ss], LONG RAW as hex);
// errors go to standard error as "<script>:<line>: ORA-nnnnn: text". In scripts, "@file" runs
// another script (relative to the current one), "prompt text" prints the text, "exit" ends.
// The first error stops the run with exit status 1 and rolls back what was not committed; -k keeps
// going and exits with 0. At the end everything is committed.
#include "Oracle.h"
#include "OracleCI.h"
#include "SqlScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

struct Options {
    QString connect;
    bool keepGoing = false;
    QList<QPair<QString, QString>> sources; // ("@", file) or ("-c", statement)
};

void Print(const QString& text, FILE* stream) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

QString FormatValue(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("yyyy-MM-dd"))
                                        : dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex().toUpper());
    default: {
        QString text = value.toString();
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        return text;
    }
    }
}

class Runner {
public:
    Runner(TOracleSession& session, bool keepGoing) : FSession(session), FKeepGoing(keepGoing) {}

    int Errors() const { return FErrors; }
    bool Stopped() const { return FExit || Failed(); }
    bool Failed() const { return FErrors > 0 && !FKeepGoing; }

    // Runs one statement; false after an error.
    bool Run(const QString& text, const QString& source, int line) {
        const QString word =
            text.trimmed().section(QRegularExpression(QStringLiteral("\\s+")), 0, 0).toLower();
        try {
            if (word == QLatin1String("commit") &&
                text.trimmed().split(QRegularExpression(QStringLiteral("\\s+"))).size() <= 2) {
                FSession.Commit();
                return true;
            }
            if (word == QLatin1String("rollback") &&
                !text.contains(QLatin1String(" to "), Qt::CaseInsensitive)) {
                FSession.Rollback();
                return true;
            }
            TOracleQuery query;
            query.SetSession(&FSession);
            query.SetSQLText(text);
            query.Execute();
            if (query.StatementType() == 1) {
                QStringList header;
                for (int i = 0; i < query.FieldCount(); ++i)
                    header << query.FieldName(i);
                Print(header.join(QLatin1Char('\t')) + QLatin1Char('\n'), stdout);
                while (!query.Eof()) {
                    QStringList row;
                    for (int i = 0; i < query.FieldCount(); ++i)
                        row << FormatValue(query.Field(i));
                    Print(row.join(QLatin1Char('\t')) + QLatin1Char('\n'), stdout);
                    query.Next();
                }
                std::fflush(stdout);
            }
            return true;
        } catch (const Exception& e) {
            ++FErrors;
            Print(source + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") +
                      e.Message().trimmed() + QLatin1Char('\n'),
                  stderr);
            return false;
        }
    }

    // Runs a script read from a stream; nested "@file" lines run relative to baseDir.
    void RunStream(QTextStream& in, const QString& source, const QString& baseDir, int depth = 0) {
        TSqlScriptReader reader;
        while (!in.atEnd() && !Stopped()) {
            const QString line = in.readLine();
            if (auto statement = reader.AddLine(line))
                Dispatch(*statement, source, baseDir, depth);
        }
        if (!Stopped())
            if (auto statement = reader.Finish())
                Dispatch(*statement, source, baseDir, depth);
    }

    void RunFile(const QString& fileName, const QString& baseDir, int depth = 0) {
        QString path = fileName;
        if (QFileInfo(path).isRelative())
            path = QDir(baseDir).filePath(path);
        if (!QFileInfo::exists(path) && QFileInfo::exists(path + QStringLiteral(".sql")))
            path += QStringLiteral(".sql");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            ++FErrors;
            Print(QStringLiteral("ocisql: cannot open ") + path + QLatin1Char('\n'), stderr);
            return;
        }
        QTextStream in(&file);
        in.setEncoding(QStringConverter::Utf8);
        RunStream(in, fileName, QFileInfo(path).absolutePath(), depth);
    }

private:
    void Dispatch(const TScriptStatement& statement, const QString& source, const QString& baseDir,
                  int depth) {
        switch (statement.Type) {
        case TScriptStatement::Include:
            if (depth > 16) {
                ++FErrors;
                Print(source + QLatin1Char(':') + QString::number(statement.Line) +
                          QStringLiteral(": scripts nested too deeply\n"),
                      stderr);
                return;
            }
            RunFile(statement.Text, baseDir, depth + 1);
            return;
        case TScriptStatement::Prompt:
            Print(statement.Text + QLatin1Char('\n'), stdout);
            return;
        case TScriptStatement::Exit:
            FExit = true;
            return;
        case TScriptStatement::Sql:
            Run(statement.Text, source, statement.Line);
            return;
        }
    }

    TOracleSession& FSession;
    bool FKeepGoing;
    int FErrors = 0;
    bool FExit = false;
};

void Usage() {
    Print(QStringLiteral("usage: ocisql USER/PASSWORD@DATABASE [-k] [@script.sql | -c \"statement\"]...\n"
                         "  reads statements from standard input when no script or statement is given;\n"
                         "  -k  keep going after errors (exit status 0)\n"),
          stderr);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("-k")) {
            options.keepGoing = true;
        } else if (arg == QLatin1String("-c")) {
            if (i + 1 >= argc) {
                Usage();
                return 2;
            }
            options.sources.append({QStringLiteral("-c"), QString::fromLocal8Bit(argv[++i])});
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            Usage();
            return 0;
        } else if (arg.startsWith(QLatin1Char('@'))) {
            options.sources.append({QStringLiteral("@"), arg.mid(1)});
        } else if (OciCommandLineValue({arg}, QStringLiteral("OCIDLL")) ||
                   OciCommandLineValue({arg}, QStringLiteral("ORACLEHOME"))) {
            // read by the client library search
        } else if (options.connect.isEmpty()) {
            options.connect = arg;
        } else {
            Usage();
            return 2;
        }
    }
    if (options.connect.isEmpty()) {
        Usage();
        return 2;
    }

    TOracleSession session;
    session.SetLogonUsername(options.connect);
    try {
        session.LogOn();
    } catch (const Exception& e) {
        Print(e.Message().trimmed() + QLatin1Char('\n'), stderr);
        return 1;
    }

    Runner runner(session, options.keepGoing);
    if (options.sources.isEmpty()) {
        QTextStream in(stdin);
        in.setEncoding(QStringConverter::Utf8);
        runner.RunStream(in, QStringLiteral("stdin"), QDir::currentPath());
    }
    for (const auto& [kind, value] : options.sources) {
        if (runner.Stopped())
            break;
        if (kind == QLatin1String("@"))
            runner.RunFile(value, QDir::currentPath());
        else
            runner.Run(TSqlScriptReader::StripTerminator(value), QStringLiteral("-c"), 1);
    }

    // A run stopped by an error rolls back what it did since its last commit; otherwise it commits.
    try {
        if (runner.Failed())
            session.Rollback();
        else
            session.Commit();
        session.LogOff();
    } catch (const Exception& e) {
        Print(e.Message().trimmed() + QLatin1Char('\n'), stderr);
        return 1;
    }
    return runner.Failed() ? 1 : 0;
}
