// The event log window against the embedded demo server with a change log built for each case:
// the period, the decoded values, the joins, the program choice, the filter and its CSV file, the
// grid's look, and what the user sees when the server fails or a search takes long.
#include "DemoServers.h"

#include "QtTestApplication.h"
#include "TypeText.h"

#include "Oracle.h"
#include "ProtocolGrid.h"
#include "ProtocolModel.h"
#include "Protokol_View.h"
#include "ScriptedAnswerer.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>

namespace {

[[maybe_unused]] ::testing::Environment* const App = RegisterQtTestApplication("eventlog_test");

struct TChange {
    int Program, User;
    const char* Moment; // dd.mm.yyyy hh24:mi:ss
    const char16_t* Field;
    std::optional<QString> Old, New;
};

// The statement as documented, for program 2, on 20 November 2026, lines joined as they reach the server.
const char16_t* const DocumentedStatement[] = {
    u"select",
    u"(CASE kmr_protokol.FIELD_NAME",
    u"when 'openclose' then decode(kmr_protokol.OLD_VALUE, '0', 'Нереализована', '1', 'Открыта', '2', "
    u"'Закрыта')",
    u"when 'sost' then decode(kmr_protokol.OLD_VALUE, '0', 'Снята', '1', 'Разрешена', '2', 'Отказана', '3', "
    u"'Не расмотрена', '4', 'Перенесена')",
    u"when 'dostmer' then decode(SUBSTR(kmr_protokol.OLD_VALUE, 1,1), '0', '', '1', "
    u"'Достаточно. '||SUBSTR(kmr_protokol.OLD_VALUE, 2, 20), '2', 'Недостаточно. "
    u"'||SUBSTR(kmr_protokol.OLD_VALUE, "
    u"2, 20))",
    u"when 'ComboBox1' then decode(kmr_protokol.OLD_VALUE, '0', 'Плановая', '1', 'Внеплановая', '2', "
    u"'Срочная', "
    u"'3', 'Аварийная')",
    u"ELSE",
    u"kmr_protokol.OLD_VALUE",
    u"END) AS OLD_VALUE1,",
    u"(CASE kmr_protokol.FIELD_NAME",
    u"when 'openclose' then decode(kmr_protokol.NEW_VALUE, '0', 'Нереализована', '1', 'Открыта', '2', "
    u"'Закрыта')",
    u"when 'sost' then decode(kmr_protokol.NEW_VALUE, '0', 'Снята', '1', 'Разрешена', '2', 'Отказана', '3', "
    u"'Не расмотрена', '4', 'Перенесена')",
    u"when 'dostmer' then decode(SUBSTR(kmr_protokol.NEW_VALUE, 1,1), '0', '', '1', "
    u"'Достаточно. '||SUBSTR(kmr_protokol.NEW_VALUE, 2, 20), '2', 'Недостаточно. "
    u"'||SUBSTR(kmr_protokol.NEW_VALUE, "
    u"2, 20))",
    u"when 'ComboBox1' then decode(kmr_protokol.NEW_VALUE, '0', 'Плановая', '1', 'Внеплановая', '2', "
    u"'Срочная', "
    u"'3', 'Аварийная')",
    u"ELSE",
    u"kmr_protokol.NEW_VALUE",
    u"END) AS NEW_VALUE1,",
    u"kmr_Programmexe.PRALIAS, kmr_field_name.OBJECT_NAME,",
    u"TO_CHAR(kmr_protokol.DATE_CHANGE, 'HH24:MI DD:MM:YY') DTCHANGE,",
    u"KMR_USER_PSW.ALLNAME",
    u"from kmr_protokol, kmr_field_name, KMR_USER_PSW, kmr_Programmexe",
    u"where kmr_protokol.FIELD_NAME=kmr_field_name.FIELD_NAME",
    u"and kmr_protokol.ID_PROGRAMM = 2",
    u"and kmr_protokol.ID_USER = KMR_USER_PSW.TABNUM",
    u"and kmr_Programmexe.ID_PROGRAMMEXE = kmr_protokol.ID_PROGRAMM",
    u"and ((kmr_protokol.DATE_CHANGE >= TO_DATE('20.11.2026 00:00:00', 'dd.mm.yyyy hh24:mi:ss'))",
    u"and (kmr_protokol.DATE_CHANGE <=TO_DATE('20.11.2026 23:59:59', 'dd.mm.yyyy hh24:mi:ss')))",
    u"order by kmr_protokol.ID_PROGRAMM, kmr_protokol.DATE_CHANGE",
};

// Demo users 1 to 3 and programs 1 to 3 ("Дефекты", "Отключения", "Заявки").
const QString Sokolov = QStringLiteral("Соколов Андрей Викторович");
const QString Kuznetsova = QStringLiteral("Кузнецова Елена Павловна");

class ProtocolWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Servers = std::make_unique<TDemoServers>();
        ASSERT_TRUE(Servers->Error().isEmpty()) << Servers->Error().toStdString();
        Servers->Start(1, {0, 1, 0});
        Session = TServerPair::LogOn(Servers->MainDb());
        Exec(QStringLiteral("DELETE FROM kmr_protokol"));
        Session->Commit();
        Window = std::make_unique<TProtocol>();
        Window->show();
    }
    void TearDown() override {
        Window.reset();
        QFile::remove(Servers->MainDb() + QStringLiteral(".down"));
        qunsetenv("OCISQLITE_LATENCY_MS");
        Session.reset();
        Servers.reset();
    }

    void Exec(const QString& sql) {
        TOracleQuery query;
        query.SetSession(Session.get());
        query.SetSQLText(sql);
        query.Execute();
    }
    void AddChanges(const std::vector<TChange>& changes) {
        TOracleQuery insert;
        insert.SetSession(Session.get());
        insert.SetSQLText(QStringLiteral("INSERT INTO kmr_protokol VALUES (:P, :U, TO_DATE(:D, 'dd.mm.yyyy "
                                         "hh24:mi:ss'), :F, :O, :N)"));
        insert.DeclareVariable(QStringLiteral("P"), otInteger);
        insert.DeclareVariable(QStringLiteral("U"), otInteger);
        for (const char* name : {"D", "F", "O", "N"})
            insert.DeclareVariable(QLatin1String(name), otString);
        for (const TChange& c : changes) {
            insert.SetVariable(QStringLiteral("P"), c.Program);
            insert.SetVariable(QStringLiteral("U"), c.User);
            insert.SetVariable(QStringLiteral("D"), QLatin1String(c.Moment));
            insert.SetVariable(QStringLiteral("F"), QString::fromUtf16(c.Field));
            insert.SetVariable(QStringLiteral("O"), c.Old ? QVariant(*c.Old) : QVariant());
            insert.SetVariable(QStringLiteral("N"), c.New ? QVariant(*c.New) : QVariant());
            insert.Execute();
        }
        Session->Commit();
    }
    // Changes of one program and user, one a minute from 08:00 on the day, with field Memo1.
    void AddNotes(const char* day, int count, int program = 1) {
        std::vector<QByteArray> moments;
        for (int i = 0; i < count; ++i)
            moments.push_back(QByteArray(day) + QStringLiteral(" %1:%2:00")
                                                    .arg(8 + i / 60, 2, 10, QLatin1Char('0'))
                                                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                                                    .toLatin1());
        std::vector<TChange> changes;
        for (int i = 0; i < count; ++i)
            changes.push_back({program, 1, moments[size_t(i)].constData(), u"Memo1",
                               QStringLiteral("было %1").arg(i), QStringLiteral("стало %1").arg(i)});
        AddChanges(changes);
    }

    void SetPeriod(QDate first, QDate last) {
        Window->DateTimePicker1->setDate(first);
        Window->DateTimePicker2->setDate(last);
    }
    void ChooseProgram(const QString& name) {
        const int index = Window->cbProgramm->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        Window->cbProgramm->setCurrentIndex(index);
    }
    // Waits while the event loop runs, as long as the condition is false.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return true;
    }
    void StartSearch() { QTest::mouseClick(Window->SpeedButton1, Qt::LeftButton); }
    // Clicks the search button and waits for the rows.
    void Search(QDate first, QDate last) {
        SetPeriod(first, last);
        bool ended = false;
        const auto connection =
            QObject::connect(Window.get(), &TProtocol::SearchEnded, [&ended] { ended = true; });
        StartSearch();
        EXPECT_TRUE(WaitFor([&ended] { return ended; }));
        QObject::disconnect(connection);
    }
    // A grid row as the user reads it: the number, then the six texts.
    QStringList Row(int row) const {
        QStringList cells;
        for (int column = 0; column < 7; ++column)
            cells << Window->Model()->CellText(row, column);
        return cells;
    }
    // The texts of the statements that listed the log.
    QStringList LogStatements() const {
        QStringList texts;
        for (const TTraceLine& line : Servers->Trace())
            if (line.Call == QLatin1String("OCIStmtExecute") &&
                line.Text.startsWith(QLatin1String("select\n(CASE")))
                texts << line.Text;
        return texts;
    }

    std::unique_ptr<TDemoServers> Servers;
    std::unique_ptr<TOracleSession> Session;
    std::unique_ptr<TProtocol> Window;
    ScriptedAnswerer Answerer{[](const QString& message) { ADD_FAILURE() << message.toStdString(); }};
};

