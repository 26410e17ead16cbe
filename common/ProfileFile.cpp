#include "ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <array>

namespace {

// Windows-1251, bytes 0x80..0xFF. 0x98 is unassigned there and maps to U+0098, so that every byte
// survives a rewrite as UTF-8.
constexpr std::array<char16_t, 128> Cp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind Kind = LineKind::Other;
    QString Name;  // section or key name
    QString Value; // key lines: the raw value, blanks trimmed
};

ParsedLine ParseLine(const QString& line) {
    ParsedLine result;
    const QString text = line.trimmed();
    if (text.isEmpty() || text.startsWith(u';'))
        return result;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.lastIndexOf(u']');
        if (close > 0) {
            result.Kind = LineKind::Section;
            result.Name = text.mid(1, close - 1).trimmed();
        }
        // An unterminated header names no section; the line is kept as it stands.
        return result;
    }
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0)
        return result;
    result.Name = text.left(eq).trimmed();
    if (result.Name.isEmpty())
        return result;
    result.Kind = LineKind::Key;
    result.Value = text.mid(eq + 1).trimmed();
    return result;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The file as lines, each with its own line end, so that a rewrite changes only what it must.
struct Line {
    QString Text;
    QString End; // "\r\n", "\n", or empty for a last line without one
};

struct Document {
    QList<Line> Lines;
    QString LineEnd; // for lines added: the one the file mostly uses
};

QString DefaultLineEnd() {
#ifdef Q_OS_WIN
    return QStringLiteral("\r\n");
#else
    return QStringLiteral("\n");
#endif
}

Document Load(const QString& fileName) {
    Document doc;
    doc.LineEnd = DefaultLineEnd();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return doc;
    const QByteArray bytes = file.readAll();
    const qsizetype crlf = bytes.count("\r\n");
    const qsizetype lf = bytes.count('\n');
    if (lf > 0)
        doc.LineEnd = crlf * 2 >= lf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString text = ProfileFile::DecodeText(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf(u'\n', start);
        Line line;
        if (end < 0) {
            line.Text = text.mid(start);
            start = text.size();
        } else {
            line.Text = text.mid(start, end - start);
            line.End = QStringLiteral("\n");
            if (line.Text.endsWith(u'\r')) {
                line.Text.chop(1);
                line.End = QStringLiteral("\r\n");
            }
            start = end + 1;
        }
        doc.Lines.append(line);
    }
    return doc;
}

void Store(const QString& fileName, const Document& doc) {
    const auto refuse = [&fileName] {
        throw EIniFileException(QStringLiteral("Unable to write to %1").arg(fileName));
    };
    const QFileInfo info(fileName);
    // Renaming over a read-only file would succeed; the platform refuses to write it.
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        refuse();
    QString text;
    for (const Line& line : doc.Lines) {
        text += line.Text;
        text += line.End;
    }
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        refuse();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        refuse();
    }
    if (!file.commit())
        refuse();
}

// Adds a line at index with the line end of the line before it, so that the file keeps its own
// style; a last line without a line end gets one first.
void InsertLine(Document& doc, qsizetype index, const QString& text) {
    QString end = doc.LineEnd;
    for (qsizetype i = index - 1; i >= 0; --i)
        if (!doc.Lines[i].End.isEmpty()) {
            end = doc.Lines[i].End;
            break;
        }
    if (index > 0 && doc.Lines[index - 1].End.isEmpty())
        doc.Lines[index - 1].End = end;
    doc.Lines.insert(index, Line{text, end});
}

struct Found {
    qsizetype SectionLine = -1; // header of the first matching section
    qsizetype LastLine = -1;    // last key line of that section (or its header)
    qsizetype KeyLine = -1;     // the first matching key, in any matching section
    QString Value;
};

