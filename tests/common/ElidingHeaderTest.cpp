#include "ElidingHeader.h"

#include <QStandardItemModel>
#include <QStyleOptionHeader>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

// What the header hands the style to paint for a section.
struct PaintedTitles : TElidingHeader {
    using TElidingHeader::TElidingHeader;
    QString Painted(int section) const {
        QStyleOptionHeader option;
        initStyleOption(&option);
        initStyleOptionForIndex(&option, section);
        return option.text;
    }
};

// A title too wide for its column keeps its beginning and ends in an ellipsis; one that fits is whole,
// and the size a column needs for its title is still the whole title's.
TEST(ElidingHeader, ATitleTooWideForItsColumnEndsInAnEllipsis) {
    QStandardItemModel model(1, 2);
    model.setHorizontalHeaderLabels({QStringLiteral("Функциональное назначение"), QStringLiteral("Поле")});
    QTableView view;
    auto* header = new PaintedTitles(Qt::Horizontal, &view);
    view.setHorizontalHeader(header);
    view.setModel(&model);
    header->resizeSection(0, 80);
    header->resizeSection(1, 200);
    const QString cut = header->Painted(0);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026))) << cut.toStdString();
    EXPECT_TRUE(cut.startsWith(QStringLiteral("Функц"))) << cut.toStdString();
    EXPECT_EQ(header->Painted(1), QStringLiteral("Поле"));

    header->resizeSection(0, header->sectionSizeHint(0));
    EXPECT_EQ(header->Painted(0), QStringLiteral("Функциональное назначение"));
}

} // namespace