TEST_F(ProtocolWindow, OpensWithTheHeaderAndOneEmptyRowAndPickersOnToday) {
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Журнал событий"));
    EXPECT_EQ(Window->width(), 910);
    EXPECT_EQ(Window->DateTimePicker1->date(), QDate::currentDate());
    EXPECT_EQ(Window->DateTimePicker2->date(), QDate::currentDate());
    EXPECT_EQ(Window->SpeedButton1->accessibleName(), QStringLiteral("Найти"));
    EXPECT_EQ(Window->SpeedButton1->toolTip(), QStringLiteral("Найти"));
    EXPECT_TRUE(Window->SpeedButton1->text().isEmpty());
    EXPECT_EQ(Window->StringGrid1->model()->rowCount(), 1);
    const int widths[] = {100, 100, 110, 100, 200, 200};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(Window->StringGrid1->horizontalHeader()->sectionSize(c), widths[c]);
    EXPECT_EQ(Window->StringGrid1->verticalHeader()->width(), 70);
    QStringList programs;
    for (int i = 0; i < Window->cbProgramm->count(); ++i)
        programs << Window->cbProgramm->itemText(i);
    EXPECT_EQ(programs, (QStringList{QStringLiteral("Все программы"), QStringLiteral("Дефекты"),
                                     QStringLiteral("Заявки"), QStringLiteral("Отключения")}));
    EXPECT_EQ(Window->cbProgramm->currentIndex(), 0);
    EXPECT_FALSE(Window->bbSaveCsv->isEnabled());
    // Showing the window does not search.
    EXPECT_TRUE(LogStatements().isEmpty());
}

