#include "StatusPanel.h"

#include "OracleBase.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>

void ShowStatus(QStatusBar* statusBar) {
    if (!statusBar || !FOracleBase)
        return;
    auto* panel = statusBar->findChild<QLabel*>(QStringLiteral("Panel0"), Qt::FindDirectChildrenOnly);
    if (!panel) {
        panel = new QLabel(statusBar);
        panel->setObjectName(QStringLiteral("Panel0"));
        statusBar->insertWidget(0, panel);
    }
    const QString text = FOracleBase->StatusText();
    panel->setText(text);
    const int margins =
        panel->contentsMargins().left() + panel->contentsMargins().right() + 2 * panel->margin();
    panel->setFixedWidth(QFontMetrics(statusBar->font()).horizontalAdvance(text) + margins);
}
