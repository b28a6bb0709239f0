// The standard buttons of the window's message boxes in the interface
// language: Qt's own translations are not installed with the program, so
// its "OK" and "Cancel" would stay English in a Chinese box.
#pragma once

class QMessageBox;

void SetStandardButtonTexts(QMessageBox& box);
