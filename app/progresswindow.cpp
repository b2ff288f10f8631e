#include "progresswindow.h"

#include <algorithm>
#include <vector>

#include <QProgressDialog>

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

namespace {
// The progress windows alive now; all on the interface thread.
std::vector<ProgressWindow*>& openWindows() {
    static std::vector<ProgressWindow*> windows;
    return windows;
}
} // namespace

ProgressWindow::ProgressWindow(QWidget* parent, const QString& label)
    : m_dialog(std::make_unique<Dialog>(label, QStringLiteral("Cancel"), 0, 1000, parent)) {
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(500);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
    openWindows().push_back(this);
}

ProgressWindow::~ProgressWindow() {
    auto& windows = openWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

vm::Progress ProgressWindow::callback() {
    return [this](double fraction) {
        m_dialog->setValue(static_cast<int>(fraction * 1000));
        return !m_dialog->wasCanceled();
    };
}

void ProgressWindow::closeAll() {
    for (ProgressWindow* w : openWindows())
        w->m_dialog->closeForGood();
}
