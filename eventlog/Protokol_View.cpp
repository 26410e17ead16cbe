#include "Protokol_View.h"

#include "DialogGateway.h"
#include "ErrorOra.h"
#include "NoteDataSet.h"
#include "NoteQuery.h"
#include "ProtocolCsv.h"
#include "ProtocolGrid.h"
#include "ProtocolModel.h"
#include "ProtocolQuery.h"
#include "ProtocolSearch.h"
#include "TitleBar.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

TProtocol* Protocol = nullptr;

namespace {

// How often the count of rows read is shown while a search runs.
constexpr int ProgressIntervalMs = 100;
// Typing in the filter box narrows the rows once the typing pauses.
constexpr int FilterDelayMs = 200;

const char* const AllPrograms = "Все программы";

// The search button's picture: a magnifying glass.
QIcon SearchIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 30, 30), 2));
    painter.drawEllipse(QRectF(2, 2, 8, 8));
    painter.setPen(QPen(QColor(30, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(10, 10), QPointF(14, 14));
    return QIcon(pixmap);
}

QDateTimeEdit* MakeDatePicker(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* picker = new QDateTimeEdit(parent);
    picker->setObjectName(QLatin1String(name));
    picker->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    picker->setCalendarPopup(true);
    picker->setFixedWidth(105);
    picker->setAccessibleName(accessibleName);
    picker->setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
    return picker;
}

QString StatementText(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

TProtocol::TProtocol(QWidget* owner) : QDialog(owner), FReadBuffer(TProtocolSearch::DefaultReadBuffer) {
    setObjectName(QStringLiteral("Protocol"));
    setWindowTitle(QStringLiteral("Журнал событий"));
    FModel = new TProtocolModel(this);
    FProgressTimer = new QTimer(this);
    FProgressTimer->setInterval(ProgressIntervalMs);
    connect(FProgressTimer, &QTimer::timeout, this, &TProtocol::UpdateProgress);
    FFilterTimer = new QTimer(this);
    FFilterTimer->setSingleShot(true);
    FFilterTimer->setInterval(FilterDelayMs);
    connect(FFilterTimer, &QTimer::timeout, this, [this] {
        FModel->SetFilter(edFilter->text());
        UpdateCounts();
    });
    // A modal window that could be minimised would leave the program looking frozen.
    AllowTitleBarButtons(this, TTitleBarButtons::SystemMenuAndClose);
    BuildLayout();
    resize(778, 488);
    FormCreate();
    Protocol = this;
}

TProtocol::~TProtocol() {
    if (Protocol == this)
        Protocol = nullptr;
    // Each waits for its thread (the server call or the piece of file under way); nothing is posted to
    // this window any more after it.
    FSearch.reset();
    FFinishing.clear();
    FSave.reset();
}

void TProtocol::BuildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(31);
    auto* top = new QHBoxLayout(Panel1);
    top->setContentsMargins(8, 3, 8, 3);
    top->setSpacing(6);
    Label1 = new QLabel(QStringLiteral("Просмотреть за период с :"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    DateTimePicker1 = MakeDatePicker(Panel1, "DateTimePicker1", QStringLiteral("Просмотреть за период с"));
    Label1->setBuddy(DateTimePicker1);
    Label2 = new QLabel(QStringLiteral("по"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    DateTimePicker2 = MakeDatePicker(Panel1, "DateTimePicker2", QStringLiteral("по"));
    Label2->setBuddy(DateTimePicker2);
    SpeedButton1 = new QToolButton(Panel1);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(SearchIcon());
    SpeedButton1->setFixedSize(23, 22);
    SpeedButton1->setToolTip(QStringLiteral("Найти"));
    SpeedButton1->setAccessibleName(QStringLiteral("Найти"));
    connect(SpeedButton1, &QToolButton::clicked, this, &TProtocol::SpeedButton1Click);
    top->addWidget(Label1);
    top->addWidget(DateTimePicker1);
    top->addWidget(Label2);
    top->addWidget(DateTimePicker2);
    top->addWidget(SpeedButton1);
    top->addStretch(1);
    layout->addWidget(Panel1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* choice = new QHBoxLayout(Panel2);
    choice->setContentsMargins(8, 0, 8, 4);
    choice->setSpacing(6);
    Label3 = new QLabel(QStringLiteral("Программа:"), Panel2);
    Label3->setObjectName(QStringLiteral("Label3"));
    cbProgramm = new QComboBox(Panel2);
    cbProgramm->setObjectName(QStringLiteral("cbProgramm"));
    cbProgramm->setAccessibleName(QStringLiteral("Программа"));
    cbProgramm->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbProgramm->setMinimumContentsLength(20);
    cbProgramm->addItem(QString::fromUtf8(AllPrograms));
    Label3->setBuddy(cbProgramm);
    Label4 = new QLabel(QStringLiteral("Фильтр:"), Panel2);
    Label4->setObjectName(QStringLiteral("Label4"));
    edFilter = new QLineEdit(Panel2);
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setAccessibleName(QStringLiteral("Фильтр"));
    edFilter->setPlaceholderText(QStringLiteral("пользователь, поле или значение"));
    edFilter->setClearButtonEnabled(true);
    Label4->setBuddy(edFilter);
    connect(edFilter, &QLineEdit::textChanged, this, &TProtocol::edFilterChange);
    bbSaveCsv = new QPushButton(QStringLiteral("Сохранить в CSV"), Panel2);
    bbSaveCsv->setObjectName(QStringLiteral("bbSaveCsv"));
    bbSaveCsv->setAccessibleName(QStringLiteral("Сохранить в CSV"));
    bbSaveCsv->setAutoDefault(false);
    connect(bbSaveCsv, &QPushButton::clicked, this, &TProtocol::bbSaveCsvClick);
    choice->addWidget(Label3);
    choice->addWidget(cbProgramm);
    choice->addSpacing(12);
    choice->addWidget(Label4);
    choice->addWidget(edFilter, 1);
    choice->addWidget(bbSaveCsv);
    layout->addWidget(Panel2);

    StringGrid1 = new TProtocolGrid(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setAccessibleName(QStringLiteral("Журнал событий"));
    StringGrid1->setModel(FModel);
    layout->addWidget(StringGrid1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setMinimumWidth(200);
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    ProgressBar1 = new QProgressBar(StatusBar1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleName(QStringLiteral("Ход работы"));
    ProgressBar1->setFixedWidth(150);
    ProgressBar1->setVisible(false);
    bbCancel = new QPushButton(QStringLiteral("Отменить"), StatusBar1);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setAccessibleName(QStringLiteral("Отменить поиск"));
    bbCancel->setAutoDefault(false);
    bbCancel->setVisible(false);
    connect(bbCancel, &QPushButton::clicked, this, &TProtocol::bbCancelClick);
    // Long texts (a file name) are cut, never widen the window past the screen.
    StatusPanel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);
    StatusBar1->addPermanentWidget(ProgressBar1);
    StatusBar1->addPermanentWidget(bbCancel);
    layout->addWidget(StatusBar1);
}

void TProtocol::FormCreate() {
    // Headers, widths and the one empty row come with the grid and its model; the client width:
    resize(910, height());
    UpdateCounts();
}

void TProtocol::ShowModal() {
    exec();
}

void TProtocol::showEvent(QShowEvent* event) {
    LoadPrograms();
    QDialog::showEvent(event);
}

void TProtocol::done(int result) {
    // Nobody waits for a search in a closed window; a file being saved is written to its end.
    if (FSearch)
        bbCancelClick();
    QDialog::done(result);
}

void TProtocol::keyPressEvent(QKeyEvent* event) {
    // Esc stops the work under way before it closes the window.
    if (event->key() == Qt::Key_Escape && Busy()) {
        bbCancelClick();
        event->accept();
        return;
    }
    // In the filter box Esc first empties it, as in a search box; only an empty box lets it close.
    if (event->key() == Qt::Key_Escape && edFilter->hasFocus() && !edFilter->text().isEmpty()) {
        edFilter->clear();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TProtocol::LoadPrograms() {
    const std::optional<int> chosen = ProgramNumber();
    TNoteDataSet programs(nullptr);
    programs.SQL() << QStringLiteral("SELECT ID_PROGRAMMEXE, PRALIAS, PRNAME FROM KMR_PROGRAMMEXE")
                   << QStringLiteral("ORDER BY PRALIAS, ID_PROGRAMMEXE");
    if (!programs.NoteOpen()) {
        StatusPanel1->setText(QStringLiteral("Не удалось прочитать список программ."));
        return;
    }
    cbProgramm->blockSignals(true);
    cbProgramm->clear();
    cbProgramm->addItem(QString::fromUtf8(AllPrograms));
    for (int i = 0; i < programs.RecordCount(); ++i) {
        const int id = programs.RecordValue(i, 0).toInt();
        QString name = programs.RecordValue(i, 1).toString();
        if (name.isEmpty())
            name = programs.RecordValue(i, 2).toString();
        cbProgramm->addItem(name, id);
        if (chosen && *chosen == id)
            cbProgramm->setCurrentIndex(cbProgramm->count() - 1);
    }
    cbProgramm->blockSignals(false);
}

std::optional<int> TProtocol::ProgramNumber() const {
    const QVariant id = cbProgramm->currentData();
    if (!id.isValid())
        return std::nullopt;
    return id.toInt();
}

void TProtocol::SpeedButton1Click() {
    if (FSave)
        return;
    DateTimePicker1->setTime(QTime(0, 0, 0));
    DateTimePicker2->setTime(QTime(23, 59, 59));
    FLastStart = DateTimePicker1->dateTime();
    FLastEnd = DateTimePicker2->dateTime();
    FLastStatement = ProtocolStatement(ProgramNumber(), FLastStart, FLastEnd);
    if (FSearch) {
        FSearch->Cancel();
        FFinishing.push_back(std::move(FSearch));
    }
    // The search thread only posts its news; this window outlives the thread (the destructor waits).
    FSearch = std::make_unique<TProtocolSearch>(
        FLastStatement, [] { return std::make_unique<TNoteQuery>(); },
        [this] { QMetaObject::invokeMethod(this, &TProtocol::TaskNews, Qt::QueuedConnection); }, FReadBuffer);
    StartProgress(QStringLiteral("Идёт поиск…"), QStringLiteral("Отменить поиск"));
}

void TProtocol::bbSaveCsvClick() {
    if (Busy())
        return;
    // Typing may still be waiting to narrow the rows: the file holds what the filter box says.
    if (FFilterTimer->isActive()) {
        FFilterTimer->stop();
        FModel->SetFilter(edFilter->text());
        UpdateCounts();
        if (FModel->ShownCount() == 0)
            return;
    }
    const QString suggested = QStringLiteral("Журнал событий %1-%2.csv")
                                  .arg(FLastStart.toString(QStringLiteral("dd.MM.yyyy")),
                                       FLastEnd.toString(QStringLiteral("dd.MM.yyyy")));
    const QString fileName = SaveFileDialog(this, QStringLiteral("Сохранить в CSV"), suggested,
                                            QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
    if (fileName.isEmpty())
        return;
    FSave = std::make_unique<TProtocolCsvSave>(FModel->ShownRows(), fileName, [this] {
        QMetaObject::invokeMethod(this, &TProtocol::TaskNews, Qt::QueuedConnection);
    });
    StartProgress(QStringLiteral("Идёт сохранение…"), QStringLiteral("Отменить сохранение"));
}

void TProtocol::bbCancelClick() {
    if (FSearch) {
        FSearch->Cancel();
        FFinishing.push_back(std::move(FSearch));
        StopProgress();
        StatusPanel1->setText(QStringLiteral("Поиск отменён; показан прежний результат."));
        emit SearchEnded();
    } else if (FSave) {
        // The save ends on its own thread: no file is left, an old one stays as it was.
        FSave->Cancel();
    }
}

bool TProtocol::Busy() const {
    return FSearch || FSave;
}

qint64 TProtocol::SearchRowsRead() const {
    return FSearch ? FSearch->RowsRead() : 0;
}

void TProtocol::TaskNews() {
    // Cancelled searches that have ended are freed; the thread has nothing left to do.
    std::erase_if(FFinishing, [](const std::unique_ptr<TProtocolSearch>& s) { return s->Finished(); });
    if (FSearch && FSearch->Finished())
        FinishSearch();
    if (FSave && FSave->Finished())
        FinishSave();
}

void TProtocol::StartProgress(const QString& text, const QString& cancelName) {
    FTaskClock = std::make_unique<QElapsedTimer>();
    FTaskClock->start();
    FProgressTimer->start();
    bbCancel->setAccessibleName(cancelName);
    StatusPanel1->setText(text);
    UpdateControls();
}

void TProtocol::StopProgress() {
    FProgressTimer->stop();
    ProgressBar1->setVisible(false);
    bbCancel->setVisible(false);
    UpdateControls();
}

void TProtocol::FinishSearch() {
    TProtocolSearch::TOutcome outcome = FSearch->TakeOutcome();
    FSearch.reset();
    StopProgress();
    const QString details = StatementText(FLastStatement);
    switch (outcome.Result) {
    case TProtocolSearch::srComplete:
        FModel->SetRecords(std::move(outcome.Records));
        StatusPanel1->clear();
        break;
    case TProtocolSearch::srIncomplete: {
        // What was read is shown, and said to be incomplete: an empty or short list must not read
        // as "no changes".
        const qsizetype read = outcome.Records ? outcome.Records->Count() : 0;
        FModel->SetRecords(std::move(outcome.Records));
        StatusPanel1->setText(QStringLiteral("Список неполный: чтение записей прервано."));
        UpdateCounts();
        ShowError(QStringLiteral("Не удалось прочитать все записи журнала: список неполный, показаны "
                                 "первые %1.")
                      .arg(read),
                  outcome.Error + QStringLiteral("\r\n\r\n") + details);
        break;
    }
    case TProtocolSearch::srNotOpened:
        StatusPanel1->setText(QStringLiteral("Поиск не выполнен; показан прежний результат."));
        ShowError(QStringLiteral("Не удалось выполнить поиск в журнале событий."),
                  outcome.Error + QStringLiteral("\r\n\r\n") + details);
        break;
    case TProtocolSearch::srCancelled:
        StatusPanel1->setText(QStringLiteral("Поиск отменён; показан прежний результат."));
        break;
    }
    UpdateCounts();
    emit SearchEnded();
}

void TProtocol::FinishSave() {
    const std::unique_ptr<TProtocolCsvSave> save = std::move(FSave);
    StopProgress();
    if (save->Saved()) {
        StatusPanel1->setText(QStringLiteral("Записей сохранено: %1, файл \"%2\".")
                                  .arg(save->RowCount())
                                  .arg(save->FileName()));
    } else if (save->Cancelled()) {
        StatusPanel1->setText(QStringLiteral("Сохранение отменено; файл не записан."));
    } else {
        StatusPanel1->setText(QStringLiteral("Файл не сохранён."));
        MessageDlgAtMouse(
            QStringLiteral("Не удалось сохранить файл \"%1\": %2").arg(save->FileName(), save->Error()),
            mtError, {mbOK}, 0);
    }
    emit SaveEnded();
}

void TProtocol::UpdateProgress() {
    if (!Busy() || !FTaskClock || FTaskClock->elapsed() < ProgressDelayMs)
        return;
    ProgressBar1->setVisible(true);
    bbCancel->setVisible(true);
    if (FSearch) {
        // The number of records is known only at the end.
        ProgressBar1->setRange(0, 0);
        StatusPanel1->setText(QStringLiteral("Идёт поиск… прочитано записей: %1").arg(FSearch->RowsRead()));
    } else if (FSave) {
        const qsizetype rows = std::max<qsizetype>(1, FSave->RowCount());
        ProgressBar1->setRange(0, 1000);
        ProgressBar1->setValue(int(FSave->RowsWritten() * 1000 / rows));
        StatusPanel1->setText(QStringLiteral("Идёт сохранение… записано строк: %1 из %2")
                                  .arg(FSave->RowsWritten())
                                  .arg(FSave->RowCount()));
    }
}

void TProtocol::UpdateControls() {
    SpeedButton1->setEnabled(!FSave && !FSearch);
    bbSaveCsv->setEnabled(!Busy() && FModel->ShownCount() > 0);
}

void TProtocol::UpdateCounts() {
    const qsizetype found = FModel->RecordCount();
    const qsizetype shown = FModel->ShownCount();
    if (!FModel->Records())
        StatusPanel0->clear();
    else if (FModel->Filter().isEmpty())
        StatusPanel0->setText(QStringLiteral("Найдено записей: %1").arg(found));
    else
        StatusPanel0->setText(QStringLiteral("Найдено записей: %1, показано: %2").arg(found).arg(shown));
    UpdateControls();
}

void TProtocol::edFilterChange() {
    FFilterTimer->start();
}