TEST_F(ProtocolWindow, OneDayCoversMidnightToTheLastSecondAndAReversedPeriodFindsNothing) {
    AddChanges(
        {{1, 1, "14.11.2026 23:59:59", u"Memo1", QStringLiteral("накануне"), QStringLiteral("x")},
         {1, 1, "15.11.2026 00:00:00", u"Memo1", QStringLiteral("полночь"), QStringLiteral("a")},
         {1, 2, "15.11.2026 23:59:59", u"Memo1", QStringLiteral("последняя секунда"), QStringLiteral("b")},
         {1, 1, "16.11.2026 00:00:00", u"Memo1", QStringLiteral("назавтра"), QStringLiteral("c")}});
    Search(QDate(2026, 11, 15), QDate(2026, 11, 15));
    ASSERT_EQ(Window->Model()->RecordCount(), 2);
    EXPECT_EQ(Row(0), (QStringList{"1", "Дефекты", Sokolov, "00:00 15:11:26", "Примечание", "полночь", "a"}));
    EXPECT_EQ(Row(1), (QStringList{"2", "Дефекты", Kuznetsova, "23:59 15:11:26", "Примечание",
                                   "последняя секунда", "b"}));
    EXPECT_EQ(Window->DateTimePicker1->time(), QTime(0, 0, 0));
    EXPECT_EQ(Window->DateTimePicker2->time(), QTime(23, 59, 59));
    EXPECT_EQ(Window->StatusPanel0->text(), QStringLiteral("Найдено записей: 2"));

    // First day after the last: no error, the header and one empty row.
    Search(QDate(2026, 11, 16), QDate(2026, 11, 15));
    EXPECT_EQ(Window->Model()->RecordCount(), 0);
    EXPECT_EQ(Window->StringGrid1->model()->rowCount(), 1);
    EXPECT_EQ(Row(0), QStringList(7, QString()));
    EXPECT_EQ(Window->StatusPanel0->text(), QStringLiteral("Найдено записей: 0"));
    EXPECT_TRUE(Answerer.Asked().isEmpty());
}

