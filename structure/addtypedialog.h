#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QDialog>

#include "fieldedits.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SegmentHeader;
class UpDownButtons;

// The modal dialog of Add a Type and Insert Type in edit mode: the new field
// and what its bytes hold in every record, a fill value or a conversion of
// another field. The caller prepares it, sets the title ("Add A Type" or
// "Insert A Type"), runs it through the Prompter and, after OK, reads
// newField() and hands it to vm::addField.
class TAddAType : public QDialog {
    Q_OBJECT
public:
    explicit TAddAType(QWidget* parent = nullptr);

    // Without a proposal the previous one is used, at start 0.
    void prepareAddType(const vm::Segment& segment, std::optional<vm::TypeEntry> proposal,
                        bool addMode);
    // The row proposed as insert position and source; Add a Type leaves the
    // previous use's value.
    void setInsertIndex(int index) { m_insertIndex = index; }
    int insertIndex() const { return m_insertIndex; }
    // The document's number formats and the grid's font, for the fill value
    // and the new column.
    void setLocale(const vm::Locale& locale) { m_locale = locale; }
    void setFontHeight(int fontHeight) { m_fontHeight = fontHeight; }

    const vm::TypeEntry& proposal() const { return m_proposal; }
    // The checked field after OK; nothing before or after Cancel.
    const std::optional<vm::NewField>& newField() const { return m_result; }

    void CKindChange(int index);
    void ElengthChange(const QString& text);
    void UDLengthClick(int step);
    void CaddLastClick();
    void CTranIndexChange(int index);
    void fillChoiceChange();
    void Button1Click();

private:
    void decodeDefault();

    SegmentHeader* m_header = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_length = nullptr;
    UpDownButtons* m_lengthUpDown = nullptr;
    QCheckBox* m_addLast = nullptr;
    QLineEdit* m_position = nullptr;
    QLabel* m_range = nullptr;
    QRadioButton* m_transform = nullptr;
    QRadioButton* m_fillWith = nullptr;
    QComboBox* m_tranIndex = nullptr;
    QLineEdit* m_tranKind = nullptr;
    QLineEdit* m_tranStart = nullptr;
    QLineEdit* m_tranLength = nullptr;
    QLineEdit* m_tranMemo = nullptr;
    QLineEdit* m_value = nullptr;
    QLineEdit* m_memo = nullptr;
    QPushButton* m_ok = nullptr;

    const vm::Segment* m_segment = nullptr;
    vm::TypeEntry m_proposal;
    int m_insertIndex = 0;
    int m_lastIndex = -1;
    std::array<std::uint8_t, vm::kMaxValueBytes> m_fill{};
    vm::Locale m_locale;
    int m_fontHeight = vm::kDefaultFontHeight;
    std::optional<vm::NewField> m_result;
};
