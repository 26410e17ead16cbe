// How the data-aware controls report an error the dataset raised: as the platform's default error
// handler would, an error box with the message and "OK", through the dialog gateway.
#pragma once

#include <QString>
#include <functional>

void ShowDataSetError(const QString& message);
// Runs a dataset action; an Exception it raises is shown and false returned.
bool RunDataSetAction(const std::function<void()>& action);
