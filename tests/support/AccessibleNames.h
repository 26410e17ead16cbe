// What a screen reader, or an end-to-end test over the accessibility bus, finds in a window: the
// controls a person can act on that carry no accessible name.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

#include <string>

// The accessible name as the accessibility bridge reports it (the accessible name property, else
// the caption or the buddy label's text).
inline QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// "objectName (class)" of each control under root, root included, that is not hidden and has no
// accessible name, joined by ", "; empty when every control has one. Qt's own inner parts (named
// "qt_...", a table's corner button) and header views (whose sections carry the titles) are left out.
inline std::string ControlsWithoutAccessibleName(QWidget* root) {
    QStringList missing;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (w->objectName().startsWith(QLatin1String("qt_")) || !w->isVisibleTo(root) ||
            qobject_cast<QHeaderView*>(w) || w->inherits("QTableCornerButton"))
            continue;
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QAbstractItemView*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                             qobject_cast<QTextEdit*>(w);
        if (control && AccessibleName(w).trimmed().isEmpty())
            missing << QStringLiteral("%1 (%2)").arg(w->objectName(),
                                                     QLatin1String(w->metaObject()->className()));
    }
    return missing.join(QStringLiteral(", ")).toStdString();
}
