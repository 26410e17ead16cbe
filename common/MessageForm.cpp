#include "MessageForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const char* const ButtonNames[] = {"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                   "Ignore", "All", "NoToAll", "YesToAll", "Help"};

} // namespace

TMessageForm::TMessageForm(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FMessage(new QLabel(this)) {
    setObjectName(QStringLiteral("MessageForm"));
    setWindowTitle(MsgDlgCaption(type));

    auto* top = new QHBoxLayout;
    if (type != mtCustom) {
        const QStyle::StandardPixmap icons[] = {QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
                                                QStyle::SP_MessageBoxInformation,
                                                QStyle::SP_MessageBoxQuestion};
        auto* image = new QLabel(this);
        image->setObjectName(QStringLiteral("Image"));
        const int extent = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        image->setPixmap(style()->standardIcon(icons[type], nullptr, this).pixmap(extent, extent));
        image->setAlignment(Qt::AlignTop);
        top->addWidget(image);
    }
    FMessage->setObjectName(QStringLiteral("Message"));
    FMessage->setTextFormat(Qt::PlainText);
    // CR LF, CR and LF each end a line.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    FMessage->setText(lines);
    FMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(FMessage, 1);

    const TMsgDlgBtn defaultButton = buttons.Contains(mbOK)    ? mbOK
                                     : buttons.Contains(mbYes) ? mbYes
                                                               : mbRetry;
    const TMsgDlgBtn cancelButton = buttons.Contains(mbCancel) ? mbCancel
                                    : buttons.Contains(mbNo)   ? mbNo
                                                               : mbOK;
    if (buttons.Contains(cancelButton))
        FCancelResult = MsgDlgButtonResult(cancelButton);

    auto* row = new QHBoxLayout;
    row->addStretch();
    FButtons.fill(nullptr, mbHelp + 1);
    for (const TMsgDlgBtn kind : buttons.List()) {
        auto* button = new QPushButton(MsgDlgButtonCaption(kind), this);
        button->setObjectName(QString::fromLatin1(ButtonNames[kind]));
        button->setDefault(kind == defaultButton);
        button->setAutoDefault(false);
        FButtons[kind] = button;
        const int result = MsgDlgButtonResult(kind);
        // Help has no result: it does not close the box.
        if (result != mrNone)
            connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        row->addWidget(button);
    }
    row->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* TMessageForm::Button(TMsgDlgBtn button) const {
    return FButtons.value(button, nullptr);
}

void TMessageForm::reject() {
    // Escape and the system menu close the box as its cancel button would.
    done(FCancelResult);
}
