#include "HostInfo.h"

#include <gtest/gtest.h>

namespace {

class FakeHost : public THostInfo {
public:
    std::optional<QString> name;
    std::optional<std::vector<TIPv4>> addresses;
    mutable QString asked;
    std::optional<QString> LocalHostName() const override { return name; }
    std::optional<std::vector<TIPv4>> Resolve(const QString& hostName) const override {
        asked = hostName;
        return addresses;
    }
};

TEST(HostAddress, FirstAddressInNetworkOrder) {
    FakeHost h;
    h.name = "ws-17";
    h.addresses = std::vector<THostInfo::TIPv4>{{10, 0, 200, 7}, {192, 168, 1, 2}};
    EXPECT_EQ(HostAddressText(h), "10.0.200.7");
    EXPECT_EQ(h.asked, "ws-17");
}

TEST(HostAddress, UnresolvableNameGivesUnknown) {
    FakeHost h;
    h.name = "nowhere";
    EXPECT_EQ(HostAddressText(h), QString::fromUtf8("Неизвестный"));
    h.addresses = std::vector<THostInfo::TIPv4>{};
    EXPECT_EQ(HostAddressText(h), QString::fromUtf8("Неизвестный"));
}

TEST(HostAddress, MissingHostNameIsResolvedAsEmptyName) {
    FakeHost h;
    h.addresses = std::vector<THostInfo::TIPv4>{{127, 0, 0, 1}};
    EXPECT_EQ(HostAddressText(h), "127.0.0.1");
    EXPECT_EQ(h.asked, "");
}

TEST(HostAddress, SystemHostGivesDottedQuadOrUnknown) {
    const QString text = HostAddressText(TSystemHostInfo());
    EXPECT_TRUE(text == QString::fromUtf8("Неизвестный") || text.count('.') == 3) << text.toStdString();
}

} // namespace
