#pragma once

#include <QDialog>

#include "tableimport.h"

class QCheckBox;
class QComboBox;
class QLabel;

// "Import Records": how the table chosen is read into the current segment:
// its format (from the file's extension unless changed), a dry run that only
// reports, a strict import that writes nothing when a value does not fit,
// and appending records for rows past the last one (which moves the bytes
// after the segment, so only where the structure may move bytes).
class TimportRecords : public QDialog {
    Q_OBJECT
public:
    explicit TimportRecords(QWidget* parent = nullptr);

    // Before it is shown: the table, and whether records may be appended.
    void prepare(const QString& tablePath, bool mayAppend);
    // What was chosen (the row and thread tuning stays the engine's).
    vm::TableImportOptions options() const;

private:
    QLabel* m_table = nullptr;
    QComboBox* m_format = nullptr;
    QCheckBox* m_dryRun = nullptr;
    QCheckBox* m_strict = nullptr;
    QCheckBox* m_resize = nullptr;
};
