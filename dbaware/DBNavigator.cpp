#include "DBNavigator.h"

#include "DBErrors.h"
#include "DialogGateway.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace {

struct ButtonLook {
    const char* Name;
    const char* Glyph;
    const char* Hint;
};

const ButtonLook Looks[] = {
    {"nbFirst", "|\u25C0", "В начало"},
    {"nbPrior", "\u25C0", "Предыдущее"},
    {"nbNext", "\u25B6", "Следующее"},
    {"nbLast", "\u25B6|", "В конец"},
    {"nbInsert", "+", "Добавить"},
    {"nbDelete", "\u2212", "Удалить"},
    {"nbEdit", "\u25B2", "Редактировать"},
    {"nbPost", "\u2713", "Принять Изменения"},
    {"nbCancel", "\u2715", "Отменить Изменения"},
    {"nbRefresh", "\u21BB", "Обновить"},
};

} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = nbFirst; i <= nbRefresh; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(Looks[i].Name));
        button->setText(QString::fromUtf8(Looks[i].Glyph));
        button->setToolTip(QString::fromUtf8(Looks[i].Hint));
        // The glyph means nothing to a screen reader; the hint says what the button does.
        button->setAccessibleName(button->toolTip());
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        connect(button, &QToolButton::clicked, this, [this, i] { BtnClick(TNavigateBtn(i)); });
        layout->addWidget(button);
        FButtons[i] = button;
    }
    resize(230, 25);
    UpdateButtons();
}

void TDBNavigator::SetDataSource(TDataSource* source) {
    if (FDataSource)
        disconnect(FDataSource, nullptr, this, nullptr);
    FDataSource = source;
    if (source) {
        connect(source, &TDataSource::OnDataChange, this, &TDBNavigator::UpdateButtons);
        connect(source, &TDataSource::OnStateChange, this, &TDBNavigator::UpdateButtons);
        connect(source, &TDataSource::DataSetChanged, this, &TDBNavigator::UpdateButtons);
        connect(source, &TDataSource::FilterApplied, this, &TDBNavigator::UpdateButtons);
    }
    UpdateButtons();
}

void TDBNavigator::SetHints(const QStringList& hints) {
    for (int i = nbFirst; i <= nbRefresh && i < hints.size(); ++i) {
        FButtons[i]->setToolTip(hints[i]);
        FButtons[i]->setAccessibleName(hints[i]);
    }
}

void TDBNavigator::UpdateButtons() {
    TOracleDataSet* ds = FDataSource ? FDataSource->DataSet() : nullptr;
    const bool active = ds && ds->Active();
    // With a filter the moves go to the records the data source shows.
    const bool up = active && FDataSource->NextShown(ds->CurrentIndex() - 1, -1) >= 0;
    const bool down = active && FDataSource->NextShown(ds->CurrentIndex() + 1, 1) >= 0;
    const bool canModify = active && ds->CanModify();
    const bool editing = active && (ds->State() == dsEdit || ds->State() == dsInsert);
    FButtons[nbFirst]->setEnabled(up);
    FButtons[nbPrior]->setEnabled(up);
    FButtons[nbNext]->setEnabled(down);
    FButtons[nbLast]->setEnabled(down);
    FButtons[nbInsert]->setEnabled(canModify);
    FButtons[nbDelete]->setEnabled(canModify && !ds->IsEmpty());
    FButtons[nbEdit]->setEnabled(canModify && !editing);
    FButtons[nbPost]->setEnabled(canModify && editing);
    // A row being edited can always be given up, also after the dataset became read-only.
    FButtons[nbCancel]->setEnabled(editing);
    FButtons[nbRefresh]->setEnabled(active);
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
    TOracleDataSet* ds = FDataSource ? FDataSource->DataSet() : nullptr;
    if (!ds || !ds->Active())
        return;
    RunDataSetAction([&] {
        // Moves without a filter are the dataset's own (they also set Bof and Eof).
        const bool filtered = FDataSource->Filtered();
        auto moveTo = [ds](int index) {
            if (index >= 0)
                ds->MoveTo(index);
        };
        switch (button) {
        case nbFirst:
            filtered ? moveTo(FDataSource->NextShown(0, 1)) : ds->First();
            break;
        case nbPrior:
            filtered ? moveTo(FDataSource->NextShown(ds->CurrentIndex() - 1, -1)) : ds->Prior();
            break;
        case nbNext:
            filtered ? moveTo(FDataSource->NextShown(ds->CurrentIndex() + 1, 1)) : ds->Next();
            break;
        case nbLast:
            filtered ? moveTo(FDataSource->NextShown(ds->RecordCount() - 1, -1)) : ds->Last();
            break;
        case nbInsert:
            ds->Insert();
            break;
        case nbDelete:
            if (BeforeDeleteQuestion)
                BeforeDeleteQuestion();
            if (!FConfirmDelete ||
                MessageDlgAtMouse("Удалить запись?", mtConfirmation, {mbOK, mbCancel}, 0) == mrOk)
                ds->Delete();
            break;
        case nbEdit:
            ds->Edit();
            break;
        case nbPost:
            ds->Post();
            break;
        case nbCancel:
            ds->Cancel();
            break;
        case nbRefresh:
            ds->Refresh();
            break;
        }
    });
    UpdateButtons();
    emit Click(button);
}
