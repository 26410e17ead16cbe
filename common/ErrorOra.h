// The error dialog: a message, "OK", and a toggle that unfolds a second text area with details
// (as a rule the statement that failed or the server's error text).
#pragma once

#include <QDialog>
#include <QStyle>
#include <optional>

class QFrame;
class QPlainTextEdit;
class QPushButton;

class TErrorOraForm : public QDialog {
    Q_OBJECT
public:
    // kind: 0 warning, 1 error, 2 information, 3 confirmation, 4 (and anything else) the
    // application title without an icon.
    TErrorOraForm(const QString& text, const QString& details, int kind, QWidget* parent = nullptr);

    static QString KindCaption(int kind);
    static std::optional<QStyle::StandardPixmap> KindIcon(int kind);

    int Kind() const { return FKind; }
    const QString& Details() const { return FDetails; }
    // The details panel while unfolded, nullptr while folded.
    QFrame* DetailsPanel() const { return FDetailsPanel; }

    QFrame* pnFirst;
    QPlainTextEdit* mmFirst;
    QWidget* pnButton;
    QPushButton* btOk;
    QPushButton* btDop;

    void btDopClick();
    void FormActivate();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitToContents();

    int FKind;
    // The documented 348 pixels, or more when the toggle's caption needs it.
    int FClientWidth = 0;
    QString FDetails;
    QFrame* FDetailsPanel = nullptr;
    bool FActivated = false;
};

// Shows the dialog modally through the dialog gateway and returns when it is closed.
void ShowMessageDialog(const QString& text, const QString& details, int kind);
// ShowMessageDialog with the error kind.
void ShowError(const QString& text, const QString& details);
