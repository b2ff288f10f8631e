#pragma once

#include <QProgressDialog>

#include "workingfile.h"

class QWidget;

// A progress window for long work on files: it appears only after half a
// second, and its Cancel button asks the work to stop.
class ProgressWindow {
public:
    ProgressWindow(QWidget* parent, const QString& label);
    // The callback to hand to the engine.
    vm::Progress callback();

private:
    QProgressDialog m_dialog;
};
