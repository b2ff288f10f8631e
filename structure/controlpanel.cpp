#include "controlpanel.h"

#include <optional>

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "codec.h"
#include "document.h"
#include "editstructhint.h"
#include "fieldparts.h"
#include "mainwindow.h"
#include "model.h"
#include "positionbar.h"
#include "progresswindow.h"
#include "prompter.h"
#include "recordpane.h"
#include "rowlistview.h"
#include "segmentgrid.h"
#include "structurechecks.h"
#include "updownbuttons.h"

namespace {

const QColor kMaroon(128, 0, 0);
const QColor kBlue(0, 0, 255);
constexpr int kListHeight = 121;
constexpr int kSegmentRole = Qt::UserRole;

// The number an editor holds: its text as an integer, nothing when the text
// is not one (or reads -1, which stands for "no value").
std::optional<std::int32_t> editorValue(const QLineEdit* edit) {
    const std::optional<std::int32_t> v = vm::parseInt32(edit->text().toStdString());
    if (!v || *v == -1)
        return std::nullopt;
    return v;
}

QLabel* captionFor(QWidget* buddy, const QString& text) {
    auto* l = new QLabel(text);
    l->setBuddy(buddy);
    return l;
}

} // namespace

void Tctrls::EditorGroup::setEnabled(bool on) const {
    for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(label),
                       static_cast<QWidget*>(step1), static_cast<QWidget*>(step10)})
        w->setEnabled(on);
}

Tctrls::Tctrls(Tmain& window) : m_window(window), m_fields(std::make_unique<FieldListHooks>()) {
    setObjectName(QStringLiteral("ctrls"));
    setMinimumWidth(60);
    createActions();
    buildLayout();
    refreshActions();
}

Tctrls::~Tctrls() {
    // Rows still name segments that may already be gone.
    m_list->blockSignals(true);
}

// --- construction ------------------------------------------------------------

void Tctrls::createActions() {
    m_new = panelAction(this, "A_partNew", "New Segment", [this] { A_partNewExecute(); });
    m_insert =
        panelAction(this, "A_partInsert", "Insert Segment", [this] { A_partInsertExecute(); });
    m_delete = panelAction(this, "A_partDel", "Delete Segment", [this] { A_partDelExecute(); });
    m_copy = panelAction(this, "A_partCopy", "Copy Segment", [this] { A_partCopyExecute(); });
    m_cut = panelAction(this, "A_partCut", "Cut Segment", [this] { A_partCutExecute(); });
    m_paste = panelAction(this, "A_partPast", "Past Segment", [this] { A_partPastExecute(); });
}

void Tctrls::buildLayout() {
    m_listGroup = new QGroupBox(QStringLiteral("Segments List"));
    m_listGroup->setObjectName(QStringLiteral("lvPartGB"));
    m_list = new RowListView;
    m_list->setObjectName(QStringLiteral("LvPart"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setColumnCount(5);
    m_list->setHeaderLabels({QString(), QStringLiteral("Segment Name"), QStringLiteral("Begin"),
                             QStringLiteral("Length"), QStringLiteral("Anomaly")});
    const int widths[] = {20, 85, 40, 45, 55};
    for (int i = 0; i < 5; ++i)
        m_list->setColumnWidth(i, widths[i]);
    m_list->acceptsDrag = [this](const QObject* source) { return acceptsSegmentDrag(source); };
    m_list->dropped = [this](int target) { LvPartDragDrop(target); };
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &Tctrls::LvPartSelectItem);
    m_partMenu = new QMenu(this);
    m_partMenu->setObjectName(QStringLiteral("partMenu"));
    m_partMenu->addActions({m_new, m_copy, m_delete, m_insert, m_paste, m_cut});
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_partMenu->popup(m_list->viewport()->mapToGlobal(at)); });
    auto* listLayout = new QVBoxLayout(m_listGroup);
    listLayout->setContentsMargins(2, 2, 2, 2);
    listLayout->addWidget(m_list);

    auto* lower = new QWidget;
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(2);
    lowerLayout->addWidget(makeStrip());
    m_infoGroup = makeSegmentInfo();
    lowerLayout->addWidget(m_infoGroup);
    m_typeGroup = makeTypeList();
    lowerLayout->addWidget(m_typeGroup, 1);

    m_splitter = new QSplitter(Qt::Vertical);
    m_splitter->setObjectName(QStringLiteral("lvPartSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_listGroup);
    m_splitter->addWidget(lower);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({kListHeight, 400});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_splitter);
}

