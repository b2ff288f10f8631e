#pragma once

#include <QList>
#include <QObject>

class QAction;
class QWidget;
class Document;
class TimportRecords;
class TtableReport;

namespace vm {
struct Segment;
}

// Export Records and Import Records: the records of the current segment out
// to a CSV, TSV or JSON Lines table (the format from the file's extension)
// and back, with a progress window that can stop them. An import is one
// rewrite of the document (the previous working copy stays, so it is one
// step to take back); the values that did not go in as the table gives them
// are listed in the report window, which can save them.
class RecordTableCommands : public QObject {
    Q_OBJECT
public:
    RecordTableCommands(Document& doc, QWidget* window);

    // Export, Import: for the record menu and the Edit menu.
    QList<QAction*> actions() const;
    TimportRecords* importDialog() const { return m_importDialog; }
    TtableReport* report() const { return m_report; }

    // The entries on or off for the current segment and the options.
    void refresh();
    void exportRecords();
    void importRecords();

private:
    // The current segment when it has records to put in a table.
    vm::Segment* recordSegment() const;

    Document& m_doc;
    QWidget* m_window;
    QAction* m_export = nullptr;
    QAction* m_import = nullptr;
    TimportRecords* m_importDialog = nullptr;
    TtableReport* m_report = nullptr;
};
