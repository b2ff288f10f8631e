#include "delrecorddialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "prompter.h"
#include "recorddialogparts.h"

TdelRecord::TdelRecord(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("delRecord"));
    setWindowTitle(QStringLiteral("DelRecord"));
    m_first = new QLineEdit;
    m_first->setObjectName(QStringLiteral("EdelBegin"));
    m_last = new QLineEdit;
    m_last->setObjectName(QStringLiteral("EdelEnd"));

    auto* grid = new QGridLayout;
    m_facts = SegmentFacts::addTo(grid, false);
    grid->addWidget(new QLabel(QStringLiteral("Deleted Begin:")), 3, 0);
    grid->addWidget(m_first, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Deleted End:")), 4, 0);
    grid->addWidget(m_last, 4, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(okCancelButtons(this));
    // A fixed dialog border.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TdelRecord::prepare(const vm::Segment& segment, const vm::RecordExtent& counted) {
    m_limit = std::max<std::int64_t>(counted.recordCount, 0);
    m_facts.show(segment, counted);
    m_first->setText(QString::number(m_defaultIndex));
    m_last->setText(QString::number(m_defaultIndex));
}

void TdelRecord::accept() {
    vm::DeleteRecordsRequest r;
    const std::string refusal = vm::readDeleteRecords(m_first->text().toStdString(),
                                                      m_last->text().toStdString(), m_limit, r);
    if (!refusal.empty()) {
        prompter().inform(this, QString::fromStdString(refusal));
        return;
    }
    m_request = r;
    QDialog::accept();
}
