#include "LoginRules.h"

#include "Placement.h"

#include <cmath>

namespace {

bool IsAddressChar(QChar c) {
    return c.isLetterOrNumber();
}

} // namespace

TCommandLineLogin ParseCommandLineLogin(const QString& parameter) {
    TCommandLineLogin result;
    int position = 1;
    result.Name = NextToken(parameter, u'/', position);
    const QString rest = NextToken(parameter, u'/', position);
    position = 1;
    result.Password = NextToken(rest, u'@', position);
    return result;
}

bool AddressListAdmits(const QString& addressList, const QString& address) {
    if (address.isEmpty())
        return false;
    const int n = addressList.size();
    for (int i = addressList.indexOf(address); i >= 0; i = addressList.indexOf(address, i + 1)) {
        const int j = i + int(address.size());
        // A dot belongs to a neighbouring address only when an address character stands behind it,
        // so "10.0.0.1." at the end of a sentence still counts, "10.0.0.15" and "110.0.0.1" do not.
        const bool startOk =
            i == 0 || (!IsAddressChar(addressList[i - 1]) &&
                       !(addressList[i - 1] == u'.' && i >= 2 && IsAddressChar(addressList[i - 2])));
        const bool endOk =
            j == n || (!IsAddressChar(addressList[j]) &&
                       !(addressList[j] == u'.' && j + 1 < n && IsAddressChar(addressList[j + 1])));
        if (startOk && endOk)
            return true;
    }
    return false;
}

double ShiftTimeAfter(double now) {
    // nearbyint rounds a half to the even neighbour in the default rounding mode.
    return std::nearbyint(now / 0.5) * 0.5 + 1.0 / 3.0;
}

double ShiftTimeFarAhead(double now) {
    return now + 10000.0;
}

QStringList CredentialStatement(bool emptyName, bool emptyPassword) {
    QStringList lines;
    lines << QStringLiteral("SELECT * FROM USER_PSW WHERE ((NAME = :NAME)");
    if (emptyName)
        lines << QStringLiteral(" or (NAME IS NULL)");
    lines << QStringLiteral(") AND ((PWD = :PWD)");
    if (emptyPassword)
        lines << QStringLiteral(" or (PWD IS NULL)");
    lines << QStringLiteral(") AND ((IPADR LIKE :IPADR_LIKE)");
    lines << QStringLiteral(" OR (IPADR ='') OR (IPADR IS NULL)) AND (WENABLED='T')");
    return lines;
}

QString AddressPattern(const QString& address) {
    // Addresses hold digits and dots (or the word for an unknown address), never LIKE wildcards.
    return QStringLiteral("%") + address + QStringLiteral("%");
}

QString RefusalMessage(const QString& name) {
    return QStringLiteral("Пользователь ") + u'"' + name + u'"' +
           QStringLiteral(" не существует, Вы ввели неправильный пароль или ") +
           QStringLiteral("Ваш доступ в систему запрещен!");
}

QString CancelQuestion() {
    return QStringLiteral("Вы нажали кнопку ОТМЕНА. В Данном режиме можно только прекратить работу.") +
           QStringLiteral("\r\n") + QString(14, u' ') +
           QStringLiteral("Вы действительно хотите выйти из программы?");
}
