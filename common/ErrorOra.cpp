#include "ErrorOra.h"

#include "Desktop.h"
#include "DialogGateway.h"
#include "TitleBar.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString UnfoldCaption = QStringLiteral("Дополнительно  >>");
const QString FoldCaption = QStringLiteral("Дополнительно  <<");

// The documented sizes; a caption that needs more room at the platform's font gets it.
constexpr int ClientWidth = 348;
constexpr int FirstHeight = 97;
constexpr int ButtonHeight = 41;
constexpr int OkLeft = 136, OkWidth = 75;
constexpr int DopLeft = 224, DopWidth = 115, DopRightMargin = ClientWidth - DopLeft - DopWidth;
constexpr int ButtonTop = 8, ButtonRowHeight = 25;

// CR LF, CR and LF each end a line.
QString Lines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

// A read-only text area in the background of its parent.
QPlainTextEdit* NewTextArea(QWidget* parent, const QString& text, Qt::ScrollBarPolicy vertical) {
    auto* area = new QPlainTextEdit(parent);
    area->setReadOnly(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(vertical);
    QPalette palette = area->palette();
    palette.setColor(QPalette::Base, parent->palette().color(QPalette::Window));
    area->setPalette(palette);
    area->setPlainText(Lines(text));
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    return area;
}

QFrame* NewPanel(QWidget* parent, const QRect& bounds) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(bounds);
    return panel;
}

} // namespace

TErrorOraForm::TErrorOraForm(const QString& text, const QString& details, int kind, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FKind(kind >= 0 && kind <= 3 ? kind : 4), FDetails(details) {
    setObjectName(QStringLiteral("ErrorOraForm"));
    AllowTitleBarButtons(this, TTitleBarButtons::SystemMenuAndClose);
    setWindowTitle(KindCaption(FKind));
    if (const auto icon = KindIcon(FKind))
        setWindowIcon(style()->standardIcon(*icon, nullptr, this));

    // The toggle is wide enough for either of its captions.
    const int dopWidth = std::max({DopWidth, QPushButton(UnfoldCaption).sizeHint().width(),
                                   QPushButton(FoldCaption).sizeHint().width()});
    FClientWidth = std::max(ClientWidth, DopLeft + dopWidth + DopRightMargin);

    pnFirst = NewPanel(this, QRect(0, 0, FClientWidth, FirstHeight));
    pnFirst->setObjectName(QStringLiteral("pnFirst"));
    // A long message keeps the area's height and shows no scroll bar.
    mmFirst = NewTextArea(pnFirst, text, Qt::ScrollBarAlwaysOff);
    mmFirst->setObjectName(QStringLiteral("mmFirst"));
    mmFirst->setAccessibleName(windowTitle());

    pnButton = new QWidget(this);
    pnButton->setObjectName(QStringLiteral("pnButton"));
    pnButton->setGeometry(0, FirstHeight, FClientWidth, ButtonHeight);
    btOk = new QPushButton(QStringLiteral("OK"), pnButton);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setGeometry(OkLeft, ButtonTop,
                      std::min(std::max(OkWidth, btOk->sizeHint().width()), DopLeft - OkLeft - 4),
                      std::max(ButtonRowHeight, btOk->sizeHint().height()));
    btOk->setDefault(true);
    btOk->setFocus();
    connect(btOk, &QPushButton::clicked, this, [this] { done(1); });
    btDop = new QPushButton(UnfoldCaption, pnButton);
    btDop->setObjectName(QStringLiteral("btDop"));
    btDop->setGeometry(DopLeft, ButtonTop, dopWidth, std::max(ButtonRowHeight, btDop->sizeHint().height()));
    btDop->setAutoDefault(false);
    btDop->setVisible(!details.isEmpty());
    connect(btDop, &QPushButton::clicked, this, [this] { btDopClick(); });

    FitToContents();
}

QString TErrorOraForm::KindCaption(int kind) {
    switch (kind) {
    case 0:
        return MsgDlgCaption(mtWarning);
    case 1:
        return MsgDlgCaption(mtError);
    case 2:
        return MsgDlgCaption(mtInformation);
    case 3:
        return MsgDlgCaption(mtConfirmation);
    default:
        return ApplicationTitle();
    }
}

std::optional<QStyle::StandardPixmap> TErrorOraForm::KindIcon(int kind) {
    switch (kind) {
    case 0:
        return QStyle::SP_MessageBoxWarning;
    case 1:
        return QStyle::SP_MessageBoxCritical;
    case 2:
        return QStyle::SP_MessageBoxInformation;
    case 3:
        return QStyle::SP_MessageBoxQuestion;
    default:
        return std::nullopt;
    }
}

void TErrorOraForm::FitToContents() {
    // The form sizes itself to its panels, as they stand one below the other.
    int bottom = pnButton->geometry().y() + pnButton->height();
    if (FDetailsPanel)
        bottom = FDetailsPanel->geometry().y() + FDetailsPanel->height();
    setFixedSize(FClientWidth, bottom);
}

void TErrorOraForm::btDopClick() {
    if (FDetailsPanel) {
        btDop->setText(UnfoldCaption);
        delete FDetailsPanel;
        FDetailsPanel = nullptr;
    } else {
        btDop->setText(FoldCaption);
        const int top = pnButton->geometry().y() + pnButton->height() + 1;
        FDetailsPanel = NewPanel(this, QRect(pnFirst->x(), top, pnFirst->width(), pnFirst->height()));
        FDetailsPanel->setObjectName(QStringLiteral("pnDetails"));
        QPlainTextEdit* details = NewTextArea(FDetailsPanel, FDetails, Qt::ScrollBarAlwaysOn);
        details->setObjectName(QStringLiteral("mmDetails"));
        details->setAccessibleName(UnfoldCaption.left(UnfoldCaption.indexOf(u' ')));
        FDetailsPanel->show();
    }
    FitToContents();
}

void TErrorOraForm::FormActivate() {
    MoveToMouseMonitor(this);
    FitToDesktop(this);
}

void TErrorOraForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!FActivated) {
        FActivated = true;
        FormActivate();
    }
}

void ShowMessageDialog(const QString& text, const QString& details, int kind) {
    DialogRequest request;
    request.Kind = DialogKind::ErrorForm;
    request.Caption = TErrorOraForm::KindCaption(kind);
    request.Text = text;
    request.Details = details;
    request.Type = kind >= 0 && kind <= 3 ? static_cast<TMsgDlgType>(kind) : mtCustom;
    DialogGateway::Instance().Ask(request);
}

void ShowError(const QString& text, const QString& details) {
    ShowMessageDialog(text, details, 1);
}
