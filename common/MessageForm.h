// The standard message box of the program: an icon by kind, the text, and the buttons asked for
// with their captions and modal results.
#pragma once

#include "DialogGateway.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    TMessageForm(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent = nullptr);

    // The button of the given kind (object name as the kind: "Yes", "OK", "NoToAll" ...), or nullptr.
    QPushButton* Button(TMsgDlgBtn button) const;
    QLabel* Message() const { return FMessage; }

    void reject() override;

private:
    QLabel* FMessage;
    QList<QPushButton*> FButtons; // indexed by TMsgDlgBtn, nullptr where not shown
    int FCancelResult = mrCancel;
};
