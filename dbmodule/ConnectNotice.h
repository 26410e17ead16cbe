#pragma once

// The connection-loss window as the database module sees it; the window itself lives in
// dbmodule_ui (TFMesConnect), tests use a fake.
class IConnectNotice {
public:
    virtual ~IConnectNotice() = default;
    // True from show or activation until deactivation or close.
    virtual bool Shown() const = 0;
    // On screen, whether active or not.
    virtual bool IsVisible() const = 0;
    // Shows the window modally over the program; returns at once (the timer keeps ticking).
    virtual void ShowNotice() = 0;
    // Hides the window; the program is usable again.
    virtual void CloseNotice() = 0;
};