TEST_F(ProtocolWindow, TenResultsThenThreeLeaveThreeRowsNumberedOneToThree) {
    AddNotes("23.11.2026", 10);
    AddNotes("24.11.2026", 3);
    Search(QDate(2026, 11, 23), QDate(2026, 11, 23));
    EXPECT_EQ(Window->StringGrid1->model()->rowCount(), 10);
    Search(QDate(2026, 11, 24), QDate(2026, 11, 24));
    ASSERT_EQ(Window->StringGrid1->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Window->StringGrid1->model()->headerData(row, Qt::Vertical).toString(),
                  QString::number(row + 1));
        EXPECT_EQ(Row(row)[5], QStringLiteral("было %1").arg(row));
    }
}

TEST_F(ProtocolWindow, CodedValuesAreShownInWordsAndOtherFieldsUnchanged) {
    struct Case {
        const char16_t* Field;
        std::optional<QString> Stored;
        QString Shown;
    };
    const QString longMeasure = QStringLiteral("1") + QString(25, QChar(u'м'));
    const std::vector<Case> cases = {
        {u"openclose", "0", "Нереализована"},
        {u"openclose", "1", "Открыта"},
        {u"openclose", "2", "Закрыта"},
        {u"openclose", "3", ""},
        {u"sost", "0", "Снята"},
        {u"sost", "1", "Разрешена"},
        {u"sost", "2", "Отказана"},
        {u"sost", "3", "Не расмотрена"},
        {u"sost", "4", "Перенесена"},
        {u"sost", "7", ""},
        {u"dostmer", "1норма", "Достаточно. норма"},
        {u"dostmer", "2мало", "Недостаточно. мало"},
        {u"dostmer", "0что угодно", ""},
        {u"dostmer", "3иное", ""},
        {u"dostmer", longMeasure, "Достаточно. " + QString(20, QChar(u'м'))},
        {u"ComboBox1", "0", "Плановая"},
        {u"ComboBox1", "1", "Внеплановая"},
        {u"ComboBox1", "2", "Срочная"},
        {u"ComboBox1", "3", "Аварийная"},
        {u"ComboBox1", "Прочая", ""},
        {u"Memo1", "1", "1"},
        {u"Memo1", "Любой текст; как есть", "Любой текст; как есть"},
        {u"edNumber", std::nullopt, ""},
    };
    // Each stored value once as the old value (new "x") and once as the new value (old NULL).
    std::vector<QByteArray> moments;
    for (size_t i = 0; i < cases.size() * 2; ++i)
        moments.push_back(QStringLiteral("20.11.2026 %1:%2:00")
                              .arg(8 + int(i) / 60, 2, 10, QLatin1Char('0'))
                              .arg(int(i) % 60, 2, 10, QLatin1Char('0'))
                              .toLatin1());
    std::vector<TChange> changes;
    for (size_t i = 0; i < cases.size(); ++i) {
        changes.push_back(
            {3, 1, moments[2 * i].constData(), cases[i].Field, cases[i].Stored, QStringLiteral("x")});
        changes.push_back(
            {3, 1, moments[2 * i + 1].constData(), cases[i].Field, std::nullopt, cases[i].Stored});
    }
    AddChanges(changes);
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    ASSERT_EQ(Window->Model()->RecordCount(), qsizetype(cases.size() * 2));
    for (size_t i = 0; i < cases.size(); ++i) {
        const QString what = QString::fromUtf16(cases[i].Field) + " " + cases[i].Stored.value_or("NULL");
        EXPECT_EQ(Row(int(2 * i))[5], cases[i].Shown) << what.toStdString();
        EXPECT_EQ(Row(int(2 * i + 1))[6], cases[i].Shown) << what.toStdString();
        EXPECT_EQ(Row(int(2 * i + 1))[5], QString()) << what.toStdString();
    }
}

