#include "MessageForm.h"

#include "Desktop.h"
#include "TitleBar.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const ButtonNames[] = {"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                   "Ignore", "All", "NoToAll", "YesToAll", "Help"};

const QString UnfoldCaption = QStringLiteral("Дополнительно  >>");
const QString FoldCaption = QStringLiteral("Дополнительно  <<");
const QChar Ellipsis(0x2026);

// The documented button size, kept as the least a button gets.
constexpr int ButtonMinWidth = 75;
constexpr int ButtonMinHeight = 25;
// The widest a line of text may be; a message box is read, not scanned across the screen.
constexpr int TextMaxWidth = 600;
constexpr int TextMaxLines = 24;
// What a window manager's title bar needs besides the caption: the window icon, its buttons
// and the margins around them.
constexpr int TitleBarAllowance = 120;
// Room the box needs around its text: icon, margins, the button row, the frame.
constexpr int BoxHorizontalRoom = 160;
constexpr int BoxVerticalRoom = 200;

// The smallest monitor: the box opens at the mouse, on any of them.
QSize SmallestMonitor() {
    QSize smallest;
    for (const QRect& monitor : CurrentDesktop().Describe().Monitors)
        if (!smallest.isValid() || monitor.width() * monitor.height() < smallest.width() * smallest.height())
            smallest = monitor.size();
    return smallest.isValid() ? smallest : QSize(1024, 768);
}

} // namespace

TFittedText FitMessageText(const QString& text, const QFont& font, int maxWidth, int maxLines) {
    const QFontMetrics metrics(font);
    maxWidth = std::max(maxWidth, metrics.horizontalAdvance(QStringLiteral("WWWW")));
    maxLines = std::max(maxLines, 1);
    QStringList lines;
    bool cut = false;
    for (const QString& paragraph : text.split(u'\n')) {
        if (lines.size() > maxLines)
            break;
        if (paragraph.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid() && lines.size() <= maxLines;
             line = layout.createLine()) {
            line.setLineWidth(maxWidth);
            QString piece = paragraph.mid(line.textStart(), line.textLength());
            while (!piece.isEmpty() && piece.back().isSpace())
                piece.chop(1);
            lines << piece;
        }
        layout.endLayout();
    }
    if (lines.size() > maxLines) {
        cut = true;
        lines = lines.mid(0, maxLines);
        QString last = lines.last();
        while (!last.isEmpty() && metrics.horizontalAdvance(last + Ellipsis) > maxWidth)
            last.chop(1);
        lines.last() = last + Ellipsis;
    }
    return {lines.join(u'\n'), cut};
}

TMessageForm::TMessageForm(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FMessage(new QLabel(this)) {
    setObjectName(QStringLiteral("MessageForm"));
    AllowTitleBarButtons(this, TTitleBarButtons::SystemMenuAndClose);
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
    // CR LF, CR and LF each end a line.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    const QSize monitor = SmallestMonitor();
    const int lineHeight = QFontMetrics(font()).lineSpacing();
    const TFittedText fitted = FitMessageText(
        lines, font(), std::min(TextMaxWidth, monitor.width() - BoxHorizontalRoom),
        std::min(TextMaxLines, (monitor.height() - BoxVerticalRoom) / std::max(lineHeight, 1)));
    FMessage->setObjectName(QStringLiteral("Message"));
    FMessage->setTextFormat(Qt::PlainText);
    FMessage->setText(fitted.Text);
    FMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(FMessage, 1);

    const QList<TMsgDlgBtn> shown = buttons.List();
    // Enter presses OK or Yes; a box with neither (a refusal with only "Отмена") answers Enter with
    // its first button, as the platform's own boxes do.
    const TMsgDlgBtn defaultButton = buttons.Contains(mbOK)    ? mbOK
                                     : buttons.Contains(mbYes) ? mbYes
                                     : shown.isEmpty()         ? mbOK
                                                               : shown.first();
    const TMsgDlgBtn cancelButton = buttons.Contains(mbCancel) ? mbCancel
                                    : buttons.Contains(mbNo)   ? mbNo
                                                               : mbOK;
    if (buttons.Contains(cancelButton))
        FCancelResult = MsgDlgButtonResult(cancelButton);

    auto* row = new QHBoxLayout;
    row->addStretch();
    FButtons.fill(nullptr, mbHelp + 1);
    QPushButton* focus = nullptr;
    for (const TMsgDlgBtn kind : shown) {
        auto* button = new QPushButton(MsgDlgButtonCaption(kind), this);
        button->setObjectName(QString::fromLatin1(ButtonNames[kind]));
        button->setMinimumSize(ButtonMinWidth, ButtonMinHeight);
        button->setDefault(kind == defaultButton);
        button->setAutoDefault(false);
        if (kind == defaultButton)
            focus = button;
        FButtons[kind] = button;
        const int result = MsgDlgButtonResult(kind);
        // Help has no result: it does not close the box.
        if (result != mrNone)
            connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        row->addWidget(button);
    }
    if (fitted.Cut) {
        FDetailsButton = new QPushButton(UnfoldCaption, this);
        FDetailsButton->setObjectName(QStringLiteral("btDop"));
        FDetailsButton->setMinimumSize(ButtonMinWidth, ButtonMinHeight);
        FDetailsButton->setAutoDefault(false);
        connect(FDetailsButton, &QPushButton::clicked, this, &TMessageForm::ToggleDetails);
        row->addWidget(FDetailsButton);
    }
    row->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(row);
    if (fitted.Cut) {
        FDetails = new QPlainTextEdit(this);
        FDetails->setObjectName(QStringLiteral("mmDetails"));
        FDetails->setAccessibleName(UnfoldCaption.left(UnfoldCaption.indexOf(u' ')));
        FDetails->setReadOnly(true);
        FDetails->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        FDetails->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        FDetails->setPlainText(lines);
        FDetails->setFixedHeight(8 * lineHeight + 2 * FDetails->frameWidth() + 8);
        FDetails->hide();
        layout->addWidget(FDetails);
    }
    if (focus)
        focus->setFocus();
    FitToContents();
}

QPushButton* TMessageForm::Button(TMsgDlgBtn button) const {
    return FButtons.value(button, nullptr);
}

void TMessageForm::reject() {
    // Escape and the system menu close the box as its cancel button would.
    done(FCancelResult);
}

void TMessageForm::ToggleDetails() {
    const bool unfold = FDetails->isHidden();
    FDetails->setVisible(unfold);
    FDetailsButton->setText(unfold ? FoldCaption : UnfoldCaption);
    FitToContents();
}

void TMessageForm::FitToContents() {
    QFont titleFont = font();
    titleFont.setBold(true);
    const int captionWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + TitleBarAllowance;
    layout()->activate();
    const QSize contents = layout()->totalSizeHint();
    setFixedSize(std::max(contents.width(), captionWidth), contents.height());
}
