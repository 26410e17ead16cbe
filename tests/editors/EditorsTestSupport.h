// What the editor tests share: the demo servers in the three modes, the strict answerer, and a way
// to work inside a modal window the way a person does while the code under test waits for it.
#pragma once

#include "DemoServers.h"

#include "OracleBase.h"
#include "ScriptedAnswerer.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class EditorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Servers = std::make_unique<TDemoServers>();
        ASSERT_TRUE(Servers->Error().isEmpty()) << Servers->Error().toStdString();
        Answers =
            std::make_unique<ScriptedAnswerer>([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    }
    void TearDown() override {
        Answers.reset();
        Servers.reset();
    }

    void EditMode() { Servers->Start(1, {0, 0, 0}); }
    void Mirrored() {
        Servers->Start(2, {0, 1, 0}, TSrvRow{1, 0, 0});
        ASSERT_TRUE(MirrorWrites.load());
    }
    // Two servers, edit mode, nothing repeated on the reserve server.
    void NotMirrored() {
        Servers->Start(2, {0, 2, 0}, TSrvRow{1, 0, 0});
        ASSERT_TRUE(CanWrite.load());
        ASSERT_FALSE(MirrorWrites.load());
    }
    void ViewMode() {
        TFOracleBase& module = Servers->Start(1, {0, 0, 2});
        ASSERT_TRUE(module.MainOk.load());
        ASSERT_FALSE(CanWrite.load());
    }

    // The main server stops answering (and comes back).
    void MainDown() { ASSERT_TRUE(Servers->Down(Servers->MainDb())); }
    void MainUp() { Servers->Up(Servers->MainDb()); }

    int Executes(const QString& text) const {
        return Servers->TraceCount(QStringLiteral("OCIStmtExecute"), text);
    }

    // Runs inside the modal window of type W as soon as it is shown; the test fails when none came.
    template <typename W> void WhenShown(std::function<void(W&)> action) {
        QTimer::singleShot(0, [action] {
            auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!window) {
                ADD_FAILURE() << "no modal window";
                return;
            }
            action(*window);
        });
    }

    std::unique_ptr<TDemoServers> Servers;
    std::unique_ptr<ScriptedAnswerer> Answers;
};

// An answerer that runs code of the test while a dialog is asked (a mode change at that moment).
class TFunctionAnswerer : public IDialogAnswerer {
public:
    explicit TFunctionAnswerer(std::function<DialogAnswer(const DialogRequest&)> answer)
        : FAnswer(std::move(answer)), FPrevious(DialogGateway::Instance().SetAnswerer(this)) {}
    ~TFunctionAnswerer() override { DialogGateway::Instance().SetAnswerer(FPrevious); }
    DialogAnswer Answer(const DialogRequest& request) override { return FAnswer(request); }

private:
    std::function<DialogAnswer(const DialogRequest&)> FAnswer;
    IDialogAnswerer* FPrevious;
};
