// The desktop the placement rules work on: the monitors and the mouse, read from Qt, or a fixed
// description that tests install in its place.
#pragma once

#include "Placement.h"

#include <utility>

class QWidget;

class IDesktop {
public:
    virtual ~IDesktop() = default;
    virtual DesktopInfo Describe() const = 0;
};

// The screens of QGuiApplication and the position of QCursor.
class QtDesktop : public IDesktop {
public:
    DesktopInfo Describe() const override;
};

// A desktop that stays as it is set.
class FixedDesktop : public IDesktop {
public:
    FixedDesktop() = default;
    explicit FixedDesktop(DesktopInfo info) : Info(std::move(info)) {}
    DesktopInfo Describe() const override { return Info; }
    DesktopInfo Info;
};

// The desktop in force: the Qt one unless another is installed.
const IDesktop& CurrentDesktop();

// Installs a desktop for the life of this object (user-interface thread only); the previous one
// comes back at its end.
class ScopedDesktop {
public:
    explicit ScopedDesktop(const IDesktop& desktop);
    ~ScopedDesktop();
    ScopedDesktop(const ScopedDesktop&) = delete;
    ScopedDesktop& operator=(const ScopedDesktop&) = delete;

private:
    const IDesktop* FPrevious;
};

// The placement rules applied to a window through its outer bounds (frame included).
void MoveToMouseMonitor(QWidget* form);
void FitToDesktop(QWidget* form);
// With several monitors, centres the form over the whole desktop instead of the primary monitor.
void UseDesktopMonitor(QWidget* form);
