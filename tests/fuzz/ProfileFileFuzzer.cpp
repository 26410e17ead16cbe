// libFuzzer harness for the profile-file reader: the input is the whole file, as any bytes. Probes are
// the section and key names the file seems to hold, and a few that it does not. For every probe a read
// agrees with itself (the default only when the key is missing, at most the longest value, integers
// and Booleans following the text); a write reads back as written and a delete removes the key, each
// leaving every other probe as it was; and neither ever fails on a writable file.
#include "ProfileFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

const QString DefaultA = QStringLiteral("\x01no value A");
const QString DefaultB = QStringLiteral("\x01no value B");

struct TProbe {
    QString Section;
    QString Key;
};

// A name a caller could pass: trimmed, not empty, on one line; a key also without "=" and not
// starting like a comment or a section header.
bool UsableName(const QString& name, bool key) {
    if (name.isEmpty() || name != name.trimmed() || name.contains(u'\n') || name.contains(u'\r'))
        return false;
    return !key || (!name.contains(u'=') && !name.startsWith(u'[') && !name.startsWith(u';'));
}

// The first section and up to two keys named in the file, and a section and a key it may lack.
QList<TProbe> ProbesOf(const QString& text) {
    QStringList sections;
    QStringList keys;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        const qsizetype close = line.lastIndexOf(u']');
        if (line.startsWith(u'[') && close > 0) {
            const QString name = line.mid(1, close - 1).trimmed();
            if (UsableName(name, false) && sections.isEmpty())
                sections << name;
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
            const QString name = line.left(eq).trimmed();
            if (UsableName(name, true) && keys.size() < 2)
                keys << name;
        }
    }
    sections << QStringLiteral("Mode");
    keys << QStringLiteral("N_Server");
    QList<TProbe> probes;
    for (const QString& section : sections)
        for (const QString& key : keys)
            probes.push_back({section, key});
    return probes;
}

bool SameProbe(const TProbe& a, const TProbe& b) {
    return a.Section.compare(b.Section, Qt::CaseInsensitive) == 0 &&
           a.Key.compare(b.Key, Qt::CaseInsensitive) == 0;
}

// The value of every probe, the default when it is missing.
QStringList Snapshot(const ProfileFile& file, const QList<TProbe>& probes) {
    QStringList values;
    for (const TProbe& p : probes)
        values << file.ReadString(p.Section, p.Key, DefaultA);
    return values;
}

void CheckReads(const ProfileFile& file, const QList<TProbe>& probes) {
    for (const TProbe& p : probes) {
        const QString a = file.ReadString(p.Section, p.Key, DefaultA);
        const QString b = file.ReadString(p.Section, p.Key, DefaultB);
        if (file.ValueExists(p.Section, p.Key)) {
            Require(a == b && a.size() <= ProfileFile::MaxValueLength);
            Require(file.SectionExists(p.Section));
        } else {
            Require(a == DefaultA && b == DefaultB);
        }
        int parsed = 0;
        const bool number = ProfileFile::ParseInteger(a, parsed);
        Require(file.ReadInteger(p.Section, p.Key, 2) == (number ? parsed : 2));
        Require(file.ReadBool(p.Section, p.Key, true) == (!number || parsed != 0));
    }
}

// Everything but the probe written or deleted reads as before.
void RequireOthersKept(const QList<TProbe>& probes, const QStringList& before, const QStringList& after,
                       const TProbe& changed) {
    for (qsizetype i = 0; i < probes.size(); ++i)
        if (!SameProbe(probes[i], changed))
            Require(before[i] == after[i]);
}

void CheckIntegerText(const QString& text) {
    int value = 0;
    if (!ProfileFile::ParseInteger(text, value))
        return;
    int again = 0;
    Require(ProfileFile::ParseInteger(QString::number(value), again) && again == value);
    if (!text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        bool ok = false;
        Require(text.toLongLong(&ok) == value && ok);
    }
}

QString FilePath() {
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("fuzz.ini"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = FilePath();
    {
        QFile out(path);
        Require(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Require(out.write(bytes) == bytes.size());
    }
    const QString text = ProfileFile::DecodeText(bytes);
    for (const QString& line : text.split(u'\n'))
        CheckIntegerText(line.trimmed());

    ProfileFile file(path);
    const QList<TProbe> probes = ProbesOf(text);
    CheckReads(file, probes);
    const QStringList before = Snapshot(file, probes);

    try {
        // Over the first probe (often a key the file holds), then into a section of its own.
        const TProbe first = probes.first();
        const QString value = QStringLiteral("written = \"value\" ; [kept]");
        file.WriteString(first.Section, first.Key, value);
        Require(file.ReadString(first.Section, first.Key, DefaultA) == value);
        RequireOthersKept(probes, before, Snapshot(file, probes), first);

        // Any one-line text between quotes reads back as it is, blanks and inner quotes included; so
        // does a text between two different quotes, which are no pair.
        QString line = text.section(u'\n', 0, 0).left(200);
        line.remove(u'\r');
        if (!line.isEmpty() && line.back().isHighSurrogate())
            line.chop(1); // half a pair cut off by the 200 characters
        file.WriteString(first.Section, first.Key, u'"' + line + u'"');
        Require(file.ReadString(first.Section, first.Key, DefaultA) == line);
        file.WriteString(first.Section, first.Key, u'\'' + line + u'"');
        Require(file.ReadString(first.Section, first.Key, DefaultA) == u'\'' + line + u'"');

        const TProbe fresh{QStringLiteral("Fuzz.Section"), QStringLiteral("Fuzz key")};
        const QStringList beforeFresh = Snapshot(file, probes);
        file.WriteInteger(fresh.Section, fresh.Key, -2147483647 - 1);
        Require(file.ReadInteger(fresh.Section, fresh.Key, 0) == -2147483647 - 1);
        file.WriteString(fresh.Section, fresh.Key, QString(3000, u'ж') + QStringLiteral("\r\nx=1"));
        Require(file.ReadString(fresh.Section, fresh.Key, DefaultA) ==
                QString(ProfileFile::MaxValueLength, u'ж'));
        RequireOthersKept(probes, beforeFresh, Snapshot(file, probes), fresh);

        // Deleting a probe: every copy of it goes, one call each, and nothing else moves.
        const TProbe last = probes[qsizetype(size % std::size_t(probes.size()))];
        const QStringList beforeDelete = Snapshot(file, probes);
        for (qsizetype rounds = 0; file.ValueExists(last.Section, last.Key); ++rounds) {
            Require(rounds <= text.count(u'\n') + 4);
            file.DeleteKey(last.Section, last.Key);
        }
        Require(file.ReadString(last.Section, last.Key, DefaultA) == DefaultA);
        RequireOthersKept(probes, beforeDelete, Snapshot(file, probes), last);
    } catch (const EIniFileException&) {
        std::abort(); // the file lies in a writable folder of its own
    }
    return 0;
}
