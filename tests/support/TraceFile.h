// The embedded server's round-trip trace (OCISQLITE_TRACE), read back by the tests that assert
// which statements reached a server and how many round trips an action took.
#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// One round trip: "<pid> <sid|-> <call>[ <text>]", the text with CR, LF and backslash unescaped.
struct TTraceLine {
    QString Sid;
    QString Call;
    QString Text; // null when the call carried no text
    QString Pid;
};

inline QString UnescapeTraceText(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar c = text[++i];
            out += c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r') : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The lines of a trace file; none when it does not exist (nothing reached a server).
inline QList<TTraceLine> ReadTraceFile(const QString& path) {
    QList<TTraceLine> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype a = line.indexOf(u' ');
        const qsizetype b = line.indexOf(u' ', a + 1);
        if (a < 0 || b < 0)
            continue;
        const qsizetype c = line.indexOf(u' ', b + 1);
        lines.push_back({line.mid(a + 1, b - a - 1), line.mid(b + 1, c < 0 ? -1 : c - b - 1),
                         c < 0 ? QString() : UnescapeTraceText(line.mid(c + 1)), line.left(a)});
    }
    return lines;
}

// A trace file and the questions the tests ask of it.
class TTraceFile {
public:
    explicit TTraceFile(const QString& path = {}) : FPath(path) {}

    const QString& Path() const { return FPath; }
    // Forgets what the trace holds so far.
    void Clear() const { QFile::remove(FPath); }
    QList<TTraceLine> Lines() const { return ReadTraceFile(FPath); }

    // Round trips of a call, of this exact text when one is given.
    int Count(const QString& call, const QString& text = QString()) const {
        int n = 0;
        for (const TTraceLine& line : Lines())
            n += line.Call == call && (text.isNull() || line.Text == text);
        return n;
    }
    // Lines of the file as written (escaped) that hold every fragment.
    int CountContaining(const QStringList& fragments) const {
        int n = 0;
        for (const QString& line : QString::fromUtf8(Raw()).split(u'\n')) {
            bool all = !line.isEmpty();
            for (const QString& f : fragments)
                all = all && line.contains(f);
            n += all;
        }
        return n;
    }
    // The statements executed, in order, without the final line breaks the access layer adds.
    QStringList Statements() const {
        QStringList statements;
        for (const TTraceLine& line : Lines())
            if (line.Call == QLatin1String("OCIStmtExecute")) {
                QString text = line.Text;
                while (text.endsWith(u'\n'))
                    text.chop(1);
                statements << text;
            }
        return statements;
    }
    // The whole file, for failure messages.
    QByteArray Raw() const {
        QFile file(FPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString FPath;
};