PositionBar* Tctrls::addBar(QVBoxLayout* into, bool typeMap, std::vector<IndicatorLabel*>& labels) {
    struct L {
        const char* name;
        const char* caption;
        QColor colour;
        std::uint8_t flag;
    };
    auto* row = new QHBoxLayout;
    for (const L& l : {L{"LIsOver", "IsOverly", kMaroon, vm::kIsOver},
                       L{"LIsOverLay", "IsCover", kMaroon, vm::kIsOverlay},
                       L{"LHasBlank", "HasBlank", kBlue, vm::kHasSpace},
                       L{"LIsNotFit", "IsNotFit", kBlue, vm::kIsNotFit},
                       L{"LnotSort", "NotSort", kBlue, vm::kIsNotSort}}) {
        // Segments are not cut into records by the segment check: no IsNotFit there.
        if (!typeMap && l.flag == vm::kIsNotFit)
            continue;
        const QString name =
            QString::fromLatin1(l.name) + (typeMap ? QStringLiteral("1") : QString());
        auto* label = new IndicatorLabel(name, QString::fromLatin1(l.caption), l.colour, l.flag);
        connect(label, &IndicatorLabel::clicked, this, &Tctrls::LIsOver1Click);
        labels.push_back(label);
        row->addWidget(label);
    }
    row->addStretch();
    into->addLayout(row);
    auto* bar = new PositionBar(typeMap ? QStringLiteral("cPosImg1") : QStringLiteral("cPosImg"));
    // A new width needs the map worked out again; the type map is redrawn either way.
    connect(bar, &PositionBar::widthChanged, this,
            [this, typeMap] { redrawPositionBars(!typeMap); });
    into->addWidget(bar);
    return bar;
}

QWidget* Tctrls::makeStrip() {
    auto* strip = new QFrame;
    strip->setObjectName(QStringLiteral("segmentStrip"));
    strip->setFrameShape(QFrame::StyledPanel);
    strip->setFrameShadow(QFrame::Sunken);
    auto* v = new QVBoxLayout(strip);
    v->setContentsMargins(3, 2, 3, 2);
    v->setSpacing(2);
    m_segmentBar = addBar(v, false, m_segmentLabels);

    auto* row = new QHBoxLayout;
    auto toggle = [this](const char* name, const char* hint, bool& flag) {
        auto* b = new QToolButton;
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromLatin1(hint));
        b->setCheckable(true);
        b->setChecked(true);
        b->setAutoRaise(true);
        b->setFixedSize(18, 18);
        b->setArrowType(Qt::DownArrow);
        connect(b, &QToolButton::clicked, this, [this, &flag](bool on) {
            flag = on;
            applyPanelLayout();
        });
        return b;
    };
    m_infoToggle = toggle("typeCtrlSB", "Show Segment Infomation", m_showTypeCtrl);
    m_listToggle = toggle("lvPartSB", "Show Segment List", m_showSegList);
    m_listToggle->setArrowType(Qt::UpArrow);
    row->addWidget(m_infoToggle);
    row->addWidget(m_listToggle);
    row->addStretch();
    m_fileSize = new QLineEdit;
    m_fileSize->setObjectName(QStringLiteral("EFileSize"));
    m_fileSize->setReadOnly(true);
    m_fileSize->setMaximumWidth(90);
    row->addWidget(captionFor(m_fileSize, QStringLiteral("File Size:")));
    row->addWidget(m_fileSize);
    row->addWidget(new QLabel(QStringLiteral("Byte")));
    v->addLayout(row);
    return strip;
}

