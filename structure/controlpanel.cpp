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
#include <QStyle>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "codec.h"
#include "describecommand.h"
#include "document.h"
#include "editstructhint.h"
#include "fieldparts.h"
#include "model.h"
#include "positionbar.h"
#include "progresswindow.h"
#include "prompter.h"
#include "recordpane.h"
#include "rowlistview.h"
#include "segmentgrid.h"
#include "structurechecks.h"
#include "updownbuttons.h"
#include "wheelguard.h"

namespace {

const QColor kMaroon(128, 0, 0);
const QColor kBlue(0, 0, 255);
constexpr int kListHeight = 121;
constexpr int kListRows = 6;
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

Tctrls::Tctrls(Document& doc, RecordPane& pane, TeditStructHint& hint, QWidget* dialogParent)
    : m_doc(doc), m_pane(pane), m_hint(hint), m_dialogParent(dialogParent),
      m_fields(std::make_unique<FieldListHooks>()) {
    setObjectName(QStringLiteral("ctrls"));
    setMinimumWidth(60);
    createActions();
    buildLayout();
    connectDocument();
    setIndicatorsEnabled(false);
    refreshActions();
}

Tctrls::~Tctrls() {
    // Rows still name segments that may already be gone.
    m_list->blockSignals(true);
}

// --- construction ------------------------------------------------------------

void Tctrls::createActions() {
    m_new = panelAction(this, "A_partNew", "New Segment", [this] { m_doc.addNewSegment(-1); });
    m_insert = panelAction(this, "A_partInsert", "Insert Segment",
                           [this] { m_doc.addNewSegment(selectedRow()); });
    m_delete = panelAction(this, "A_partDel", "Delete Segment", [this] { A_partDelExecute(); });
    m_copy = panelAction(this, "A_partCopy", "Copy Segment", [this] { A_partCopyExecute(); });
    m_cut = panelAction(this, "A_partCut", "Cut Segment", [this] { A_partCutExecute(); });
    m_paste = panelAction(this, "A_partPast", "Past Segment", [this] { A_partPastExecute(); });
    m_describe = panelAction(this, "A_partDescribe", "",
                             [this] { describeFromData(m_doc, m_dialogParent); });
    m_describe->setText(QStringLiteral("Describe From Data\u2026"));
    m_describeSeparator = new QAction(this);
    m_describeSeparator->setSeparator(true);
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
    m_partMenu->addActions(
        {m_new, m_copy, m_delete, m_insert, m_paste, m_cut, m_describeSeparator, m_describe});
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
    takeWheelOnlyWithFocus(g.edit);
    // Leaving the editor ends what the user typed into it as one burst.
    connect(g.edit, &QLineEdit::editingFinished, this, &Tctrls::endEditingBurst);
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
    connect(m_name, &QLineEdit::editingFinished, &m_doc, &Document::endEditBurst);
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
        connect(e.group->edit, &QLineEdit::editingFinished, &m_doc, &Document::endEditBurst);
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
    return m_doc.viewSettings().canResetStructure();
}

bool Tctrls::editMode() const {
    return m_doc.viewSettings().canEditStructure();
}

std::int64_t Tctrls::fileSize() const {
    return m_doc.dataSize();
}

void Tctrls::reportFailure(const QString& error) {
    ::reportFailure(m_pane, this, error);
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
    vm::SegmentList& list = m_doc.segments();
    for (std::size_t i = 0; i < list.size(); ++i)
        insertRow(static_cast<int>(i), &list[i]);
    refreshSegmentRows();
    fitRowNumberColumn();
}

void Tctrls::fitRowNumberColumn() {
    const QString widest = QString::number(std::max(m_list->topLevelItemCount(), 1));
    const int text = m_list->fontMetrics().horizontalAdvance(widest) +
                     2 * m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) +
                     12;
    m_list->setColumnWidth(0, std::max(20, text));
}

