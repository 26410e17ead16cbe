// The stored-programs window, the add-program dialog and the administration window's program
// commands, driven as a person drives them against the demo servers: the folder beside the stored
// copies with the right ticks, transfers with progress, cancel and summary, a window that keeps
// running during a large transfer over a slow link, view mode, refusals, and the header's columns.
#include "StorageFixture.h"

#include "ChekExename.h"
#include "InfoFromDat.h"
#include "Login.h"
#include "LoginType.h"
#include "Main.h"
#include "PieGauge.h"
#include "ProgramAccess.h"
#include "Settings.h"
#include "Termination.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <unistd.h>

namespace {

const QDateTime DefectsStored(QDate(2026, 3, 14), QTime(10, 22, 41));
const QDateTime OtklStored(QDate(2026, 6, 2), QTime(16, 5, 12));
const QDateTime ZayavkiStored(QDate(2026, 9, 21), QTime(9, 48, 30));

class StoredProgramsWindow : public StorageTest {
protected:
    void TearDown() override {
        Window.reset();
        qunsetenv("OCISQLITE_LATENCY_MS");
        StorageTest::TearDown();
    }

    // The folder of the screenshot: one program newer than its stored copy, one not stored, one
    // current; the demo's third program is stored only.
    QString DemoFolder() {
        MakeFile(QStringLiteral("disp/DEFECTS.EXE"), "defects v2", DefectsStored.addDays(18));
        MakeFile(QStringLiteral("disp/NEWPROG.EXE"), "new program",
                 QDateTime(QDate(2026, 10, 1), QTime(7, 30, 0)));
        MakeFile(QStringLiteral("disp/OTKL.EXE"), "otkl", OtklStored);
        return Files.filePath(QStringLiteral("disp"));
    }
    void Open(const QString& folder) {
        Window = std::make_unique<TFInfoFromDat>();
        Window->ShowFor(nullptr);
        Answers->ExpectOpenFolder(folder, QStringLiteral("Папка с программами"));
        QTest::mouseClick(Window->bbFolder, Qt::LeftButton);
        ASSERT_EQ(Window->Folder(), QDir::toNativeSeparators(folder));
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < Window->clb->count(); ++i) {
            const QListWidgetItem* item = Window->clb->item(i);
            rows << QStringLiteral("%1 %2").arg(item->checkState() == Qt::Checked ? "[x]" : "[ ]",
                                                item->text().section(u';', 1, 1));
        }
        return rows;
    }
    void Tick(int row, bool ticked) {
        Window->clb->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    bool WaitForTransfer() {
        return QTest::qWaitFor([this] { return !Window->Transferring(); }, 120000);
    }

    std::unique_ptr<TFInfoFromDat> Window;
};

TEST_F(StoredProgramsWindow, ShowsTheFolderBesideTheStoredCopiesWithTheRightTicks) {
    EditMode();
    const QString folder = DemoFolder();
    Open(folder);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Сохранение рабочих программ на сервере баз данных."));
    EXPECT_EQ(Rows(), (QStringList{"[x] DEFECTS.EXE", "[x] NEWPROG.EXE", "[ ] OTKL.EXE", "[ ] ZAYAVKI.EXE"}));
    const QString sep = QDir::separator();
    EXPECT_EQ(Window->clb->item(0)->text(), QDir::toNativeSeparators(folder) + sep +
                                                QStringLiteral("DEFECTS.EXE;DEFECTS.EXE;Дефекты;01.04.2026 "
                                                               "10:22:41;14.03.2026 10:22:41;"));
    EXPECT_TRUE(Window->bbSave->isEnabled());
    EXPECT_FALSE(Window->g1->isVisible());
    // Every control can be found by name.
    for (QWidget* control :
         std::initializer_list<QWidget*>{Window->bbFolder, Window->clb, Window->bbSave, Window->bbWrite,
                                         Window->bbCancel, Window->BitBtn4, Window->Image1, Window->g1})
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    // "Выход" closes with OK.
    QSignalSpy finished(Window.get(), &QDialog::finished);
    QTest::mouseClick(Window->BitBtn4, Qt::LeftButton);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0][0].toInt(), 1);
}

