#include "editstructhint.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "icons.h"
#include "platform.h"

TeditStructHint::TeditStructHint(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("editStructHint"));
    setWindowTitle(QStringLiteral("Struct Set Error (Warnning)"));
    resize(628, 431);
    setSizeGripEnabled(true);

    auto* segGroup = new QGroupBox(QStringLiteral("Segments Error(Warnning) List"));
    auto* segLayout = new QVBoxLayout(segGroup);
    m_segList = makeList(QStringLiteral("Error Segment"));
    m_segList->setObjectName(QStringLiteral("segList"));
    segLayout->addWidget(m_segList);

    auto* typeGroup = new QGroupBox(QStringLiteral("Type Error(Warnning) List"));
    auto* typeLayout = new QVBoxLayout(typeGroup);
    m_typeList = makeList(QStringLiteral("Error Type"));
    m_typeList->setObjectName(QStringLiteral("typeList"));
    typeLayout->addWidget(m_typeList);

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(segGroup);
    split->addWidget(typeGroup);
    split->setSizes({185, 200});

    m_lab = new QLabel;
    m_lab->setObjectName(QStringLiteral("Lab"));
    m_lab->setWordWrap(true);
    m_lab->setStyleSheet(QStringLiteral("color: blue"));
    m_lab->setMinimumWidth(377);
    m_lab->setMinimumHeight(36);

    m_ok = new QPushButton(QStringLiteral("Ok"));
    m_ok->setObjectName(QStringLiteral("BOk"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setObjectName(QStringLiteral("Bcancel"));
    auto* helpButton = new QPushButton(QStringLiteral("Help"));
    helpButton->setObjectName(QStringLiteral("BHelp"));

    m_help = new QAction(QStringLiteral("Help"), this);
    m_help->setObjectName(QStringLiteral("Ahelp"));
    m_help->setShortcut(QKeySequence(Qt::Key_F1));
    m_help->setShortcutContext(Qt::WindowShortcut);
    addAction(m_help);
    connect(m_help, &QAction::triggered, this,
            [] { platform::openHelpTopic(QString::fromLatin1(kHelpTopic)); });
    connect(helpButton, &QPushButton::clicked, m_help, &QAction::trigger);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_lab, 1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);
    bottom->addWidget(helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);

    // A row chosen by the user, not the current row the list takes by itself
    // when it gets the focus: the field findings stay until a row is chosen.
    connect(m_segList, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> chosen = m_segList->selectedItems();
        if (!chosen.isEmpty())
            segListSelectItem(chosen.first());
    });
}

QTreeWidget* TeditStructHint::makeList(const QString& secondColumn) {
    auto* list = new QTreeWidget;
    list->setColumnCount(5);
    list->setHeaderLabels({QStringLiteral("Error Kind"), secondColumn, QStringLiteral("Collide"),
                           QStringLiteral("Message"), QStringLiteral("Explication")});
    const int widths[] = {70, 80, 80, 80, 280};
    for (int i = 0; i < 5; ++i)
        list->setColumnWidth(i, widths[i]);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #d0d0d0; "
                                       "border-bottom: 1px solid #d0d0d0; }"));
    return list;
}

void TeditStructHint::addRow(QTreeWidget* list, const StructHintRow& row, bool& errorMark) {
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, row.error ? QStringLiteral("Error") : QStringLiteral("Warning"));
    item->setIcon(0, row.error ? icons::errorIcon() : icons::warningIcon());
    item->setText(1, row.first);
    item->setText(2, row.collide);
    item->setText(3, row.expandable ? QStringLiteral("Click To Expend") : row.names);
    item->setText(4, row.message);
    if (row.error)
        errorMark = true;
}

void TeditStructHint::clearSegList() {
    m_segList->clear();
    m_segRows.clear();
    m_segError = false;
}

void TeditStructHint::clearTypeList() {
    m_typeList->clear();
    m_typeRows.clear();
    m_typeError = false;
}

void TeditStructHint::addSegRow(const StructHintRow& row) {
    m_segRows.push_back(row);
    addRow(m_segList, row, m_segError);
}

void TeditStructHint::addTypeRow(const StructHintRow& row) {
    m_typeRows.push_back(row);
    addRow(m_typeList, row, m_typeError);
}

int TeditStructHint::segRowCount() const {
    return m_segList->topLevelItemCount();
}

int TeditStructHint::typeRowCount() const {
    return m_typeList->topLevelItemCount();
}

void TeditStructHint::setExplanation(const QString& text) {
    m_lab->setText(text);
}

QString TeditStructHint::explanation() const {
    return m_lab->text();
}

void TeditStructHint::segListSelectItem(QTreeWidgetItem* item) {
    const int index = item ? m_segList->indexOfTopLevelItem(item) : -1;
    if (index < 0 || index >= static_cast<int>(m_segRows.size()))
        return;
    clearTypeList();
    const StructHintRow& row = m_segRows[static_cast<std::size_t>(index)];
    if (row.expandable && row.segment && m_provider)
        for (const auto& r : m_provider(row.segment))
            addTypeRow(r);
}
