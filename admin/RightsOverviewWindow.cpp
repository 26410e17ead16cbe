#include "RightsOverviewWindow.h"

#include "CsvFile.h"
#include "DialogGateway.h"
#include "ElidingHeader.h"
#include "ErrorOra.h"
#include "RightsOverview.h"
#include "SearchEdit.h"
#include "TitleBar.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

TfmRightsOverview::TfmRightsOverview(QWidget* owner) : QDialog(owner), Model(new TRightsOverviewModel(this)) {
    setObjectName(QStringLiteral("fmRightsOverview"));
    setWindowTitle(QStringLiteral("Права пользователей"));
    auto* layout = new QVBoxLayout(this);

    auto* filters = new QHBoxLayout;
    edSearch = new TSearchEdit(this);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edPrograms = new TSearchEdit(this, QStringLiteral("Поиск программы"));
    edPrograms->setObjectName(QStringLiteral("edPrograms"));
    lbCount = new QLabel(this);
    lbCount->setObjectName(QStringLiteral("lbCount"));
    filters->addWidget(edSearch, 2);
    filters->addWidget(edPrograms, 1);
    filters->addWidget(lbCount);
    layout->addLayout(filters);

    auto* access = new QHBoxLayout;
    chkOnlyAccess =
        new QCheckBox(QStringLiteral("Только пользователи с доступом к выбранной программе:"), this);
    chkOnlyAccess->setObjectName(QStringLiteral("chkOnlyAccess"));
    cbProgram = new QComboBox(this);
    cbProgram->setObjectName(QStringLiteral("cbProgram"));
    cbProgram->setAccessibleName(QStringLiteral("Выбранная программа"));
    cbProgram->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbProgram->setMinimumContentsLength(16);
    access->addWidget(chkOnlyAccess);
    access->addWidget(cbProgram, 1);
    layout->addLayout(access);

    Grid = new QTableView(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setAccessibleName(QStringLiteral("Права пользователей"));
    Grid->setHorizontalHeader(new TElidingHeader(Qt::Horizontal, Grid));
    Grid->setModel(Model);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->verticalHeader()->hide();
    Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // Fixed widths: measuring ten thousand rows would cost more than reading them.
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid->horizontalHeader()->setDefaultSectionSize(110);
    layout->addWidget(Grid, 1);

    auto* buttons = new QHBoxLayout;
    bbSaveCsv = new QPushButton(QStringLiteral("Сохранить в CSV"), this);
    bbSaveCsv->setObjectName(QStringLiteral("bbSaveCsv"));
    bbClose = new QPushButton(QStringLiteral("Закрыть"), this);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    bbClose->setAutoDefault(false);
    bbSaveCsv->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(bbSaveCsv);
    buttons->addWidget(bbClose);
    layout->addLayout(buttons);

    connect(edSearch, &QLineEdit::textChanged, this, [this](const QString& text) {
        Model->SetUserSearch(text);
        UpdateCount();
    });
    connect(edPrograms, &QLineEdit::textChanged, this, [this](const QString& text) {
        Model->SetProgramSearch(text);
        FitColumns();
        UpdateCount();
    });
    connect(chkOnlyAccess, &QCheckBox::toggled, this, &TfmRightsOverview::ApplyAccessFilter);
    connect(cbProgram, &QComboBox::currentIndexChanged, this, &TfmRightsOverview::ApplyAccessFilter);
    connect(bbSaveCsv, &QPushButton::clicked, this, &TfmRightsOverview::bbSaveCsvClick);
    connect(bbClose, &QPushButton::clicked, this, &QDialog::close);
    connect(Grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit UserProgramChosen(Model->UserAt(index.row()), Model->ProgramAt(index.column()));
    });

    AllowTitleBarButtons(this, TTitleBarButtons::SystemMenuAndClose);
    setSizeGripEnabled(true);
    resize(900, 600);
    UpdateCount();
}

void TfmRightsOverview::SetSelectedProgram(std::optional<int> programId) {
    FSelectedProgram = programId;
}

void TfmRightsOverview::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Reload();
}

bool TfmRightsOverview::Reload() {
    TRightsOverviewData data;
    QString error;
    if (!data.Load(error)) {
        ShowError(QStringLiteral("Не удалось прочитать права пользователей."), error);
        return false;
    }
    Model->SetData(std::move(data));
    FitColumns();
    FillProgramChoice();
    ApplyAccessFilter();
    return true;
}

void TfmRightsOverview::FitColumns() {
    Grid->setColumnWidth(0, 220);
    // An application's column fits its title and the longest group name, within bounds; the group names are
    // a few hundred at most, so measuring them costs nothing, unlike measuring every row.
    const QFontMetrics metrics = Grid->fontMetrics();
    int widest = metrics.horizontalAdvance(QString::fromUtf8(TRightsOverviewData::NoGroupText));
    for (const QString& name : Model->Data().GroupNames)
        widest = std::max(widest, metrics.horizontalAdvance(name));
    constexpr int Padding = 12, Narrowest = 110, Widest = 240;
    for (int c = TRightsOverviewModel::NameColumns; c < Model->columnCount(); ++c)
        Grid->setColumnWidth(
            c, std::clamp(std::max(widest + Padding, Grid->horizontalHeader()->sectionSizeHint(c)), Narrowest,
                          Widest));
}

void TfmRightsOverview::FillProgramChoice() {
    const QSignalBlocker block(cbProgram);
    // The administration window's selection first, then what was chosen here before.
    std::optional<int> wanted = FSelectedProgram;
    if (!wanted && cbProgram->currentIndex() >= 0)
        wanted = cbProgram->currentData().toInt();
    FSelectedProgram.reset();
    cbProgram->clear();
    for (const TRightsOverviewData::TProgram& p : Model->Data().Programs)
        cbProgram->addItem(p.Alias, p.Id);
    const int index = wanted ? cbProgram->findData(*wanted) : -1;
    cbProgram->setCurrentIndex(index >= 0 ? index : (cbProgram->count() > 0 ? 0 : -1));
    chkOnlyAccess->setEnabled(cbProgram->count() > 0);
}

void TfmRightsOverview::ApplyAccessFilter() {
    if (chkOnlyAccess->isChecked() && cbProgram->currentIndex() >= 0)
        Model->SetOnlyWithAccess(cbProgram->currentData().toInt());
    else
        Model->SetOnlyWithAccess(std::nullopt);
    UpdateCount();
}

void TfmRightsOverview::UpdateCount() {
    lbCount->setText(QStringLiteral("%1 из %2").arg(Model->rowCount()).arg(Model->TotalUsers()));
    lbCount->setAccessibleName(QStringLiteral("Показано пользователей: ") + lbCount->text());
}

void TfmRightsOverview::bbSaveCsvClick() {
    const QString fileName = SaveFileDialog(this, QStringLiteral("Сохранить в CSV"),
                                            QStringLiteral("Права пользователей.csv"), CsvFileFilter());
    if (fileName.isEmpty())
        return;
    QString error;
    if (!SaveCsvFile(
            fileName, Model->Titles(), Model->rowCount(),
            [this](qsizetype row) { return Model->RowTexts(int(row)); }, error))
        ShowError(QStringLiteral("Не удалось сохранить файл \"%1\".").arg(fileName), error);
}
