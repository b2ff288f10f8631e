#include "findwindow.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "codec.h"
#include "document.h"
#include "documentfiles.h"
#include "findmapstrip.h"
#include "findtext.h"
#include "kindnames.h"
#include "kinds.h"
#include "prompter.h"
#include "recordpane.h"
#include "resultrows.h"
#include "scanrunner.h"
#include "toolwidgets.h"
#include "wheelguard.h"

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kIgnoreCaseRole = Qt::UserRole + 1;
constexpr int kUtf16Role = Qt::UserRole + 2;
// The text condition follows the 16 kinds in the kind list.
constexpr int kTextKind = vm::kKindCount;
const QColor kLane(192, 192, 192);
const QColor kScanned(0, 0, 255);

QPushButton* button(const QString& text, const char* name) {
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

TFfind::TFfind(Document& doc, RecordPane& pane, Locate locate, QWidget* parent)
    : QDockWidget(QStringLiteral("Find"), parent), m_doc(doc), m_pane(pane),
      m_locate(std::move(locate)) {
    setObjectName(QStringLiteral("TFfind"));
    m_runner = new ScanRunner(this);

    m_lvFind = new QTreeWidget;
    m_lvFind->setObjectName(QStringLiteral("lvFind"));
    m_lvFind->setHeaderLabels({QString(), QStringLiteral("Kind"), QStringLiteral("Value")});
    m_lvFind->setRootIsDecorated(false);
    m_lvFind->setColumnWidth(0, 24);
    m_lvFind->setColumnWidth(1, 90);
    // A few conditions are usual; the results get the room.
    m_lvFind->setMaximumHeight(90);
    m_lvFind->setContextMenuPolicy(Qt::CustomContextMenu);

    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("Ckind"));
    addKindNames(m_kind);
    m_kind->addItem(
        QString::fromLatin1(vm::kFindTextName.data(), static_cast<int>(vm::kFindTextName.size())));
    m_kind->setMaxVisibleItems(m_kind->count());
    takeWheelOnlyWithFocus(m_kind);
    m_value = new QLineEdit;
    m_value->setObjectName(QStringLiteral("Evalue"));
    m_ignoreCase = new QCheckBox(QStringLiteral("Ignore Case"));
    m_ignoreCase->setObjectName(QStringLiteral("CignoreCase"));
    m_ignoreCase->setToolTip(QStringLiteral("text: every letter matches in any of its cases"));
    m_utf16 = new QCheckBox(QStringLiteral("UTF-16"));
    m_utf16->setObjectName(QStringLiteral("Cutf16"));
    m_utf16->setToolTip(
        QStringLiteral("text: two bytes a character, low byte first, instead of one"));
    m_ignoreCase->setEnabled(false);
    m_utf16->setEnabled(false);
    m_addItem = button(QStringLiteral("Add Item"), "AddItem");
    m_delItem = button(QStringLiteral("Delete Item"), "DelItem");
    m_padd = new QAction(QStringLiteral("add Search Item"), this);
    m_padd->setObjectName(QStringLiteral("padd"));
    m_pdel = new QAction(QStringLiteral("del Search Item"), this);
    m_pdel->setObjectName(QStringLiteral("pdel"));

    m_range = new QLineEdit(QStringLiteral("100"));
    m_range->setObjectName(QStringLiteral("EfindRange"));
    m_resultCount = new QLineEdit;
    m_resultCount->setObjectName(QStringLiteral("EresultCount"));
    m_resultCount->setReadOnly(true);
    m_note = toolwidgets::runNote();
    m_find = button(QStringLiteral("Find"), "Bfind");
    m_find->setDefault(true);
    m_cancel = button(QStringLiteral("Stop"), "bCancel");
    m_cancel->setEnabled(false);

    auto* condGroup = new QGroupBox(QStringLiteral("Find List---Can Set Multi-Conditions"));
    auto* cg = new QGridLayout(condGroup);
    cg->addWidget(m_lvFind, 0, 0, 1, 4);
    cg->addWidget(m_kind, 1, 0, 1, 2);
    cg->addWidget(m_value, 1, 2, 1, 2);
    cg->addWidget(m_ignoreCase, 2, 0, 1, 2);
    cg->addWidget(m_utf16, 2, 2, 1, 2);
    cg->addWidget(m_addItem, 3, 0, 1, 2);
    cg->addWidget(m_delItem, 3, 2, 1, 2);
    cg->addWidget(new QLabel(QStringLiteral("Find Range:")), 4, 0);
    cg->addWidget(m_range, 4, 1);
    cg->addWidget(new QLabel(QStringLiteral("Find Result:")), 4, 2);
    cg->addWidget(m_resultCount, 4, 3);
    cg->addWidget(m_note, 5, 0, 1, 4);
    cg->addWidget(m_find, 6, 0, 1, 2);
    cg->addWidget(m_cancel, 6, 2, 1, 2);

    m_resultModel = new ResultRows(
        {QString(), QStringLiteral("Kind"), QStringLiteral("Value"), QStringLiteral("Position")},
        [this](int row, int column) { return resultText(row, column); }, this);
    m_lvResult = toolwidgets::resultView(QStringLiteral("lvResult"), m_resultModel,
                                         [this](int row) { lvResultDblClick(row); });
    m_lvResult->setMinimumHeight(120);
    // Room for hit numbers into the millions; the kind and value columns
    // follow what each search lists.
    const QFontMetrics fm = m_lvResult->fontMetrics();
    m_lvResult->setColumnWidth(0, fm.horizontalAdvance(QStringLiteral("0000000")) + 12);
    m_lvResult->setColumnWidth(1, fm.horizontalAdvance(QStringLiteral("8BDateTime")) + 12);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(condGroup);
    layout->addWidget(toolwidgets::resultGroup(m_lvResult), 1);
    setWidget(body);
    toolwidgets::addHelpAction(this, kHelpTopic);

    connect(m_lvFind, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { lvFindSelectItem(item); });
    connect(m_lvFind, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        menu.addAction(m_padd);
        menu.addAction(m_pdel);
        menu.exec(m_lvFind->viewport()->mapToGlobal(at));
    });
    connect(m_kind, &QComboBox::currentIndexChanged, this, &TFfind::CkindChange);
    connect(m_value, &QLineEdit::textChanged, this, &TFfind::EvalueChange);
    connect(m_ignoreCase, &QCheckBox::toggled, this,
            [this](bool on) { textOptionChanged(kIgnoreCaseRole, on); });
    connect(m_utf16, &QCheckBox::toggled, this,
            [this](bool on) { textOptionChanged(kUtf16Role, on); });
    connect(m_addItem, &QPushButton::clicked, this, &TFfind::addItem);
    connect(m_padd, &QAction::triggered, this, &TFfind::addItem);
    connect(m_delItem, &QPushButton::clicked, this, &TFfind::delItem);
    connect(m_pdel, &QAction::triggered, this, &TFfind::delItem);
    connect(m_find, &QPushButton::clicked, this, &TFfind::BfindClick);
    connect(m_cancel, &QPushButton::clicked, this, &TFfind::stopSearch);
    toolwidgets::addRunKeys(
        this, m_lvResult, [this] { BfindClick(); }, [this] { stopSearch(); });

    // The first condition: "1Bsigned" with the value 0.
    addCondition(0, QString());
    m_value->setText(QStringLiteral("0"));
}