int Tctrls::listHeightForRows(int rows) const {
    const int row = std::max(m_list->fontMetrics().height() + 4,
                             m_list->topLevelItemCount() ? m_list->sizeHintForRow(0) : 0);
    const int header = m_list->header()->sizeHint().height();
    const int frame = 2 * m_list->frameWidth();
    const QMargins box = m_listGroup->contentsMargins();
    const int title = m_listGroup->fontMetrics().height();
    return header + rows * row + frame + box.top() + box.bottom() + title + 6;
}

// The row of the current segment selected; the document already knows.
void Tctrls::selectCurrentRow() {
    QTreeWidgetItem* item = m_list->topLevelItem(findSegmentRow(m_doc.segments().current()));
    m_rebuilding = true;
    if (item) {
        m_list->setCurrentItem(item);
        item->setSelected(true);
    } else {
        m_list->clearSelection();
    }
    m_rebuilding = false;
}

// --- what the document announced ------------------------------------------------------

void Tctrls::connectDocument() {
    Document* d = &m_doc;
    connect(d, &Document::structureReplaced, this, &Tctrls::structureReplaced);
    connect(d, &Document::documentReplaced, this, &Tctrls::documentReplaced);
    connect(d, &Document::currentSegmentChanged, this, &Tctrls::showCurrent);
    connect(d, &Document::segmentChanged, this, &Tctrls::segmentChanged);
    connect(d, &Document::segmentInserted, this, &Tctrls::segmentInserted);
    connect(d, &Document::segmentAboutToBeRemoved, this, &Tctrls::segmentAboutToBeRemoved);
    connect(d, &Document::segmentsMoved, this, [this] {
        rebuildRows();
        showCurrent();
    });
    connect(d, &Document::fieldsChanged, this, [this](vm::Segment* segment) {
        refreshSegmentRow(segment);
        redrawPositionBars(false);
        refreshActions();
    });
    connect(d, &Document::layoutReplaced, this, &Tctrls::layoutReplaced);
    connect(d, &Document::optionsChanged, this, &Tctrls::refreshActions);
}

void Tctrls::structureReplaced() {
    // The segments the rows and the clipboard named are gone.
    m_clipboard = nullptr;
    rebuildRows();
    showCurrent();
    if (!m_doc.isOpen()) {
        drawSegmentBarOnly();
        setIndicatorsEnabled(false);
    }
}

void Tctrls::documentReplaced() {
    showCurrent();
}

void Tctrls::layoutReplaced() {
    // A rewrite may have taken segments out of the list, and put others in.
    if (m_doc.segments().indexOf(m_clipboard) < 0)
        m_clipboard = nullptr;
    rebuildRows();
    showCurrent();
}

void Tctrls::showCurrent() {
    endEditingBurst();
    vm::Segment* current = m_doc.segments().current();
    m_fileSize->setText(QString::number(fileSize()));
    selectCurrentRow();
    fillSegmentEditors();
    m_fields->showSegment(current, true);
    redrawPositionBars(true);
    refreshActions();
}

void Tctrls::segmentChanged(vm::Segment* segment) {
    refreshSegmentRow(segment);
    // Not the editor being typed into: it shows what the user typed.
    if (segment == m_doc.segments().current() && !m_editing) {
        endEditingBurst();
        fillSegmentEditors();
    }
    redrawPositionBars(true);
    refreshActions();
}

void Tctrls::segmentInserted(vm::Segment* segment) {
    insertRow(m_doc.segments().indexOf(segment), segment);
    refreshSegmentRows();
    fitRowNumberColumn();
}

void Tctrls::segmentAboutToBeRemoved(vm::Segment* segment) {
    if (m_clipboard == segment)
        m_clipboard = nullptr;
    const int row = findSegmentRow(segment);
    if (row < 0)
        return;
    m_rebuilding = true;
    delete m_list->takeTopLevelItem(row);
    m_rebuilding = false;
    // The rows below move up a place.
    for (int i = row; i < m_list->topLevelItemCount(); ++i)
        m_list->topLevelItem(i)->setText(0, QString::number(i + 1));
}

// --- the current segment ----------------------------------------------------------------

void Tctrls::LvPartSelectItem() {
    if (m_rebuilding)
        return;
    if (vm::Segment* chosen = segmentAt(selectedRow()))
        m_doc.setCurrentSegment(chosen);
    refreshActions();
}

