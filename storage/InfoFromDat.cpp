#include "InfoFromDat.h"

#include "Desktop.h"
#include "DialogGateway.h"
#include "ErrorOra.h"
#include "OracleBase.h"
#include "PieGauge.h"
#include "TransferWorker.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

TFInfoFromDat* FInfoFromDat = nullptr;

namespace {

const int MinColumnWidth = 24;
// Height of an entry as designed; a larger font gets what it needs.
const int DesignItemHeight = 14;

// Draws an entry: its check box and selection as the list does, then file name, title, local time
// and server time, each in its column and cut with an ellipsis where it would run into the next.
class TEntryDelegate : public QStyledItemDelegate {
public:
    explicit TEntryDelegate(TFInfoFromDat* window) : QStyledItemDelegate(window), FWindow(window) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const size_t row = size_t(index.data(Qt::UserRole).toInt());
        if (row >= FWindow->Entries().size())
            return;
        const TProgramEntry& entry = FWindow->Entries()[row];
        const QString fields[4] = {entry.FileName, entry.Title, EntryTimeText(entry.LocalTime),
                                   EntryTimeText(entry.ServerTime)};
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        painter->save();
        painter->setPen(opt.palette.color(QPalette::Normal, (opt.state & QStyle::State_Selected)
                                                                ? QPalette::HighlightedText
                                                                : QPalette::Text));
        const auto widths = FWindow->ColumnWidths();
        int left = textRect.left();
        for (int i = 0; i < 4; ++i) {
            const QRect cell(left, opt.rect.top(), std::max(0, widths[size_t(i)] - 6), opt.rect.height());
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                              opt.fontMetrics.elidedText(fields[i], Qt::ElideRight, cell.width()));
            left += widths[size_t(i)];
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(DesignItemHeight, option.fontMetrics.height() + 2));
        return size;
    }

private:
    TFInfoFromDat* FWindow;
};

QPushButton* MakeButton(const QString& caption, QWidget* parent, const char* name, int width) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    button->setMinimumWidth(std::max(width, button->sizeHint().width()));
    return button;
}

} // namespace