TEST_F(StoredProgramsWindow, StoringTheTickedProgramsShowsProgressAndThenTheNewServerTimes) {
    EditMode();
    Open(DemoFolder());
    QTest::mouseClick(Window->bbSave, Qt::LeftButton);
    EXPECT_TRUE(Window->g1->isVisible());
    EXPECT_TRUE(Window->bbCancel->isVisible());
    EXPECT_FALSE(Window->bbSave->isEnabled());
    EXPECT_EQ(Window->g1->MaxValue(), 5); // entries + 1
    ASSERT_TRUE(WaitForTransfer());

    EXPECT_FALSE(Window->g1->isVisible());
    EXPECT_FALSE(Window->bbCancel->isVisible());
    EXPECT_EQ(Window->Summary(), QStringLiteral("Сохранено на сервере: 2, не удалось: 0."));
    EXPECT_EQ(Window->lbState->text(), Window->Summary());
    EXPECT_EQ(Rows(), (QStringList{"[ ] DEFECTS.EXE", "[ ] NEWPROG.EXE", "[ ] OTKL.EXE", "[ ] ZAYAVKI.EXE"}));
    EXPECT_EQ(Window->Entries()[0].ServerTime, DefectsStored.addDays(18));
    EXPECT_EQ(Stored(QStringLiteral("DEFECTS.EXE"))->Code, QByteArray("defects v2"));
    EXPECT_EQ(Stored(QStringLiteral("NEWPROG.EXE"))->Alias, QStringLiteral("NEWPROG"));
    // The current one was not sent.
    EXPECT_TRUE(Stored(QStringLiteral("OTKL.EXE"))->CodeNull);
}

TEST_F(StoredProgramsWindow, FetchingWritesTheTickedStoredCopiesWithTheirTimes) {
    EditMode();
    Open(DemoFolder());
    Tick(0, false);
    Tick(1, false);
    Tick(3, true);
    QTest::mouseClick(Window->bbWrite, Qt::LeftButton);
    ASSERT_TRUE(WaitForTransfer());
    EXPECT_EQ(Window->Summary(), QStringLiteral("Забрано с сервера: 1, не удалось: 0."));
    const QString fetched = Files.filePath(QStringLiteral("disp/ZAYAVKI.EXE"));
    ASSERT_TRUE(QFileInfo::exists(fetched));
    EXPECT_EQ(QFileInfo(fetched).lastModified(), ZayavkiStored);
    EXPECT_EQ(Rows().last(), QStringLiteral("[ ] ZAYAVKI.EXE"));
    EXPECT_EQ(Window->Entries().back().LocalTime, ZayavkiStored);
}

TEST_F(StoredProgramsWindow, CancelStopsBetweenFiles) {
    EditMode();
    for (const char* name : {"a.exe", "b.exe", "c.exe"})
        MakeFile(QStringLiteral("three/") + QLatin1String(name), name);
    Open(Files.filePath(QStringLiteral("three")));
    // Every entry of the folder is new; the demo's stored copies are not ticked.
    ASSERT_EQ(Rows().mid(0, 3), (QStringList{"[x] a.exe", "[x] b.exe", "[x] c.exe"}));
    qputenv("OCISQLITE_LATENCY_MS", "20");
    QTest::mouseClick(Window->bbSave, Qt::LeftButton);
    QTest::mouseClick(Window->bbCancel, Qt::LeftButton);
    EXPECT_FALSE(Window->bbCancel->isEnabled());
    // Closing the window waits for the file under way as well.
    Window->close();
    EXPECT_TRUE(Window->isVisible());
    ASSERT_TRUE(WaitForTransfer());
    qunsetenv("OCISQLITE_LATENCY_MS");
    EXPECT_EQ(Window->Summary(),
              QStringLiteral("Сохранено на сервере: 1, не удалось: 0. Прервано, не передано: 2."));
    EXPECT_TRUE(Stored(QStringLiteral("A.EXE")));
    EXPECT_FALSE(Stored(QStringLiteral("B.EXE")));
    EXPECT_FALSE(Stored(QStringLiteral("C.EXE")));
}