TEST_F(ProtocolWindow, RecordsOfAnUnknownFieldUserOrProgramAreNotListed) {
    AddChanges({{1, 1, "21.11.2026 09:00:00", u"Edit7", QStringLiteral("a"), QStringLiteral("b")},
                {1, 99, "21.11.2026 09:01:00", u"Memo1", QStringLiteral("a"), QStringLiteral("b")},
                {9, 1, "21.11.2026 09:02:00", u"Memo1", QStringLiteral("a"), QStringLiteral("b")},
                {2, 2, "21.11.2026 09:03:00", u"Memo1", QStringLiteral("видна"), QStringLiteral("b")}});
    Search(QDate(2026, 11, 21), QDate(2026, 11, 21));
    ASSERT_EQ(Window->Model()->RecordCount(), 1);
    EXPECT_EQ(Row(0),
              (QStringList{"1", "Отключения", Kuznetsova, "09:03 21:11:26", "Примечание", "видна", "b"}));
}

TEST_F(ProtocolWindow, OneProgramSendsTheDocumentedStatementAndAllProgramsLeaveItsProgramLineOut) {
    AddChanges(
        {{3, 1, "20.11.2026 08:00:00", u"Memo1", QStringLiteral("заявки рано"), QStringLiteral("b")},
         {2, 1, "20.11.2026 09:00:00", u"Memo1", QStringLiteral("отключения"), QStringLiteral("b")},
         {1, 2, "20.11.2026 10:00:00", u"Memo1", QStringLiteral("дефекты поздно"), QStringLiteral("b")},
         {1, 1, "20.11.2026 07:00:00", u"Memo1", QStringLiteral("дефекты рано"), QStringLiteral("b")},
         {2, 1, "19.11.2026 09:00:00", u"Memo1", QStringLiteral("вчера"), QStringLiteral("b")}});
    ChooseProgram(QStringLiteral("Отключения"));
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    QStringList documented;
    for (const char16_t* line : DocumentedStatement)
        documented << QString::fromUtf16(line);
    ASSERT_EQ(documented.size(), 28);
    ASSERT_EQ(LogStatements().size(), 1);
    EXPECT_EQ(LogStatements().at(0), documented.join(QLatin1Char('\n')));
    ASSERT_EQ(Window->Model()->RecordCount(), 1);
    EXPECT_EQ(Row(0)[5], QStringLiteral("отключения"));

    // All programs: the same statement without line 23, ordered by program, then time.
    Servers->ClearTrace();
    ChooseProgram(QStringLiteral("Все программы"));
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    documented.removeAt(22);
    ASSERT_EQ(LogStatements().size(), 1);
    EXPECT_EQ(LogStatements().at(0), documented.join(QLatin1Char('\n')));
    QStringList order;
    for (int row = 0; row < Window->Model()->ShownCount(); ++row)
        order << Row(row)[5];
    EXPECT_EQ(order, (QStringList{"дефекты рано", "дефекты поздно", "отключения", "заявки рано"}));
}