void Tctrls::fillSegmentEditors() {
    vm::Segment* s = m_doc.segments().current();
    m_filling = true;
    if (!s) {
        // Nothing is described: no editor keeps the last segment's numbers.
        for (QLineEdit* e : {m_name, m_begin, m_length, m_recLength, m_recCount})
            e->clear();
        m_fileSize->setText(m_doc.dataStream() ? QString::number(fileSize()) : QString());
        m_anomaly->setChecked(false);
        m_toFilesEnd->setChecked(false);
        m_filling = false;
        return;
    }
    // The stored numbers, as the type file will hold them: showing a segment
    // does not count it.
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
    // Each set once: an editor disabled for a moment would lose the focus of
    // the user typing into it.
    const vm::Segment* s = m_doc.segments().current();
    const bool on = resetMode() && m_doc.dataStream() && s;
    for (QWidget* w : {static_cast<QWidget*>(m_anomaly), static_cast<QWidget*>(m_toFilesEnd),
                       static_cast<QWidget*>(m_name), static_cast<QWidget*>(m_nameLabel)})
        w->setEnabled(on);
    m_beginGroup.setEnabled(on);
    m_lengthGroup.setEnabled(on && !s->toFilesEnd);
    m_recLengthGroup.setEnabled(on && !s->anomaly);
    m_recCountGroup.setEnabled(on && !s->anomaly && !s->toFilesEnd);
}

void Tctrls::refreshActions() {
    for (QAction* a : {m_new, m_insert, m_delete, m_copy, m_cut, m_paste, m_describe})
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
    // A description of the bytes, so only where descriptions alone change.
    m_describe->setEnabled(reset && m_doc.dataStream());
    if (m_doc.segments().current())
        m_fields->refreshActions({reset, edit, true});
}

// --- PanelHooks -----------------------------------------------------------------------

QList<QAction*> Tctrls::editMenuActions() {
    QList<QAction*> actions{m_new,   m_copy, m_delete, m_insert, m_paste,
                            m_cut, m_describeSeparator, m_describe};
    const QList<QAction*> fields = m_fields->actions();
    if (!fields.isEmpty() && m_fieldSeparator)
        actions << m_fieldSeparator << fields;
    return actions;
}

void Tctrls::showFieldMenu(int entry, const QPoint& globalPos) {
    m_fields->showFieldMenu(entry, globalPos);
}

void Tctrls::setFieldList(std::unique_ptr<FieldListHooks> fields) {
    if (QWidget* old = m_fields->widget())
        old->setParent(nullptr);
    m_fields = fields ? std::move(fields) : std::make_unique<FieldListHooks>();
    m_fieldSeparator = nullptr;
    if (QWidget* w = m_fields->widget()) {
        auto* layout = static_cast<QVBoxLayout*>(m_typeGroup->layout());
        // In place of the stretch that held the place.
        if (QLayoutItem* spacer = layout->takeAt(layout->count() - 1))
            delete spacer;
        layout->addWidget(w, 1);
        // Owned by the field list's widget, so that it leaves the Edit menu
        // with the field list's actions.
        m_fieldSeparator = new QAction(w);
        m_fieldSeparator->setSeparator(true);
    }
    m_fields->showSegment(m_doc.segments().current(), false);
    refreshActions();
}

void Tctrls::applyPanelSettings(bool showSegList, bool showTypeCtrl) {
    m_showSegList = showSegList;
    m_showTypeCtrl = showTypeCtrl;
    // Room for a handful of rows whatever the font: a fixed pixel height
    // showed hardly three.
    m_rememberedListHeight = listHeightForRows(kListRows);
    if (showSegList)
        m_splitter->setSizes({m_rememberedListHeight, m_splitter->height()});
    applyPanelLayout();
}

void Tctrls::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // The list's share of the splitter is set once the panel has its real
    // height; before that any split is only a proportion of nothing.
    if (m_showSegList) {
        const int total = m_splitter->height();
        const int list = std::min(listHeightForRows(kListRows), total / 2);
        m_splitter->setSizes({list, std::max(total - list, 1)});
    }
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
    // A list squeezed to nothing takes no keyboard focus either.
    m_list->setFocusPolicy(m_showSegList ? Qt::StrongFocus : Qt::NoFocus);
    if (!m_showSegList && m_list->hasFocus())
        m_list->clearFocus();
    m_listToggle->setChecked(m_showSegList);
    m_infoToggle->setChecked(m_showTypeCtrl);
}