Tctrls::EditorGroup Tctrls::numberEditor(const char* name, const char* caption, const char* upDown1,
                                         const char* upDown10, vm::SegmentNumber which) {
    EditorGroup g;
    g.edit = new QLineEdit;
    g.edit->setObjectName(QString::fromLatin1(name));
    g.edit->setMinimumWidth(36);
    g.label = captionFor(g.edit, QString::fromLatin1(caption));
    QLineEdit* edit = g.edit;
    auto upDown = [&](const char* objectName, int step) {
        auto* ud = new UpDownButtons;
        ud->setObjectName(QString::fromLatin1(objectName));
        ud->setFixedWidth(UpDownButtons::kWidth);
        ud->setToolTip(step == 1 ? QStringLiteral("Step 1") : QStringLiteral("Step 10"));
        connect(ud, &UpDownButtons::stepped, this,
                [this, which, edit, step](int delta) { upDownClick(which, edit, delta * step); });
        return ud;
    };
    g.step1 = upDown(upDown1, 1);
    g.step10 = upDown(upDown10, 10);
    return g;
}

QGroupBox* Tctrls::makeSegmentInfo() {
    auto* group = new QGroupBox(QStringLiteral("Single Segment Info"));
    group->setObjectName(QStringLiteral("typeCtrlGB"));
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);

    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("segName"));
    m_name->setMaxLength(static_cast<int>(vm::kSegmentNameMax));
    connect(m_name, &QLineEdit::textChanged, this, &Tctrls::segNameChange);
    m_nameLabel = captionFor(m_name, QStringLiteral("Name:"));
    grid->addWidget(m_nameLabel, 0, 0);
    grid->addWidget(m_name, 0, 1, 1, 3);

    m_anomaly = new QCheckBox(QStringLiteral("Anomaly"));
    m_anomaly->setObjectName(QStringLiteral("isH"));
    connect(m_anomaly, &QCheckBox::clicked, this, &Tctrls::isHClick);
    m_toFilesEnd = new QCheckBox(QStringLiteral("ToFilesEnd"));
    m_toFilesEnd->setObjectName(QStringLiteral("cToFileEnd"));
    connect(m_toFilesEnd, &QCheckBox::clicked, this, &Tctrls::cToFileEndClick);
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_anomaly);
    checks->addWidget(m_toFilesEnd);
    checks->addStretch();
    grid->addLayout(checks, 1, 0, 1, 4);

    struct E {
        const char* name;
        const char* caption;
        const char* ud1;
        const char* ud10;
        vm::SegmentNumber which;
        QLineEdit** edit;
        EditorGroup* group;
        void (Tctrls::*handler)();
        int row;
    };
    const E editors[] = {
        {"segBegin", "Begin:", "UDStartpoint", "UDStartpoint1", vm::SegmentNumber::Begin, &m_begin,
         &m_beginGroup, &Tctrls::segBeginChange, 2},
        {"recLength", "RecLen:", "UDrecLength", "UDrecLength1", vm::SegmentNumber::RecordLength,
         &m_recLength, &m_recLengthGroup, &Tctrls::recLengthChange, 3},
        {"segLength", "Length:", "UDsegLength", "UDsegLength1", vm::SegmentNumber::Length,
         &m_length, &m_lengthGroup, &Tctrls::segLengthChange, 4},
        {"recCount", "RECCount:", "UDrecCount", "UDrecCount1", vm::SegmentNumber::RecordCount,
         &m_recCount, &m_recCountGroup, &Tctrls::recCountChange, 5},
    };
    for (const E& e : editors) {
        *e.group = numberEditor(e.name, e.caption, e.ud1, e.ud10, e.which);
        *e.edit = e.group->edit;
        connect(e.group->edit, &QLineEdit::textChanged, this, e.handler);
        grid->addWidget(e.group->label, e.row, 0);
        grid->addWidget(e.group->edit, e.row, 1);
        grid->addWidget(e.group->step1, e.row, 2);
        grid->addWidget(e.group->step10, e.row, 3);
    }
    grid->setColumnStretch(1, 1);
    return group;
}

QGroupBox* Tctrls::makeTypeList() {
    auto* group = new QGroupBox(QStringLiteral("Segment Type List"));
    group->setObjectName(QStringLiteral("typeListGB"));
    auto* v = new QVBoxLayout(group);
    v->setContentsMargins(3, 3, 3, 3);
    v->setSpacing(2);
    m_typeBar = addBar(v, true, m_typeLabels);
    // The field frame and the field list come in below (setFieldList).
    v->addStretch(1);
    return group;
}

