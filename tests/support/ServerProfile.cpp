#include "ServerProfile.h"

#include <QFile>
#include <QTextStream>

bool WriteServerProfile(const QString& path, const TServerProfile& p) {
    QFile ini(path);
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&ini);
    out << "[Mode]\nN_Server=" << p.Servers << "\nC_Server=" << p.Current << "\n";
    if (p.CallTimeoutSeconds)
        out << "CallTimeout=" << *p.CallTimeoutSeconds << "\n";
    out << "\n[Alias]\nSERVER_NAME=" << p.Main << "\nUSER_NAME=" << p.User << "\nPASSWORD_=" << p.Password
        << "\n";
    out << "\n[Alias_1]\nSERVER_NAME=" << p.Reserve << "\nUSER_NAME=" << p.User
        << "\nPASSWORD_=" << p.Password << "\n";
    if (p.AutoConnect)
        out << "\n[" << (p.Servers == 2 ? "Timer_1" : "Timer")
            << "]\nAutoConnect=" << (*p.AutoConnect ? 1 : 0) << "\n";
    if (!p.Extra.isEmpty())
        out << "\n" << p.Extra << "\n";
    out.flush();
    return out.status() == QTextStream::Ok && ini.error() == QFileDevice::NoError;
}
