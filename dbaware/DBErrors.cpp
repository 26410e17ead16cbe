#include "DBErrors.h"

#include "DialogGateway.h"
#include "OracleTypes.h"

void ShowDataSetError(const QString& message) {
    MessageDlgAtMouse(message, mtError, {mbOK}, 0);
}

bool RunDataSetAction(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const Exception& error) {
        ShowDataSetError(error.Message());
    }
    return false;
}
