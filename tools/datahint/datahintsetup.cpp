#include "datahintsetup.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "kindnames.h"

TfSetCurShow::TfSetCurShow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfSetCurShow"));
    setWindowTitle(QStringLiteral("Data Hint Setup"));
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("ChB"));
    for (int k = 0; k < vm::kKindCount; ++k) {
        auto* item = new QListWidgetItem(kindText(k), m_list);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
    }
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(ok, &QPushButton::clicked, this, &TfSetCurShow::okClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    // Wide enough for the title beside the title bar's buttons.
    setFixedSize(std::max(200, fontMetrics().horizontalAdvance(windowTitle()) + 160), 340);
}

void TfSetCurShow::load(const vm::DataHintFlags& flags) {
    m_flags = flags;
    for (int k = 0; k < vm::kKindCount; ++k)
        m_list->item(k)->setCheckState(m_flags[static_cast<std::size_t>(k)] ? Qt::Checked
                                                                            : Qt::Unchecked);
}

void TfSetCurShow::okClicked() {
    for (int k = 0; k < vm::kKindCount; ++k)
        m_flags[static_cast<std::size_t>(k)] = m_list->item(k)->checkState() == Qt::Checked;
    emit flagsChanged();
    accept();
}