// --- state -------------------------------------------------------------------------

bool Tctrls::resetMode() const {
    return m_window.document().viewSettings().canResetStructure();
}

bool Tctrls::editMode() const {
    return m_window.document().viewSettings().canEditStructure();
}

std::int64_t Tctrls::fileSize() const {
    return m_window.document().dataSize();
}

void Tctrls::reportFailure(const std::string& error) {
    prompter().error(this, QString::fromStdString(error));
}

// --- rows --------------------------------------------------------------------------

vm::Segment* Tctrls::segmentAt(int row) const {
    QTreeWidgetItem* item = row >= 0 ? m_list->topLevelItem(row) : nullptr;
    return item ? reinterpret_cast<vm::Segment*>(item->data(0, kSegmentRole).value<quintptr>())
                : nullptr;
}

int Tctrls::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.first());
}

int Tctrls::findSegmentRow(const vm::Segment* segment) const {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (segmentAt(i) == segment)
            return i;
    return -1;
}

void Tctrls::fillRow(QTreeWidgetItem* item, int row) {
    const vm::Segment* s = segmentAt(row);
    if (!s)
        return;
    const auto texts = vm::segmentListRow(*s, row);
    for (int c = 0; c < 5; ++c)
        item->setText(c, c == 1 ? RecordPane::toDisplay(texts[1])
                                : QString::fromStdString(texts[static_cast<std::size_t>(c)]));
}

void Tctrls::insertRow(int row, vm::Segment* segment) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, kSegmentRole, QVariant::fromValue(reinterpret_cast<quintptr>(segment)));
    m_rebuilding = true;
    m_list->insertTopLevelItem(row, item);
    m_rebuilding = false;
}

void Tctrls::refreshSegmentRow(const vm::Segment* segment) {
    const int row = findSegmentRow(segment);
    if (row >= 0)
        fillRow(m_list->topLevelItem(row), row);
}

void Tctrls::refreshSegmentRows() {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        fillRow(m_list->topLevelItem(i), i);
}

void Tctrls::rebuildRows() {
    m_rebuilding = true;
    m_list->clear();
    m_rebuilding = false;
    vm::SegmentList& list = m_window.document().segments();
    for (std::size_t i = 0; i < list.size(); ++i)
        insertRow(static_cast<int>(i), &list[i]);
    refreshSegmentRows();
}

void Tctrls::selectRow(int row) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item)
        return;
    if (item->isSelected() && m_list->currentItem() == item) {
        // Already selected: the selection event will not come, so make sure
        // its segment is the current one all the same.
        LvPartSelectItem();
        return;
    }
    m_list->setCurrentItem(item);
    item->setSelected(true);
}

// --- PanelHooks -----------------------------------------------------------------------

void Tctrls::structureReplaced() {
    // The segments the rows and the clipboard named are gone.
    m_clipboard = nullptr;
    m_window.document().segments().setCurrent(nullptr);
    m_fields->showSegment(nullptr, true);
    rebuildSegmentList();
}

void Tctrls::rebuildSegmentList() {
    rebuildRows();
    m_fileSize->setText(QString::number(fileSize()));
    if (m_list->topLevelItemCount() > 0) {
        selectRow(0);
    } else {
        m_fields->showSegment(nullptr, false);
        refreshActions();
    }
}

bool Tctrls::selectSegment(vm::Segment* segment) {
    const int row = findSegmentRow(segment);
    if (row < 0)
        return false;
    selectRow(row);
    return true;
}

void Tctrls::LvPartSelectItem() {
    if (m_rebuilding)
        return;
    vm::SegmentList& list = m_window.document().segments();
    if (list.current())
        m_fields->syncFieldOrder();
    vm::Segment* chosen = segmentAt(selectedRow());
    if (chosen && chosen != list.current()) {
        list.setCurrent(chosen);
        refreshSegmentEditors();
        showCurrentSegment(true);
        redrawPositionBars(true);
    }
    refreshActions();
}

