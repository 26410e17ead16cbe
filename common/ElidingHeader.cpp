#include "ElidingHeader.h"

#include <QStyle>
#include <QStyleOptionHeader>

TElidingHeader::TElidingHeader(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {
    // As a table view's own header.
    setSectionsClickable(true);
    setHighlightSections(true);
}

void TElidingHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    // A title that fits between the section's borders stays whole, even over the style's margins.
    const int width = sectionSize(logicalIndex);
    if (option->fontMetrics.horizontalAdvance(option->text) <= width - 2)
        return;
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, option, this);
    option->text = option->fontMetrics.elidedText(option->text, Qt::ElideRight, width - 2 * margin);
}
