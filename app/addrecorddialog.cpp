#include "addrecorddialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "prompter.h"
#include "recorddialogparts.h"

TAddRecord::TAddRecord(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AddRecord"));
    setWindowTitle(QStringLiteral("AddRecord"));
    m_position = new QLineEdit;
    m_position->setObjectName(QStringLiteral("EinsertPos"));
    m_append = new QCheckBox(QStringLiteral("Add To The Segment Last"));
    m_append->setObjectName(QStringLiteral("cAddLast"));
    m_count = new QLineEdit(QStringLiteral("1"));
    m_count->setObjectName(QStringLiteral("EaddCount"));
    m_fillNear = new QRadioButton(QStringLiteral("FillWithNear"));
    m_fillNear->setObjectName(QStringLiteral("rFillNear"));
    m_fillEmpty = new QRadioButton(QStringLiteral("FillWithEmpty"));
    m_fillEmpty->setObjectName(QStringLiteral("rFillEmpty"));
    m_fillEmpty->setChecked(true);
    // Only the user's click ties the position box to the check box; filling
    // the dialog sets both on its own.
    connect(m_append, &QCheckBox::clicked, this,
            [this](bool checked) { m_position->setEnabled(!checked); });

    auto* grid = new QGridLayout;
    m_facts = SegmentFacts::addTo(grid, true);
    grid->addWidget(new QLabel(QStringLiteral("Insert Position:")), 3, 0);
    grid->addWidget(m_position, 3, 1);
    grid->addWidget(m_append, 4, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Add Record Count:")), 5, 0);
    grid->addWidget(m_count, 5, 1);
    grid->addWidget(m_fillNear, 6, 0);
    grid->addWidget(m_fillEmpty, 6, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(okCancelButtons(this));
}

void TAddRecord::setInsertPosition(std::int64_t position, bool append) {
    m_insertPosition = position;
    m_appendFlag = append;
}

void TAddRecord::prepare(const vm::Segment& segment, const vm::RecordExtent& counted) {
    m_records = std::max<std::int64_t>(counted.recordCount, 0);
    m_facts.show(segment, counted);
    m_append->setChecked(m_appendFlag);
    const bool none = m_insertPosition < 0;
    m_position->setText(QString::number(none ? 0 : m_insertPosition));
    m_position->setEnabled(!none);
}

void TAddRecord::accept() {
    vm::AddRecordsRequest r;
    const std::string refusal =
        vm::readAddRecords(m_position->text().toStdString(), m_count->text().toStdString(),
                           m_append->isChecked(), m_records, r);
    if (!refusal.empty()) {
        prompter().inform(this, QString::fromStdString(refusal));
        return;
    }
    r.fillNear = m_fillNear->isChecked();
    m_request = r;
    m_insertPosition = r.position;
    m_appendFlag = r.append;
    QDialog::accept();
}
