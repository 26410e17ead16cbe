// The standard message box of the program: an icon by kind, the text, and the buttons asked for
// with their captions and modal results.
//
// The box fits the smallest monitor whatever the text: lines are wrapped (inside a word when it has
// to be), and a text that would still be too long is cut with an ellipsis, its whole wording kept
// in a details area that "Дополнительно  >>" unfolds. Enter presses the default button, Esc the
// cancel button; buttons are as wide as their captions need, at least 75 x 25.
#pragma once

#include "DialogGateway.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    TMessageForm(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent = nullptr);

    // The button of the given kind (object name as the kind: "Yes", "OK", "NoToAll" ...), or nullptr.
    QPushButton* Button(TMsgDlgBtn button) const;
    QLabel* Message() const { return FMessage; }
    // The whole text, shown when the box had to cut it; nullptr when the text fitted.
    QPushButton* DetailsButton() const { return FDetailsButton; }
    QPlainTextEdit* Details() const { return FDetails; }
    // Whether the text had to be cut to fit the screen.
    bool TextCut() const { return FDetailsButton != nullptr; }

    void reject() override;

private:
    void ToggleDetails();
    // Fixes the size to the contents, and at least wide enough for the caption.
    void FitToContents();

    QLabel* FMessage;
    QPushButton* FDetailsButton = nullptr;
    QPlainTextEdit* FDetails = nullptr;
    QList<QPushButton*> FButtons; // indexed by TMsgDlgBtn, nullptr where not shown
    int FCancelResult = mrCancel;
};

// A message text laid out for a box: wrapped to maxWidth pixels in font (inside a word where one
// word is wider), at most maxLines lines, the last one ending in an ellipsis when the text was cut.
struct TFittedText {
    QString Text; // the lines, joined by "\n"
    bool Cut = false;
};
TFittedText FitMessageText(const QString& text, const QFont& font, int maxWidth, int maxLines);
