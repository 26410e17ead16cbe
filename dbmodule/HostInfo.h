#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The workstation's name and addresses, behind an interface so tests can fake them.
class THostInfo {
public:
    using TIPv4 = std::array<std::uint8_t, 4>; // network order

    virtual ~THostInfo() = default;
    // The local host name, or nothing when the platform cannot tell.
    virtual std::optional<QString> LocalHostName() const = 0;
    // The IPv4 addresses of a host name; nothing when it cannot be resolved.
    virtual std::optional<std::vector<TIPv4>> Resolve(const QString& hostName) const = 0;
};

// The real workstation: gethostname / getaddrinfo.
class TSystemHostInfo : public THostInfo {
public:
    std::optional<QString> LocalHostName() const override;
    std::optional<std::vector<TIPv4>> Resolve(const QString& hostName) const override;
};

// The host's first IPv4 address as "%d.%d.%d.%d", or "Неизвестный" when the name does not resolve.
QString HostAddressText(const THostInfo& host);
