// A strict stand-in for the person in front of the dialogs, for tests. It installs itself in the
// dialog gateway for its lifetime and answers the questions in the order they were scripted; a
// question that was not expected next, or an answer never asked for by the end, is a failure,
// reported through the failure handler (a test passes one that fails the test; without one the
// process stops with the message).
#pragma once

#include "DialogGateway.h"

#include <QList>
#include <functional>

class ScriptedAnswerer : public IDialogAnswerer {
public:
    using FailureHandler = std::function<void(const QString& message)>;

    explicit ScriptedAnswerer(FailureHandler onFailure = {});
    ~ScriptedAnswerer() override;
    ScriptedAnswerer(const ScriptedAnswerer&) = delete;
    ScriptedAnswerer& operator=(const ScriptedAnswerer&) = delete;

    // Each expectation may require a piece of the question's text; an empty piece matches any text.
    // A message box answered with a button it does not offer is a failure as well.
    ScriptedAnswerer& ExpectMessage(int modalResult, const QString& textPart = {});
    ScriptedAnswerer& ExpectError(const QString& textPart = {});
    ScriptedAnswerer& ExpectInput(const QString& value, const QString& promptPart = {});
    ScriptedAnswerer& ExpectInputCancelled(const QString& promptPart = {});
    // An empty file name answers as a cancelled dialog.
    ScriptedAnswerer& ExpectOpenFile(const QString& fileName, const QString& captionPart = {});
    // An empty folder answers as a cancelled dialog.
    ScriptedAnswerer& ExpectOpenFolder(const QString& folder, const QString& captionPart = {});
    ScriptedAnswerer& ExpectSaveFile(const QString& fileName, const QString& captionPart = {});

    // Every question asked, answered or not, in order.
    const QList<DialogRequest>& Asked() const { return FAsked; }
    // Scripted answers not yet used.
    int Pending() const { return static_cast<int>(FScript.size() - FNext); }
    // Reports the answers not yet used now (the destructor does it otherwise) and drops them.
    void Verify();

    DialogAnswer Answer(const DialogRequest& request) override;

private:
    struct Step {
        DialogKind Kind;
        QString TextPart;
        DialogAnswer Reply;
    };
    ScriptedAnswerer& Add(DialogKind kind, const QString& textPart, int modalResult, const QString& text);
    void Fail(const QString& message);

    FailureHandler FOnFailure;
    IDialogAnswerer* FPrevious;
    QList<Step> FScript;
    qsizetype FNext = 0;
    QList<DialogRequest> FAsked;
};

// How a question reads in a failure message: "Message [Ошибка] "text"".
QString DescribeRequest(const DialogRequest& request);
