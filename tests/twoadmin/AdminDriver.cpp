// One administrator of the two-administrator test: the real program (its start-up order, the main
// window and its dialogs) offscreen on the servers of the working folder, driven by commands read from
// standard input, one a line, fields separated by tabs. Each command is answered with one line of JSON
// on standard output: what the window shows afterwards and every message it put up on the way.
//
// Commands: select TABNUM | type COLUMN TEXT | post | cancel | insert | delete | refresh |
// program NAME | tick PROGRAM on|off | pick PROGRAM GROUP | groups.open PROGRAM | groups.add NAME |
// groups.delete NAME | groups.close save|cancel | register PATH ALIAS | unregister PROGRAM | state |
// quit
#include "ChekExename.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "DesktopEnvironment.h"
#include "DialogGateway.h"
#include "EdListGroup.h"
#include "LoginType.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "OracleData.h"
#include "ProgramAccess.h"
#include "StartUp.h"

#include "../support/FixedHost.h"
#include "../support/GridTyping.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <unistd.h>

namespace {

// Answers every question as an administrator who goes ahead would ("Да", "OK"), takes the typed
// answers queued by the commands, and keeps what was asked for the reply.
class TRecordingAnswerer : public IDialogAnswerer {
public:
    TRecordingAnswerer() { DialogGateway::Instance().SetAnswerer(this); }
    ~TRecordingAnswerer() override { DialogGateway::Instance().SetAnswerer(nullptr); }

    DialogAnswer Answer(const DialogRequest& request) override {
        QJsonObject asked;
        static const char* const kinds[] = {"message", "error", "input", "open", "folder", "save"};
        static const char* const types[] = {"warning", "error", "information", "confirmation", "custom"};
        asked[QStringLiteral("kind")] = QLatin1String(kinds[int(request.Kind)]);
        asked[QStringLiteral("type")] = QLatin1String(types[int(request.Type)]);
        asked[QStringLiteral("text")] = request.Text;
        if (!request.Details.isEmpty())
            asked[QStringLiteral("details")] = request.Details;
        Asked.append(asked);
        DialogAnswer answer;
        switch (request.Kind) {
        case DialogKind::Message:
            answer.ModalResult = request.Buttons.Contains(mbYes) ? mrYes : mrOk;
            break;
        case DialogKind::ErrorForm:
            answer.ModalResult = mrOk;
            break;
        case DialogKind::Input:
            if (Inputs.isEmpty()) {
                answer.ModalResult = mrCancel;
            } else {
                answer.ModalResult = mrOk;
                answer.Text = Inputs.takeFirst();
            }
            break;
        default:
            answer.ModalResult = mrCancel;
            break;
        }
        return answer;
    }

    QJsonArray Asked;
    QStringList Inputs;
};

class TDriver : public QObject {
public:
    TDriver() : FInput(0, QSocketNotifier::Read) {
        connect(&FInput, &QSocketNotifier::activated, this, [this] { ReadInput(); });
    }

    bool Start() {
        TDbModuleEnvironment env = DesktopDbModuleEnvironment();
        env.Host = std::make_shared<TFixedHost>(QStringLiteral("10.20.1.1"));
        TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
        FProgram.Create(env);
        if (!FProgram.Show())
            return false;
        Window()->DBGridEh1->setFocus();
        return true;
    }

    void Reply(const QString& error = {}) {
        QJsonObject reply;
        reply[QStringLiteral("ok")] = error.isEmpty();
        if (!error.isEmpty())
            reply[QStringLiteral("error")] = error;
        reply[QStringLiteral("dialogs")] = FAnswers.Asked;
        reply[QStringLiteral("state")] = State();
        FAnswers.Asked = QJsonArray();
        const QByteArray line = QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }

private:
    TKMF_Admin* Window() const { return FProgram.MainWindow(); }
    TOracleDataSet* Users() const { return Window()->UsersSet; }
    QListWidget* ProgramList() const { return Window()->clbProgrammName; }