void Tctrls::showCurrentSegment(bool dropFieldClipboard) {
    vm::Segment* current = m_window.document().segments().current();
    if (!current)
        return;
    refreshSegmentRow(current);
    fillSegmentEditors();
    m_fields->showSegment(current, dropFieldClipboard && editMode());
    redrawPositionBars(false);
    RecordPane* pane = m_window.recordPane();
    pane->layoutSegmentGrids(current);
    // Laying the grids out counted the records of the segments shown (and of
    // the one after them), which cuts a segment running past the end of the
    // file: their rows say so.
    const vm::SegmentList& list = m_window.document().segments();
    for (int i = std::max(list.indexOf(current), 0); i < static_cast<int>(list.size()); ++i) {
        const vm::Segment* s = &list[static_cast<std::size_t>(i)];
        if (segmentAt(i) == s)
            fillRow(m_list->topLevelItem(i), i);
        const SegmentGrid* g = pane->mainGrid(s);
        if (!g || !g->isVisible())
            break;
    }
}

void Tctrls::fillSegmentEditors() {
    vm::Segment* s = m_window.document().segments().current();
    if (!s)
        return;
    m_filling = true;
    vm::computeRecordCount(s, fileSize());
    m_name->setText(RecordPane::toDisplay(s->name));
    m_fileSize->setText(QString::number(fileSize()));
    m_anomaly->setChecked(s->anomaly);
    m_toFilesEnd->setChecked(s->toFilesEnd);
    m_begin->setText(QString::number(s->begin));
    m_length->setText(QString::number(s->length));
    m_recLength->setText(QString::number(s->recordLength));
    // Without a record length there are no records, whatever the file said.
    m_recCount->setText(QString::number(s->recordLength > 0 ? s->recordCount : 0));
    m_filling = false;
}

void Tctrls::refreshSegmentEditors() {
    for (const EditorGroup* g :
         {&m_beginGroup, &m_recLengthGroup, &m_lengthGroup, &m_recCountGroup})
        g->setEnabled(false);
    for (QWidget* w : {static_cast<QWidget*>(m_anomaly), static_cast<QWidget*>(m_toFilesEnd),
                       static_cast<QWidget*>(m_name), static_cast<QWidget*>(m_nameLabel)})
        w->setEnabled(false);
    const vm::Segment* s = m_window.document().segments().current();
    if (!resetMode() || !m_window.document().dataStream() || !s)
        return;
    for (QWidget* w : {static_cast<QWidget*>(m_anomaly), static_cast<QWidget*>(m_toFilesEnd),
                       static_cast<QWidget*>(m_name), static_cast<QWidget*>(m_nameLabel)})
        w->setEnabled(true);
    if (!s->anomaly) {
        m_recLengthGroup.setEnabled(true);
        m_recCountGroup.setEnabled(!s->toFilesEnd);
    }
    m_beginGroup.setEnabled(true);
    m_lengthGroup.setEnabled(!s->toFilesEnd);
}

void Tctrls::refreshActions() {
    for (QAction* a : {m_new, m_insert, m_delete, m_copy, m_cut, m_paste})
        a->setEnabled(false);
    m_fields->refreshActions({});
    refreshSegmentEditors();
    const bool reset = resetMode();
    const bool edit = editMode();
    if (!reset && !edit)
        return;
    const bool selected = selectedRow() >= 0;
    m_new->setEnabled(true);
    m_insert->setEnabled(true);
    m_copy->setEnabled(selected);
    m_delete->setEnabled(selected);
    m_cut->setEnabled(selected && reset);
    m_paste->setEnabled(m_clipboard != nullptr);
    if (!m_window.document().segments().current())
        return;
    m_fields->refreshActions({reset, edit, true});
    m_window.document().setGridFillEnabled(true);
}

void Tctrls::refreshFieldRows() {
    m_fields->refreshFieldRows();
}

void Tctrls::reloadFieldFrame() {
    m_fields->reloadFieldFrame();
}

std::vector<int> Tctrls::fieldDisplayOrder(const vm::Segment& segment) const {
    std::vector<int> order = m_fields->displayOrder(segment);
    return order.empty() ? PanelHooks::fieldDisplayOrder(segment) : order;
}

QList<QAction*> Tctrls::editMenuActions() {
    QList<QAction*> actions{m_new, m_copy, m_delete, m_insert, m_paste, m_cut};
    const QList<QAction*> fields = m_fields->actions();
    if (!fields.isEmpty()) {
        actions << nullptr;
        actions << fields;
    }
    return actions;
}