TFfind::~TFfind() {
    m_runner->stop();
}

// --- the condition list ----------------------------------------------------------

QTreeWidgetItem* TFfind::addCondition(int kind, const QString& value) {
    auto* item = new QTreeWidgetItem(m_lvFind);
    item->setData(1, kKindRole, kind);
    item->setText(2, value);
    refreshConditionRow(item);
    m_lvFind->setCurrentItem(item);
    updateItemButtons();
    return item;
}

QString TFfind::conditionKindText(const QTreeWidgetItem* item) {
    const int kind = item->data(1, kKindRole).toInt();
    if (kind != kTextKind)
        return kindText(kind);
    QStringList options;
    if (item->data(1, kIgnoreCaseRole).toBool())
        options << QStringLiteral("any case");
    if (item->data(1, kUtf16Role).toBool())
        options << QStringLiteral("UTF-16");
    QString text =
        QString::fromLatin1(vm::kFindTextName.data(), static_cast<int>(vm::kFindTextName.size()));
    if (!options.isEmpty())
        text += QStringLiteral(" [") + options.join(QStringLiteral(", ")) + QStringLiteral("]");
    return text;
}

void TFfind::refreshConditionRow(QTreeWidgetItem* item) {
    item->setText(0, QStringLiteral("0"));
    item->setText(1, conditionKindText(item));
}