    static TfmEditListGroup* GroupEditor() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* editor = qobject_cast<TfmEditListGroup*>(w); editor && editor->isVisible())
                return editor;
        return nullptr;
    }

    QJsonObject State() const {
        QJsonObject state;
        TOracleDataSet* users = Users();
        if (users && users->Active() && users->CurrentIndex() >= 0) {
            state[QStringLiteral("tabnum")] = users->FieldByName(QStringLiteral("TABNUM"))->AsInteger();
            state[QStringLiteral("allname")] = users->FieldByName(QStringLiteral("ALLNAME"))->AsString();
            state[QStringLiteral("rows")] = users->RecordCount();
        }
        static const char* const states[] = {"inactive", "browse", "edit", "insert"};
        if (users)
            state[QStringLiteral("dataset")] = QLatin1String(states[int(users->State())]);
        QJsonArray programs, checked;
        for (int i = 0; i < ProgramList()->count(); ++i) {
            const QListWidgetItem* item = ProgramList()->item(i);
            programs.append(item->text());
            if (item->checkState() == Qt::Checked)
                checked.append(item->text());
        }
        state[QStringLiteral("programs")] = programs;
        state[QStringLiteral("checked")] = checked;
        if (const QListWidgetItem* item = ProgramList()->currentItem())
            state[QStringLiteral("program")] = item->text();
        QJsonArray groups;
        for (QAbstractButton* button : Window()->Programs->RGButtons->buttons()) {
            groups.append(button->text());
            if (button->isChecked())
                state[QStringLiteral("group")] = button->text();
        }
        state[QStringLiteral("groups")] = groups;
        if (const TfmEditListGroup* editor = GroupEditor()) {
            QJsonArray list;
            for (int i = 0; i < editor->lbGroup->count(); ++i)
                list.append(editor->lbGroup->item(i)->text());
            state[QStringLiteral("editor")] = list;
        }
        if (fmAddProgramm && fmAddProgramm->isVisible())
            state[QStringLiteral("addProgramOpen")] = true;
        return state;
    }

    void ReadInput() {
        char buffer[4096];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0) {
            FInput.setEnabled(false);
            QCoreApplication::exit(0);
            return;
        }
        FPending.append(buffer, n);
        qsizetype end;
        while ((end = FPending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(FPending.left(end));
            FPending.remove(0, end + 1);
            Run(line.split(u'\t'));
        }
    }

    bool SelectProgram(const QString& name) {
        for (int i = 0; i < ProgramList()->count(); ++i)
            if (ProgramList()->item(i)->text() == name) {
                ProgramList()->setCurrentRow(i);
                return true;
            }
        return false;
    }

    void Click(TNavigateBtn button) {
        QTest::mouseClick(Window()->DBNavigator1->Button(button), Qt::LeftButton);
    }

    void Run(const QStringList& args) {
        const QString& command = args.value(0);
        if (command == QLatin1String("quit")) {
            FInput.setEnabled(false);
            QCoreApplication::exit(0);
            return;
        }
        if (command == QLatin1String("groups.open")) {
            // The editor runs its own modal loop: the reply goes out from inside it once it shows.
            if (!SelectProgram(args.value(1)))
                return Reply(QStringLiteral("no program ") + args.value(1));
            QTimer::singleShot(0, this, [this] {
                QTimer::singleShot(
                    0, this, [this] { Reply(GroupEditor() ? QString() : QStringLiteral("no editor")); });
                QTest::mouseClick(Window()->tbAddGroup, Qt::LeftButton);
            });
            return;
        }
        if (command == QLatin1String("groups.close")) {
            TfmEditListGroup* editor = GroupEditor();
            if (!editor)
                return Reply(QStringLiteral("no editor"));
            // The reply follows once the window's command has finished (the modal loop ended).
            QTimer::singleShot(0, this, [this] { Reply(); });
            QTest::mouseClick(args.value(1) == QLatin1String("save") ? editor->BitBtn1 : editor->BitBtn2,
                              Qt::LeftButton);
            return;
        }
        Reply(Execute(args));
    }

    // Runs a command that completes before it returns; an empty text when it could be given.
    QString Execute(const QStringList& args) {
        const QString& command = args.value(0);
        TOracleDataSet* users = Users();
        if (command == QLatin1String("state"))
            return {};
        if (command == QLatin1String("select")) {
            const int tabNum = args.value(1).toInt();
            for (int i = 0; i < users->RecordCount(); ++i)
                if (users->RecordValue(i, 0).toInt() == tabNum) {
                    Window()->DBGridEh1->setCurrentIndex(Window()->DBGridEh1->model()->index(i, 0));
                    return {};
                }
            return QStringLiteral("no user %1").arg(tabNum);
        }
        if (command == QLatin1String("type")) {
            TDBGridEh* grid = Window()->DBGridEh1;
            if (!TypeIntoGridCell(grid, grid->currentIndex().row(), args.value(1).toInt(), args.value(2)))
                return QStringLiteral("the cell took no typing");
            return {};
        }
        if (command == QLatin1String("post"))
            Click(nbPost);
        else if (command == QLatin1String("cancel"))
            Click(nbCancel);
        else if (command == QLatin1String("insert"))
            Click(nbInsert);
        else if (command == QLatin1String("delete"))
            Click(nbDelete);
        else if (command == QLatin1String("refresh"))
            Click(nbRefresh);
        else if (command == QLatin1String("tick")) {
            if (!SelectProgram(args.value(1)))
                return QStringLiteral("no program ") + args.value(1);
            ProgramList()->currentItem()->setCheckState(args.value(2) == QLatin1String("on") ? Qt::Checked
                                                                                             : Qt::Unchecked);
        } else if (command == QLatin1String("program")) {
            if (!SelectProgram(args.value(1)))
                return QStringLiteral("no program ") + args.value(1);
        } else if (command == QLatin1String("pick")) {
            if (!SelectProgram(args.value(1)))
                return QStringLiteral("no program ") + args.value(1);
            for (QAbstractButton* button : Window()->Programs->RGButtons->buttons())
                if (button->text() == args.value(2)) {
                    // The button's own click: buttons made for the program just shown may not have
                    // their place on the offscreen screen yet.
                    if (!button->isEnabled())
                        return QStringLiteral("the group is disabled");
                    button->click();
                    return {};
                }
            return QStringLiteral("no group ") + args.value(2);
        } else if (command == QLatin1String("groups.add") || command == QLatin1String("groups.delete")) {
            TfmEditListGroup* editor = GroupEditor();
            if (!editor)
                return QStringLiteral("no editor");
            if (command == QLatin1String("groups.add")) {
                FAnswers.Inputs << args.value(1);
                QTest::mouseClick(editor->tbAddGroup, Qt::LeftButton);
            } else {
                const QList<QListWidgetItem*> found =
                    editor->lbGroup->findItems(args.value(1), Qt::MatchExactly);
                if (found.isEmpty())
                    return QStringLiteral("no group ") + args.value(1);
                editor->lbGroup->setCurrentItem(found.first());
                QTest::mouseClick(editor->tbDeleteGroup, Qt::LeftButton);
            }
        } else if (command == QLatin1String("register")) {
            QTest::mouseClick(Window()->tbAddProgramm, Qt::LeftButton);
            if (!fmAddProgramm->isVisible())
                return QStringLiteral("the add-program dialog did not open");
            fmAddProgramm->edNameExe->setText(args.value(1));
            fmAddProgramm->edPrAlias->setText(args.value(2));
            QTest::mouseClick(fmAddProgramm->BitBtn1, Qt::LeftButton);
            if (!QTest::qWaitFor([] { return !fmAddProgramm->Storing(); }, 60000))
                return QStringLiteral("the store did not end");
            QCoreApplication::processEvents();
            if (fmAddProgramm->isVisible()) {
                // Stayed open after a refusal: the reply says so, and the administrator gives up.
                QJsonObject open;
                open[QStringLiteral("kind")] = QStringLiteral("stayed open");
                FAnswers.Asked.append(open);
                QTest::mouseClick(fmAddProgramm->BitBtn2, Qt::LeftButton);
            }
        } else if (command == QLatin1String("unregister")) {
            if (!SelectProgram(args.value(1)))
                return QStringLiteral("no program ") + args.value(1);
            QTest::mouseClick(Window()->tbDeleteProgramm, Qt::LeftButton);
        } else {
            return QStringLiteral("unknown command ") + command;
        }
        QCoreApplication::processEvents();
        return {};
    }

    QSocketNotifier FInput;
    QByteArray FPending;
    // Before the program: the program's end may still ask something.
    TRecordingAnswerer FAnswers;
    TAdminStartUp FProgram;
};

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Admin_KMR"));
    int result = 1;
    {
        TDriver driver;
        if (driver.Start()) {
            driver.Reply();
            result = QApplication::exec();
        } else {
            driver.Reply(QStringLiteral("the window did not open"));
        }
    }
    return result;
}
