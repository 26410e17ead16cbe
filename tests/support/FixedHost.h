// The workstation a test's database module sees: a fixed name and address.
#pragma once

#include "HostInfo.h"

#include <QString>

class TFixedHost : public THostInfo {
public:
    // address "a.b.c.d"; empty: the name does not resolve.
    TFixedHost(const QString& name, const QString& address) : Name(name), Address(address) {}
    // The workstation "kmr-test" of the sign-in and window tests.
    explicit TFixedHost(const QString& address) : TFixedHost(QStringLiteral("kmr-test"), address) {}
    std::optional<QString> LocalHostName() const override { return Name; }
    std::optional<std::vector<TIPv4>> Resolve(const QString&) const override;

    QString Name;
    QString Address;
};