void TFfind::lvFindSelectItem(QTreeWidgetItem* item) {
    if (item) {
        // Showing a condition is no edit of it.
        m_loading = true;
        m_kind->setCurrentIndex(item->data(1, kKindRole).toInt());
        m_value->setText(item->text(2));
        m_ignoreCase->setChecked(item->data(1, kIgnoreCaseRole).toBool());
        m_utf16->setChecked(item->data(1, kUtf16Role).toBool());
        m_loading = false;
    }
    updateItemButtons();
}

void TFfind::CkindChange(int index) {
    // The text options belong to the text condition only.
    m_ignoreCase->setEnabled(index == kTextKind);
    m_utf16->setEnabled(index == kTextKind);
    QTreeWidgetItem* item = m_lvFind->currentItem();
    if (m_loading || !item || index < 0)
        return;
    item->setData(1, kKindRole, index);
    refreshConditionRow(item);
}

void TFfind::EvalueChange(const QString& text) {
    QTreeWidgetItem* item = m_lvFind->currentItem();
    if (m_loading || !item)
        return;
    // A value of a kind is read from its first characters only; a text is
    // searched whole, whatever its length.
    const bool whole = item->data(1, kKindRole).toInt() == kTextKind;
    item->setText(2, whole ? text : text.left(static_cast<int>(vm::kFindValueMax)));
}

void TFfind::textOptionChanged(int role, bool on) {
    QTreeWidgetItem* item = m_lvFind->currentItem();
    if (m_loading || !item)
        return;
    item->setData(1, role, on);
    refreshConditionRow(item);
}

void TFfind::updateItemButtons() {
    const bool canDelete = m_lvFind->currentItem() && m_lvFind->topLevelItemCount() >= 2;
    m_delItem->setEnabled(canDelete);
    m_pdel->setEnabled(canDelete);
}

void TFfind::addItem() {
    addCondition(0, QString());
}

void TFfind::delItem() {
    QTreeWidgetItem* item = m_lvFind->currentItem();
    // The last condition stays: a search needs one.
    if (!item || m_lvFind->topLevelItemCount() < 2)
        return;
    delete item;
    m_lvFind->setCurrentItem(m_lvFind->topLevelItem(0));
    updateItemButtons();
}

// --- searching -------------------------------------------------------------------

bool TFfind::searching() const {
    return m_runner->running();
}

void TFfind::BfindClick() {
    if (searching() || !requireData(m_doc, this))
        return;
    const vm::FileStream* data = m_doc.dataStream();
    const std::int64_t range = vm::parseInt32(m_range->text().toStdString()).value_or(0);

    // The search works on copies: the list may change while it runs.
    Run run;
    std::vector<vm::FindPattern> patterns;
    for (int i = 0; i < m_lvFind->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_lvFind->topLevelItem(i);
        const int kind = item->data(1, kKindRole).toInt();
        const QString value = item->text(2);
        run.kinds.push_back(conditionKindText(item));
        run.values.push_back(value);
        if (kind == kTextKind) {
            auto pattern = textPattern(item);
            if (!pattern)
                return;
            patterns.push_back(std::move(*pattern));
            continue;
        }
        // Text with characters that single-byte data cannot hold is no value:
        // zero bytes are searched, as for any value the kind rejects.
        const auto bytes = RecordPane::fromDisplay(value);
        patterns.emplace_back(bytes
                                  ? vm::findPattern(kind, *bytes, m_doc.locale())
                                  : std::vector<std::uint8_t>(
                                        static_cast<std::size_t>(vm::findPatternLength(kind)), 0));
    }
    m_run = std::move(run);
    // The columns take in what this search lists (a text condition's kind
    // names its choices too), leaving the positions room in a narrow dock.
    const QFontMetrics fm = m_lvResult->fontMetrics();
    int kindWidth = m_lvResult->columnWidth(1);
    int valueWidth = fm.horizontalAdvance(QStringLiteral("00000"));
    for (std::size_t k = 0; k < m_run.kinds.size(); ++k) {
        kindWidth = std::max(kindWidth, fm.horizontalAdvance(m_run.kinds[k]) + 12);
        valueWidth = std::max(valueWidth, fm.horizontalAdvance(m_run.values[k]));
    }
    m_lvResult->setColumnWidth(1, kindWidth);
    m_lvResult->setColumnWidth(
        2, std::min(valueWidth, fm.horizontalAdvance(QStringLiteral("-12345678901"))) + 12);
    m_rows.clear();
    m_resultModel->reset();
    m_resultCount->setText(QStringLiteral("0"));
    m_note->clear();
    m_pane.showFindResults(patterns);
    const std::int64_t size = std::max<std::int64_t>(0, data->size());
    prepareMap(m_run, size);
    m_pane.findMapStrip()->update();
    if (patterns.empty())
        return;

    m_find->setEnabled(false);
    m_cancel->setEnabled(true);
    // The working file's name, not the stream's path: reading starts on the
    // data file itself while the working copy is made and carries on there.
    m_run.workingFile = m_doc.workingFileName();
    m_run.scan = std::make_unique<vm::FindScan>(size, std::move(patterns), range);
    m_runner->start([this](const vm::Progress& progress) { return runSlice(progress); },
                    [this](bool completed) { searchEnded(completed); });
}

