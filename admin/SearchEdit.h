// A search box: placeholder and accessible name "Поиск" (or another caption), Esc clears it. An
// empty box leaves Esc to its window (a dialog closes).
#pragma once

#include <QLineEdit>

class TSearchEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TSearchEdit(QWidget* parent = nullptr, const QString& caption = QStringLiteral("Поиск"));

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
