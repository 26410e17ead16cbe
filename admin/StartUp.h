// The start-up order of the program: the database module before any window, the main window (whose
// creation signs in), the hidden windows, and, at the end, the geometry and the module's shutdown.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

struct TDbModuleEnvironment;

class TKMF_Admin;

class TAdminStartUp {
public:
    TAdminStartUp() = default;
    ~TAdminStartUp();
    TAdminStartUp(const TAdminStartUp&) = delete;
    TAdminStartUp& operator=(const TAdminStartUp&) = delete;

    // Creates the database module, the main window and the hidden windows, in this order.
    void Create();
    // The same with the database module's environment given (tests: a fixed host address).
    void Create(TDbModuleEnvironment environment);
    // A termination was requested while creating (cancelled sign-in, no administration right,
    // disabled user): the main window must not be shown.
    bool Terminated() const;
    // Shows the main window unless terminated. Returns whether it was shown.
    bool Show();
    // Stores the main window's geometry, frees the windows and then the database module. Runs once.
    void Finish();

    TKMF_Admin* MainWindow() const { return FMain; }
    // The hidden windows of the start-up order, in creation order.
    const QList<QPointer<QWidget>>& HiddenWindows() const { return FHidden; }

private:
    TKMF_Admin* FMain = nullptr;
    QList<QPointer<QWidget>> FHidden;
    bool FFinished = false;
};

// The whole program on an existing application object: start-up, message loop, end.
int RunAdminKmr();
