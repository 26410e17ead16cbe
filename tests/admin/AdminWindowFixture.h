// The administration window against the demo servers, signed in on a workstation with a fixed
// address, with the strict scripted answerer; shared by the window's test files.
#pragma once

#include "../support/FixedHost.h"
#include "../support/NamedServers.h"
#include "../support/QtTestApplication.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "ErrorOra.h"
#include "Login.h"
#include "LoginType.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ScriptedAnswerer.h"
#include "Settings.h"
#include "Termination.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

[[maybe_unused]] inline ::testing::Environment* const AdminApplication =
    RegisterQtTestApplication("admin_test", "Admin_KMR");

inline const QString Main = QString::fromLatin1(TServerPair::MainServer);
inline const QString Reserve = QString::fromLatin1(TServerPair::ReserveServer);

class AdminWindow : public ::testing::Test {
protected:
    void Start(bool twoServers, const QString& signIn = QStringLiteral("admin/kmr2026")) {
        FServers = std::make_unique<TNamedServers>(twoServers);
        StartModule(signIn);
    }
    void StartModule(const QString& signIn) {
        ResetTerminationRequest();
        UserProfile.Clear();
        TempFileName.clear();
        TDbModuleEnvironment env;
        env.Host = std::make_shared<TFixedHost>(QStringLiteral("10.20.1.1"));
        env.ShowError = [](const QString& text, const QString& details) { ShowError(text, details); };
        env.RequestTermination = [] { RequestTermination(); };
        new TFOracleBase(nullptr, env);
        TLoginForm::SetDefaultParameters({signIn});
        Window = std::make_unique<TKMF_Admin>();
        if (Window->UsersSet)
            Window->show();
    }
    void Stop() {
        Window.reset();
        delete FOracleBase;
    }
    void TearDown() override {
        Stop();
        FServers.reset();
        TLoginForm::SetDefaultParameters({});
        ResetTerminationRequest();
        QCoreApplication::removePostedEvents(qApp);
    }

    TOracleDataSet* Users() const { return Window->UsersSet; }
    QToolButton* Nav(TNavigateBtn b) const { return Window->DBNavigator1->Button(b); }
    // Makes the row of the user with that number current, the way a click on the grid does.
    void SelectUser(int tabNum) {
        TOracleDataSet* ds = Users();
        for (int i = 0; i < ds->RecordCount(); ++i) {
            if (ds->RecordValue(i, 0).toInt() == tabNum) {
                Window->DBGridEh1->setCurrentIndex(Window->DBGridEh1->model()->index(i, 0));
                ASSERT_EQ(ds->FieldByName(QStringLiteral("TABNUM"))->AsInteger(), tabNum);
                return;
            }
        }
        FAIL() << "no user " << tabNum;
    }
    // Types into the grid cell of the current row, as a person does: a key opens the editor.
    void TypeIntoCell(int column, const QString& text) {
        TDBGridEh* grid = Window->DBGridEh1;
        const QModelIndex index = grid->model()->index(grid->currentIndex().row(), column);
        grid->setCurrentIndex(index);
        grid->edit(index);
        QWidget* editor = grid->indexWidget(index) ? grid->indexWidget(index) : QApplication::focusWidget();
        ASSERT_NE(editor, nullptr);
        TypeText(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    // Key presses carrying the characters (QTest's own typing knows only ASCII).
    static void TypeText(QWidget* widget, const QString& text) {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    // Program entries ticked in the window, and programs granted to a user on the main server.
    int CheckedCount() const {
        QListWidget* list = Window->clbProgrammName;
        int n = 0;
        for (int i = 0; i < list->count(); ++i)
            n += list->item(i)->checkState() == Qt::Checked ? 1 : 0;
        return n;
    }
    int GrantedCount(int tabNum) const {
        return FServers
            ->Scalar(Main, QStringLiteral("SELECT COUNT(DISTINCT F.ID_PROGRAMM) FROM KMR_PROG_FOR_USER F, "
                                          "KMR_PROGRAMMEXE P WHERE F.ID_PROGRAMM = P.ID_PROGRAMMEXE "
                                          "AND F.TABNUM = %1")
                               .arg(tabNum))
            .toInt();
    }
    // Marks a server unreachable (true) or reachable again (false).
    void SetDown(const QString& server, bool down) const {
        QFile marker(FServers->DbFile(server) + QStringLiteral(".down"));
        if (down) {
            ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
            marker.close();
        } else {
            marker.remove();
        }
    }
    // Runs the auto-connect check (the watchers work in the background) until condition holds.
    static bool TickUntil(const std::function<bool()>& condition) {
        for (int i = 0; i < 200 && !condition(); ++i) {
            FOracleBase->CheckServers();
            QTest::qWait(25);
        }
        return condition();
    }
    int Count(const QString& server, const QString& where) const {
        return FServers->Scalar(server, QStringLiteral("SELECT COUNT(*) FROM USER_PSW WHERE ") + where)
            .toInt();
    }

    ScriptedAnswerer Answerer{[](const QString& m) { ADD_FAILURE() << m.toStdString(); }};
    std::unique_ptr<TNamedServers> FServers;
    std::unique_ptr<TKMF_Admin> Window;
};