Found Find(const QList<Line>& lines, const QString& section, const QString& key) {
    Found found;
    bool inSection = false;
    bool inFirst = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(lines[i].Text);
        if (parsed.Kind == LineKind::Section) {
            inSection = SameName(parsed.Name, section);
            inFirst = inSection && found.SectionLine < 0;
            if (inFirst) {
                found.SectionLine = i;
                found.LastLine = i;
            }
            continue;
        }
        if (!inSection || parsed.Kind != LineKind::Key)
            continue;
        if (inFirst)
            found.LastLine = i;
        if (found.KeyLine < 0 && !key.isEmpty() && SameName(parsed.Name, key)) {
            found.KeyLine = i;
            found.Value = parsed.Value;
        }
    }
    return found;
}

int HexDigit(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The value as the caller gets it: cut to the length the platform's buffer holds.
QString CutValue(QString value) {
    if (value.size() > ProfileFile::MaxValueLength) {
        qsizetype keep = ProfileFile::MaxValueLength;
        if (value.at(keep - 1).isHighSurrogate())
            --keep;
        value.truncate(keep);
    }
    return value;
}

// A stored value loses one pair of quotes around it.
QString Unquote(const QString& value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

EIniFileException::EIniFileException(const QString& message) : FMessage(message), FUtf8(message.toUtf8()) {}

ProfileFile::ProfileFile(const QString& fileName) : FFileName(fileName) {}

QString ProfileFile::DecodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x80 ? QChar(byte) : QChar(Cp1251High[byte - 0x80]);
    }
    return text;
}

bool ProfileFile::ParseInteger(const QString& text, int& value) {
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        quint64 result = 0;
        for (qsizetype i = 2; i < text.size(); ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0)
                return false;
            result = result * 16 + static_cast<quint64>(digit);
            if (result > 0xFFFFFFFFull)
                return false;
        }
        // Eight hexadecimal digits cover the whole 32-bit pattern, as the platform reads them.
        value = static_cast<int>(static_cast<quint32>(result));
        return true;
    }
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
        result = result * 10 + (text[i].unicode() - u'0');
        if (result > 2147483648LL)
            return false;
    }
    if (negative)
        result = -result;
    if (result > 2147483647LL)
        return false;
    value = static_cast<int>(result);
    return true;
}

QString ProfileFile::ReadString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const Document doc = Load(FFileName);
    const Found found = Find(doc.Lines, section, key);
    if (found.KeyLine < 0)
        return CutValue(defaultValue);
    return CutValue(Unquote(found.Value));
}

int ProfileFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const QString text = ReadString(section, key, QString());
    int value = 0;
    return ParseInteger(text, value) ? value : defaultValue;
}

bool ProfileFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool ProfileFile::SectionExists(const QString& section) const {
    return Find(Load(FFileName).Lines, section, QString()).SectionLine >= 0;
}

bool ProfileFile::ValueExists(const QString& section, const QString& key) const {
    return Find(Load(FFileName).Lines, section, key).KeyLine >= 0;
}

void ProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    Document doc = Load(FFileName);
    // A line break inside the value would split the line and corrupt the file.
    QString flat = value;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    const Found found = Find(doc.Lines, section, key);
    if (found.KeyLine >= 0) {
        Line& line = doc.Lines[found.KeyLine];
        line.Text = ParseLine(line.Text).Name + u'=' + flat;
    } else if (found.SectionLine >= 0) {
        InsertLine(doc, found.LastLine + 1, key + u'=' + flat);
    } else {
        if (!doc.Lines.isEmpty() && !doc.Lines.last().Text.trimmed().isEmpty())
            InsertLine(doc, doc.Lines.size(), QString());
        InsertLine(doc, doc.Lines.size(), u'[' + section + u']');
        InsertLine(doc, doc.Lines.size(), key + u'=' + flat);
    }
    Store(FFileName, doc);
}

void ProfileFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void ProfileFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void ProfileFile::DeleteKey(const QString& section, const QString& key) {
    Document doc = Load(FFileName);
    const Found found = Find(doc.Lines, section, key);
    if (found.KeyLine < 0)
        return;
    doc.Lines.removeAt(found.KeyLine);
    try {
        Store(FFileName, doc);
    } catch (const EIniFileException&) {
        // Deleting a key reports nothing, as the platform function it stands for.
    }
}
