// libFuzzer harness for the sign-in rules that take typed or stored text apart.
//
// An even first byte builds an address list from the input: dotted entries between separators of the
// kinds people type, and a workstation address; the list admits the workstation exactly when one
// whole entry is that address (10.0.0.1 is no part of 10.0.0.15, 110.0.0.1 or 10.0.0.1.5). An odd first byte
// reads the rest as two UTF-16 texts, a list and an address, and checks what holds for any text: only an
// address that occurs in the list is admitted, a text admits itself, blanks around a list admit nothing less,
// and a command-line sign-in splits into the name before the first "/" and the password up to the next "/" or
// "@".
#include "LoginRules.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    bool AtEnd() const { return FUsed >= FSize; }
    std::uint8_t Byte() { return AtEnd() ? 0 : FData[FUsed++]; }
    QString Address() {
        return QStringLiteral("%1.%2.%3.%4").arg(Byte()).arg(Byte()).arg(Byte()).arg(Byte());
    }
    // Mostly four numbers; now and then one to six, as a mistyped list holds them.
    QString ListEntry() {
        const std::uint8_t shape = Byte();
        if (shape % 3 != 0)
            return Address();
        QStringList parts;
        for (int i = 0; i <= shape / 3 % 6; ++i)
            parts << QString::number(Byte());
        return parts.join(u'.');
    }
    QString Utf16(std::size_t units) {
        QString text;
        for (std::size_t i = 0; i < units && FUsed + 1 < FSize; ++i, FUsed += 2)
            text += QChar(char16_t(FData[FUsed] | FData[FUsed + 1] << 8));
        return text;
    }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FUsed = 0;
};

// What stands between two addresses in the lists administrators type.
const char* const Separators[] = {" ",      ";",     "; ", ",", ", ",  "\t", "\r\n", " / ",    " и ",
                                  "|",      "-",     "_",  "[", "] [", "(",  ") (",  ": ",     ". ",
                                  " ;\r\n", "  ,  ", "\"", "'", "№",   "«",  "»",    "\u00a0", "\u2028"};
constexpr std::size_t SeparatorCount = sizeof Separators / sizeof Separators[0];

void CheckBuiltList(TInput& in) {
    QStringList addresses;
    const int count = in.Byte() % 6;
    QString list;
    if (in.Byte() % 2)
        list += QString::fromUtf8(Separators[in.Byte() % SeparatorCount]);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            list += QString::fromUtf8(Separators[in.Byte() % SeparatorCount]);
        addresses << in.ListEntry();
        list += addresses.last();
    }
    switch (in.Byte() % 3) {
    case 1:
        list += u'.'; // a full stop after the last address
        break;
    case 2:
        list += QString::fromUtf8(Separators[in.Byte() % SeparatorCount]);
        break;
    default:
        break;
    }
    const std::uint8_t pick = in.Byte();
    const QString workstation =
        !addresses.isEmpty() && pick % 2 ? addresses[pick / 2 % addresses.size()] : in.Address();
    Require(AddressListAdmits(list, workstation) == addresses.contains(workstation));
    // The word for an unknown address is admitted by the same rule.
    const QString unknown = QStringLiteral("Неизвестный");
    Require(AddressListAdmits(list + QStringLiteral(" ") + unknown, unknown));
    Require(!AddressListAdmits(list, unknown));
}

void CheckAnyText(TInput& in) {
    const QString list = in.Utf16(in.Byte());
    const QString address = in.Utf16(64);
    const bool admitted = AddressListAdmits(list, address);
    if (admitted)
        Require(!address.isEmpty() && list.contains(address));
    Require(AddressListAdmits(address, address) == !address.isEmpty());
    if (admitted)
        Require(AddressListAdmits(QStringLiteral(" ") + list + QStringLiteral(" "), address));

    for (const QString& parameter : {list, address, list + u'/' + address}) {
        const TCommandLineLogin login = ParseCommandLineLogin(parameter);
        Require(login.Name == parameter.section(u'/', 0, 0));
        const QString rest = parameter.contains(u'/') ? parameter.section(u'/', 1, 1) : QString();
        Require(login.Password == rest.section(u'@', 0, 0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TInput in(data, size);
    if (in.Byte() % 2 == 0)
        CheckBuiltList(in);
    else
        CheckAnyText(in);
    return 0;
}
