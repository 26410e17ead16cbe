#include "ReserveView.h"

#include "DialogGateway.h"
#include "ErrorOra.h"
#include "Oracle.h"
#include "OracleBase.h"
#include "ReserveMonitor.h"
#include "ReserveTables.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const EqualText = "Резервный сервер совпадает с основным";
const char* const ViewModeText = "Режим просмотра: изменения сейчас невозможны.";

QString Failure(const TReserveReport& report) {
    switch (report.Outcome) {
    case TReserveReport::MainUnreachable:
        return QStringLiteral("Основной сервер недоступен: ") + report.Message.trimmed();
    case TReserveReport::ReserveUnreachable:
        return QStringLiteral("Резервный сервер недоступен: ") + report.Message.trimmed();
    default:
        return QStringLiteral("Сравнить серверы не удалось: ") + report.Message.trimmed();
    }
}

} // namespace

TFReserveCompare::TFReserveCompare(TReserveMonitor& monitor, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      FMonitor(monitor) {
    setObjectName(QStringLiteral("FReserveCompare"));
    setWindowTitle(QStringLiteral("Сравнение резервного сервера с основным"));

    auto* layout = new QVBoxLayout(this);
    lbServers = new QLabel(this);
    lbServers->setObjectName(QStringLiteral("lbServers"));
    lbServers->setWordWrap(true);
    lbServers->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (FOracleBase)
        lbServers->setText(
            QStringLiteral("Основной сервер: «%1»    Резервный сервер: «%2»")
                .arg(FOracleBase->ADatabase->LogonDatabase(), FOracleBase->BDatabase->LogonDatabase()));
    lbServers->setAccessibleName(QStringLiteral("Серверы"));
    layout->addWidget(lbServers);

    tvDifferences = new QTreeWidget(this);
    tvDifferences->setObjectName(QStringLiteral("tvDifferences"));
    tvDifferences->setAccessibleName(QStringLiteral("Отличия резервного сервера"));
    tvDifferences->setHeaderLabels({QStringLiteral("Строка"), QStringLiteral("Отличие")});
    tvDifferences->setColumnCount(2);
    tvDifferences->setUniformRowHeights(true);
    tvDifferences->setTextElideMode(Qt::ElideMiddle);
    tvDifferences->header()->setStretchLastSection(true);
    tvDifferences->setColumnWidth(0, 420);
    layout->addWidget(tvDifferences, 1);

    lbState = new QLabel(this);
    lbState->setObjectName(QStringLiteral("lbState"));
    lbState->setAccessibleName(QStringLiteral("Состояние сравнения"));
    lbState->setWordWrap(true);
    lbState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lbState);

    auto* buttons = new QHBoxLayout();
    btCompare = new QPushButton(QStringLiteral("Сравнить снова"), this);
    btCompare->setObjectName(QStringLiteral("btCompare"));
    btUpdate = new QPushButton(QStringLiteral("Обновить резервный сервер"), this);
    btUpdate->setObjectName(QStringLiteral("btUpdate"));
    btUpdate->setToolTip(
        QStringLiteral("Переписать отличающиеся строки на резервном сервере по данным основного"));
    btClose = new QPushButton(QStringLiteral("Закрыть"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    // Enter closes; the update is a deliberate click (and asks first).
    btCompare->setAutoDefault(false);
    btUpdate->setAutoDefault(false);
    btClose->setDefault(true);
    buttons->addWidget(btCompare);
    buttons->addWidget(btUpdate);
    buttons->addStretch(1);
    buttons->addWidget(btClose);
    layout->addLayout(buttons);

    connect(btCompare, &QPushButton::clicked, this, &TFReserveCompare::btCompareClick);
    connect(btUpdate, &QPushButton::clicked, this, &TFReserveCompare::btUpdateClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::close);
    connect(&FMonitor, &TReserveMonitor::ProgressChanged, this, [this](const QString& text) {
        if (FBusy && !text.isEmpty())
            lbState->setText(text + QStringLiteral("…"));
    });

    // Wide enough for a table's counts and a row's name at once; still well inside 1280 x 1024.
    resize(960, 560);
    SetBusy(false);
}

void TFReserveCompare::SetBusy(bool busy) {
    FBusy = busy;
    btCompare->setEnabled(!busy);
    btUpdate->setEnabled(!busy && FReserveReached && FDifferences > 0);
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void TFReserveCompare::btCompareClick() {
    if (FBusy)
        return;
    lbState->setText(QStringLiteral("Сравнение…"));
    SetBusy(true);
    QPointer<TFReserveCompare> self(this);
    FMonitor.RequestCompare([self](const TReserveReport& report) {
        if (self)
            self->CompareDone(report);
    });
}

void TFReserveCompare::CompareDone(const TReserveReport& report) {
    ShowReport(report);
    SetBusy(false);
}

void TFReserveCompare::btUpdateClick() {
    if (FBusy)
        return;
    // Decided now: the mode may have changed since the comparison.
    if (!CanWrite) {
        MessageDlgAtMouse(QString::fromUtf8(ViewModeText), mtWarning, {mbOK}, 0);
        return;
    }
    if (!FReserveReached) {
        MessageDlgAtMouse(QStringLiteral("Резервный сервер недоступен: обновить его нельзя."), mtWarning,
                          {mbOK}, 0);
        return;
    }
    const QString question =
        QStringLiteral(
            "Переписать на резервном сервере отличающиеся строки (%1) по данным основного сервера?")
            .arg(FDifferences);
    if (MessageDlgAtMouse(question, mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
        return;
    lbState->setText(QStringLiteral("Обновление резервного сервера…"));
    SetBusy(true);
    QPointer<TFReserveCompare> self(this);
    FMonitor.RequestUpdate([self](const TReserveReport& report) {
        if (self)
            self->UpdateDone(report);
    });
}

void TFReserveCompare::UpdateDone(const TReserveReport& report) {
    SetBusy(false);
    switch (report.Outcome) {
    case TReserveReport::Equal:
        ShowReport(report);
        MessageDlgAtMouse(QString::fromUtf8(EqualText), mtInformation, {mbOK}, 0);
        break;
    case TReserveReport::Different:
        ShowReport(report);
        if (report.Updated)
            MessageDlgAtMouse(QStringLiteral("Резервный сервер обновлён, но снова отличается от основного: "
                                             "данные основного сервера изменились во время обновления."),
                              mtWarning, {mbOK}, 0);
        break;
    case TReserveReport::ViewMode:
        lbState->setText(QString::fromUtf8(ViewModeText));
        MessageDlgAtMouse(QString::fromUtf8(ViewModeText), mtWarning, {mbOK}, 0);
        break;
    case TReserveReport::Cancelled:
        break;
    default: {
        // Nothing was committed: the reserve stays as it was.
        const bool reached = report.Outcome == TReserveReport::Failed && report.RolledBack;
        lbState->setText(reached ? QStringLiteral("Резервный сервер не обновлён.") : Failure(report));
        QString details = report.Message.trimmed();
        if (!report.Statement.isEmpty())
            details += QStringLiteral("\n\n") + report.Statement;
        const QString text =
            report.Outcome == TReserveReport::MainUnreachable
                ? QStringLiteral(
                      "Основной сервер недоступен: резервный сервер не обновлён и оставлен без изменений.")
            : report.Outcome == TReserveReport::ReserveUnreachable
                ? QStringLiteral("Резервный сервер недоступен: он не обновлён и оставлен без изменений.")
                : QStringLiteral(
                      "Не удалось обновить резервный сервер. Резервный сервер оставлен без изменений.");
        ShowError(text, details);
        break;
    }
    }
}

void TFReserveCompare::ShowReport(const TReserveReport& report) {
    tvDifferences->clear();
    FReserveReached = report.Reached();
    FDifferences = report.Reached() ? report.Differences() : 0;
    if (!report.Reached()) {
        lbState->setText(Failure(report));
        SetBusy(FBusy);
        return;
    }
    const TReserveNames empty;
    const TReserveNames& names = report.Names ? *report.Names : empty;
    QFont bold = tvDifferences->font();
    bold.setBold(true);
    // A report of fingerprints only (after an update) names the tables and whether they agree.
    if (report.Diffs.isEmpty())
        for (const TTableFingerprint& t : report.Tables)
            new QTreeWidgetItem(tvDifferences, {t.Title, t.Equal ? QStringLiteral("совпадает")
                                                                 : QStringLiteral("отличается")});
    for (const TTableDiff& diff : report.Diffs) {
        auto* table = new QTreeWidgetItem(tvDifferences);
        table->setText(0, diff.Table->Title);
        table->setFont(0, bold);
        if (diff.StructureDiffers()) {
            table->setText(1, QStringLiteral("столбцы таблицы различаются"));
            if (!diff.MainOnlyColumns.isEmpty())
                new QTreeWidgetItem(table, {QStringLiteral("только на основном сервере"),
                                            diff.MainOnlyColumns.join(QStringLiteral(", "))});
            if (!diff.ReserveOnlyColumns.isEmpty())
                new QTreeWidgetItem(table, {QStringLiteral("только на резервном сервере"),
                                            diff.ReserveOnlyColumns.join(QStringLiteral(", "))});
            table->setExpanded(true);
            continue;
        }
        table->setText(1, diff.Equal() ? QStringLiteral("совпадает") : DescribeReserveCounts(diff));
        table->setToolTip(1, table->text(1));
        for (const TRowChange& change : diff.Changes) {
            const QVariantList& row = change.Kind == TRowChange::OnlyOnReserve ? change.Reserve : change.Main;
            QString kind = DescribeReserveKind(change);
            if (change.NullKey)
                kind += QStringLiteral(" (ключ не заполнен)");
            auto* item = new QTreeWidgetItem(
                table, {DescribeReserveRow(diff, row, names, change.Kind == TRowChange::Differs,
                                           ReserveRowSide(change)),
                        kind});
            item->setToolTip(0, item->text(0));
            for (const QString& column : DescribeReserveColumns(diff, change, names)) {
                auto* detail = new QTreeWidgetItem(item, {column.section(QStringLiteral(": "), 0, 0),
                                                          column.section(QStringLiteral(": "), 1)});
                detail->setToolTip(1, detail->text(1));
            }
            item->setExpanded(true);
        }
        table->setExpanded(!diff.Equal());
    }
    if (report.Outcome == TReserveReport::Equal)
        lbState->setText(QString::fromUtf8(EqualText));
    else
        lbState->setText(
            QStringLiteral("Резервный сервер отличается от основного: строк %1.").arg(FDifferences));
    SetBusy(FBusy);
}
