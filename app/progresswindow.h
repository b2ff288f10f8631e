#pragma once

#include <memory>

#include <QString>

#include "workingfile.h"

class QProgressDialog;
class QWidget;

// A progress window for long work on files: it appears only after half a
// second, and its Cancel button asks the work to stop.
//
// No message may sit under one: the window is modal to the window the work
// runs in, so a message box behind it takes no click and the program looks
// hung. Every message, question and modal window of the program therefore
// closes the progress windows still open first (closeAll, called by the
// prompter), and a window closed that way stays closed for the rest of its
// work.
class ProgressWindow {
public:
    ProgressWindow(QWidget* parent, const QString& label);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // The callback to hand to the engine.
    vm::Progress callback();

    static void closeAll();

private:
    class Dialog;
    std::unique_ptr<Dialog> m_dialog;
};
