#pragma once

#include <QDialog>

// The about box.
class Tabout : public QDialog {
    Q_OBJECT
public:
    explicit Tabout(QWidget* parent = nullptr);
    static constexpr const char* kVersionText = "Version 1.20 (2006-Oct-28)";
};
