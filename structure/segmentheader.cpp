#include "segmentheader.h"

#include <QGridLayout>
#include <QLabel>

#include "recordpane.h"

namespace {

QLabel* valueLabel(const char* name) {
    auto* l = new QLabel;
    l->setObjectName(QString::fromLatin1(name));
    l->setStyleSheet(QStringLiteral("color: teal"));
    return l;
}

} // namespace

SegmentHeader::SegmentHeader(QWidget* parent) : QWidget(parent) {
    m_name = valueLabel("LsegName");
    m_count = valueLabel("LrecCount");
    m_length = valueLabel("LsegLength");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("SegMent Name:")), 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Record Count:")), 1, 0);
    grid->addWidget(m_count, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("SegMent Length:")), 1, 2);
    grid->addWidget(m_length, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

void SegmentHeader::showSegment(const vm::Segment& segment, std::int64_t count) {
    m_name->setText(RecordPane::toDisplay(segment.name));
    m_count->setText(QString::number(count));
    m_length->setText(QString::number(segment.length));
}
