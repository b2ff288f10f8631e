#include "importrecordsdialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "document.h"
#include "recordtable.h"

namespace {

// The formats in the order of the list; its index is the format's.
constexpr vm::TableFormat kFormats[] = {vm::TableFormat::Csv, vm::TableFormat::Tsv,
                                        vm::TableFormat::JsonLines};

} // namespace

TimportRecords::TimportRecords(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TimportRecords"));
    setWindowTitle(QStringLiteral("Import Records"));
    m_table = new QLabel(this);
    m_table->setObjectName(QStringLiteral("Ltable"));
    m_table->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("Cformat"));
    m_format->addItems({QStringLiteral("CSV"), QStringLiteral("TSV"), QStringLiteral("JSON Lines")});
    m_dryRun = new QCheckBox(QStringLiteral("Only report what would change (dry run)"), this);
    m_dryRun->setObjectName(QStringLiteral("CdryRun"));
    m_strict = new QCheckBox(QStringLiteral("Write nothing if a value does not fit"), this);
    m_strict->setObjectName(QStringLiteral("Cstrict"));
    m_resize = new QCheckBox(QStringLiteral("Append records for rows past the last record"), this);
    m_resize->setObjectName(QStringLiteral("Cresize"));
    // A dry run writes nothing anyway and reports every value.
    connect(m_dryRun, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_strict->setChecked(false);
    });
    connect(m_strict, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_dryRun->setChecked(false);
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("BOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("BCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Table:"), m_table);
    form->addRow(QStringLiteral("Format:"), m_format);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_dryRun);
    layout->addWidget(m_strict);
    layout->addWidget(m_resize);
    layout->addWidget(buttons);
}

void TimportRecords::prepare(const QString& tablePath, bool mayAppend) {
    m_table->setText(tablePath);
    const vm::TableFormat format =
        vm::tableFormatOfPath(toNative(tablePath)).value_or(vm::TableFormat::Csv);
    for (int i = 0; i < m_format->count(); ++i)
        if (kFormats[i] == format)
            m_format->setCurrentIndex(i);
    // A dry run is a look before the import: left on, the next import would
    // quietly write nothing. The other choices stay from one use to the next.
    m_dryRun->setChecked(false);
    m_resize->setEnabled(mayAppend);
    if (!mayAppend)
        m_resize->setChecked(false);
    m_resize->setToolTip(mayAppend ? QString()
                                   : QStringLiteral("Appending records needs Can Edit Structure"));
}

vm::TableImportOptions TimportRecords::options() const {
    vm::TableImportOptions o;
    o.format = kFormats[std::max(m_format->currentIndex(), 0)];
    o.dryRun = m_dryRun->isChecked();
    o.strict = m_strict->isChecked();
    o.resize = m_resize->isEnabled() && m_resize->isChecked();
    return o;
}
