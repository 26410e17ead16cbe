#include "LockOutGuard.h"

#include "LoginRules.h"

TLockOutGuard::TLockOutGuard(int selfTabNum, const QString& signInAddress)
    : FSelf(selfTabNum), FAddress(signInAddress) {}

bool TLockOutGuard::ListAdmits(const QString& addressList, const QString& address) {
    return addressList.trimmed().isEmpty() || AddressListAdmits(addressList, address);
}

QString TLockOutGuard::RefuseDelete(int tabNum) const {
    if (FSelf <= 0 || tabNum != FSelf)
        return {};
    return QStringLiteral("Нельзя удалить собственную учётную запись: вы вошли в программу под этим "
                          "пользователем и не смогли бы войти снова. Удалить её может другой администратор.");
}

QString TLockOutGuard::RefusePost(int tabNum, const QVariant& oldEnabled, const QVariant& newEnabled,
                                  const QVariant& oldAddresses, const QVariant& newAddresses) const {
    if (FSelf <= 0 || tabNum != FSelf)
        return {};
    const auto enabled = [](const QVariant& v) { return v.toString() == QStringLiteral("T"); };
    if (enabled(oldEnabled) && !enabled(newEnabled))
        return QStringLiteral(
            "Нельзя снять \"Разрешение на работу\" у самого себя: вы вошли в программу под этим "
            "пользователем и не смогли бы войти снова. Снять его может другой администратор.");
    if (ListAdmits(oldAddresses.toString(), FAddress) && !ListAdmits(newAddresses.toString(), FAddress))
        return QStringLiteral("Нельзя убрать из своего списка адрес %1, с которого вы вошли в программу: "
                              "с этого рабочего места вы не смогли бы войти снова. Изменить список может "
                              "другой администратор.")
            .arg(FAddress);
    return {};
}
