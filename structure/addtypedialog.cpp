#include "addtypedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "codec.h"
#include "kinds.h"
#include "prompter.h"
#include "recordpane.h"
#include "fieldparts.h"
#include "segmentheader.h"
#include "updownbuttons.h"

namespace {

QLineEdit* edit(const char* name, bool readOnly = false) {
    auto* e = new QLineEdit;
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(readOnly);
    return e;
}

// A typed integer as the edits read it, or the fallback when it is none.
std::int64_t integerOf(const QLineEdit* e, std::int64_t fallback) {
    return vm::parseInteger(e->text().toStdString()).value_or(fallback);
}

} // namespace

TAddAType::TAddAType(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AddAType"));
    setWindowTitle(QStringLiteral("Add A Type"));
    m_proposal = vm::newTypeEntry(0, std::string_view(), nullptr);

    m_header = new SegmentHeader;

    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("CKind"));
    addKindNames(m_kind);
    m_length = edit("Elength");
    const int digits = m_length->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 8;
    m_length->setFixedWidth(digits);
    m_lengthUpDown = new UpDownButtons;
    m_lengthUpDown->setObjectName(QStringLiteral("UDLength"));
    m_lengthUpDown->setFixedWidth(UpDownButtons::kWidth);
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(new QLabel(QStringLiteral("TypeKind:")));
    kindRow->addWidget(m_kind, 1);
    kindRow->addWidget(new QLabel(QStringLiteral("Length:")));
    kindRow->addWidget(m_length);
    kindRow->addWidget(m_lengthUpDown);

    auto* position = new QGroupBox(QStringLiteral("Add (Insert) Position"));
    m_addLast = new QCheckBox(QStringLiteral("Add To The Segment Last"));
    m_addLast->setObjectName(QStringLiteral("CaddLast"));
    m_position = edit("EcurRecord");
    m_position->setFixedWidth(digits);
    m_range = new QLabel;
    m_range->setObjectName(QStringLiteral("LcurRecordArray"));
    auto* posRow = new QHBoxLayout(position);
    posRow->addWidget(m_addLast);
    posRow->addStretch(1);
    posRow->addWidget(new QLabel(QStringLiteral("Insert Position:")));
    posRow->addWidget(m_position);
    posRow->addWidget(m_range);

    auto* fill = new QGroupBox(QStringLiteral("Fill New Data From"));
    m_transform = new QRadioButton(QStringLiteral("Converts From"));
    m_transform->setObjectName(QStringLiteral("Rtransform"));
    m_fillWith = new QRadioButton(QStringLiteral("Fill With Defult Value"));
    m_fillWith->setObjectName(QStringLiteral("RfillWith"));
    m_tranIndex = new QComboBox;
    m_tranIndex->setObjectName(QStringLiteral("CTranIndex"));
    m_tranKind = edit("EtranTypeKind", true);
    m_tranStart = edit("EtranStart", true);
    m_tranLength = edit("EtranLength", true);
    m_tranMemo = edit("EtranMemo", true);
    m_value = edit("defValue");
    m_memo = edit("EMemo");
    m_memo->setMaxLength(static_cast<int>(vm::kMemoMax));
    auto* source = new QGridLayout;
    const char* titles[] = {"Index", "TypeKind", "Start", "Length", "Memo"};
    QWidget* sourceEdits[] = {m_tranIndex, m_tranKind, m_tranStart, m_tranLength, m_tranMemo};
    for (int c = 0; c < 5; ++c) {
        source->addWidget(new QLabel(QString::fromLatin1(titles[c])), 0, c);
        source->addWidget(sourceEdits[c], 1, c);
    }
    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(new QLabel(QStringLiteral("Value:")));
    valueRow->addWidget(m_value, 1);
    valueRow->addWidget(new QLabel(QStringLiteral("Memo:")));
    valueRow->addWidget(m_memo, 1);
    auto* fillLayout = new QVBoxLayout(fill);
    fillLayout->addWidget(m_transform);
    fillLayout->addLayout(source);
    fillLayout->addWidget(m_fillWith);
    fillLayout->addLayout(valueRow);

    m_ok = new QPushButton;
    QHBoxLayout* buttons = okCancelRow(this, m_ok, "Button1", "Button2");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addLayout(kindRow);
    layout->addWidget(position);
    layout->addWidget(fill);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A kind picked by the user, the same one again too; not one set by the program.
    connect(m_kind, &QComboBox::activated, this, &TAddAType::CKindChange);
    connect(m_length, &QLineEdit::textChanged, this, &TAddAType::ElengthChange);
    connect(m_lengthUpDown, &UpDownButtons::stepped, this, &TAddAType::UDLengthClick);
    connect(m_addLast, &QCheckBox::clicked, this, &TAddAType::CaddLastClick);
    connect(m_tranIndex, &QComboBox::currentIndexChanged, this, &TAddAType::CTranIndexChange);
    connect(m_transform, &QRadioButton::toggled, this, &TAddAType::fillChoiceChange);
    connect(m_fillWith, &QRadioButton::toggled, this, &TAddAType::fillChoiceChange);
    connect(m_ok, &QPushButton::clicked, this, &TAddAType::Button1Click);
}

