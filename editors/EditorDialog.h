// What the group and property editors share: a modal window without title-bar buttons that closes
// only through "Сохранить" (Enter, modal result OK) and "Отменить" (Esc, modal result Cancel).
#pragma once

#include <QDialog>

class QPushButton;
class QWidget;

class TEditorDialog : public QDialog {
    Q_OBJECT
public:
    explicit TEditorDialog(QWidget* owner = nullptr);

    // The bottom panel with the two buttons; a window puts it last in its layout.
    QWidget* Panel1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void done(int result) override;

protected:
    // Asked before the window closes through a button; false keeps it open (a row that cannot be
    // stored). Esc counts as "Отменить".
    virtual bool CanClose(int result);
    void closeEvent(QCloseEvent* event) override;

private:
    bool FClosing = false;
};
