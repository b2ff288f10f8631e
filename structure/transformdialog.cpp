#include "transformdialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "kinds.h"
#include "prompter.h"
#include "fieldparts.h"
#include "segmentheader.h"

namespace {

QGroupBox* kindGroup(const QString& title, QWidget* kind, QWidget* length) {
    auto* g = new QGroupBox(title);
    auto* l = new QGridLayout(g);
    l->addWidget(new QLabel(QStringLiteral("Type Kind:")), 0, 0);
    l->addWidget(kind, 0, 1);
    l->addWidget(new QLabel(QStringLiteral("Length:")), 1, 0);
    l->addWidget(length, 1, 1);
    return g;
}

} // namespace

Ttransto::Ttransto(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("transto"));
    setWindowTitle(QStringLiteral("Converts"));

    m_header = new SegmentHeader;

    m_sourceKind = new QLineEdit;
    m_sourceKind->setObjectName(QStringLiteral("SKind"));
    m_sourceLength = new QLineEdit;
    m_sourceLength->setObjectName(QStringLiteral("SLength"));
    for (QLineEdit* e : {m_sourceKind, m_sourceLength}) {
        e->setReadOnly(true);
        e->setEnabled(false);
    }
    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("CKind"));
    addKindNames(m_kind);
    m_length = new QLineEdit;
    m_length->setObjectName(QStringLiteral("Clength"));

    m_ok = new QPushButton;
    QHBoxLayout* buttons = okCancelRow(this, m_ok, "BOK", "BCancel");

    auto* groups = new QHBoxLayout;
    groups->addWidget(kindGroup(QStringLiteral("From "), m_sourceKind, m_sourceLength));
    groups->addWidget(kindGroup(QStringLiteral("Converts To "), m_kind, m_length));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A kind picked by the user, the same one again too; not one set by the program.
    connect(m_kind, &QComboBox::activated, this, &Ttransto::CKindChange);
    connect(m_length, &QLineEdit::textChanged, this, &Ttransto::ClengthChange);
    connect(m_ok, &QPushButton::clicked, this, &Ttransto::BOKClick);
}

void Ttransto::prepareTransform(const vm::Segment& segment, std::size_t index) {
    m_target.reset();
    m_source = index < segment.entries.size() ? segment.entries[index] : vm::TypeEntry{};
    m_header->showSegment(segment, segment.recordCount);
    m_sourceKind->setText(kindText(m_source.kind));
    m_sourceLength->setText(QString::number(m_source.length));
    {
        const QSignalBlocker block(m_kind);
        m_kind->setCurrentIndex(vm::kindInfo(m_source.kind) ? m_source.kind : -1);
    }
    {
        const QSignalBlocker block(m_length);
        m_length->setText(QString::number(m_source.length));
    }
    m_ok->setEnabled(false);
    CKindChange(m_kind->currentIndex());
}

void Ttransto::updateOk() {
    m_ok->setEnabled(vm::transformChangesField(m_source, m_kind->currentIndex(),
                                               m_length->text().toStdString()));
}

void Ttransto::CKindChange(int index) {
    const vm::KindInfo* k = vm::kindInfo(index);
    if (!k)
        return;
    m_length->setEnabled(k->variableLength);
    m_length->setText(QString::number(k->defaultLength));
    updateOk();
}

void Ttransto::ClengthChange(const QString&) {
    updateOk();
}

void Ttransto::BOKClick() {
    const vm::TargetResult t =
        vm::transformTarget(m_source, m_kind->currentIndex(), m_length->text().toStdString());
    if (!t.entry) {
        prompter().error(this, QString::fromStdString(t.error));
        return;
    }
    m_target = t.entry;
    accept();
}
