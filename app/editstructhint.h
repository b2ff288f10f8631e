#pragma once

#include <functional>

#include <QDialog>
#include <QString>

#include "checks.h"

class QAction;
class QLabel;
class QPushButton;
class QTableView;
class StructHintModel;

// The structure message window: the findings of the segment check, and those of
// one segment's fields when its summary row is selected. Each list keeps the
// check's own message list, which holds each row's copy of its finding; rows
// are read from it only as they are shown.
class TeditStructHint : public QDialog {
    Q_OBJECT
public:
    // Field findings of the segment at an index of the segment list, for the
    // summary rows.
    using TypeRowsProvider = std::function<vm::MessageList(int segmentIndex)>;

    explicit TeditStructHint(QWidget* parent = nullptr);

    void clearSegList();
    void clearTypeList();
    // The findings of a check become the list's rows.
    void setSegMessages(vm::MessageList messages);
    void setTypeMessages(vm::MessageList messages);
    // Set when the list holds an error row.
    bool segListHasError() const;
    bool typeListHasError() const;
    // Findings held, listed or not.
    int segRowCount() const;
    int typeRowCount() const;
    void setTypeRowsProvider(TypeRowsProvider provider) { m_provider = std::move(provider); }
    void setExplanation(const QString& text);
    QString explanation() const;

    QTableView* segList() const { return m_segList; }
    QTableView* typeList() const { return m_typeList; }

    // Selecting a segList row: typeList shows the field findings of a summary row.
    void segListSelectItem(int row);

    static constexpr const char* kHelpTopic = "Structure Error Message.htm";

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTableView* makeList(StructHintModel* model, const char* objectName);
    void fitColumns(QTableView* list);

    QTableView* m_segList = nullptr;
    QTableView* m_typeList = nullptr;
    StructHintModel* m_segModel = nullptr;
    StructHintModel* m_typeModel = nullptr;
    QLabel* m_lab = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QAction* m_help = nullptr;
    TypeRowsProvider m_provider;
};