std::optional<vm::FindPattern> TFfind::textPattern(const QTreeWidgetItem* item) {
    const QString text = item->text(2);
    const bool utf16 = item->data(1, kUtf16Role).toBool();
    if (text.isEmpty()) {
        prompter().error(this, QStringLiteral("A text condition needs a text to find."));
        return std::nullopt;
    }
    auto pattern = vm::textPattern(
        text.toStdString(), utf16 ? vm::TextEncoding::Utf16LE : vm::TextEncoding::Windows1252,
        item->data(1, kIgnoreCaseRole).toBool());
    if (!pattern) {
        // UTF-16 writes every character: only single-byte text can refuse one.
        QString missing;
        for (const QChar c : text)
            if (!RecordPane::fromDisplay(QString(c)) && !missing.contains(c))
                missing += c;
        prompter().error(this, QStringLiteral("The text ") + text +
                                   QStringLiteral(" has characters that single-byte data cannot "
                                                  "hold: ") +
                                   missing +
                                   QStringLiteral("\nTick UTF-16 to search it as UTF-16."));
    }
    return pattern;
}

bool TFfind::runSlice(const vm::Progress& progress) {
    const vm::FileStream* data = m_doc.dataStream();
    if (!data || m_doc.workingFileName() != m_run.workingFile) {
        // The document was closed or replaced: nothing more is read.
        m_runner->stop();
        return false;
    }
    QPainter painter(&m_pane.findMapStrip()->image());
    vm::FindEvents events;
    events.scanned = [this, &painter](int lane, std::int64_t from, std::int64_t to) {
        paintLane(painter, lane, from, to, false);
    };
    events.hit = [this, &painter](std::int64_t number, std::span<const std::int64_t> positions) {
        addHit(painter, number, positions);
    };
    const bool done = m_run.scan->run(*data, events, progress);
    painter.end();
    m_resultModel->grow(static_cast<int>(m_rows.size()));
    m_resultCount->setText(QString::number(m_run.scan->hits()));
    m_pane.findMapStrip()->update();
    return done;
}

void TFfind::addHit(QPainter& painter, std::int64_t number,
                    std::span<const std::int64_t> positions) {
    const auto n = static_cast<std::int64_t>(positions.size());
    for (std::size_t k = 0; k < positions.size(); ++k)
        paintLane(painter, static_cast<int>(k), positions[k], positions[k], true);
    const std::int64_t rows = n + (n >= 2 ? 1 : 0);
    if (static_cast<std::int64_t>(m_rows.size()) + rows > ResultRows::kMaxRows) {
        // A list this long helps nobody and would only eat memory: the hits
        // are still counted and drawn.
        if (m_rows.empty() || m_rows.back().number != -1)
            m_rows.push_back({-1, 0, 0});
        m_run.capped = true;
        return;
    }
    for (std::int32_t k = 0; k < n; ++k)
        m_rows.push_back({number, k, positions[static_cast<std::size_t>(k)]});
    if (n >= 2)
        m_rows.push_back({0, 0, 0});
}

