// Admin_KMR: administration of the users and access rights of the dispatch applications.
#include "StartUp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Admin_KMR"));
    return RunAdminKmr();
}