void Tctrls::entryDefinitionChanged(vm::Segment* segment, int entryIndex) {
    m_fields->entryDefinitionChanged(segment, entryIndex);
    redrawPositionBars(false);
    refreshSegmentRow(segment);
}

void Tctrls::showFieldMenu(int entry, const QPoint& globalPos) {
    m_fields->showFieldMenu(entry, globalPos);
}

void Tctrls::setFieldList(std::unique_ptr<FieldListHooks> fields) {
    if (QWidget* old = m_fields->widget())
        old->setParent(nullptr);
    m_fields = fields ? std::move(fields) : std::make_unique<FieldListHooks>();
    if (QWidget* w = m_fields->widget()) {
        auto* layout = static_cast<QVBoxLayout*>(m_typeGroup->layout());
        // In place of the stretch that held the place.
        if (QLayoutItem* spacer = layout->takeAt(layout->count() - 1))
            delete spacer;
        layout->addWidget(w, 1);
    }
    m_window.rebuildFileMenu();
    m_fields->showSegment(m_window.document().segments().current(), false);
    refreshActions();
}

void Tctrls::applyPanelSettings(bool showSegList, bool showTypeCtrl) {
    m_showSegList = showSegList;
    m_showTypeCtrl = showTypeCtrl;
    m_rememberedListHeight = 80;
    if (showSegList)
        m_splitter->setSizes({m_rememberedListHeight, m_splitter->height()});
    applyPanelLayout();
}

void Tctrls::readPanelSettings(bool& showSegList, bool& showTypeCtrl) const {
    showSegList = m_showSegList;
    showTypeCtrl = m_showTypeCtrl;
}

void Tctrls::applyPanelLayout() {
    const QList<int> sizes = m_splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (!m_showSegList) {
        if (m_listGroup->height() > 1)
            m_rememberedListHeight = m_listGroup->height();
        m_listGroup->setMaximumHeight(1);
        m_splitter->setSizes({1, std::max(total - 1, 1)});
    } else if (m_listGroup->maximumHeight() == 1) {
        m_listGroup->setMaximumHeight(QWIDGETSIZE_MAX);
        m_splitter->setSizes({m_rememberedListHeight, std::max(total - m_rememberedListHeight, 1)});
    }
    m_infoGroup->setVisible(m_showTypeCtrl);
    m_listToggle->setChecked(m_showSegList);
    m_infoToggle->setChecked(m_showTypeCtrl);
}

// --- position bars -------------------------------------------------------------------

void Tctrls::redrawPositionBars(bool withSegmentCheck) {
    Document& doc = m_window.document();
    if (!doc.dataStream()) {
        m_segmentBar->clearMap();
        m_typeBar->clearMap();
        return;
    }
    const bool hex = doc.viewSettings().hexPositions();
    vm::Segment* current = doc.segments().current();
    if (withSegmentCheck) {
        vm::StructureMap map;
        map.width = m_segmentBar->width();
        const std::uint8_t flags =
            vm::checkSegments(doc.segments(), fileSize(), hex, nullptr, &map, current);
        m_segmentBar->setMap(std::move(map));
        for (IndicatorLabel* l : m_segmentLabels)
            l->showFlags(flags);
    }
    const std::vector<std::size_t> selected = m_fields->selectedEntries();
    vm::StructureMap map;
    map.width = m_typeBar->width();
    const std::uint8_t flags =
        vm::checkTypeEntries(current, fileSize(), hex, nullptr, &map, &selected);
    m_typeBar->setMap(std::move(map));
    for (IndicatorLabel* l : m_typeLabels)
        l->showFlags(flags);
}

void Tctrls::drawSegmentBarOnly() {
    Document& doc = m_window.document();
    vm::StructureMap map;
    map.width = m_segmentBar->width();
    vm::checkSegments(doc.segments(), fileSize(), doc.viewSettings().hexPositions(), nullptr, &map,
                      doc.segments().current());
    m_segmentBar->setMap(std::move(map));
    m_typeBar->clearMap();
}

void Tctrls::setIndicatorsEnabled(bool on) {
    for (auto* labels : {&m_segmentLabels, &m_typeLabels})
        for (IndicatorLabel* l : *labels)
            l->setEnabled(on);
}