TEST_F(ProtocolWindow, FilterNarrowsAsOneTypesAndTheCsvFileHoldsExactlyTheRowsShown) {
    AddChanges(
        {{1, 1, "20.11.2026 08:00:00", u"sost", QStringLiteral("0"), QStringLiteral("1")},
         {1, 2, "20.11.2026 08:01:00", u"Memo1", QStringLiteral("Разрешена вчера"), QStringLiteral("x")},
         {1, 2, "20.11.2026 08:02:00", u"Memo1", QStringLiteral("другое"), QStringLiteral("y")},
         {2, 1, "20.11.2026 08:03:00", u"sost", QStringLiteral("1"), QStringLiteral("2")}});
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    ASSERT_EQ(Window->Model()->RecordCount(), 4);
    TypeText(Window->edFilter, QStringLiteral("разреш"));
    ASSERT_TRUE(WaitFor([this] { return Window->Model()->ShownCount() == 3; }));
    EXPECT_EQ(Window->StatusPanel0->text(), QStringLiteral("Найдено записей: 4, показано: 3"));

    // Esc in the filter box empties it and every row is shown again; the window stays. The typing
    // comes back for the file below.
    Window->edFilter->setFocus();
    QTest::keyClick(Window->edFilter, Qt::Key_Escape);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Window->edFilter->text().isEmpty());
    ASSERT_TRUE(WaitFor([this] { return Window->Model()->ShownCount() == 4; }));
    TypeText(Window->edFilter, QStringLiteral("разреш"));
    ASSERT_TRUE(WaitFor([this] { return Window->Model()->ShownCount() == 3; }));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    Answerer.ExpectSaveFile(path, QStringLiteral("Сохранить в CSV"));
    bool saved = false;
    QObject::connect(Window.get(), &TProtocol::SaveEnded, [&saved] { saved = true; });
    QTest::mouseClick(Window->bbSaveCsv, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&saved] { return saved; }));
    EXPECT_EQ(Window->StatusPanel1->text(), QStringLiteral("Записей сохранено: 3, файл \"%1\".").arg(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    ASSERT_TRUE(content.startsWith("\xEF\xBB\xBF"));
    QStringList lines = QString::fromUtf8(content.mid(3)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.takeLast(), QString());
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], TProtocolModel::Headers().join(QLatin1Char(';')));
    EXPECT_EQ(lines[1],
              QStringLiteral("1;Дефекты;%1;08:00 20:11:26;Состояние заявки;Снята;Разрешена").arg(Sokolov));
    EXPECT_EQ(lines[2],
              QStringLiteral("2;Дефекты;%1;08:01 20:11:26;Примечание;Разрешена вчера;x").arg(Kuznetsova));
    EXPECT_EQ(
        lines[3],
        QStringLiteral("4;Отключения;%1;08:03 20:11:26;Состояние заявки;Разрешена;Отказана").arg(Sokolov));

    // A file that cannot be written is said so, in the system's words with the reason.
    saved = false;
    const QString nowhere = dir.filePath(QStringLiteral("нет такой папки/log.csv"));
    Answerer.ExpectSaveFile(nowhere, QStringLiteral("Сохранить в CSV"));
    Answerer.ExpectMessage(mrOk, QStringLiteral("Не удалось сохранить файл \"%1\"").arg(nowhere));
    QTest::mouseClick(Window->bbSaveCsv, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&saved] { return saved; }));
    Answerer.Verify();
    EXPECT_FALSE(QFile::exists(nowhere));

    // A filter that lets nothing through leaves nothing to save.
    Window->edFilter->setText(QStringLiteral("нет такого"));
    ASSERT_TRUE(WaitFor([this] { return Window->Model()->ShownCount() == 0; }));
    EXPECT_FALSE(Window->bbSaveCsv->isEnabled());
}

TEST_F(ProtocolWindow, AQueryThatDoesNotOpenKeepsTheRowsAndSaysWhy) {
    AddNotes("20.11.2026", 3);
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    ASSERT_EQ(Window->Model()->RecordCount(), 3);
    Exec(QStringLiteral("DROP TABLE kmr_field_name"));
    Answerer.ExpectError(QStringLiteral("Не удалось выполнить поиск в журнале событий."));
    Search(QDate(2026, 11, 21), QDate(2026, 11, 21));
    Answerer.Verify();
    ASSERT_FALSE(Answerer.Asked().isEmpty());
    EXPECT_TRUE(Answerer.Asked().last().Details.contains(QStringLiteral("ORA-00942")));
    EXPECT_TRUE(Answerer.Asked().last().Details.contains(QStringLiteral("from kmr_protokol")));
    EXPECT_EQ(Window->Model()->RecordCount(), 3);
    EXPECT_EQ(Row(2)[5], QStringLiteral("было 2"));
    EXPECT_EQ(Window->StatusPanel1->text(), QStringLiteral("Поиск не выполнен; показан прежний результат."));
}

