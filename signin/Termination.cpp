#include "Termination.h"

#include <QCoreApplication>

#include <atomic>

namespace {
std::atomic<bool> GTerminationRequested{false};
}

void RequestTermination() {
    GTerminationRequested = true;
    // quit() before the loop runs would be lost; a queued call survives until exec() starts.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool TerminationRequested() {
    return GTerminationRequested;
}

void ResetTerminationRequest() {
    GTerminationRequested = false;
}
