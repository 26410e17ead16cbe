// A profile file: [section] headers and key=value lines, read and written with the rules of the
// platform's profile-file functions the program was designed around.
//
// - Section and key names are compared without regard to case; the first match wins.
// - A value counts up to MaxValueLength characters; surrounding blanks and one pair of matching
//   quotes around it are dropped.
// - Integers are decimal, or hexadecimal when longer than two characters and beginning with
//   "0x"/"0X"; anything else gives the default. Booleans are integers, 0 being false.
// - A missing file, section or key gives the default.
// - Files are read as UTF-8, or as Windows-1251 when they are not valid UTF-8, and written as
//   UTF-8. Writing and deleting keep every other line (comments and lines that do not parse) in
//   place; the file is replaced atomically, so a failed write leaves the old file whole.
//
// Nothing is cached: every call reads the file anew, as the platform functions do.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <exception>

// A write to a profile file that the platform refused: "Unable to write to <file name>".
class EIniFileException : public std::exception {
public:
    explicit EIniFileException(const QString& message);
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

class ProfileFile {
public:
    static constexpr int MaxValueLength = 2047;

    explicit ProfileFile(const QString& fileName);
    virtual ~ProfileFile() = default;

    const QString& FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;

    // Raise EIniFileException when the file cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Removes the key's line. Never fails: a file that cannot be written is left as it is.
    void DeleteKey(const QString& section, const QString& key);

    // The integer rules above, on a value already read; false when it is no number.
    static bool ParseInteger(const QString& text, int& value);
    // UTF-8 when the bytes are valid UTF-8, else Windows-1251 (every byte maps to one character).
    static QString DecodeText(const QByteArray& bytes);

private:
    QString FFileName;
};
