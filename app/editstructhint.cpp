#include "editstructhint.h"

#include <algorithm>
#include <climits>

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include "helptopic.h"
#include "structhintmodel.h"

namespace {

// A cell's whole text as its tooltip, only when the column is too narrow for it.
class CutTextTips : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event && event->type() == QEvent::ToolTip &&
            sizeHint(option, index).width() <= option.rect.width()) {
            QToolTip::hideText();
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
};

int clampedCount(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

} // namespace

TeditStructHint::TeditStructHint(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("editStructHint"));
    setWindowTitle(QStringLiteral("Struct Set Error (Warnning)"));
    resize(628, 431);
    setSizeGripEnabled(true);

    auto* segGroup = new QGroupBox(QStringLiteral("Segments Error(Warnning) List"));
    auto* segLayout = new QVBoxLayout(segGroup);
    m_segModel = new StructHintModel(QStringLiteral("Error Segment"), this);
    m_segList = makeList(m_segModel, "segList");
    segLayout->addWidget(m_segList);

    auto* typeGroup = new QGroupBox(QStringLiteral("Type Error(Warnning) List"));
    auto* typeLayout = new QVBoxLayout(typeGroup);
    m_typeModel = new StructHintModel(QStringLiteral("Error Type"), this);
    m_typeList = makeList(m_typeModel, "typeList");
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
            [this] { showHelpTopic(this, QString::fromLatin1(kHelpTopic)); });
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
    connect(m_segList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList chosen = m_segList->selectionModel()->selectedRows();
        if (!chosen.isEmpty())
            segListSelectItem(chosen.first().row());
    });
    fitColumns(m_segList);
    fitColumns(m_typeList);
}

QTableView* TeditStructHint::makeList(StructHintModel* model, const char* objectName) {
    auto* list = new QTableView;
    list->setObjectName(QString::fromLatin1(objectName));
    list->setModel(model);
    list->setItemDelegate(new CutTextTips(list));
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->setShowGrid(true);
    list->setWordWrap(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);
    return list;
}

// Every column is at least as wide as designed and as wide as its title and
// the texts of the first and the last rows (the summary rows come last).
void TeditStructHint::fitColumns(QTableView* list) {
    static constexpr int kDesignWidths[StructHintModel::kColumns] = {70, 80, 80, 80, 280};
    constexpr int kSample = 200;
    auto* model = static_cast<StructHintModel*>(list->model());
    list->clearSpans();
    if (model->hiddenLineRow() >= 0)
        list->setSpan(model->hiddenLineRow(), 0, 1, StructHintModel::kColumns);
    const int rows = model->rowCount();
    for (int c = 0; c < StructHintModel::kColumns; ++c) {
        int w = std::max(kDesignWidths[c], list->horizontalHeader()->sectionSizeHint(c));
        for (int r = 0; r < rows; ++r) {
            if (r == kSample && rows > 2 * kSample)
                r = rows - kSample;
            if (model->messageIndex(r) >= 0)
                w = std::max(w, list->sizeHintForIndex(model->index(r, c)).width());
        }
        // The grid line takes a pixel of the column.
        list->setColumnWidth(c, w + (list->showGrid() ? 1 : 0));
    }
}

void TeditStructHint::setSegMessages(vm::MessageList messages) {
    m_segModel->setMessages(std::move(messages));
    fitColumns(m_segList);
}

void TeditStructHint::setTypeMessages(vm::MessageList messages) {
    m_typeModel->setMessages(std::move(messages));
    fitColumns(m_typeList);
}

void TeditStructHint::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Enter means Ok each time the window shows, not whichever button last
    // had the focus in an earlier showing.
    m_ok->setDefault(true);
    m_ok->setFocus(Qt::OtherFocusReason);
}

void TeditStructHint::clearSegList() {
    setSegMessages({});
}

void TeditStructHint::clearTypeList() {
    setTypeMessages({});
}

bool TeditStructHint::segListHasError() const {
    return m_segModel->hasErrors();
}

bool TeditStructHint::typeListHasError() const {
    return m_typeModel->hasErrors();
}

int TeditStructHint::segRowCount() const {
    return clampedCount(m_segModel->messages().size());
}

int TeditStructHint::typeRowCount() const {
    return clampedCount(m_typeModel->messages().size());
}

void TeditStructHint::setExplanation(const QString& text) {
    m_lab->setText(text);
}

QString TeditStructHint::explanation() const {
    return m_lab->text();
}

void TeditStructHint::segListSelectItem(int row) {
    const std::ptrdiff_t i = m_segModel->messageIndex(row);
    if (i < 0)
        return;
    clearTypeList();
    const vm::StructMessage f = m_segModel->messages().row(static_cast<std::size_t>(i)).finding;
    if (f.expandable && f.isSegment && f.first >= 0 && m_provider)
        setTypeMessages(m_provider(f.first));
}