// --- position bars -------------------------------------------------------------------

void Tctrls::redrawPositionBars(bool withSegmentCheck) {
    if (!m_doc.dataStream()) {
        m_segmentBar->clearMap();
        m_typeBar->clearMap();
        return;
    }
    const bool hex = m_doc.viewSettings().hexPositions();
    vm::Segment* current = m_doc.segments().current();
    if (withSegmentCheck) {
        vm::StructureMap map;
        map.width = m_segmentBar->width();
        const std::uint8_t flags =
            vm::checkSegments(m_doc.segments(), fileSize(), hex, nullptr, &map, current);
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
    vm::StructureMap map;
    map.width = m_segmentBar->width();
    vm::checkSegments(m_doc.segments(), fileSize(), m_doc.viewSettings().hexPositions(), nullptr,
                      &map, m_doc.segments().current());
    m_segmentBar->setMap(std::move(map));
    m_typeBar->clearMap();
}

void Tctrls::setIndicatorsEnabled(bool on) {
    for (auto* labels : {&m_segmentLabels, &m_typeLabels})
        for (IndicatorLabel* l : *labels)
            l->setEnabled(on);
}

void Tctrls::LIsOver1Click() {
    m_hint.clearSegList();
    fillSegmentFindings(m_doc, m_hint);
    if (m_hint.segRowCount() == 0)
        return;
    m_hint.setExplanation(m_hint.segListHasError()
                              ? QStringLiteral("Has any error in structure setting.")
                              : QStringLiteral("Has any warnning in structure setting."));
    prompter().runModal(m_hint);
}

// --- segment actions ------------------------------------------------------------------

void Tctrls::A_partDelExecute() {
    vm::Segment* s = segmentAt(selectedRow());
    if (!s)
        return;
    // Its bytes leave the file, and with them those of every segment that
    // shares them: the user says so first.
    const int index = m_doc.segments().indexOf(s);
    if (editMode() && m_doc.dataStream() && s->length > 0 && index >= 0 &&
        prompter().ask(this, QStringLiteral("Warning"),
                       RecordPane::toDisplay(vm::deleteSegmentQuestion(
                           m_doc.segments(), static_cast<std::size_t>(index)))) !=
            Prompter::Answer::Yes)
        return;
    std::optional<ProgressWindow> progress;
    if (editMode() && m_doc.dataStream())
        progress.emplace(this, QStringLiteral("Delete Segment"));
    QString error;
    const bool deleted =
        m_doc.deleteSegment(*s, progress ? progress->callback() : vm::Progress{}, &error);
    progress.reset();
    if (!deleted && !error.isEmpty())
        reportFailure(error);
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
    if (!m_clipboard)
        return;
    std::optional<ProgressWindow> progress;
    if (editMode() && m_doc.dataStream())
        progress.emplace(this, QStringLiteral("Past Segment"));
    QString error;
    const vm::Segment* pasted = m_doc.pasteSegment(
        *m_clipboard, selectedRow(), progress ? progress->callback() : vm::Progress{}, &error);
    progress.reset();
    if (!pasted && !error.isEmpty())
        reportFailure(error);
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
    m_doc.moveSegments(QStringLiteral("Move Segments"),
                       [&](vm::SegmentList& list) { vm::moveSegments(list, rows, target); });
}

// --- segment editors --------------------------------------------------------------------

void Tctrls::showNumber(QLineEdit* editor, std::int64_t value) {
    const bool filling = m_filling;
    m_filling = true;
    editor->setText(QString::number(value));
    m_filling = filling;
}

// Each keystroke applies at once, so that the grids follow the typing; the
// keystrokes of one editor until its focus leaves are one step to undo.
void Tctrls::editSegment(const QString& what, const std::function<void(vm::Segment&)>& edit) {
    vm::Segment* s = m_doc.segments().current();
    if (m_filling || !s)
        return;
    m_editing = true;
    m_doc.changeSegment(*s, QStringLiteral("Change ") + what + QStringLiteral(" of ") +
                                segmentTitle(*s),
                        edit, what);
    m_editing = false;
}

void Tctrls::segNameChange(const QString& text) {
    const std::optional<std::string> name = RecordPane::fromDisplay(text);
    vm::Segment* s = m_doc.segments().current();
    if (!name) {
        // A character with no single-byte form: the name stays as it was,
        // and the user is told rather than left to find it cut on saving.
        if (!m_filling && s)
            m_pane.setStatusText(QStringLiteral("\"") + text +
                                 QStringLiteral("\" was not taken as the name: it has a "
                                                "character that no single byte holds. The name "
                                                "stays ") +
                                 RecordPane::toDisplay(s->name) + QStringLiteral("."));
        return;
    }
    editSegment(QStringLiteral("Name"), [&](vm::Segment& s) { s.setName(*name); });
}

void Tctrls::endEditingBurst() {
    m_lengthBeforeBurst.reset();
}

// Text that is no number (yet) changes nothing: each keystroke is applied
// to the values the burst began with, and those must not come back half way.
void Tctrls::segBeginChange() {
    const std::optional<std::int32_t> value = editorValue(m_begin);
    if (!value)
        return;
    const vm::Segment* current = m_doc.segments().current();
    if (!m_filling && current && !m_lengthBeforeBurst)
        m_lengthBeforeBurst = current->length;
    editSegment(QStringLiteral("Begin"), [&](vm::Segment& s) {
        const std::int32_t count = vm::editSegmentBegin(s, value, fileSize(), m_lengthBeforeBurst);
        showNumber(m_recCount, count);
        showNumber(m_length, s.length);
    });
}

void Tctrls::recLengthChange() {
    const std::optional<std::int32_t> value = editorValue(m_recLength);
    if (!value)
        return;
    if (!m_filling)
        endEditingBurst();
    editSegment(QStringLiteral("Record Length"), [&](vm::Segment& s) {
        showNumber(m_recCount, vm::editRecordLength(s, value, fileSize()));
    });
}

void Tctrls::segLengthChange() {
    const std::optional<std::int32_t> value = editorValue(m_length);
    if (!value)
        return;
    if (!m_filling)
        endEditingBurst();
    editSegment(QStringLiteral("Length"), [&](vm::Segment& s) {
        showNumber(m_recCount, vm::editSegmentLength(s, value, fileSize()));
    });
}

void Tctrls::recCountChange() {
    const std::optional<std::int32_t> value = editorValue(m_recCount);
    if (!value)
        return;
    if (!m_filling)
        endEditingBurst();
    editSegment(QStringLiteral("Record Count"), [&](vm::Segment& s) {
        if (vm::editRecordCount(s, value, fileSize()))
            showNumber(m_length, s.length);
    });
}

void Tctrls::isHClick(bool checked) {
    endEditingBurst();
    vm::Segment* s = m_doc.segments().current();
    if (!m_filling && s)
        m_doc.changeSegment(*s, QStringLiteral("Change Anomaly of ") + segmentTitle(*s),
                            [checked](vm::Segment& seg) { seg.anomaly = checked; });
}

void Tctrls::cToFileEndClick(bool checked) {
    endEditingBurst();
    vm::Segment* s = m_doc.segments().current();
    if (!m_filling && s)
        m_doc.changeSegment(*s, QStringLiteral("Change ToFilesEnd of ") + segmentTitle(*s),
                            [checked](vm::Segment& seg) { seg.toFilesEnd = checked; });
}

void Tctrls::upDownClick(vm::SegmentNumber which, QLineEdit* editor, int step) {
    const vm::Segment* s = m_doc.segments().current();
    if (!s || !editor->isEnabled())
        return;
    const std::int64_t current = vm::parseInt32(editor->text().toStdString()).value_or(0);
    if (const auto value = vm::steppedValue(which, current, step, *s, fileSize()))
        editor->setText(QString::number(*value));
}
