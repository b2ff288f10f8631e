#include "progresswindow.h"

#include <vector>

#include <QAction>
#include <QProgressDialog>
#include <QApplication>
#include <QKeyEvent>

#include "filestream.h"
#include "prompter.h"
#include "recordpane.h"

namespace {

// Events run about this often while the work goes on, never once per report.
constexpr int kEventsEveryMs = 30;

std::vector<ProgressWindow*>& running() {
    static std::vector<ProgressWindow*> list;
    return list;
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        return true;
    default:
        return false;
    }
}

} // namespace

// A progress dialog that cannot come back once closed: Qt shows a progress
// dialog by itself when its minimum duration has passed, even in the middle
// of a message box's event loop.
class ProgressWindow::Dialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;

    void setVisible(bool visible) override {
        if (visible && m_closed)
            return;
        QProgressDialog::setVisible(visible);
    }
    void closeForGood() {
        m_closed = true;
        hide();
    }

private:
    bool m_closed = false;
};

ProgressWindow::ProgressWindow(QWidget* parent, const QString& label)
    : m_dialog(std::make_unique<Dialog>(label, QStringLiteral("Cancel"), 0, 1000, parent)) {
    m_dialog->setMinimumDuration(500);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
    m_sinceEvents.start();
    running().push_back(this);
    qApp->installEventFilter(this);
}

ProgressWindow::~ProgressWindow() {
    qApp->removeEventFilter(this);
    std::erase(running(), this);
}

vm::Progress ProgressWindow::callback() {
    return [this](double fraction) {
        m_dialog->setValue(static_cast<int>(fraction * 1000));
        if (m_sinceEvents.elapsed() >= kEventsEveryMs) {
            QCoreApplication::processEvents();
            m_sinceEvents.restart();
        }
        return !m_stopped && !m_dialog->wasCanceled();
    };
}

bool ProgressWindow::anyRunning() {
    return !running().empty();
}

void ProgressWindow::closeAll() {
    for (ProgressWindow* p : running())
        p->m_dialog->closeForGood();
}

void ProgressWindow::stopAll() {
    for (ProgressWindow* p : running())
        p->m_stopped = true;
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event->type()))
        return false;
    if (auto* w = qobject_cast<QWidget*>(watched)) {
        const QWidget* top = w->window();
        if (top == m_dialog.get() || top == QApplication::activeModalWidget())
            return false;
    } else if (!qobject_cast<QAction*>(watched)) {
        return false; // the windows themselves pass it on to their widgets
    }
    // Claimed, so that no menu shortcut fires behind the work either.
    if (event->type() == QEvent::ShortcutOverride)
        event->accept();
    return true;
}

void reportFailure(RecordPane& pane, QWidget* parent, const QString& error) {
    if (error == QLatin1String(vm::kStoppedByUser)) {
        pane.setStatusText(error);
        return;
    }
    if (!error.isEmpty())
        prompter().error(parent, error);
}
