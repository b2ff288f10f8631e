#include "cimportdialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "cp1252.h"
#include "fieldparts.h"

namespace {

// Typing into the header asks for a new type list once the keys rest.
constexpr int kSettleMs = 400;

std::vector<std::string> split(const QString& text, const QRegularExpression& separator) {
    std::vector<std::string> parts;
    for (const QString& p : text.split(separator, Qt::SkipEmptyParts))
        if (!p.trimmed().isEmpty())
            parts.push_back(p.trimmed().toStdString());
    return parts;
}

} // namespace

TimportCStruct::TimportCStruct(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("importCStruct"));
    setWindowTitle(QStringLiteral("Import C Struct"));

    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("Eheader"));
    m_text->setPlaceholderText(QStringLiteral("Paste a C header here, or open one"));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* open = new QPushButton(QStringLiteral("Open Header..."));
    open->setObjectName(QStringLiteral("BOpenHeader"));

    m_target = new QComboBox;
    m_target->setObjectName(QStringLiteral("Ctarget"));
    m_target->setEditable(true); // any triple clang knows
    m_includes = new QLineEdit;
    m_includes->setObjectName(QStringLiteral("Eincludes"));
    m_includes->setPlaceholderText(QStringLiteral("folders, separated by ;"));
    m_defines = new QLineEdit;
    m_defines->setObjectName(QStringLiteral("Edefines"));
    m_defines->setPlaceholderText(QStringLiteral("NAME or NAME=VALUE, separated by blanks"));
    m_types = new QListWidget;
    m_types->setObjectName(QStringLiteral("LvTypes"));

    m_preview = new QTableWidget(0, 4);
    m_preview->setObjectName(QStringLiteral("LvPreview"));
    m_preview->setHorizontalHeaderLabels({QStringLiteral("Type Kind"), QStringLiteral("Start"),
                                          QStringLiteral("Length"), QStringLiteral("Memo")});
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->verticalHeader()->setVisible(false);
    m_preview->horizontalHeader()->setStretchLastSection(true);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("Lmessage"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_ok = new QPushButton;
    QHBoxLayout* buttons = okCancelRow(this, m_ok, "BOK", "BCancel");
    m_ok->setEnabled(false);

    auto* left = new QVBoxLayout;
    left->addWidget(m_text, 1);
    left->addWidget(open, 0, Qt::AlignLeft);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Target:"), m_target);
    form->addRow(QStringLiteral("Include folders:"), m_includes);
    form->addRow(QStringLiteral("Definitions:"), m_defines);
    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addWidget(new QLabel(QStringLiteral("Structs:")));
    right->addWidget(m_types, 1);
    auto* top = new QHBoxLayout;
    top->addLayout(left, 3);
    top->addLayout(right, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addWidget(m_preview, 2);
    layout->addWidget(m_message);
    layout->addLayout(buttons);
    resize(900, 640);

    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &TimportCStruct::headerChanged);
    auto changed = [this] {
        clearPreview();
        m_settle->start();
    };
    connect(m_text, &QPlainTextEdit::textChanged, this, changed);
    connect(m_target, &QComboBox::currentTextChanged, this, changed);
    connect(m_includes, &QLineEdit::textChanged, this, changed);
    connect(m_defines, &QLineEdit::textChanged, this, changed);
    connect(m_types, &QListWidget::currentRowChanged, this, [this](int row) {
        clearPreview();
        if (row < 0)
            return;
        m_picked = m_types->item(row)->text();
        emit typeChosen();
    });
    connect(open, &QPushButton::clicked, this, &TimportCStruct::openHeaderRequested);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TimportCStruct::setTargets(const std::vector<std::string>& targets) {
    m_target->clear();
    for (const std::string& t : targets)
        m_target->addItem(QString::fromStdString(t));
}

void TimportCStruct::setHeader(const std::string& path, const std::string& text) {
    m_path = path;
    m_text->setPlainText(QString::fromStdString(text));
}

void TimportCStruct::setTypes(const std::vector<std::string>& names, const std::string& error) {
    // The struct picked last, even when a header with an error typed on the
    // way emptied the list in between.
    const QString kept = m_picked;
    {
        const QSignalBlocker block(m_types);
        m_types->clear();
        for (const std::string& n : names)
            m_types->addItem(QString::fromStdString(n));
    }
    clearPreview();
    showMessage(QString::fromStdString(error));
    // The struct picked before stays picked while the header is edited.
    const auto again = m_types->findItems(kept, Qt::MatchExactly);
    if (!kept.isEmpty() && !again.isEmpty())
        m_types->setCurrentItem(again.front());
    else if (m_types->count() == 1)
        m_types->setCurrentRow(0); // nothing else to choose
}

void TimportCStruct::setPreview(const vm::CStructImport& preview) {
    m_previewed = preview;
    m_preview->setRowCount(0);
    if (!preview.ok) {
        m_ok->setEnabled(false);
        showMessage(QString::fromStdString(preview.error));
        return;
    }
    m_preview->setRowCount(static_cast<int>(preview.fields.size()));
    for (int r = 0; r < m_preview->rowCount(); ++r) {
        const vm::TypeEntry& e = preview.fields[static_cast<std::size_t>(r)];
        const QString cells[] = {kindText(e.kind), QString::number(e.start),
                                 QString::number(e.length),
                                 QString::fromStdString(vm::cp1252ToUtf8(e.memo))};
        for (int c = 0; c < 4; ++c)
            m_preview->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    showMessage(QStringLiteral("%1 fields, %2 bytes a record")
                    .arg(preview.fields.size())
                    .arg(preview.recordLength));
    m_ok->setEnabled(true);
}

CImportChoice TimportCStruct::choice() const {
    CImportChoice c;
    c.headerPath = m_path;
    c.headerText = m_text->toPlainText().toStdString();
    c.target = m_target->currentText().trimmed().toStdString();
    c.includeDirs = split(m_includes->text(), QRegularExpression(QStringLiteral(";")));
    c.defines = split(m_defines->text(), QRegularExpression(QStringLiteral("\\s+")));
    if (const QListWidgetItem* item = m_types->currentItem())
        c.typeName = item->text().toStdString();
    return c;
}

void TimportCStruct::showMessage(const QString& text) {
    m_message->setText(text);
}

void TimportCStruct::clearPreview() {
    m_previewed = {};
    m_preview->setRowCount(0);
    m_ok->setEnabled(false);
}
