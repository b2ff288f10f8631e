#pragma once

#include <cstddef>
#include <optional>

#include <QDialog>

#include "fieldedits.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SegmentHeader;

// "Converts": a new kind and length for one field, whose value is then
// converted in every record. The caller prepares it with the field, runs it
// through the Prompter and, after OK, hands target() to vm::convertField.
class Ttransto : public QDialog {
    Q_OBJECT
public:
    explicit Ttransto(QWidget* parent = nullptr);

    // The segment's numbers in the header and its entry at index as source.
    void prepareTransform(const vm::Segment& segment, std::size_t index);

    const vm::TypeEntry& source() const { return m_source; }
    // The field as it will be after OK; nothing before or after Cancel.
    const std::optional<vm::TypeEntry>& target() const { return m_target; }

    void CKindChange(int index);
    void ClengthChange(const QString& text);
    void BOKClick();

private:
    void updateOk();

    SegmentHeader* m_header = nullptr;
    QLineEdit* m_sourceKind = nullptr;
    QLineEdit* m_sourceLength = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_length = nullptr;
    QPushButton* m_ok = nullptr;

    vm::TypeEntry m_source;
    std::optional<vm::TypeEntry> m_target;
};
