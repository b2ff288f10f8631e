#pragma once

#include <functional>
#include <vector>

#include <QDialog>
#include <QString>

#include "segment.h"

class QAction;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// One row of a findings list: what the structure check reported, as shown.
struct StructHintRow {
    bool error = false;      // "Error", else "Warning"
    QString first;           // the segment's name or the field's memo
    QString collide;         // the colliding item's name, or empty
    QString names;           // "Click To Expend" or the names of the findings
    QString message;         // the explanation of the finding
    bool expandable = false; // stands for the field findings of `segment`
    vm::Segment* segment = nullptr;
};

// The structure message window: the findings of the segment check, and those of
// one segment's fields when its summary row is selected.
class TeditStructHint : public QDialog {
    Q_OBJECT
public:
    // Field findings of a segment, for the summary rows.
    using TypeRowsProvider = std::function<std::vector<StructHintRow>(vm::Segment*)>;

    explicit TeditStructHint(QWidget* parent = nullptr);

    void clearSegList();
    void clearTypeList();
    void addSegRow(const StructHintRow& row);
    void addTypeRow(const StructHintRow& row);
    // Set when an error row was added since the list was last emptied.
    bool segListHasError() const { return m_segError; }
    bool typeListHasError() const { return m_typeError; }
    int segRowCount() const;
    int typeRowCount() const;
    void setTypeRowsProvider(TypeRowsProvider provider) { m_provider = std::move(provider); }
    void setExplanation(const QString& text);
    QString explanation() const;

    QTreeWidget* segList() const { return m_segList; }
    QTreeWidget* typeList() const { return m_typeList; }

    // Selecting a segList row: typeList shows the field findings of a summary row.
    void segListSelectItem(QTreeWidgetItem* item);

    static constexpr const char* kHelpTopic = "Structure Error Message.htm";

private:
    QTreeWidget* makeList(const QString& secondColumn);
    void addRow(QTreeWidget* list, const StructHintRow& row, bool& errorMark);

    QTreeWidget* m_segList = nullptr;
    QTreeWidget* m_typeList = nullptr;
    QLabel* m_lab = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QAction* m_help = nullptr;
    bool m_segError = false;
    bool m_typeError = false;
    std::vector<StructHintRow> m_segRows; // each row's own copy of its finding
    std::vector<StructHintRow> m_typeRows;
    TypeRowsProvider m_provider;
};