TEST_F(StoredProgramsWindow, KeepsRunningWhileALargeFileTravelsOverASlowLink) {
    EditMode();
    const QByteArray bytes = Pattern(50 * 1024 * 1024, 5);
    MakeFile(QStringLiteral("big/HUGE.EXE"), bytes);
    Open(Files.filePath(QStringLiteral("big")));
    qputenv("OCISQLITE_LATENCY_MS", "50");
    // The auto-connect tick runs meanwhile; it goes by its last evaluation instead of waiting for
    // the main session the transfer holds.
    FOracleBase->TimerAutoConnect->start(100);
    int srvReadsWhileTransferring = 0;
    int ticksSeen = 0;
    int lastSrvReads = -1;
    QObject::connect(FOracleBase->TimerAutoConnect, &QTimer::timeout, [&] {
        // Runs right after the module's own tick: did that tick ask the main server?
        if (!Window->Transferring())
            return;
        ++ticksSeen;
        const int reads = Servers->TraceCount(QStringLiteral("OCIStmtExecute"),
                                              QStringLiteral("SELECT MAIN,SECOND,RO FROM SRV"));
        if (lastSrvReads >= 0 && reads != lastSrvReads)
            ++srvReadsWhileTransferring;
        lastSrvReads = reads;
    });
    int ticksWhileTransferring = 0;
    int paints = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (Window->Transferring()) {
            ++ticksWhileTransferring;
            // The window can be painted at any moment of the transfer.
            if (!Window->grab().isNull())
                ++paints;
        }
    });
    timer.start(10);
    QTest::mouseClick(Window->bbSave, Qt::LeftButton);
    ASSERT_TRUE(WaitForTransfer());
    timer.stop();
    qunsetenv("OCISQLITE_LATENCY_MS");
    EXPECT_GT(ticksWhileTransferring, 0);
    EXPECT_GT(ticksSeen, 1);
    EXPECT_EQ(srvReadsWhileTransferring, 0);
    EXPECT_EQ(FOracleBase->BackgroundCalls.load(), 0);
    EXPECT_EQ(paints, ticksWhileTransferring);
    EXPECT_EQ(Window->Summary(), QStringLiteral("Сохранено на сервере: 1, не удалось: 0."));
    EXPECT_TRUE(Stored(QStringLiteral("HUGE.EXE"))->Code == bytes);
}

TEST_F(StoredProgramsWindow, ViewModeStoresNothingAndSaysSoButFetches) {
    ViewMode();
    Open(DemoFolder());
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
    QTest::mouseClick(Window->bbSave, Qt::LeftButton);
    EXPECT_FALSE(Window->Transferring());
    EXPECT_FALSE(Stored(QStringLiteral("NEWPROG.EXE")));
    Tick(0, false);
    Tick(1, false);
    Tick(3, true);
    QTest::mouseClick(Window->bbWrite, Qt::LeftButton);
    ASSERT_TRUE(WaitForTransfer());
    EXPECT_EQ(Window->Summary(), QStringLiteral("Забрано с сервера: 1, не удалось: 0."));
}

TEST_F(StoredProgramsWindow, ARefusedFileIsShownAndCountedAndTheOthersGoOn) {
    EditMode();
    // Its title, the file's base name, is longer than the column takes.
    const QString longName = QString(110, QChar(u'Ж')) + QStringLiteral(".exe");
    MakeFile(QStringLiteral("mixed/") + longName, "l");
    MakeFile(QStringLiteral("mixed/fine.exe"), "f");
    Open(Files.filePath(QStringLiteral("mixed")));
    Answers->ExpectError(QStringLiteral("' не сохранена!"));
    QTest::mouseClick(Window->bbSave, Qt::LeftButton);
    ASSERT_TRUE(WaitForTransfer());
    EXPECT_EQ(Window->Summary(), QStringLiteral("Сохранено на сервере: 1, не удалось: 1."));
    EXPECT_TRUE(Stored(QStringLiteral("FINE.EXE")));
    EXPECT_TRUE(Answers->Asked().last().Details.contains(QStringLiteral("ORA-12899")))
        << Answers->Asked().last().Details.toStdString();
}

