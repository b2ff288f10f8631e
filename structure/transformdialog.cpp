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
#include "recordpane.h"

namespace {

QString kindText(int kind) {
    const std::string_view n = vm::kindName(kind);
    return QString::fromLatin1(n.data(), static_cast<int>(n.size()));
}

QLabel* valueLabel(const char* name) {
    auto* l = new QLabel;
    l->setObjectName(QString::fromLatin1(name));
    l->setStyleSheet(QStringLiteral("color: teal"));
    return l;
}

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

    auto* header = new QGridLayout;
    m_segName = valueLabel("LsegName");
    m_recCount = valueLabel("LrecCount");
    m_segLength = valueLabel("LsegLength");
    header->addWidget(new QLabel(QStringLiteral("SegMent Name:")), 0, 0);
    header->addWidget(m_segName, 0, 1);
    header->addWidget(new QLabel(QStringLiteral("Record Count:")), 1, 0);
    header->addWidget(m_recCount, 1, 1);
    header->addWidget(new QLabel(QStringLiteral("SegMent Length:")), 2, 0);
    header->addWidget(m_segLength, 2, 1);

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
    m_kind->setMaxVisibleItems(vm::kKindCount);
    for (int k = 0; k < vm::kKindCount; ++k)
        m_kind->addItem(kindText(k));
    m_length = new QLineEdit;
    m_length->setObjectName(QStringLiteral("Clength"));

    m_ok = new QPushButton(QStringLiteral("OK"));
    m_ok->setObjectName(QStringLiteral("BOK"));
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("BCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* groups = new QHBoxLayout;
    groups->addWidget(kindGroup(QStringLiteral("From "), m_sourceKind, m_sourceLength));
    groups->addWidget(kindGroup(QStringLiteral("Converts To "), m_kind, m_length));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &Ttransto::CKindChange);
    connect(m_length, &QLineEdit::textChanged, this, &Ttransto::ClengthChange);
    connect(m_ok, &QPushButton::clicked, this, &Ttransto::BOKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void Ttransto::prepareTransform(const vm::Segment& segment, std::size_t index) {
    m_target.reset();
    m_source = index < segment.entries.size() ? segment.entries[index] : vm::TypeEntry{};
    m_segName->setText(RecordPane::toDisplay(segment.name));
    m_recCount->setText(QString::number(segment.recordCount));
    m_segLength->setText(QString::number(segment.length));
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
