#pragma once

#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "workingfile.h"

class QWidget;
class RecordPane;

// A progress window for long work on files: it appears only after half a
// second, and its Cancel button asks the work to stop.
//
// While it lives, the user's clicks and keys reach only it (and any box shown
// over it), yet the windows behind it are not blocked the way a modal dialog
// blocks them: the main window still hears the request to close, so it can
// offer to stop the work instead of ignoring the user.
//
// No message may sit under one, or the program looks hung. Every message,
// question and modal window of the program therefore closes the progress
// windows still open first (closeAll, called by the prompter), and a window
// closed that way stays closed for the rest of its work.
class ProgressWindow : public QObject {
public:
    ProgressWindow(QWidget* parent, const QString& label);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // The callback to hand to the engine.
    vm::Progress callback();

    // Whether work with a progress window is under way, and a stop for all of
    // it (each stops at its next report).
    static bool anyRunning();
    static void stopAll();
    static void closeAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Dialog;
    std::unique_ptr<Dialog> m_dialog;
    QElapsedTimer m_sinceEvents;
    bool m_stopped = false;
};

// After long work failed: the user's own stop is said on the status line (it
// is no error), any other reason in a message box.
void reportFailure(RecordPane& pane, QWidget* parent, const QString& error);
