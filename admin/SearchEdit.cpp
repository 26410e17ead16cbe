#include "SearchEdit.h"

#include <QKeyEvent>

TSearchEdit::TSearchEdit(QWidget* parent, const QString& caption) : QLineEdit(parent) {
    setPlaceholderText(caption);
    setAccessibleName(caption);
    setClearButtonEnabled(true);
}

void TSearchEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
