// A grid header whose titles end in an ellipsis when their column is too narrow. Qt's own header only
// clips a centred title, which loses letters at both ends ("ункциональное назначени").
#pragma once

#include <QHeaderView>

class TElidingHeader : public QHeaderView {
public:
    explicit TElidingHeader(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};
