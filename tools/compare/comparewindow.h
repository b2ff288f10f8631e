#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QDockWidget>

#include "comparescan.h"
#include "filestream.h"
#include "toolhooks.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class Document;
class RecordPane;
class ResultRows;
class ScanRunner;

// The compare window: the open data byte by byte against a second file. The
// differences are listed (a double-click goes to the place), counted and
// drawn on the find map strip, and the record pane shows every segment a
// second time over the compare file, differing values marked in both grids.
// The compare runs in slices on the interface thread.
class Tcompf : public QDockWidget {
    Q_OBJECT
public:
    Tcompf(Document& doc, RecordPane& pane, Locate locate, QWidget* parent);
    ~Tcompf() override;

    // "...": chooses the compare file and compares.
    void chooseFile();
    // "Compare": opens the named file, enters compare mode and compares.
    void BcompareClick();
    // "Stop", closing the window or the document: a running compare ends.
    void stopCompare();
    bool comparing() const;
    void lvDblClick(int row);
    // The document was closed or replaced: its results and compare mode go.
    void forgetResults();

    // The file the compare grids show, or nullptr.
    const vm::FileStream* compareFile() const;

    static constexpr const char* kHelpTopic = "Compare Window.htm";

signals:
    void closed();

protected:
    // FormClose: the compare stops and the grids leave compare mode; the
    // compare file stays open until the next compare.
    void closeEvent(QCloseEvent* event) override;

private:
    struct Difference {
        std::int64_t offset;
        std::uint8_t source;
        std::int16_t target; // -1: past the end of the compare file
    };

    void byteCompare();
    bool runSlice(const vm::Progress& progress);
    void compareEnded(bool completed);
    void releaseCompareFile();
    QString resultText(int row, int column) const;

    Document& m_doc;
    RecordPane& m_pane;
    Locate m_locate;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_choose = nullptr;
    QLineEdit* m_maxResult = nullptr;
    QLineEdit* m_resultCount = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_compare = nullptr;
    QPushButton* m_stop = nullptr;
    QTreeView* m_lv = nullptr;
    ResultRows* m_resultModel = nullptr;
    ScanRunner* m_runner = nullptr;

    std::unique_ptr<vm::FileStream> m_file;
    std::unique_ptr<vm::CompareScan> m_scan;
    QString m_workingFile;
    std::vector<Difference> m_rows;
    std::int64_t m_maxListed = 0; // MaxResult of the run
    int m_mapTop = 0;
    int m_mapBottom = 0;
};
