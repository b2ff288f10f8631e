#include "describedialog.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "codec.h"
#include "cp1252.h"
#include "kinds.h"

namespace {

QString fromSingleByte(std::string_view text) {
    return QString::fromStdString(vm::cp1252ToUtf8(text));
}

QString lengthCaption(const vm::RecordProposal& p) {
    return QStringLiteral("%1 bytes, evidence %2, %3 records from %4")
        .arg(p.recordLength)
        .arg(p.evidence, 0, 'f', 3)
        .arg(p.recordCount)
        .arg(p.firstRecord);
}

} // namespace

TdescribeData::TdescribeData(const vm::ByteSource& data, std::vector<vm::RecordProposal> proposals,
                             Redescribe redescribe, QWidget* parent)
    : QDialog(parent), m_data(data), m_proposals(std::move(proposals)),
      m_redescribe(std::move(redescribe)) {
    setObjectName(QStringLiteral("DescribeData"));
    setWindowTitle(QStringLiteral("Describe From Data"));

    m_lengths = new QComboBox(this);
    m_lengths->setObjectName(QStringLiteral("CLength"));
    for (const vm::RecordProposal& p : m_proposals)
        m_lengths->addItem(lengthCaption(p));
    m_length = new QLineEdit(this);
    m_length->setObjectName(QStringLiteral("ELength"));
    m_length->setPlaceholderText(QStringLiteral("record length"));
    m_describe = new QPushButton(QStringLiteral("Describe"), this);
    m_describe->setObjectName(QStringLiteral("BLength"));
    m_describe->setEnabled(static_cast<bool>(m_redescribe));

    m_fields = new QTableWidget(this);
    m_fields->setObjectName(QStringLiteral("LvFields"));
    m_fields->setColumnCount(5);
    m_fields->setHorizontalHeaderLabels({QStringLiteral("Type"), QStringLiteral("Start"),
                                         QStringLiteral("Length"), QStringLiteral("Memo"),
                                         QStringLiteral("Confidence")});
    m_fields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fields->verticalHeader()->hide();
    m_preview = new QTableWidget(this);
    m_preview->setObjectName(QStringLiteral("GPreview"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("BOK"));
    m_ok->setEnabled(!m_proposals.empty());

    auto* pick = new QHBoxLayout;
    pick->addWidget(new QLabel(QStringLiteral("Record length:"), this));
    pick->addWidget(m_lengths, 1);
    pick->addWidget(m_length);
    pick->addWidget(m_describe);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pick);
    layout->addWidget(m_fields, 1);
    layout->addWidget(m_preview, 2);
    layout->addWidget(buttons);
    resize(820, 600);

    connect(m_lengths, &QComboBox::currentIndexChanged, this, &TdescribeData::CLengthChange);
    connect(m_describe, &QPushButton::clicked, this, &TdescribeData::BLengthClick);
    connect(m_length, &QLineEdit::returnPressed, this, &TdescribeData::BLengthClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showProposal();
}

const vm::RecordProposal& TdescribeData::chosen() const {
    static const vm::RecordProposal none;
    const int i = m_lengths->currentIndex();
    return i >= 0 && static_cast<std::size_t>(i) < m_proposals.size()
               ? m_proposals[static_cast<std::size_t>(i)]
               : none;
}

void TdescribeData::CLengthChange(int) {
    showProposal();
}

void TdescribeData::BLengthClick() {
    const auto length = vm::parseInt32(m_length->text().toStdString());
    if (!length || *length <= 0 || !m_redescribe)
        return;
    // A length already listed is picked, not described again.
    for (std::size_t i = 0; i < m_proposals.size(); ++i)
        if (m_proposals[i].recordLength == *length) {
            m_lengths->setCurrentIndex(static_cast<int>(i));
            return;
        }
    std::optional<vm::RecordProposal> p = m_redescribe(*length);
    if (!p)
        return;
    m_proposals.push_back(std::move(*p));
    m_lengths->addItem(lengthCaption(m_proposals.back()));
    m_lengths->setCurrentIndex(m_lengths->count() - 1);
}

void TdescribeData::keyPressEvent(QKeyEvent* event) {
    // Enter in the length box has described that length (returnPressed): it
    // must not also press OK and take a proposal the user has not seen yet.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_length->hasFocus()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TdescribeData::showProposal() {
    const vm::RecordProposal& p = chosen();
    m_ok->setEnabled(p.recordLength > 0);
    m_fields->setRowCount(static_cast<int>(p.fields.size()));
    QStringList titles;
    for (std::size_t k = 0; k < p.fields.size(); ++k) {
        const vm::FieldProposal& f = p.fields[k];
        const int row = static_cast<int>(k);
        m_fields->setItem(row, 0, new QTableWidgetItem(fromSingleByte(vm::kindName(f.kind))));
        m_fields->setItem(row, 1, new QTableWidgetItem(QString::number(f.start)));
        m_fields->setItem(row, 2, new QTableWidgetItem(QString::number(f.length)));
        m_fields->setItem(row, 3, new QTableWidgetItem(fromSingleByte(f.memo)));
        m_fields->setItem(row, 4, new QTableWidgetItem(QString::number(f.confidence, 'f', 2)));
        titles << fromSingleByte(f.memo);
    }
    const auto records = static_cast<int>(std::min<std::int64_t>(p.recordCount, kPreviewRecords));
    m_preview->clear();
    m_preview->setRowCount(records);
    m_preview->setColumnCount(static_cast<int>(p.fields.size()));
    m_preview->setHorizontalHeaderLabels(titles);
    for (int r = 0; r < records; ++r)
        for (std::size_t k = 0; k < p.fields.size(); ++k) {
            const vm::FieldProposal& f = p.fields[k];
            const std::int64_t pos = p.firstRecord + std::int64_t{r} * p.recordLength + f.start;
            m_preview->setItem(r, static_cast<int>(k),
                               new QTableWidgetItem(fromSingleByte(
                                   vm::decodeValue(m_data, pos, f.kind, f.length))));
        }
}
