#include "FixedHost.h"

#include <QStringList>

std::optional<std::vector<THostInfo::TIPv4>> TFixedHost::Resolve(const QString&) const {
    const QStringList parts = Address.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    TIPv4 ip{};
    for (int i = 0; i < 4; ++i)
        ip[size_t(i)] = std::uint8_t(parts[i].toInt());
    return std::vector<TIPv4>{ip};
}
