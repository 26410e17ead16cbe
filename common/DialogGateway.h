// The one gateway of every modal question and message: message boxes, the error dialog, the
// one-line input dialog and the file and folder dialogs. A window asks through the functions below; the
// gateway shows the real dialog, or hands the question to the answerer a test installed.
// User-interface thread only.
#pragma once

#include <QList>
#include <QString>
#include <initializer_list>

class QWidget;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// In the order the buttons appear from left to right.
enum TMsgDlgBtn {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp
};

class TMsgDlgButtons {
public:
    TMsgDlgButtons() = default;
    TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons);
    bool Contains(TMsgDlgBtn button) const { return (FBits & Bit(button)) != 0; }
    TMsgDlgButtons& operator<<(TMsgDlgBtn button);
    QList<TMsgDlgBtn> List() const; // in TMsgDlgBtn order
    bool operator==(const TMsgDlgButtons& other) const = default;

private:
    static unsigned Bit(TMsgDlgBtn button) { return 1u << static_cast<unsigned>(button); }
    unsigned FBits = 0;
};

// Modal results of dialogs and buttons.
enum : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10
};

// Caption of a message kind; the custom kind takes the application title.
QString MsgDlgCaption(TMsgDlgType type);
// Button caption ("&" marks the accelerator) and the modal result it closes with (mrNone for Help,
// which does not close the box).
QString MsgDlgButtonCaption(TMsgDlgBtn button);
int MsgDlgButtonResult(TMsgDlgBtn button);
// The application title: the display name of the application object.
QString ApplicationTitle();

enum class DialogKind {
    Message,    // MessageDlgAtMouse, ShowPlainMessage
    ErrorForm,  // ShowMessageDialog, ShowError
    Input,      // InputQuery
    OpenFile,   // OpenFileDialog
    OpenFolder, // SelectFolderDialog
    SaveFile    // SaveFileDialog
};

// One question as the gateway was asked it.
struct DialogRequest {
    DialogKind Kind = DialogKind::Message;
    QString Caption;
    QString Text;                // message text, input prompt
    QString Details;             // error dialog details
    TMsgDlgType Type = mtCustom; // message and error dialog kind
    TMsgDlgButtons Buttons;      // message buttons
    int HelpContext = 0;
    QString Value;             // input: the starting value; open file or folder: the starting folder;
                               // save file: the suggested file
    QString Filter;            // open/save file: Qt name filters ("Programs (*.exe);;All files (*)")
    QWidget* Parent = nullptr; // open/save file: the window the dialog belongs to (not owned)
};

struct DialogAnswer {
    int ModalResult = mrCancel; // Input, OpenFile, OpenFolder and SaveFile: mrOk or mrCancel
    QString Text;               // Input: the value entered; OpenFile, OpenFolder, SaveFile: the path chosen
};

class IDialogAnswerer {
public:
    virtual ~IDialogAnswerer() = default;
    virtual DialogAnswer Answer(const DialogRequest& request) = 0;
};

class DialogGateway {
public:
    static DialogGateway& Instance();

    // Installs an answerer in place of the real dialogs (nullptr: real dialogs); returns the previous.
    IDialogAnswerer* SetAnswerer(IDialogAnswerer* answerer);
    IDialogAnswerer* Answerer() const { return FAnswerer; }

    DialogAnswer Ask(const DialogRequest& request);

private:
    DialogGateway() = default;
    DialogAnswer ShowReal(const DialogRequest& request);
    IDialogAnswerer* FAnswerer = nullptr;
};

// The standard message box: on a desktop of several monitors its top-left corner is put 100 pixels
// above and left of the mouse, otherwise it is placed as the platform places it. Returns the modal
// result of the button pressed.
int MessageDlgAtMouse(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);
// A message with the application title as caption and only "OK".
int ShowPlainMessage(const QString& text);
// The one-line input dialog ("OK", "Отмена"): true and value changed when confirmed.
bool InputQuery(const QString& caption, const QString& prompt, QString& value);
// The file-open dialog: the chosen file, or an empty string when cancelled.
QString OpenFileDialog(QWidget* parent, const QString& caption, const QString& directory,
                       const QString& filter);
// The folder dialog: the chosen folder, or an empty string when cancelled.
QString SelectFolderDialog(QWidget* parent, const QString& caption, const QString& directory);
// The file-save dialog (it asks before replacing a file): the chosen file, or an empty string when
// cancelled. file is the suggested name or path.
QString SaveFileDialog(QWidget* parent, const QString& caption, const QString& file, const QString& filter);