TEST_F(StoredProgramsWindow, HeaderTitlesLineUpAndTheirSeparatorsCanBeDragged) {
    EditMode();
    Open(DemoFolder());
    EXPECT_EQ(TFInfoFromDat::HeaderTitles()[0], QStringLiteral(" Имя файла"));
    EXPECT_EQ(TFInfoFromDat::HeaderTitles()[3], QStringLiteral(" Время сервера"));
    const auto widths = Window->ColumnWidths();
    const int x = Window->SeparatorX(0);
    EXPECT_EQ(x, Window->FieldStart() + widths[0] - 4);
    QTest::mouseMove(Window->Image1, QPoint(x + 20, 5));
    EXPECT_EQ(Window->Image1->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(Window->Image1, QPoint(x, 5));
    EXPECT_EQ(Window->Image1->cursor().shape(), Qt::SplitHCursor);
    QTest::mousePress(Window->Image1, Qt::LeftButton, {}, QPoint(x, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(x + 40, 5), Window->Image1->mapToGlobal(QPointF(x + 40, 5)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window->Image1, &move);
    QTest::mouseRelease(Window->Image1, Qt::LeftButton, {}, QPoint(x + 40, 5));
    EXPECT_EQ(Window->ColumnWidths()[0], widths[0] + 40);
    EXPECT_EQ(Window->ColumnWidths()[1], widths[1]);
    // The entries follow the header.
    EXPECT_EQ(Window->SeparatorX(1), Window->FieldStart() + widths[0] + 40 + widths[1] - 4);
}

// ---------------------------------------------------------------------------------------------

class AddProgramDialog : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Info = std::make_unique<TFInfoFromDat>();
        Dialog = std::make_unique<TfmAddProgramm>();
        Dialog->ProgramList = &List;
    }
    void TearDown() override {
        Dialog.reset();
        Info.reset();
        StorageTest::TearDown();
    }
    void Show() {
        Dialog->ShowModalFor(nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Dialog.get()));
    }
    void Enter() { QTest::keyClick(Dialog->edPrAlias, Qt::Key_Return); }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

    QListWidget List;
    std::unique_ptr<TFInfoFromDat> Info;
    std::unique_ptr<TfmAddProgramm> Dialog;
};

TEST_F(AddProgramDialog, WrongPathsKeepTheDialogOpenAndEscCancelsWithTwo) {
    EditMode();
    Show();
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Добавить программу"));
    EXPECT_EQ(Dialog->size(), QSize(324, 162));
    Answers->ExpectMessage(mrOk, QStringLiteral("Неправильно указано имя программы!"));
    Enter();
    Type(Dialog->edNameExe, Files.path());
    Answers->ExpectMessage(mrOk, QStringLiteral("Неправильно указано имя программы!"));
    Enter();
    Type(Dialog->edNameExe, QStringLiteral("/missing.exe"));
    Answers->ExpectMessage(mrOk, QStringLiteral("Неправильно указано имя программы!"));
    Enter();
    // A file the system will not read.
    Dialog->edNameExe->setText(QStringLiteral("/proc/self/mem"));
    Answers->ExpectMessage(mrOk, QStringLiteral("Не удалось прочитать файл"));
    Enter();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Dialog->Storing(); }, 30000));
    EXPECT_TRUE(Dialog->isVisible());

    QSignalSpy finished(Dialog.get(), &QDialog::finished);
    QTest::keyClick(Dialog->edNameExe, Qt::Key_Escape);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0][0].toInt(), 2);
    EXPECT_EQ(List.count(), 0);
}

