#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDockWidget>
#include <QString>

#include "findscan.h"
#include "toolhooks.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class Document;
class RecordPane;
class ResultRows;
class ScanRunner;

// The find window: a list of conditions (a kind and a value each), searched
// for together within a range of bytes. Hits are listed (a double-click goes
// to the place), drawn on the record pane's find map strip, and marked in the
// grids. The search runs in slices on the interface thread over copies of the
// conditions, so the list stays editable meanwhile.
class TFfind : public QDockWidget {
    Q_OBJECT
public:
    TFfind(Document& doc, RecordPane& pane, Locate locate, QWidget* parent);
    ~TFfind() override;

    // "Find": starts a search over the open data.
    void BfindClick();
    // "Stop", closing the window or the document: a running search ends.
    void stopSearch();
    bool searching() const;
    void addItem();
    void delItem();
    // Double-click on a result row: its position, unless it is a separator.
    void lvResultDblClick(int row);
    // The document was closed or replaced: its results go.
    void forgetResults();

    static constexpr const char* kHelpTopic = "Find window.htm";

signals:
    void closed();

protected:
    // FormClose: the search stops, the grids leave find mode.
    void closeEvent(QCloseEvent* event) override;

private:
    struct ResultRow {
        std::int64_t number; // 0: separator; -1: "more hits than listed"
        std::int32_t condition;
        std::int64_t position;
    };
    // One search: copies of what it searches for and where its map lanes lie.
    struct Run {
        std::vector<QString> kinds; // as the result rows show them
        std::vector<QString> values;
        std::unique_ptr<vm::FindScan> scan;
        QString workingFile;
        bool mapped = false;
        float scale = 0;
        int laneHeight = 0;
        int mapRight = 0;
        std::vector<int> laneTop;
        std::vector<int> lastColumn;
        std::vector<int> lastHit;
        bool capped = false; // more hits than the list holds
    };

    QTreeWidgetItem* addCondition(int kind, const QString& value);
    static QString conditionKindText(const QTreeWidgetItem* item);
    void refreshConditionRow(QTreeWidgetItem* item);
    void textOptionChanged(int role, bool on);
    // The pattern of a text condition; nothing (and the user told why) when
    // its text cannot be searched.
    std::optional<vm::FindPattern> textPattern(const QTreeWidgetItem* item);
    void lvFindSelectItem(QTreeWidgetItem* item);
    void CkindChange(int index);
    void EvalueChange(const QString& text);
    void updateItemButtons();
    void prepareMap(Run& run, std::int64_t size);
    void paintLane(QPainter& painter, int lane, std::int64_t from, std::int64_t to, bool hit);
    bool runSlice(const vm::Progress& progress);
    void addHit(QPainter& painter, std::int64_t number, std::span<const std::int64_t> positions);
    void searchEnded(bool completed);
    QString resultText(int row, int column) const;

    Document& m_doc;
    RecordPane& m_pane;
    Locate m_locate;
    QTreeWidget* m_lvFind = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_value = nullptr;
    QCheckBox* m_ignoreCase = nullptr;
    QCheckBox* m_utf16 = nullptr;
    QPushButton* m_addItem = nullptr;
    QPushButton* m_delItem = nullptr;
    QAction* m_padd = nullptr;
    QAction* m_pdel = nullptr;
    QLineEdit* m_range = nullptr;
    QLineEdit* m_resultCount = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_find = nullptr;
    QPushButton* m_cancel = nullptr;
    QTreeView* m_lvResult = nullptr;
    ResultRows* m_resultModel = nullptr;
    ScanRunner* m_runner = nullptr;
    bool m_loading = false;

    Run m_run;
    std::vector<ResultRow> m_rows;
};
