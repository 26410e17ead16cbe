// The signed-in administrator keeps a way back in: the administration window refuses to delete
// their own user row, to clear their own permission to work, and to take the workstation they
// signed in from out of their own address list. Another administrator's row is not guarded here:
// that administrator can still sign in and put it right. Plain logic, no window, no server.
#pragma once

#include <QString>
#include <QVariant>

class TLockOutGuard {
public:
    TLockOutGuard() = default;
    // selfTabNum: the signed-in user's number (0: nobody, nothing is guarded); signInAddress: the
    // workstation address the sign-in checked.
    TLockOutGuard(int selfTabNum, const QString& signInAddress);

    int Self() const { return FSelf; }

    // Why a delete of this user is refused; empty when it may go ahead.
    QString RefuseDelete(int tabNum) const;

    // Why a post that changes this user's permission (WENABLED) and address list (IPADR) from the
    // values read to the values typed is refused; empty when it may go ahead.
    QString RefusePost(int tabNum, const QVariant& oldEnabled, const QVariant& newEnabled,
                       const QVariant& oldAddresses, const QVariant& newAddresses) const;

    // Whether an address list lets the address sign in, as the sign-in decides it: an empty list
    // admits every workstation, otherwise the address must occur in it as a whole address.
    static bool ListAdmits(const QString& addressList, const QString& address);

private:
    int FSelf = 0;
    QString FAddress;
};