TEST_F(ProtocolWindow, AFetchThatFailsKeepsTheRowsReadAndSaysTheListIsIncomplete) {
    AddNotes("20.11.2026", 60);
    Window->SetReadBuffer(5);
    qputenv("OCISQLITE_LATENCY_MS", "20");
    SetPeriod(QDate(2026, 11, 20), QDate(2026, 11, 20));
    bool ended = false;
    QObject::connect(Window.get(), &TProtocol::SearchEnded, [&ended] { ended = true; });
    StartSearch();
    ASSERT_TRUE(WaitFor([this] { return Window->SearchRowsRead() >= 5; }));
    // The server goes away between two fetches.
    QFile marker(Servers->MainDb() + QStringLiteral(".down"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    Answerer.ExpectError(QStringLiteral("список неполный"));
    ASSERT_TRUE(WaitFor([&ended] { return ended; }));
    Answerer.Verify();
    const qsizetype read = Window->Model()->RecordCount();
    EXPECT_GE(read, 5);
    EXPECT_LT(read, 60);
    EXPECT_EQ(Row(int(read) - 1)[5], QStringLiteral("было %1").arg(read - 1));
    EXPECT_TRUE(Answerer.Asked().last().Details.contains(QStringLiteral("ORA-03113")));
    EXPECT_EQ(Window->StatusPanel1->text(), QStringLiteral("Список неполный: чтение записей прервано."));
}

TEST_F(ProtocolWindow, ASlowSearchShowsProgressKeepsTheWindowAliveAndCanBeCancelled) {
    AddNotes("20.11.2026", 2);
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    ASSERT_EQ(Window->Model()->RecordCount(), 2);
    AddNotes("21.11.2026", 40);
    Window->SetReadBuffer(2);
    qputenv("OCISQLITE_LATENCY_MS", "100");
    SetPeriod(QDate(2026, 11, 21), QDate(2026, 11, 21));
    QElapsedTimer clock;
    clock.start();
    StartSearch();
    EXPECT_TRUE(Window->Searching());
    EXPECT_FALSE(Window->SpeedButton1->isEnabled());
    EXPECT_FALSE(Window->ProgressBar1->isVisible());
    // The window keeps working meanwhile: the progress appears after half a second with the count.
    ASSERT_TRUE(WaitFor([this] { return Window->ProgressBar1->isVisible(); }));
    EXPECT_GE(clock.elapsed(), TProtocol::ProgressDelayMs);
    ASSERT_TRUE(
        WaitFor([this] { return Window->StatusPanel1->text().contains(QStringLiteral("прочитано")); }));
    EXPECT_TRUE(Window->bbCancel->isVisible());
    EXPECT_EQ(Window->bbCancel->accessibleName(), QStringLiteral("Отменить поиск"));
    QTest::mouseClick(Window->bbCancel, Qt::LeftButton);
    EXPECT_FALSE(Window->Searching());
    EXPECT_TRUE(Window->SpeedButton1->isEnabled());
    EXPECT_FALSE(Window->ProgressBar1->isVisible());
    EXPECT_EQ(Window->Model()->RecordCount(), 2);
    EXPECT_EQ(Window->StatusPanel1->text(), QStringLiteral("Поиск отменён; показан прежний результат."));

    // Esc stops a search under way and leaves the window open; a second Esc closes it.
    StartSearch();
    ASSERT_TRUE(Window->Searching());
    QTest::keyClick(Window.get(), Qt::Key_Escape);
    EXPECT_FALSE(Window->Searching());
    EXPECT_TRUE(Window->isVisible());
    QTest::keyClick(Window.get(), Qt::Key_Escape);
    EXPECT_FALSE(Window->isVisible());
    // Nothing arrives later from the cancelled searches.
    qunsetenv("OCISQLITE_LATENCY_MS");
    QTest::qWait(300);
    EXPECT_EQ(Window->Model()->RecordCount(), 2);
}

TEST_F(ProtocolWindow, RowsAreYellowAndWhiteAndGrowToTheirTextNeverShrinking) {
    const QString note = QStringLiteral("Длинное примечание, которое не помещается в одну строку ячейки и "
                                        "переносится по словам на несколько строк подряд без потерь.");
    AddChanges({{1, 1, "20.11.2026 08:00:00", u"Memo1", QStringLiteral("a"), note},
                {1, 1, "20.11.2026 08:01:00", u"Memo1", QStringLiteral("b"), QStringLiteral("c")},
                {1, 1, "20.11.2026 08:02:00", u"Memo1", QStringLiteral("d"), QStringLiteral("e")},
                {1, 1, "21.11.2026 08:02:00", u"Memo1", QStringLiteral("f"), QStringLiteral("g")}});
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    TProtocolGrid* grid = Window->StringGrid1;
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    // The tallest wrapped text of a row, plus 5 (one-line rows keep the default height).
    auto expectedHeight = [grid](int row) {
        QFontMetrics metrics(grid->font());
        int tallest = 0;
        for (int column = 0; column < 6; ++column) {
            const QModelIndex index = grid->model()->index(row, column);
            const QRect r(0, 0, grid->visualRect(index).width(), 10000);
            tallest = std::max(
                tallest,
                metrics.boundingRect(r, int(Qt::AlignLeft | Qt::TextWordWrap), index.data().toString())
                    .height());
        }
        return tallest > TProtocolGrid::DefaultRowHeight ? tallest + 5 : TProtocolGrid::DefaultRowHeight;
    };
    const int grown = expectedHeight(0);
    EXPECT_GT(grown, expectedHeight(1));
    EXPECT_EQ(grid->verticalHeader()->sectionSize(0), grown);
    EXPECT_EQ(grid->verticalHeader()->sectionSize(1), expectedHeight(1));

    // Rows 1 and 3 yellow, row 2 white, in the cells and in the number column, selected or not.
    grid->selectRow(1);
    const QImage image = grid->grab().toImage();
    auto colourAt = [&](int row, int column) {
        const QRect r = grid->visualRect(grid->model()->index(row, column));
        const QPoint inGrid = grid->viewport()->mapTo(grid, r.bottomRight() - QPoint(3, 3));
        return image.pixelColor(inGrid).rgb() & 0xFFFFFF;
    };
    EXPECT_EQ(colourAt(0, 0), 0xFFFF00u);
    EXPECT_EQ(colourAt(1, 2), 0xFFFFFFu);
    EXPECT_EQ(colourAt(2, 4), 0xFFFF00u);
    const QPoint number(grid->verticalHeader()->width() - 4,
                        grid->verticalHeader()->sectionViewportPosition(1) + 4);
    EXPECT_EQ(image.pixelColor(grid->verticalHeader()->mapTo(grid, number)).rgb() & 0xFFFFFF, 0xFFFFFFu);

    // A later search with short texts keeps the height the first row grew to.
    Search(QDate(2026, 11, 21), QDate(2026, 11, 21));
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    EXPECT_LT(expectedHeight(0), grown);
    EXPECT_EQ(grid->verticalHeader()->sectionSize(0), grown);
}

TEST_F(ProtocolWindow, TheLastResultStaysBetweenShowingsAndShowingDoesNotSearch) {
    AddNotes("20.11.2026", 4);
    Search(QDate(2026, 11, 20), QDate(2026, 11, 20));
    Window->hide();
    Servers->ClearTrace();
    Window->show();
    EXPECT_EQ(Window->Model()->RecordCount(), 4);
    EXPECT_EQ(Window->DateTimePicker1->date(), QDate(2026, 11, 20));
    EXPECT_TRUE(LogStatements().isEmpty());
}

} // namespace
