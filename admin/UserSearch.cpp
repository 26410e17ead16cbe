#include "UserSearch.h"

TUserSearch::TUserSearch(const QString& text)
    : FWords(text.simplified().split(QChar(u' '), Qt::SkipEmptyParts)) {}

bool TUserSearch::Matches(const QString& fullName, const QString& signInName,
                          const QString& addresses) const {
    for (const QString& word : FWords) {
        if (!fullName.contains(word, Qt::CaseInsensitive) &&
            !signInName.contains(word, Qt::CaseInsensitive) && !addresses.contains(word, Qt::CaseInsensitive))
            return false;
    }
    return true;
}
