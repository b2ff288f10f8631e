#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QDialog>

#include "bytesource.h"
#include "describe.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The proposals that the bytes of a range suggest (vm::describeRecords): a
// list of record lengths with their evidence, the chosen one's fields, and its
// first records decoded with those fields in a preview grid. Another record
// length from the list, or one typed in, can be chosen before OK; the caller
// then applies chosen() (vm::proposalSegments gives its segments). Takes plain
// data only: the window that opens it owns the document and the undo step.
class TdescribeData : public QDialog {
    Q_OBJECT
public:
    // Fields for a record length typed in; nothing when it cannot be described.
    using Redescribe = std::function<std::optional<vm::RecordProposal>(int recordLength)>;

    // data is only read, for the preview, while the dialog is open.
    TdescribeData(const vm::ByteSource& data, std::vector<vm::RecordProposal> proposals,
                  Redescribe redescribe, QWidget* parent = nullptr);

    const vm::RecordProposal& chosen() const;
    // Records shown in the preview at most.
    static constexpr int kPreviewRecords = 100;

    void CLengthChange(int index);
    void BLengthClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showProposal();

    const vm::ByteSource& m_data;
    std::vector<vm::RecordProposal> m_proposals;
    Redescribe m_redescribe;
    QComboBox* m_lengths = nullptr;
    QLineEdit* m_length = nullptr;
    QPushButton* m_describe = nullptr;
    QTableWidget* m_fields = nullptr;
    QTableWidget* m_preview = nullptr;
    QPushButton* m_ok = nullptr;
};
