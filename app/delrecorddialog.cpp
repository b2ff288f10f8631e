#include "delrecorddialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "prompter.h"
#include "recordpane.h"

TdelRecord::TdelRecord(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("delRecord"));
    setWindowTitle(QStringLiteral("DelRecord"));
    m_name = new QLabel;
    m_name->setObjectName(QStringLiteral("LsegName"));
    m_recordCount = new QLabel;
    m_recordCount->setObjectName(QStringLiteral("LrecCount"));
    m_length = new QLabel;
    m_length->setObjectName(QStringLiteral("LsegLength"));
    m_first = new QLineEdit;
    m_first->setObjectName(QStringLiteral("EdelBegin"));
    m_last = new QLineEdit;
    m_last->setObjectName(QStringLiteral("EdelEnd"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("SegMent Name:")), 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Record Count:")), 1, 0);
    grid->addWidget(m_recordCount, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("SegMent Length:")), 2, 0);
    grid->addWidget(m_length, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Deleted Begin:")), 3, 0);
    grid->addWidget(m_first, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Deleted End:")), 4, 0);
    grid->addWidget(m_last, 4, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("BOk"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("Bcancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TdelRecord::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TdelRecord::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    // A fixed dialog border.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TdelRecord::prepare(const vm::Segment& segment) {
    m_limit = std::max<std::int64_t>(segment.recordCount, 0);
    m_name->setText(RecordPane::toDisplay(segment.name));
    m_recordCount->setText(QString::number(m_limit));
    m_length->setText(QString::number(segment.length));
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