void TFfind::searchEnded(bool completed) {
    toolwidgets::RunEnd end;
    if (m_run.scan) {
        m_resultCount->setText(QString::number(m_run.scan->hits()));
        end = toolwidgets::runEnd(completed, m_run.scan->readError(), m_run.scan->position(),
                                  m_doc.dataStream());
    }
    if (m_run.capped)
        end.listCap = QStringLiteral("only the first %1 rows are listed").arg(ResultRows::kMaxRows);
    m_note->setText(toolwidgets::runNoteText(end));
    m_resultModel->grow(static_cast<int>(m_rows.size()));
    m_run.scan.reset();
    m_find->setEnabled(true);
    m_cancel->setEnabled(false);
    m_pane.findMapStrip()->update();
}

void TFfind::forgetResults() {
    stopSearch();
    m_rows.clear();
    m_resultModel->reset();
    m_resultCount->setText(QStringLiteral("0"));
    m_note->clear();
    m_run = Run{};
    m_pane.findMapStrip()->clear();
}

void TFfind::stopSearch() {
    m_runner->stop();
}

QString TFfind::resultText(int row, int column) const {
    const ResultRow& r = m_rows[static_cast<std::size_t>(row)];
    if (r.number == -1)
        return column == 2 ? QStringLiteral("more hits: counted, not listed") : QString();
    if (r.number == 0)
        return {};
    const auto k = static_cast<std::size_t>(r.condition);
    switch (column) {
    case 0:
        return QString::number(r.number);
    case 1:
        return m_run.kinds[k];
    case 2:
        return m_run.values[k];
    default:
        return QString::number(r.position);
    }
}

void TFfind::lvResultDblClick(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    const ResultRow& r = m_rows[static_cast<std::size_t>(row)];
    if (r.number <= 0)
        return;
    m_locate(r.position, true);
}

// --- the find map strip --------------------------------------------------------------

void TFfind::prepareMap(Run& run, std::int64_t size) {
    FindMapStrip* strip = m_pane.findMapStrip();
    strip->clear();
    const int left = 16;
    const int top = 2;
    const int right = strip->width() - 16;
    const int bottom = strip->height() - 2;
    const auto n = static_cast<int>(run.kinds.size());
    run.mapped = n > 0 && right > left && bottom > top;
    if (!run.mapped)
        return;
    // Pixels per byte; empty data gets its lanes and nothing on them.
    run.scale = size > 0 ? static_cast<float>(right - left) / static_cast<float>(size) : 0.0f;
    run.mapRight = right;
    const int slot = (bottom - top) / n;
    run.laneHeight = slot * 80 / 100;
    const int gap = slot - run.laneHeight;
    QPainter p(&strip->image());
    for (int k = 0; k < n; ++k) {
        run.laneTop.push_back(top + k * (run.laneHeight + gap));
        run.lastColumn.push_back(0);
        run.lastHit.push_back(-1);
        p.fillRect(QRect(left, run.laneTop.back(), right - left, run.laneHeight), kLane);
    }
}

void TFfind::paintLane(QPainter& painter, int lane, std::int64_t from, std::int64_t to, bool hit) {
    Run& run = m_run;
    if (!run.mapped || lane < 0 || lane >= static_cast<int>(run.laneTop.size()))
        return;
    const auto column = [&run](std::int64_t at) {
        return static_cast<int>(static_cast<double>(at) * static_cast<double>(run.scale)) + 16;
    };
    int left = column(from);
    int right = column(to);
    if (left == right)
        ++right;
    int& last = run.lastColumn[static_cast<std::size_t>(lane)];
    if (!hit && last >= left) {
        // Scanned columns are painted once; a hit mark is not painted over.
        left = last + 1;
        right = std::max(right, left);
    }
    last = right - 1;
    right = std::min(right, run.mapRight);
    if (right <= left)
        return;
    if (hit) {
        // Dense hits fall on one column again and again: it is red already.
        int& lastHit = run.lastHit[static_cast<std::size_t>(lane)];
        if (lastHit == left)
            return;
        lastHit = left;
    }
    painter.fillRect(
        QRect(left, run.laneTop[static_cast<std::size_t>(lane)], right - left, run.laneHeight),
        hit ? RecordPane::hitColour() : kScanned);
}

// --- closing ---------------------------------------------------------------------------

void TFfind::closeEvent(QCloseEvent* event) {
    stopSearch();
    emit closed();
    m_pane.showNormal();
    QDockWidget::closeEvent(event);
}
