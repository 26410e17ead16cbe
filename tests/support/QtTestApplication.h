// The application object of a test program that needs Qt's event loop or widgets: created offscreen
// before the first test and freed after the last.
#pragma once

#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

class TQtTestApplication : public ::testing::Environment {
public:
    // The names, when given, are the program's own ("Admin_KMR" in the dialogs' titles and the
    // settings' sections); else the test program's name stands for both.
    explicit TQtTestApplication(const char* name, const char* applicationName = nullptr,
                                const char* displayName = nullptr)
        : FName(name), FApplicationName(applicationName), FDisplayName(displayName) {}
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        FArgv[0] = FName.data();
        FApp = new QApplication(FArgc, FArgv);
        if (!FApplicationName.isEmpty())
            QApplication::setApplicationName(QString::fromUtf8(FApplicationName));
        if (!FDisplayName.isEmpty())
            QApplication::setApplicationDisplayName(QString::fromUtf8(FDisplayName));
    }
    void TearDown() override {
        delete FApp;
        FApp = nullptr;
    }

private:
    QByteArray FName, FApplicationName, FDisplayName;
    int FArgc = 1; // QApplication keeps references to argc and argv for its whole life
    char* FArgv[2] = {nullptr, nullptr};
    QApplication* FApp = nullptr;
};

// Registers the application object once per test program.
inline ::testing::Environment* RegisterQtTestApplication(const char* name,
                                                         const char* applicationName = nullptr,
                                                         const char* displayName = nullptr) {
    return ::testing::AddGlobalTestEnvironment(new TQtTestApplication(name, applicationName, displayName));
}