TEST_F(AddProgramDialog, APickedFileIsStoredInTheBackgroundAndTheListRefilled) {
    EditMode();
    const QString path = MakeFile(QStringLiteral("pick/dispatch.exe"), "dispatch");
    Show();
    Answers->ExpectOpenFile(path, QStringLiteral("Выбор программы"));
    QTest::mouseClick(Dialog->sbCheckExeFile, Qt::LeftButton);
    EXPECT_EQ(Dialog->edNameExe->text(), QDir::toNativeSeparators(path));
    EXPECT_EQ(Answers->Asked().last().Filter, QStringLiteral("Исполняемые модули (*.exe);;Все файлы (*)"));
    Type(Dialog->edPrAlias, QStringLiteral("Диспетчер"));
    QSignalSpy finished(Dialog.get(), &QDialog::finished);
    Enter();
    EXPECT_TRUE(Dialog->Storing());
    EXPECT_FALSE(Dialog->BitBtn1->isEnabled());
    ASSERT_TRUE(finished.wait(30000) || finished.size() == 1);
    EXPECT_EQ(finished[0][0].toInt(), 1);
    const auto row = Stored(QStringLiteral("DISPATCH.EXE"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Alias, QStringLiteral("Диспетчер"));
    ASSERT_EQ(List.count(), 4);
    EXPECT_EQ(List.item(3)->text(), QStringLiteral("Диспетчер"));
    EXPECT_EQ(List.item(3)->data(Qt::UserRole).toInt(), row->Id);

    // Shown again, it starts empty.
    Show();
    EXPECT_TRUE(Dialog->edNameExe->text().isEmpty());
    EXPECT_TRUE(Dialog->edPrAlias->text().isEmpty());
}

TEST_F(AddProgramDialog, ViewModeDoesNotCloseAsIfTheProgramWereStored) {
    ViewMode();
    Show();
    Dialog->edNameExe->setText(MakeFile(QStringLiteral("view.exe"), "v"));
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
    Enter();
    EXPECT_TRUE(Dialog->isVisible());
    EXPECT_FALSE(Dialog->Storing());
    EXPECT_FALSE(Stored(QStringLiteral("VIEW.EXE")));
}

// ---------------------------------------------------------------------------------------------

class AdministrationWindowPrograms : public StorageTest {
protected:
    void OpenWindow(bool edit = true) {
        if (edit)
            EditMode();
        else
            ViewMode();
        ResetTerminationRequest();
        UserProfile.Clear();
        TempFileName.clear();
        TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
        Info = std::make_unique<TFInfoFromDat>();
        Dialog = std::make_unique<TfmAddProgramm>();
        Window = std::make_unique<TKMF_Admin>();
        ASSERT_NE(Window->UsersSet, nullptr);
        Window->show();
    }
    void TearDown() override {
        Window.reset();
        Dialog.reset();
        Info.reset();
        TLoginForm::SetDefaultParameters({});
        ResetTerminationRequest();
        StorageTest::TearDown();
    }
    QStringList Programs() const {
        QStringList names;
        for (int i = 0; i < Window->clbProgrammName->count(); ++i)
            names << Window->clbProgrammName->item(i)->text();
        return names;
    }
    void SelectProgram(const QString& name) {
        for (int i = 0; i < Window->clbProgrammName->count(); ++i)
            if (Window->clbProgrammName->item(i)->text() == name)
                Window->clbProgrammName->setCurrentRow(i);
    }

    std::unique_ptr<TFInfoFromDat> Info;
    std::unique_ptr<TfmAddProgramm> Dialog;
    std::unique_ptr<TKMF_Admin> Window;
};

TEST_F(AdministrationWindowPrograms, ProgramCommandsCarryTheirHintsAndOpenTheirWindows) {
    OpenWindow();
    EXPECT_EQ(Window->tbAddProgramm->toolTip(), QStringLiteral("Добавить программу"));
    EXPECT_EQ(Window->tbAddProgramm->accessibleName(), QStringLiteral("Добавить программу"));
    EXPECT_EQ(Window->tbDeleteProgramm->toolTip(), QStringLiteral("Удалить программу"));
    EXPECT_EQ(Window->tbDeleteProgramm->accessibleName(), QStringLiteral("Удалить программу"));
    ASSERT_NE(Window->tbStoredPrograms, nullptr);
    EXPECT_EQ(Window->tbStoredPrograms->toolTip(), QStringLiteral("Программы на сервере"));
    EXPECT_EQ(Window->tbStoredPrograms->accessibleName(), QStringLiteral("Программы на сервере"));
    QTest::mouseClick(Window->tbStoredPrograms, Qt::LeftButton);
    EXPECT_TRUE(Info->isVisible());
    EXPECT_EQ(Info->clb->count(), 3); // no folder yet: the stored copies
    // A program stored there for the first time shows up in the list once the window closes.
    Answers->ExpectOpenFolder(Files.path());
    MakeFile(QStringLiteral("fresh.exe"), "f");
    QTest::mouseClick(Info->bbFolder, Qt::LeftButton);
    QTest::mouseClick(Info->bbSave, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Info->Transferring(); }, 30000));
    QTest::mouseClick(Info->BitBtn4, Qt::LeftButton);
    EXPECT_EQ(Programs(), (QStringList{"Дефекты", "Отключения", "Заявки", "fresh"}));
    QTest::mouseClick(Window->tbAddProgramm, Qt::LeftButton);
    EXPECT_TRUE(Dialog->isVisible());
    EXPECT_TRUE(Dialog->isModal());
}

