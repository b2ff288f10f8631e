#include "fieldframe.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>

#include "kinds.h"
#include "recordpane.h"
#include "fieldparts.h"
#include "updownbuttons.h"
#include "wheelguard.h"

TtypeFrame::TtypeFrame(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tfLv"));
    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("cKind"));
    m_start = new QLineEdit(QStringLiteral("0"));
    m_start->setObjectName(QStringLiteral("Estart"));
    m_startUpDown = new UpDownButtons;
    m_startUpDown->setObjectName(QStringLiteral("UDStart"));
    m_startUpDown->setFixedWidth(UpDownButtons::kWidth);
    m_length = new QLineEdit;
    m_length->setObjectName(QStringLiteral("Elength"));
    m_memo = new QLineEdit;
    m_memo->setObjectName(QStringLiteral("Ememo"));
    m_memo->setMaxLength(static_cast<int>(vm::kMemoMax));

    // The panel is narrow: the numbers get room for five digits, the kind
    // list shrinks to its shorter names, the memo takes what is left.
    const int digits = m_start->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 8;
    m_start->setFixedWidth(digits);
    m_length->setFixedWidth(digits);
    m_kind->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_kind->setMinimumContentsLength(6);
    m_memo->setMinimumWidth(digits);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(m_kind, 2);
    row->addWidget(m_start);
    row->addWidget(m_startUpDown);
    row->addWidget(m_length);
    row->addWidget(m_memo, 3);

    // A kind picked by the user, the same one again too; not one set by the program.
    connect(m_kind, &QComboBox::activated, this, &TtypeFrame::cKindChange);
    connect(m_start, &QLineEdit::textChanged, this, &TtypeFrame::EstartChange);
    connect(m_length, &QLineEdit::textChanged, this, &TtypeFrame::ElengthChange);
    connect(m_memo, &QLineEdit::textChanged, this, &TtypeFrame::EmemoChange);
    connect(m_startUpDown, &UpDownButtons::stepped, this, &TtypeFrame::UDStartClick);
    for (QLineEdit* e : {m_start, m_length, m_memo})
        connect(e, &QLineEdit::editingFinished, this, &TtypeFrame::editingEnded);

    for (QWidget* w :
         std::initializer_list<QWidget*>{m_kind, m_start, m_startUpDown, m_length, m_memo})
        w->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{m_kind, m_start, m_length})
        takeWheelOnlyWithFocus(w);
}

void TtypeFrame::bindFrame(QAbstractItemView* listView, bool editable) {
    m_list = listView;
    m_editable = editable;
    m_filling = true;
    m_kind->clear();
    addKindNames(m_kind);
    m_kind->setCurrentIndex(-1);
    m_filling = false;
    reloadFrame();
}

std::vector<int> TtypeFrame::selectedRows() const {
    std::vector<int> rows;
    if (!m_list || !m_list->selectionModel())
        return rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TtypeFrame::reloadFrame() {
    const vm::FrameState s = vm::frameState(m_segment, selectedRows(), m_mode, m_editable);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_kind, m_start, m_startUpDown, m_length, m_memo})
        w->setEnabled(false);
    if (!m_segment) {
        // No segment at all (all files closed): nothing of the last one stays.
        m_filling = true;
        m_kind->setCurrentIndex(-1);
        for (QLineEdit* e : {m_start, m_length, m_memo})
            e->clear();
        m_filling = false;
    }
    if (!s.hasSelection)
        return;
    m_filling = true;
    m_kind->setCurrentIndex(s.kind.value_or(-1));
    m_start->setText(s.start ? QString::number(*s.start) : QString());
    m_length->setText(s.length ? QString::number(*s.length) : QString());
    m_memo->setText(RecordPane::toDisplay(s.memo));
    m_kind->setEnabled(s.kindEnabled);
    m_start->setEnabled(s.startEnabled);
    m_startUpDown->setEnabled(s.startEnabled);
    m_length->setEnabled(s.lengthEnabled);
    m_memo->setEnabled(s.memoEnabled);
    m_filling = false;
}

void TtypeFrame::showLength(int kind) {
    const vm::KindInfo* k = vm::kindInfo(kind);
    m_length->setText(k ? QString::number(k->defaultLength) : QString());
    m_length->setEnabled(k && k->variableLength);
}

void TtypeFrame::changeSelection(
    const std::function<bool(vm::Segment&, const std::vector<int>&)>& change, bool fitColumns,
    Part part) {
    if (m_filling || !m_segment)
        return;
    const std::vector<int> rows = selectedRows();
    const Change edit = [&](vm::Segment& s) { return change(s, rows); };
    if (m_apply ? m_apply(edit, rows, fitColumns, part) : edit(*m_segment))
        emit fieldsChanged(QList<int>(rows.begin(), rows.end()), fitColumns);
}

void TtypeFrame::cKindChange(int index) {
    if (index < 0)
        return;
    changeSelection(
        [&](vm::Segment& s, const std::vector<int>& rows) {
            if (!vm::frameSetKind(s, rows, index))
                return false;
            // The length shown follows the kind without being applied a second time.
            m_filling = true;
            showLength(index);
            m_filling = false;
            return true;
        },
        true, Part::Kind);
}

void TtypeFrame::EstartChange(const QString& text) {
    changeSelection(
        [&](vm::Segment& s, const std::vector<int>& rows) {
            return vm::frameSetStart(s, rows, text.toStdString());
        },
        false, Part::Start);
}

void TtypeFrame::ElengthChange(const QString& text) {
    changeSelection(
        [&](vm::Segment& s, const std::vector<int>& rows) {
            return vm::frameSetLength(s, rows, text.toStdString());
        },
        true, Part::Length);
}

void TtypeFrame::EmemoChange(const QString& text) {
    changeSelection(
        [&](vm::Segment& s, const std::vector<int>& rows) {
            return vm::frameSetMemo(s, rows, singleByteText(text));
        },
        false, Part::Memo);
}

void TtypeFrame::UDStartClick(int step) {
    if (!m_start->isEnabled())
        return;
    m_start->setText(
        QString::fromStdString(vm::stepStartText(m_start->text().toStdString(), step > 0)));
}