void Tctrls::LIsOver1Click() {
    TeditStructHint* hint = m_window.structHint();
    hint->clearSegList();
    fillSegmentFindings(m_window.document(), *hint);
    if (hint->segRowCount() == 0)
        return;
    hint->setExplanation(hint->segListHasError()
                             ? QStringLiteral("Has any error in structure setting.")
                             : QStringLiteral("Has any warnning in structure setting."));
    prompter().runModal(*hint);
}

// --- structure changes ---------------------------------------------------------------

void Tctrls::structureChanged(bool withSegmentCheck) {
    m_window.document().markStructureChanged();
    refreshSegmentRow(m_window.document().segments().current());
    redrawPositionBars(withSegmentCheck);
}

void Tctrls::shiftFollowingSegments(vm::Segment& segment, std::int64_t delta) {
    for (vm::Segment* moved :
         vm::shiftFollowingSegments(m_window.document().segments(), segment, delta))
        refreshSegmentRow(moved);
    structureChanged(true);
}

// --- segment actions ------------------------------------------------------------------

void Tctrls::A_partNewExecute() {
    addSegment(-1);
}

void Tctrls::A_partInsertExecute() {
    addSegment(selectedRow());
}

void Tctrls::addSegment(int before) {
    m_filling = true;
    vm::Segment& s =
        vm::addNewSegment(m_window.document().segments(), fileSize(), editMode(), before);
    segmentAdded(s, false);
}

// The rows take a segment just put into the list; it becomes current.
void Tctrls::segmentAdded(vm::Segment& segment, bool dataChanged) {
    Document& doc = m_window.document();
    m_window.recordPane()->createSegmentGrids(&segment);
    const int row = doc.segments().indexOf(&segment);
    insertRow(row, &segment);
    refreshSegmentRows();
    if (dataChanged)
        doc.setDataChanged(true, false);
    m_filling = false;
    selectRow(row);
    structureChanged(true);
}

void Tctrls::A_partDelExecute() {
    const int row = selectedRow();
    vm::Segment* s = segmentAt(row);
    Document& doc = m_window.document();
    if (!s || doc.segments().indexOf(s) < 0)
        return;
    std::optional<ProgressWindow> progress;
    vm::WorkingFile* wf = nullptr;
    if (editMode() && doc.dataStream()) {
        wf = &doc.workingFile();
        progress.emplace(this, QStringLiteral("Delete Segment"));
    }
    const vm::FileResult r =
        vm::deleteSegment(doc.segments(), static_cast<std::size_t>(doc.segments().indexOf(s)), wf,
                          progress ? progress->callback() : vm::Progress{});
    progress.reset();
    if (!r.ok) {
        reportFailure(r.error);
        return;
    }
    if (m_clipboard == s)
        m_clipboard = nullptr;
    doc.segments().setCurrent(nullptr);
    m_rebuilding = true;
    delete m_list->takeTopLevelItem(row);
    m_rebuilding = false;
    if (wf)
        doc.setDataChanged(true, false);
    doc.markStructureChanged();
    const int rows = m_list->topLevelItemCount();
    if (rows > 0) {
        refreshSegmentRows();
        selectRow(std::min(row, rows - 1));
    } else {
        m_fields->showSegment(nullptr, false);
        m_window.showCurrentSegment(false);
        refreshActions();
    }
    redrawPositionBars(true);
}

void Tctrls::A_partCopyExecute() {
    vm::Segment* s = segmentAt(selectedRow());
    if (!s)
        return;
    m_clipboard = s;
    refreshActions();
}

void Tctrls::A_partCutExecute() {
    if (selectedRow() < 0)
        return;
    A_partCopyExecute();
    A_partDelExecute();
}

void Tctrls::A_partPastExecute() {
    Document& doc = m_window.document();
    if (!m_clipboard || doc.segments().indexOf(m_clipboard) < 0)
        return;
    const int before = selectedRow();
    std::optional<ProgressWindow> progress;
    vm::WorkingFile* wf = nullptr;
    if (editMode() && doc.dataStream()) {
        wf = &doc.workingFile();
        progress.emplace(this, QStringLiteral("Past Segment"));
    }
    m_filling = true;
    const vm::PasteResult p = vm::pasteSegment(doc.segments(), *m_clipboard, before, wf,
                                               progress ? progress->callback() : vm::Progress{});
    progress.reset();
    if (!p.file.ok) {
        m_filling = false;
        reportFailure(p.file.error);
        return;
    }
    segmentAdded(*p.segment, wf != nullptr);
}