void TAddAType::prepareAddType(const vm::Segment& segment, std::optional<vm::TypeEntry> proposal,
                               bool addMode) {
    // An insert position and a source chosen for another segment mean nothing
    // here: Add a Type there starts again from the first field.
    if (addMode && &segment != m_segment)
        m_insertIndex = 0;
    m_segment = &segment;
    m_result.reset();
    if (proposal) {
        m_proposal = *proposal;
    } else {
        m_proposal.start = 0;
    }
    const int count = static_cast<int>(segment.entries.size());
    m_lastIndex = count - 1;
    // Its "Record Count:" counts the fields.
    m_header->showSegment(segment, count);

    m_position->setText(QString::number(m_insertIndex));
    m_range->setText(QStringLiteral("0 To ") + QString::number(m_lastIndex));
    m_fill.fill(0);

    {
        const QSignalBlocker block(m_kind);
        m_kind->setCurrentIndex(vm::kindInfo(m_proposal.kind) ? m_proposal.kind : 0);
    }
    m_length->setText(QString::number(m_proposal.length));
    m_memo->setText(RecordPane::toDisplay(m_proposal.memo));
    CKindChange(m_kind->currentIndex());

    m_addLast->setEnabled(true);
    m_fillWith->setChecked(true);
    {
        const QSignalBlocker block(m_tranIndex);
        m_tranIndex->clear();
        for (int i = 0; i < count; ++i)
            m_tranIndex->addItem(QString::number(i));
        m_tranIndex->setCurrentIndex(m_insertIndex >= 0 && m_insertIndex < count ? m_insertIndex
                                                                                 : -1);
    }
    m_transform->setEnabled(count > 0);
    m_fillWith->setEnabled(count > 0);
    CTranIndexChange(m_tranIndex->currentIndex());
    fillChoiceChange();

    m_addLast->setChecked(addMode);
    m_position->setEnabled(!addMode);
    if (count == 0) {
        m_addLast->setChecked(true);
        m_addLast->setEnabled(false);
        m_position->setEnabled(false);
        m_range->clear();
    }
}

void TAddAType::decodeDefault() {
    const int length = std::min<int>(m_proposal.length, static_cast<int>(m_fill.size()));
    m_value->setText(
        RecordPane::toDisplay(vm::decodeValue(m_fill, m_proposal.kind, length, m_locale)));
}

void TAddAType::CKindChange(int index) {
    const vm::KindInfo* k = vm::kindInfo(index);
    if (!k)
        return;
    m_proposal.kind = static_cast<std::uint8_t>(index);
    m_length->setText(QString::number(k->defaultLength)); // runs ElengthChange
    decodeDefault();
    m_length->setEnabled(k->variableLength);
    m_lengthUpDown->setEnabled(k->variableLength);
}

void TAddAType::ElengthChange(const QString&) {
    const std::int64_t v = integerOf(m_length, 1);
    m_proposal.length = static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 65535));
    decodeDefault();
}

void TAddAType::UDLengthClick(int step) {
    if (const auto v = vm::stepLengthValue(m_length->text().toStdString(), step > 0))
        m_length->setText(QString::number(*v));
}

void TAddAType::CaddLastClick() {
    m_position->setEnabled(!m_addLast->isChecked());
}

void TAddAType::CTranIndexChange(int index) {
    if (!m_segment || index < 0 || index >= static_cast<int>(m_segment->entries.size())) {
        // No source chosen: no field of an earlier use shows as if it were one.
        for (QLineEdit* e : {m_tranKind, m_tranStart, m_tranLength, m_tranMemo})
            e->clear();
        return;
    }
    const vm::TypeEntry& e = m_segment->entries[static_cast<std::size_t>(index)];
    m_tranKind->setText(kindText(e.kind));
    m_tranStart->setText(QString::number(e.start));
    m_tranLength->setText(QString::number(e.length));
    m_tranMemo->setText(RecordPane::toDisplay(e.memo));
}

void TAddAType::fillChoiceChange() {
    const bool convert = m_transform->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_tranIndex, m_tranKind, m_tranStart,
                                                      m_tranLength, m_tranMemo})
        w->setEnabled(convert);
    m_value->setEnabled(!convert);
    m_memo->setEnabled(!convert);
}

void TAddAType::Button1Click() {
    if (!m_segment)
        return;
    vm::NewFieldRequest req;
    req.kind = m_kind->currentIndex();
    req.length = integerOf(m_length, 1);
    if (!m_addLast->isChecked())
        req.insertIndex = integerOf(m_position, -1);
    req.memo = singleByteText(m_memo->text());
    req.convert = m_transform->isChecked();
    if (req.convert && m_tranIndex->currentIndex() >= 0)
        req.sourceIndex = m_tranIndex->currentIndex();
    req.fillText = singleByteText(m_value->text());
    vm::NewFieldResult r = vm::prepareNewField(*m_segment, req, m_locale, m_fontHeight);
    if (!r.field) {
        prompter().error(this, RecordPane::toDisplay(r.error));
        return;
    }
    m_proposal.kind = r.field->entry.kind;
    m_proposal.start = r.field->entry.start;
    m_proposal.length = r.field->entry.length;
    m_proposal.memo = r.field->entry.memo;
    std::copy(r.field->fill.begin(), r.field->fill.end(), m_fill.begin());
    m_result = std::move(r.field);
    accept();
}
