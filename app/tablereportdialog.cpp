#include "tablereportdialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "prompter.h"
#include "tablereportmodel.h"

TtableReport::TtableReport(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TtableReport"));
    setWindowTitle(QStringLiteral("Import Report"));
    m_model = new TableReportModel(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("Lsummary"));
    m_summary->setWordWrap(true);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("lvReport"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_save = new QPushButton(QStringLiteral("Save..."), this);
    m_save->setObjectName(QStringLiteral("Bsave"));
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setObjectName(QStringLiteral("Bclose"));
    m_close->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &TtableReport::saveList);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(720, 420);
}

void TtableReport::clear() {
    m_model->clear();
    m_summary->clear();
}

void TtableReport::add(const vm::TableValueReport& report) {
    m_model->add(report);
}

void TtableReport::setSummary(const QString& text) {
    m_summary->setText(text);
}

QString TtableReport::summary() const {
    return m_summary->text();
}

void TtableReport::saveList() {
    const QString path = prompter().saveFileName(
        this, QStringLiteral("Save Report"), QStringLiteral("text files (*.txt);;All files (*.*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_model->save(path, &error))
        prompter().error(this,
                         QStringLiteral("Cannot write ") + path + QStringLiteral("\n") + error);
}
