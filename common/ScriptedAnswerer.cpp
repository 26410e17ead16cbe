#include "ScriptedAnswerer.h"

#include <QtGlobal>

namespace {

QString KindName(DialogKind kind) {
    switch (kind) {
    case DialogKind::Message:
        return QStringLiteral("Message");
    case DialogKind::ErrorForm:
        return QStringLiteral("ErrorForm");
    case DialogKind::Input:
        return QStringLiteral("Input");
    case DialogKind::OpenFile:
        return QStringLiteral("OpenFile");
    case DialogKind::OpenFolder:
        return QStringLiteral("OpenFolder");
    case DialogKind::SaveFile:
        return QStringLiteral("SaveFile");
    }
    return QString();
}

} // namespace

QString DescribeRequest(const DialogRequest& request) {
    return QStringLiteral("%1 [%2] \"%3\"").arg(KindName(request.Kind), request.Caption, request.Text);
}

ScriptedAnswerer::ScriptedAnswerer(FailureHandler onFailure)
    : FOnFailure(std::move(onFailure)), FPrevious(DialogGateway::Instance().SetAnswerer(this)) {}

ScriptedAnswerer::~ScriptedAnswerer() {
    DialogGateway::Instance().SetAnswerer(FPrevious);
    Verify();
}

void ScriptedAnswerer::Verify() {
    for (; FNext < FScript.size(); ++FNext) {
        const Step& step = FScript[FNext];
        Fail(QStringLiteral("scripted answer never asked for: %1 \"%2\"")
                 .arg(KindName(step.Kind), step.TextPart));
    }
}

ScriptedAnswerer& ScriptedAnswerer::Add(DialogKind kind, const QString& textPart, int modalResult,
                                        const QString& text) {
    Step step{kind, textPart, DialogAnswer{}};
    step.Reply.ModalResult = modalResult;
    step.Reply.Text = text;
    FScript.append(step);
    return *this;
}

ScriptedAnswerer& ScriptedAnswerer::ExpectMessage(int modalResult, const QString& textPart) {
    return Add(DialogKind::Message, textPart, modalResult, QString());
}

ScriptedAnswerer& ScriptedAnswerer::ExpectError(const QString& textPart) {
    return Add(DialogKind::ErrorForm, textPart, mrOk, QString());
}

ScriptedAnswerer& ScriptedAnswerer::ExpectInput(const QString& value, const QString& promptPart) {
    return Add(DialogKind::Input, promptPart, mrOk, value);
}

ScriptedAnswerer& ScriptedAnswerer::ExpectInputCancelled(const QString& promptPart) {
    return Add(DialogKind::Input, promptPart, mrCancel, QString());
}

ScriptedAnswerer& ScriptedAnswerer::ExpectOpenFile(const QString& fileName, const QString& captionPart) {
    return Add(DialogKind::OpenFile, captionPart, fileName.isEmpty() ? mrCancel : mrOk, fileName);
}

ScriptedAnswerer& ScriptedAnswerer::ExpectOpenFolder(const QString& folder, const QString& captionPart) {
    return Add(DialogKind::OpenFolder, captionPart, folder.isEmpty() ? mrCancel : mrOk, folder);
}

ScriptedAnswerer& ScriptedAnswerer::ExpectSaveFile(const QString& fileName, const QString& captionPart) {
    return Add(DialogKind::SaveFile, captionPart, fileName.isEmpty() ? mrCancel : mrOk, fileName);
}

void ScriptedAnswerer::Fail(const QString& message) {
    if (FOnFailure)
        FOnFailure(message);
    else
        qFatal("ScriptedAnswerer: %s", qUtf8Printable(message));
}

DialogAnswer ScriptedAnswerer::Answer(const DialogRequest& request) {
    FAsked.append(request);
    // A question nobody expected is answered as a cancelled dialog.
    DialogAnswer refused;
    refused.ModalResult = mrCancel;
    if (FNext >= FScript.size()) {
        Fail(QStringLiteral("unexpected question: %1").arg(DescribeRequest(request)));
        return refused;
    }
    const Step& step = FScript[FNext++];
    const bool byCaption = request.Kind == DialogKind::OpenFile || request.Kind == DialogKind::OpenFolder ||
                           request.Kind == DialogKind::SaveFile;
    const QString& matched = byCaption ? request.Caption : request.Text;
    if (step.Kind != request.Kind || !matched.contains(step.TextPart)) {
        Fail(QStringLiteral("expected %1 \"%2\", asked %3")
                 .arg(KindName(step.Kind), step.TextPart, DescribeRequest(request)));
        return refused;
    }
    if (request.Kind == DialogKind::Message) {
        bool offered = false;
        for (const TMsgDlgBtn button : request.Buttons.List())
            offered = offered || MsgDlgButtonResult(button) == step.Reply.ModalResult;
        if (!offered)
            Fail(QStringLiteral("modal result %1 is no button of %2")
                     .arg(step.Reply.ModalResult)
                     .arg(DescribeRequest(request)));
    }
    return step.Reply;
}
