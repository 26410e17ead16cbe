// The window geometry store: one section of Temp.tmp per window class, read when a window is
// created and written when it is destroyed. Each use creates a store, makes one call and frees it.
//
// Geometry is the window's client rectangle (QWidget::geometry, normalGeometry for a maximised or
// minimised window): what Save writes comes back unchanged through Restore on the same desktop.
#pragma once

#include "ProfileFile.h"

class QWidget;

class TTempTmp : public ProfileFile {
public:
    // The file is TempFileName (set from the working directory first when it is still empty); the
    // section is the executable's name with "." for its extension and the class name of the
    // control, taken from its meta-object unless className is given. The control is not owned.
    explicit TTempTmp(QWidget* control, const QString& className = {});

    const QString& Section() const { return FSection; }
    QWidget* Control() const { return FControl; }

    // Applies the stored geometry; a window keeps at least margin pixels on the desktop in each
    // direction, and gets back its stored window state.
    void Restore(int margin);
    // Writes the geometry; raises EIniFileException when the file cannot be written.
    void Save();

private:
    QString FSection;
    QWidget* FControl;
};