bool Tctrls::acceptsSegmentDrag(const QObject* source) const {
    return source == m_list && resetMode();
}

void Tctrls::LvPartDragDrop(int target) {
    if (!resetMode())
        return;
    std::vector<std::size_t> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems())
        rows.push_back(static_cast<std::size_t>(m_list->indexOfTopLevelItem(item)));
    if (rows.empty())
        return;
    vm::moveSegments(m_window.document().segments(), rows, target);
    m_window.document().segments().setCurrent(nullptr);
    rebuildSegmentList();
    m_window.document().markStructureChanged();
    redrawPositionBars(true);
}

// --- segment editors --------------------------------------------------------------------

void Tctrls::showNumber(QLineEdit* editor, std::int64_t value) {
    const bool filling = m_filling;
    m_filling = true;
    editor->setText(QString::number(value));
    m_filling = filling;
}

void Tctrls::editedSegmentNumbers() {
    // The grid first: filling it counts the records again, which cuts a length
    // typed past the end of the file; the row and the bars then show that.
    m_window.recordPane()->refreshSegmentGrid(m_window.document().segments().current(), false);
    structureChanged(true);
}

void Tctrls::segNameChange(const QString& text) {
    vm::Segment* s = segmentAt(selectedRow());
    if (m_filling || !s)
        return;
    const std::optional<std::string> name = RecordPane::fromDisplay(text);
    if (!name)
        return; // a character with no single-byte form: the name stays
    s->setName(*name);
    structureChanged(false);
    refreshSegmentRow(s);
}

void Tctrls::segBeginChange() {
    vm::Segment* s = m_window.document().segments().current();
    if (m_filling || !s)
        return;
    const std::int32_t count = vm::editSegmentBegin(*s, editorValue(m_begin), fileSize());
    showNumber(m_recCount, count);
    showNumber(m_length, s->length);
    editedSegmentNumbers();
}

void Tctrls::recLengthChange() {
    vm::Segment* s = m_window.document().segments().current();
    if (m_filling || !s)
        return;
    showNumber(m_recCount, vm::editRecordLength(*s, editorValue(m_recLength), fileSize()));
    editedSegmentNumbers();
}

void Tctrls::segLengthChange() {
    vm::Segment* s = m_window.document().segments().current();
    if (m_filling || !s)
        return;
    showNumber(m_recCount, vm::editSegmentLength(*s, editorValue(m_length), fileSize()));
    editedSegmentNumbers();
}

void Tctrls::recCountChange() {
    vm::Segment* s = m_window.document().segments().current();
    if (m_filling || !s)
        return;
    if (vm::editRecordCount(*s, editorValue(m_recCount), fileSize()))
        showNumber(m_length, s->length);
    editedSegmentNumbers();
}

void Tctrls::isHClick(bool checked) {
    vm::Segment* s = m_window.document().segments().current();
    if (m_filling || !s)
        return;
    s->anomaly = checked;
    structureChanged(true);
    refreshActions();
    m_window.recordPane()->refreshSegmentGrid(s, true);
}

void Tctrls::cToFileEndClick(bool checked) {
    vm::Segment* s = m_window.document().segments().current();
    if (m_filling || !s)
        return;
    s->toFilesEnd = checked;
    fillSegmentEditors(); // counts again, to the end of the file now
    structureChanged(true);
    refreshActions();
    m_window.recordPane()->refreshSegmentGrid(s, true);
}

void Tctrls::upDownClick(vm::SegmentNumber which, QLineEdit* editor, int step) {
    const vm::Segment* s = m_window.document().segments().current();
    if (!s || !editor->isEnabled())
        return;
    const std::int64_t current = vm::parseInt32(editor->text().toStdString()).value_or(0);
    if (const auto value = vm::steppedValue(which, current, step, *s, fileSize()))
        editor->setText(QString::number(*value));
}
