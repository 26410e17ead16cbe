#include "DialogGateway.h"

#include "Desktop.h"
#include "ErrorOra.h"
#include "MessageForm.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QThread>

TMsgDlgButtons::TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (const TMsgDlgBtn button : buttons)
        FBits |= Bit(button);
}

TMsgDlgButtons& TMsgDlgButtons::operator<<(TMsgDlgBtn button) {
    FBits |= Bit(button);
    return *this;
}

QList<TMsgDlgBtn> TMsgDlgButtons::List() const {
    QList<TMsgDlgBtn> list;
    for (int button = mbYes; button <= mbHelp; ++button)
        if (Contains(static_cast<TMsgDlgBtn>(button)))
            list.append(static_cast<TMsgDlgBtn>(button));
    return list;
}

QString ApplicationTitle() {
    return QGuiApplication::applicationDisplayName();
}

QString MsgDlgCaption(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QStringLiteral("Предупреждение");
    case mtError:
        return QStringLiteral("Ошибка");
    case mtInformation:
        return QStringLiteral("Информация");
    case mtConfirmation:
        return QStringLiteral("Подтверждение");
    case mtCustom:
        break;
    }
    return ApplicationTitle();
}

QString MsgDlgButtonCaption(TMsgDlgBtn button) {
    switch (button) {
    case mbYes:
        return QStringLiteral("&Да");
    case mbNo:
        return QStringLiteral("&Нет");
    case mbOK:
        return QStringLiteral("OK");
    case mbCancel:
        return QStringLiteral("Отмена");
    case mbAbort:
        return QStringLiteral("&Abort");
    case mbRetry:
        return QStringLiteral("Повторить");
    case mbIgnore:
        return QStringLiteral("&Игнорировать");
    case mbAll:
        return QStringLiteral("&All");
    case mbNoToAll:
        return QStringLiteral("Нет для всех");
    case mbYesToAll:
        return QStringLiteral("Да для всех");
    case mbHelp:
        return QStringLiteral("&Помощь");
    }
    return QString();
}

int MsgDlgButtonResult(TMsgDlgBtn button) {
    switch (button) {
    case mbYes:
        return mrYes;
    case mbNo:
        return mrNo;
    case mbOK:
        return mrOk;
    case mbCancel:
        return mrCancel;
    case mbAbort:
        return mrAbort;
    case mbRetry:
        return mrRetry;
    case mbIgnore:
        return mrIgnore;
    case mbAll:
        return mrAll;
    case mbNoToAll:
        return mrNoToAll;
    case mbYesToAll:
        return mrYesToAll;
    case mbHelp:
        break;
    }
    return mrNone;
}

DialogGateway& DialogGateway::Instance() {
    static DialogGateway gateway;
    return gateway;
}

IDialogAnswerer* DialogGateway::SetAnswerer(IDialogAnswerer* answerer) {
    IDialogAnswerer* previous = FAnswerer;
    FAnswerer = answerer;
    return previous;
}

DialogAnswer DialogGateway::Ask(const DialogRequest& request) {
    // Watcher threads post what they must show; a dialog from another thread would crash the toolkit.
    Q_ASSERT_X(!qApp || QThread::currentThread() == qApp->thread(), "DialogGateway::Ask",
               "dialogs are shown on the user-interface thread only");
    if (FAnswerer)
        return FAnswerer->Answer(request);
    return ShowReal(request);
}

DialogAnswer DialogGateway::ShowReal(const DialogRequest& request) {
    DialogAnswer answer;
    switch (request.Kind) {
    case DialogKind::Message: {
        TMessageForm form(request.Text, request.Type, request.Buttons, QApplication::activeWindow());
        form.adjustSize();
        if (const auto position = MessageBoxPosition(CurrentDesktop().Describe())) {
            form.move(*position);
            // Near a screen's edge the box is pulled back onto the desktop.
            FitToDesktop(&form);
        }
        answer.ModalResult = form.exec();
        break;
    }
    case DialogKind::ErrorForm: {
        TErrorOraForm form(request.Text, request.Details, static_cast<int>(request.Type));
        form.exec();
        answer.ModalResult = mrOk;
        break;
    }
    case DialogKind::Input: {
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(request.Caption);
        dialog.setLabelText(request.Text);
        dialog.setTextValue(request.Value);
        dialog.setOkButtonText(QStringLiteral("OK"));
        dialog.setCancelButtonText(QStringLiteral("Отмена"));
        if (dialog.exec() == QDialog::Accepted) {
            answer.ModalResult = mrOk;
            answer.Text = dialog.textValue();
        }
        break;
    }
    case DialogKind::OpenFile:
        answer.Text =
            QFileDialog::getOpenFileName(request.Parent, request.Caption, request.Value, request.Filter);
        answer.ModalResult = answer.Text.isEmpty() ? mrCancel : mrOk;
        break;
    case DialogKind::OpenFolder:
        answer.Text = QFileDialog::getExistingDirectory(request.Parent, request.Caption, request.Value);
        answer.ModalResult = answer.Text.isEmpty() ? mrCancel : mrOk;
        break;
    case DialogKind::SaveFile:
        answer.Text =
            QFileDialog::getSaveFileName(request.Parent, request.Caption, request.Value, request.Filter);
        answer.ModalResult = answer.Text.isEmpty() ? mrCancel : mrOk;
        break;
    }
    return answer;
}

int MessageDlgAtMouse(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) {
    DialogRequest request;
    request.Kind = DialogKind::Message;
    request.Caption = MsgDlgCaption(type);
    request.Text = text;
    request.Type = type;
    request.Buttons = buttons;
    request.HelpContext = helpContext;
    return DialogGateway::Instance().Ask(request).ModalResult;
}

int ShowPlainMessage(const QString& text) {
    return MessageDlgAtMouse(text, mtCustom, {mbOK}, 0);
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value) {
    DialogRequest request;
    request.Kind = DialogKind::Input;
    request.Caption = caption;
    request.Text = prompt;
    request.Value = value;
    const DialogAnswer answer = DialogGateway::Instance().Ask(request);
    if (answer.ModalResult != mrOk)
        return false;
    value = answer.Text;
    return true;
}

QString OpenFileDialog(QWidget* parent, const QString& caption, const QString& directory,
                       const QString& filter) {
    DialogRequest request;
    request.Kind = DialogKind::OpenFile;
    request.Caption = caption;
    request.Value = directory;
    request.Filter = filter;
    request.Parent = parent;
    const DialogAnswer answer = DialogGateway::Instance().Ask(request);
    return answer.ModalResult == mrOk ? answer.Text : QString();
}

QString SelectFolderDialog(QWidget* parent, const QString& caption, const QString& directory) {
    DialogRequest request;
    request.Kind = DialogKind::OpenFolder;
    request.Caption = caption;
    request.Value = directory;
    request.Parent = parent;
    const DialogAnswer answer = DialogGateway::Instance().Ask(request);
    return answer.ModalResult == mrOk ? answer.Text : QString();
}

QString SaveFileDialog(QWidget* parent, const QString& caption, const QString& file, const QString& filter) {
    DialogRequest request;
    request.Kind = DialogKind::SaveFile;
    request.Caption = caption;
    request.Value = file;
    request.Filter = filter;
    request.Parent = parent;
    const DialogAnswer answer = DialogGateway::Instance().Ask(request);
    return answer.ModalResult == mrOk ? answer.Text : QString();
}
