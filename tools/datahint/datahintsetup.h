#pragma once

#include <QDialog>

#include "kinds.h"

class QListWidget;
class QPushButton;

// The data hint setup dialog: which kinds the data hint window shows. The
// choice belongs to the structure and is saved with the type file.
class TfSetCurShow : public QDialog {
    Q_OBJECT
public:
    explicit TfSetCurShow(QWidget* parent);

    // Checks the kinds that are shown now; done before each showing.
    void load(const vm::DataHintFlags& flags);
    // The kinds chosen with OK.
    const vm::DataHintFlags& flags() const { return m_flags; }

signals:
    // OK took the check marks.
    void flagsChanged();

private:
    void okClicked();

    vm::DataHintFlags m_flags{};
    QListWidget* m_list;
};
