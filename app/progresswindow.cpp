#include "progresswindow.h"

ProgressWindow::ProgressWindow(QWidget* parent, const QString& label)
    : m_dialog(label, QStringLiteral("Cancel"), 0, 1000, parent) {
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setMinimumDuration(500);
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    m_dialog.setValue(0);
}

vm::Progress ProgressWindow::callback() {
    return [this](double fraction) {
        m_dialog.setValue(static_cast<int>(fraction * 1000));
        return !m_dialog.wasCanceled();
    };
}
