#pragma once

#include <QDialog>

#include "tableimport.h"

class QLabel;
class QPushButton;
class QTableView;
class TableReportModel;

// The report of an import of a record table: what the import did in a line,
// and the values that did not go in as the table gives them, listed as they
// come; "Save..." writes the whole list to a text file. It stands on its own:
// the import command fills it and shows it.
class TtableReport : public QDialog {
    Q_OBJECT
public:
    explicit TtableReport(QWidget* parent = nullptr);

    // Empties the list for another import.
    void clear();
    // A value that did not go in; hand it from the import's report callback.
    void add(const vm::TableValueReport& report);
    // The line above the list (what was written, or why nothing was).
    void setSummary(const QString& text);
    QString summary() const;

    TableReportModel* model() const { return m_model; }
    QTableView* list() const { return m_list; }

    // Asks for a file name and writes every report there; errors are shown.
    void saveList();

private:
    TableReportModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_close = nullptr;
};
