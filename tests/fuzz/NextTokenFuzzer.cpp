// libFuzzer harness for NextToken: the first byte is the delimiter, or from 0x80 on says that the
// next two bytes are (any UTF-16 unit); the next byte is a start position; the rest is the text as
// UTF-16. Walking a text from position 1 yields its pieces between delimiters in order, each step
// moving forward, and nothing read from any position reaches past the next delimiter.
#include "Placement.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    std::size_t used = 0;
    QChar delimiter = QChar(char16_t(data[used++]));
    if (delimiter.unicode() >= 0x80 && used + 2 < size) {
        delimiter = QChar(char16_t(data[used] | data[used + 1] << 8));
        used += 2;
    }
    const int start = int(std::int8_t(data[used++]));
    QString text;
    for (; used + 1 < size; used += 2)
        text += QChar(char16_t(data[used] | data[used + 1] << 8));

    // The walk from the first character.
    QStringList tokens;
    int position = 1;
    do {
        const int before = position;
        const QString token = NextToken(text, delimiter, position);
        Require(!token.contains(delimiter));
        Require(position == 0 || position > before);
        Require(position == 0 || text.at(position - 2) == delimiter);
        tokens << token;
        Require(tokens.size() <= text.size() + 1);
    } while (position != 0);
    Require(tokens.join(delimiter) == text);
    Require(tokens.size() == text.count(delimiter) + 1);

    // From any position, inside the text or not.
    position = start;
    const QString token = NextToken(text, delimiter, position);
    if (start <= 0 || start > text.size()) {
        Require(token.isEmpty() && position == 0);
    } else {
        const QString rest = text.mid(start - 1);
        if (position == 0) {
            Require(token == rest && !rest.contains(delimiter));
        } else {
            Require(rest.startsWith(token + delimiter));
            Require(position == start + int(token.size()) + 1);
        }
    }
    return 0;
}
