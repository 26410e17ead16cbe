// The connection-loss window: shown over the program while no main server answers, closed by the
// database module's tick when one does. The only way out besides waiting is "Выход с программы".
#pragma once

#include "ConnectNotice.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

class TFMesConnect : public QDialog, public IConnectNotice {
    Q_OBJECT
public:
    // onExit ends the program (Button1).
    explicit TFMesConnect(std::function<void()> onExit, QWidget* parent = nullptr);

    QLabel* lNoMainSrv;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* Button1;

    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormDeactivate();
    void FormClose();
    void Button1Click();

    // IConnectNotice
    bool Shown() const override { return FShown; }
    bool IsVisible() const override { return isVisible(); }
    void ShowNotice() override;
    void CloseNotice() override;

public slots:
    // Escape and the window manager's close do not dismiss the notice: only the tick closes it.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CenterOverMainWindow();

    std::function<void()> FOnExit;
    bool FShown = false;
};
