// Typing into the editable grid as a person does: a cell is chosen, its editor opened, the text typed
// key by key (any script, not only ASCII) and confirmed with Enter.
#pragma once

#include "DBGridEh.h"
#include "TypeText.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

// Replaces the text of the cell; false when no editor opened there (a read-only grid).
inline bool TypeIntoGridCell(TDBGridEh* grid, int row, int column, const QString& text) {
    grid->setFocus();
    const QModelIndex index = grid->model()->index(row, column);
    grid->setCurrentIndex(index);
    grid->edit(index);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!editor || !grid->isAncestorOf(editor))
        editor = grid->viewport()->findChild<QLineEdit*>();
    if (!editor)
        return false;
    editor->selectAll();
    TypeText(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits an editor closed with Return through a queued call.
    QCoreApplication::processEvents();
    return true;
}