TFInfoFromDat::TFInfoFromDat(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FInfoFromDat"));
    setWindowTitle(QStringLiteral("Сохранение рабочих программ на сервере баз данных."));
    setAccessibleName(windowTitle());
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    black.setColor(QPalette::Text, Qt::black);
    setPalette(black);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 4, 5, 5);
    layout->setSpacing(4);

    Label1 = new QLabel(QStringLiteral("Отмеченные программы рекомендуется обновить на сервере! "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setMinimumHeight(20);
    Label1->setWordWrap(true);
    Label1->setAccessibleName(Label1->text());
    layout->addWidget(Label1);

    auto* folderRow = new QHBoxLayout;
    bbFolder = MakeButton(QStringLiteral("Папка..."), this, "bbFolder", 75);
    bbFolder->setToolTip(QStringLiteral("Выбрать папку с программами"));
    lbFolder = new QLabel(this);
    lbFolder->setObjectName(QStringLiteral("lbFolder"));
    lbFolder->setTextFormat(Qt::PlainText);
    lbFolder->setMinimumWidth(50);
    lbFolder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lbFolder->setAccessibleName(QStringLiteral("Папка с программами"));
    folderRow->addWidget(bbFolder);
    folderRow->addWidget(lbFolder, 1);
    layout->addLayout(folderRow);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setFixedHeight(21);
    Panel1 = panel;
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    Image1 = new QLabel(panel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setMinimumSize(1, 19);
    Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Image1->setMouseTracking(true);
    Image1->setAccessibleName(QStringLiteral("Заголовок списка"));
    Image1->installEventFilter(this);
    panelLayout->addWidget(Image1);
    layout->addWidget(panel);

    clb = new QListWidget(this);
    clb->setObjectName(QStringLiteral("clb"));
    clb->setAccessibleName(QStringLiteral("Программы"));
    clb->setUniformItemSizes(true);
    clb->setItemDelegate(new TEntryDelegate(this));
    layout->addWidget(clb, 1);

    auto* bottom = new QHBoxLayout;
    g1 = new TPieGauge(this);
    g1->setObjectName(QStringLiteral("g1"));
    g1->setFixedSize(36, 30);
    g1->hide();
    lbState = new QLabel(this);
    lbState->setObjectName(QStringLiteral("lbState"));
    lbState->setTextFormat(Qt::PlainText);
    lbState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lbState->setWordWrap(true);
    lbState->setMinimumHeight(lbState->fontMetrics().height());
    lbState->setAccessibleName(QStringLiteral("Итог передачи"));
    bbSave = MakeButton(QStringLiteral("Сохранить на сервере"), this, "bbSave", 126);
    bbWrite = MakeButton(QStringLiteral("Забрать с сервера"), this, "bbWrite", 126);
    bbCancel = MakeButton(QStringLiteral("Прервать"), this, "bbCancel", 75);
    bbCancel->setToolTip(QStringLiteral("Прервать передачу после текущего файла"));
    bbCancel->hide();
    BitBtn4 = MakeButton(QStringLiteral("Выход"), this, "BitBtn4", 75);
    // The summary has a line of its own, so that it is not wrapped beside the buttons.
    layout->addWidget(lbState);
    bottom->addWidget(g1);
    bottom->addStretch(1);
    bottom->addWidget(bbSave);
    bottom->addWidget(bbWrite);
    bottom->addWidget(bbCancel);
    bottom->addWidget(BitBtn4);
    layout->addLayout(bottom);

    connect(bbFolder, &QPushButton::clicked, this, &TFInfoFromDat::bbFolderClick);
    connect(bbSave, &QPushButton::clicked, this, &TFInfoFromDat::bbSaveClick);
    connect(bbWrite, &QPushButton::clicked, this, &TFInfoFromDat::bbWriteClick);
    connect(bbCancel, &QPushButton::clicked, this, &TFInfoFromDat::CancelTransfer);
    connect(BitBtn4, &QPushButton::clicked, this, &TFInfoFromDat::BitBtn4Click);

    // Time columns fit a date and time; name and title share what is left of the designed width.
    const QFontMetrics metrics(clb->font());
    const int timeWidth = metrics.horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + 14;
    const int textWidth = std::max(110, (598 - 50 - 2 * timeWidth) / 2);
    FWidths = {textWidth, textWidth, timeWidth, timeWidth};

    FWorker = std::make_unique<TTransferWorker>([this](TTransferWorker::TCompletion done) {
        // Queued to this window; dropped when the window is gone before it arrives.
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
    });

    resize(598, 346);
    lbFolder->setText(QStringLiteral("Папка не выбрана: выберите папку с программами."));
    SetControlsForTransfer(false);
    FInfoFromDat = this;
}

TFInfoFromDat::~TFInfoFromDat() {
    if (FInfoFromDat == this)
        FInfoFromDat = nullptr;
    // The file under way finishes first; its result is not shown any more, and the tick may ask
    // the main server again.
    FWorker.reset();
    while (FCallsHeld > 0)
        EndBackgroundCalls();
}

const std::array<QString, 4>& TFInfoFromDat::HeaderTitles() {
    static const std::array<QString, 4> titles = {QStringLiteral(" Имя файла"), QStringLiteral(" Заголовок"),
                                                  QStringLiteral(" Время создания"),
                                                  QStringLiteral(" Время сервера")};
    return titles;
}

// ---------------------------------------------------------------------------------------------
// Storing and fetching one file

bool TFInfoFromDat::SaveToServer(const QString& path, const QString& title) {
    return ReportSave(StoreProgram(path, title), path, title);
}

bool TFInfoFromDat::LoadFromServer(const QString& path, QString& title) {
    const TFetchOutcome outcome = FetchProgram(path);
    if (outcome.Result == TFetchOutcome::Fetched)
        title = outcome.Title;
    return ReportFetch(outcome);
}

bool TFInfoFromDat::ReportSave(const TSaveOutcome& outcome, const QString& path, const QString& title) {
    const QString notStored = QStringLiteral("Программа '") + title + QStringLiteral("' не сохранена!");
    switch (outcome.Result) {
    case TSaveOutcome::Stored:
        return true;
    case TSaveOutcome::NoFile:
        return false;
    case TSaveOutcome::ReadFailed:
        MessageDlgAtMouse(QStringLiteral("Не удалось прочитать файл \"%1\": %2\n%3")
                              .arg(QDir::toNativeSeparators(path), outcome.Error, notStored),
                          mtError, {mbOK}, 0);
        return false;
    case TSaveOutcome::ViewMode:
        MessageDlgAtMouse(ViewModeText(), mtWarning, {mbOK}, 0);
        return false;
    case TSaveOutcome::NoNumber:
        ShowError(notStored,
                  QStringLiteral("Не удалось определить номер новой программы.\n\r") + outcome.Statement);
        return false;
    case TSaveOutcome::Failed:
        ShowError(notStored, outcome.Error + QStringLiteral("\n\r") + outcome.Statement);
        return false;
    }
    return false;
}

bool TFInfoFromDat::ReportFetch(const TFetchOutcome& outcome) {
    switch (outcome.Result) {
    case TFetchOutcome::Fetched:
        return true;
    case TFetchOutcome::NotStored:
        return false;
    case TFetchOutcome::Failed:
        ShowPlainMessage(QStringLiteral("Файл не сохранён! \n\r") + outcome.Error);
        return false;
    }
    return false;
}

bool TFInfoFromDat::SaveInBackground(const QString& path, const QString& title,
                                     std::function<void(TSaveOutcome::TResult)> done) {
    if (FBatchRunning || FWorker->Busy())
        return false;
    BeginBackgroundCalls();
    const bool started =
        FWorker->Run([this, path, title, done = std::move(done)]() -> TTransferWorker::TCompletion {
            // Worker thread: only the store itself; the messages and done run on this window's thread.
            const TSaveOutcome outcome = StoreProgram(path, title);
            return [this, outcome, path, title, done] {
                EndBackgroundCalls();
                ReportSave(outcome, path, title);
                if (done)
                    done(outcome.Result);
            };
        });
    if (!started)
        EndBackgroundCalls();
    return started;
}

void TFInfoFromDat::BeginBackgroundCalls() {
    ++FCallsHeld;
    if (FOracleBase)
        ++FOracleBase->BackgroundCalls;
}

void TFInfoFromDat::EndBackgroundCalls() {
    if (FCallsHeld == 0)
        return;
    --FCallsHeld;
    if (FOracleBase && FOracleBase->BackgroundCalls > 0)
        --FOracleBase->BackgroundCalls;
}

// ---------------------------------------------------------------------------------------------
// The list

void TFInfoFromDat::SetFolder(const QString& folder) {
    FFolder = folder.isEmpty() ? QString() : QDir::toNativeSeparators(QDir(folder).absolutePath());
    lbFolder->setText(FFolder.isEmpty() ? QStringLiteral("Папка не выбрана: выберите папку с программами.")
                                        : FFolder);
    lbFolder->setToolTip(FFolder);
    RefreshList();
    SetControlsForTransfer(false);
}

bool TFInfoFromDat::RefreshList() {
    const auto stored = ReadStoredPrograms();
    if (!stored) {
        lbState->setText(QStringLiteral("Не удалось прочитать список программ на сервере."));
        return false;
    }
    FEntries = ListProgramFolder(FFolder, *stored);
    FillList();
    return true;
}

void TFInfoFromDat::FillList() {
    const int current = clb->currentRow();
    clb->clear();
    for (size_t i = 0; i < FEntries.size(); ++i) {
        const TProgramEntry& entry = FEntries[i];
        auto* item = new QListWidgetItem(entry.Text());
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(entry.Ticked ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, int(i));
        item->setData(Qt::AccessibleTextRole,
                      QStringList{entry.FileName, entry.Title, EntryTimeText(entry.LocalTime),
                                  EntryTimeText(entry.ServerTime)}
                          .join(QStringLiteral(", ")));
        clb->addItem(item);
    }
    if (current >= 0 && current < clb->count())
        clb->setCurrentRow(current);
}

void TFInfoFromDat::ShowFor(QWidget* owner) {
    if (owner) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    if (!Transferring())
        RefreshList();
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void TFInfoFromDat::bbFolderClick() {
    const QString start = FFolder.isEmpty() ? QCoreApplication::applicationDirPath() : FFolder;
    const QString folder = SelectFolderDialog(this, QStringLiteral("Папка с программами"), start);
    if (!folder.isEmpty())
        SetFolder(folder);
}

void TFInfoFromDat::BitBtn4Click() {
    if (Transferring())
        return;
    done(mrOk);
}

// ---------------------------------------------------------------------------------------------
// Transfers

bool TFInfoFromDat::Transferring() const {
    return FBatchRunning || FWorker->Busy();
}

void TFInfoFromDat::TransferChecked(bool toServer) {
    if (Transferring() || FFolder.isEmpty())
        return;
    if (toServer && !CanWrite) {
        MessageDlgAtMouse(ViewModeText(), mtWarning, {mbOK}, 0);
        return;
    }
    FJobs.clear();
    for (int row = 0; row < clb->count(); ++row) {
        const QListWidgetItem* item = clb->item(row);
        const size_t index = size_t(item->data(Qt::UserRole).toInt());
        if (item->checkState() != Qt::Checked || index >= FEntries.size())
            continue;
        FJobs.push_back({row, FEntries[index].Path.trimmed(), FEntries[index].Title.trimmed()});
    }
    FToServer = toServer;
    FNextJob = 0;
    FCancelled = false;
    FViewModeSeen = false;
    FDone = 0;
    FFailed = 0;
    FBatchRunning = true;
    g1->SetRange(0, clb->count() + 1);
    g1->SetProgress(0);
    g1->show();
    SetControlsForTransfer(true);
    StartNextJob();
}

void TFInfoFromDat::CancelTransfer() {
    if (!FBatchRunning || FCancelled)
        return;
    FCancelled = true;
    bbCancel->setEnabled(false);
    lbState->setText(QStringLiteral("Передача будет прервана после текущего файла."));
}

void TFInfoFromDat::StartNextJob() {
    if (FCancelled || FNextJob >= FJobs.size()) {
        FinishTransfer();
        return;
    }
    const TJob job = FJobs[FNextJob++];
    g1->SetProgress(job.Row + 1);
    lbState->setText(QStringLiteral("%1 %2 (%3 из %4)...")
                         .arg(FToServer ? QStringLiteral("Сохранение") : QStringLiteral("Загрузка"),
                              QFileInfo(job.Path).fileName())
                         .arg(FNextJob)
                         .arg(FJobs.size()));
    const bool toServer = FToServer;
    BeginBackgroundCalls();
    const bool started = FWorker->Run([this, job, toServer]() -> TTransferWorker::TCompletion {
        // Worker thread: the transfer only; what it came to is judged on the window's thread.
        if (toServer) {
            const TSaveOutcome outcome = StoreProgram(job.Path, job.Title);
            return [this, job, outcome] {
                if (outcome.Result == TSaveOutcome::ViewMode) {
                    // Said once at the end; the rest cannot be stored either.
                    FCancelled = true;
                    JobDone(false, true);
                    return;
                }
                JobDone(ReportSave(outcome, job.Path, job.Title), false);
            };
        }
        const TFetchOutcome outcome = FetchProgram(job.Path);
        return [this, outcome] { JobDone(ReportFetch(outcome), false); };
    });
    if (!started) {
        EndBackgroundCalls();
        FinishTransfer();
    }
}

void TFInfoFromDat::JobDone(bool ok, bool viewMode) {
    EndBackgroundCalls();
    ++(ok ? FDone : FFailed);
    FViewModeSeen = FViewModeSeen || viewMode;
    StartNextJob();
}

void TFInfoFromDat::FinishTransfer() {
    const int notReached = int(FJobs.size() - FNextJob);
    FBatchRunning = false;
    g1->SetProgress(g1->MaxValue());
    g1->hide();
    RefreshList();
    FSummary = TransferSummary(FToServer, FDone, FFailed, notReached);
    if (FViewModeSeen)
        FSummary += QLatin1Char(' ') + ViewModeText();
    lbState->setText(FSummary);
    SetControlsForTransfer(false);
    if (FViewModeSeen)
        MessageDlgAtMouse(ViewModeText(), mtWarning, {mbOK}, 0);
}

QString TFInfoFromDat::Summary() const {
    return FSummary;
}

QString TFInfoFromDat::TransferSummary(bool toServer, int done, int failed, int notReached) {
    QString text = toServer
                       ? QStringLiteral("Сохранено на сервере: %1, не удалось: %2.").arg(done).arg(failed)
                       : QStringLiteral("Забрано с сервера: %1, не удалось: %2.").arg(done).arg(failed);
    if (notReached > 0)
        text += QStringLiteral(" Прервано, не передано: %1.").arg(notReached);
    return text;
}

void TFInfoFromDat::SetControlsForTransfer(bool running) {
    const bool haveFolder = !FFolder.isEmpty();
    bbSave->setEnabled(!running && haveFolder);
    bbWrite->setEnabled(!running && haveFolder);
    bbFolder->setEnabled(!running);
    BitBtn4->setEnabled(!running);
    clb->setEnabled(!running);
    bbCancel->setVisible(running);
    bbCancel->setEnabled(running);
}

// ---------------------------------------------------------------------------------------------
// Header, columns and placement

int TFInfoFromDat::FieldStart() const {
    // Where the list draws an entry's text, in the header picture's coordinates, so that titles,
    // separators and fields line up.
    QStyleOptionViewItem option;
    option.initFrom(clb);
    option.rect = QRect(0, 0, std::max(100, clb->viewport()->width()), 16);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const int textLeft = clb->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, clb).left();
    const int listLeft = clb->viewport()->mapTo(this, QPoint(textLeft, 0)).x();
    return std::max(0, listLeft - Image1->mapTo(this, QPoint(0, 0)).x());
}

int TFInfoFromDat::SeparatorX(int column) const {
    int x = FieldStart();
    for (int i = 0; i <= column; ++i)
        x += FWidths[size_t(i)];
    return x - 4;
}

int TFInfoFromDat::SeparatorAt(int x) const {
    for (int i = 0; i < 4; ++i)
        if (std::abs(x - SeparatorX(i)) <= 2)
            return i;
    return -1;
}

void TFInfoFromDat::SetColumnWidth(int column, int width) {
    if (column < 0 || column > 3)
        return;
    FWidths[size_t(column)] = std::max(MinColumnWidth, width);
    DrawHeader();
    clb->viewport()->update();
}

void TFInfoFromDat::DrawHeader() {
    const QSize size = Image1->size().expandedTo(QSize(1, 19));
    QPixmap picture(size);
    picture.fill(palette().color(QPalette::Button));
    QPainter painter(&picture);
    painter.setFont(clb->font());
    painter.setPen(palette().color(QPalette::ButtonText));
    const QFontMetrics metrics(clb->font());
    int x = FieldStart();
    for (size_t i = 0; i < 4; ++i) {
        const QRect cell(x, 1, std::max(0, FWidths[i] - 6), size.height() - 1);
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(HeaderTitles()[i], Qt::ElideRight, cell.width()));
        x += FWidths[i];
        painter.drawLine(x - 4, 0, x - 4, size.height());
    }
    painter.end();
    Image1->setPixmap(picture);
}

void TFInfoFromDat::FormResize() {
    DrawHeader();
    Image1->update();
}

void TFInfoFromDat::FormActivate() {
    FitToDesktop(this);
}

void TFInfoFromDat::Image1MouseMove(int x) {
    if (FDragColumn >= 0) {
        const int columnLeft = SeparatorX(FDragColumn) + 4 - FWidths[size_t(FDragColumn)];
        SetColumnWidth(FDragColumn, x - columnLeft + 4);
        return;
    }
    Image1->setCursor(SeparatorAt(x) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TFInfoFromDat::Image1MouseDown(int x) {
    FDragColumn = SeparatorAt(x);
    if (FDragColumn >= 0)
        Image1->setCursor(Qt::SplitHCursor);
}

void TFInfoFromDat::Image1MouseUp() {
    FDragColumn = -1;
}

bool TFInfoFromDat::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1) {
        switch (event->type()) {
        case QEvent::MouseMove:
            Image1MouseMove(int(static_cast<QMouseEvent*>(event)->position().x()));
            return true;
        case QEvent::MouseButtonPress:
            Image1MouseDown(int(static_cast<QMouseEvent*>(event)->position().x()));
            return true;
        case QEvent::MouseButtonRelease:
            Image1MouseUp();
            return true;
        case QEvent::Resize:
            DrawHeader();
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFInfoFromDat::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

void TFInfoFromDat::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !FActivated) {
        FActivated = true;
        FormActivate();
    } else if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        FActivated = false;
    }
}

void TFInfoFromDat::closeEvent(QCloseEvent* event) {
    if (Transferring()) {
        // A file under way cannot be stopped half-way; the transfer ends after it.
        CancelTransfer();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFInfoFromDat::reject() {
    if (Transferring()) {
        CancelTransfer();
        return;
    }
    done(mrCancel);
}
