#pragma once

class QStatusBar;

// Writes the database module's connection summary into the status bar's first panel (a label it
// creates on first use) and sizes the panel to the text.
void ShowStatus(QStatusBar* statusBar);
