#include "HostInfo.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

std::optional<QString> TSystemHostInfo::LocalHostName() const {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(name);
}

std::optional<std::vector<THostInfo::TIPv4>> TSystemHostInfo::Resolve(const QString& hostName) const {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray name = hostName.toLocal8Bit();
    if (getaddrinfo(name.constData(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::vector<TIPv4> result;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr)
            continue;
        const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        TIPv4 bytes;
        std::memcpy(bytes.data(), &sin->sin_addr.s_addr, 4);
        result.push_back(bytes);
    }
    freeaddrinfo(found);
    if (result.empty())
        return std::nullopt;
    return result;
}

QString HostAddressText(const THostInfo& host) {
    const QString name = host.LocalHostName().value_or(QString());
    const auto addresses = host.Resolve(name);
    if (!addresses || addresses->empty())
        return QStringLiteral("Неизвестный");
    const THostInfo::TIPv4& a = addresses->front();
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}