TEST_F(AdministrationWindowPrograms, DeleteAsksAndRemovesTheProgramWithItsGrants) {
    OpenWindow();
    SelectProgram(QStringLiteral("Отключения"));
    Answers->ExpectMessage(mrNo);
    QTest::mouseClick(Window->tbDeleteProgramm, Qt::LeftButton);
    ASSERT_EQ(Answers->Asked().size(), 1);
    EXPECT_EQ(Answers->Asked()[0].Text, QStringLiteral("Вы хотите удалить программу  \"Отключения\" ?"));
    EXPECT_EQ(Answers->Asked()[0].Type, mtConfirmation);
    EXPECT_EQ(Programs(), (QStringList{"Дефекты", "Отключения", "Заявки"}));

    Answers->ExpectMessage(mrYes, QStringLiteral("\"Отключения\""));
    QTest::mouseClick(Window->tbDeleteProgramm, Qt::LeftButton);
    EXPECT_EQ(Programs(), (QStringList{"Дефекты", "Заявки"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE ID_PROGRAMM = 2")), 0);
}

TEST_F(AdministrationWindowPrograms, RemovingTheHighestAndRegisteringAnotherShowsNoInheritedGroups) {
    OpenWindow();
    SelectProgram(QStringLiteral("Заявки"));
    ASSERT_FALSE(Window->Programs->RGButtons->buttons().isEmpty());
    Answers->ExpectMessage(mrYes);
    QTest::mouseClick(Window->tbDeleteProgramm, Qt::LeftButton);
    ASSERT_EQ(Programs(), (QStringList{"Дефекты", "Отключения"}));

    QTest::mouseClick(Window->tbAddProgramm, Qt::LeftButton);
    ASSERT_TRUE(Dialog->isVisible());
    Dialog->edNameExe->setText(MakeFile(QStringLiteral("zayavki2.exe"), "z"));
    Dialog->edPrAlias->setText(QStringLiteral("Заявки 2"));
    QSignalSpy finished(Dialog.get(), &QDialog::finished);
    QTest::mouseClick(Dialog->BitBtn1, Qt::LeftButton);
    ASSERT_TRUE(finished.wait(30000) || finished.size() == 1);
    ASSERT_EQ(Programs(), (QStringList{"Дефекты", "Отключения", "Заявки 2"}));
    SelectProgram(QStringLiteral("Заявки 2"));
    EXPECT_EQ(Window->RG->title(), QStringLiteral("Заявки 2"));
    EXPECT_TRUE(Window->Programs->RGButtons->buttons().isEmpty());
}

TEST_F(AdministrationWindowPrograms, ViewModeRemovesNothingAndSaysSo) {
    OpenWindow(false);
    SelectProgram(QStringLiteral("Дефекты"));
    Answers->ExpectMessage(mrYes, QStringLiteral("Вы хотите удалить программу"));
    Answers->ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
    QTest::mouseClick(Window->tbDeleteProgramm, Qt::LeftButton);
    EXPECT_EQ(Programs(), (QStringList{"Дефекты", "Отключения", "Заявки"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT COUNT(*) FROM KMR_PROGRAMMEXE")), 3);
}

} // namespace
