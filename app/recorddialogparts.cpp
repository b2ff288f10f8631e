#include "recorddialogparts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "recordpane.h"

SegmentFacts SegmentFacts::addTo(QGridLayout* grid, bool tealName) {
    SegmentFacts f;
    const std::pair<QLabel**, const char*> rows[] = {{&f.name, "SegMent Name:"},
                                                     {&f.recordCount, "Record Count:"},
                                                     {&f.length, "SegMent Length:"}};
    const char* names[] = {"LsegName", "LrecCount", "LsegLength"};
    for (int i = 0; i < 3; ++i) {
        auto* value = new QLabel;
        value->setObjectName(QString::fromLatin1(names[i]));
        *rows[i].first = value;
        grid->addWidget(new QLabel(QString::fromLatin1(rows[i].second)), i, 0);
        grid->addWidget(value, i, 1);
    }
    if (tealName) {
        QPalette p = f.name->palette();
        p.setColor(QPalette::WindowText, QColor(0, 128, 128));
        f.name->setPalette(p);
    }
    return f;
}

void SegmentFacts::show(const vm::Segment& segment, const vm::RecordExtent& counted) const {
    name->setText(RecordPane::toDisplay(segment.name));
    recordCount->setText(QString::number(std::max(counted.recordCount, 0)));
    length->setText(QString::number(counted.length));
}

QDialogButtonBox* okCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("BOk"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("Bcancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
