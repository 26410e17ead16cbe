// The application object of a test program that needs Qt's event loop or widgets: created offscreen
// before the first test and freed after the last.
#pragma once

#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

class TQtTestApplication : public ::testing::Environment {
public:
    explicit TQtTestApplication(const char* name) : FName(name) {}
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        FArgv[0] = FName.data();
        FApp = new QApplication(FArgc, FArgv);
    }
    void TearDown() override {
        delete FApp;
        FApp = nullptr;
    }

private:
    QByteArray FName;
    int FArgc = 1; // QApplication keeps references to argc and argv for its whole life
    char* FArgv[2] = {nullptr, nullptr};
    QApplication* FApp = nullptr;
};

// Registers the application object once per test program.
inline ::testing::Environment* RegisterQtTestApplication(const char* name) {
    return ::testing::AddGlobalTestEnvironment(new TQtTestApplication(name));
}
