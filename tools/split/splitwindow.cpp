#include "splitwindow.h"

#include <algorithm>
#include <limits>
#include <optional>

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "codec.h"
#include "document.h"
#include "documentfiles.h"
#include "platform.h"
#include "progresswindow.h"
#include "prompter.h"
#include "recordpane.h"
#include "toolwidgets.h"
#include "updownbuttons.h"

namespace {

const QColor kSourceBackground(160, 160, 164);
const QColor kCovered(0, 0, 255);
const QColor kOverlap(184, 152, 27);
const QColor kSelection(255, 0, 0);

enum Column { IndexColumn, BeginColumn, EndColumn, LengthColumn, MemoColumn };

// A box's whole number; nothing for text that is not one.
std::optional<std::int32_t> boxValue(const QLineEdit* box) {
    return vm::parseInt32(box->text().toStdString());
}

QLineEdit* readOnlyBox(const char* name) {
    auto* e = new QLineEdit(QStringLiteral("0"));
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    return e;
}

QPushButton* button(const QString& text, const char* name) {
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

void outline(QImage& img, int x0, int x1) {
    QPainter p(&img);
    p.setPen(kSelection);
    const int h = img.height() - 1;
    const QPoint points[] = {{x0, 0}, {x1, 0}, {x1, h}, {x0, h}, {x0, 0}};
    p.drawPolyline(points, 5);
}

} // namespace

Tsplit::Tsplit(Document& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("Tsplit"));
    setWindowTitle(QStringLiteral("Split File"));
    setModal(true);

    m_source = new QLineEdit;
    m_source->setObjectName(QStringLiteral("esFilename"));
    auto* browseSource = button(QStringLiteral("..."), "Button1");
    m_sourceLength = readOnlyBox("EsLength");
    m_target = new QLineEdit;
    m_target->setObjectName(QStringLiteral("etFilename"));
    auto* browseTarget = button(QStringLiteral("..."), "Button2");
    m_targetLength = readOnlyBox("EtLength");
    m_append = new QCheckBox(QStringLiteral("Append To"));
    m_append->setObjectName(QStringLiteral("append"));

    m_sImg = QImage(kStripWidth, kStripHeight, QImage::Format_RGB32);
    m_tImg = QImage(kStripWidth, kStripHeight, QImage::Format_RGB32);
    m_sourceStripView = new QLabel;
    m_sourceStripView->setObjectName(QStringLiteral("sImg"));
    m_targetStripView = new QLabel;
    m_targetStripView->setObjectName(QStringLiteral("tImg"));
    for (QLabel* l : {m_sourceStripView, m_targetStripView})
        l->setFixedSize(kStripWidth, kStripHeight);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("lv"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels({QStringLiteral("Index"), QStringLiteral("Begin"),
                             QStringLiteral("End"), QStringLiteral("Length"),
                             QStringLiteral("Memo")});
    m_list->header()->resizeSection(IndexColumn, 45);
    m_list->header()->resizeSection(BeginColumn, 80);
    m_list->header()->resizeSection(EndColumn, 80);
    m_list->header()->resizeSection(LengthColumn, 80);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_menu = new QMenu(this);
    QAction* menuAdd = m_menu->addAction(QStringLiteral("Add"));
    menuAdd->setObjectName(QStringLiteral("pAdd"));
    m_menuDelete = m_menu->addAction(QStringLiteral("Delete"));
    m_menuDelete->setObjectName(QStringLiteral("pDelect"));
    auto* listGroup = new QGroupBox(QStringLiteral("Source File Segment List"));
    (new QVBoxLayout(listGroup))->addWidget(m_list);

    auto* edits = new QHBoxLayout;
    const struct {
        const char* caption;
        const char* box;
        const char* arrows;
        QLineEdit** target;
    } boxes[] = {{"Begin:", "Estart", "UDstart", &m_begin},
                 {"End:", "Eend", "UdEnd", &m_end},
                 {"Length:", "ELength", "UdLength", &m_length}};
    for (const auto& b : boxes) {
        auto* box = new QLineEdit;
        box->setObjectName(QString::fromLatin1(b.box));
        box->setFixedWidth(90);
        auto* arrows = new UpDownButtons;
        arrows->setObjectName(QString::fromLatin1(b.arrows));
        arrows->setFixedSize(UpDownButtons::kWidth, box->sizeHint().height());
        connect(arrows, &UpDownButtons::stepped, this, [this, box](int d) { step(box, d); });
        *b.target = box;
        m_arrows.push_back(arrows);
        edits->addWidget(new QLabel(QString::fromLatin1(b.caption)));
        edits->addWidget(box);
        edits->addWidget(arrows);
        edits->addSpacing(8);
    }
    edits->addStretch();
    // Why the piece does not take what a box shows.
    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("Lnote"));
    toolwidgets::setTextColour(m_note, RecordPane::hitColour());

    m_add = button(QStringLiteral("Add"), "Badd");
    m_delete = button(QStringLiteral("Delete"), "Bdel");
    m_split = button(QStringLiteral("Split"), "Bsplit");
    m_split->setDefault(true);
    m_split->setEnabled(false);
    auto* close = button(QStringLiteral("Close"), "Button6");
    auto* helpButton = button(QStringLiteral("Help"), "Button5");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_delete, m_split, close, helpButton})
        buttons->addWidget(b);

    auto* hint = new QLabel(QStringLiteral("Hint: If a file that you has defined the  structure "
                                           "information, you can use \"output\" command instead."));
    toolwidgets::setTextColour(hint, Qt::blue);

    auto* files = new QGridLayout;
    files->addWidget(new QLabel(QStringLiteral("Source File:")), 0, 0);
    files->addWidget(m_source, 0, 1);
    files->addWidget(browseSource, 0, 2);
    files->addWidget(m_sourceLength, 0, 3);
    files->addWidget(m_sourceStripView, 1, 1);
    files->addWidget(new QLabel(QStringLiteral("Target File:")), 2, 0);
    files->addWidget(m_target, 2, 1);
    files->addWidget(browseTarget, 2, 2);
    files->addWidget(m_targetLength, 2, 3);
    files->addWidget(m_targetStripView, 3, 1);
    files->addWidget(m_append, 3, 3);
    files->setColumnMinimumWidth(1, kStripWidth);
    m_sourceLength->setFixedWidth(90);
    m_targetLength->setFixedWidth(90);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addWidget(listGroup);
    layout->addLayout(edits);
    layout->addWidget(m_note);
    layout->addLayout(buttons);
    layout->addWidget(hint);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* help = new QAction(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("Ahelp"));
    help->setShortcut(Qt::Key_F1);
    addAction(help);
    connect(help, &QAction::triggered,
            [] { platform::openHelpTopic(QStringLiteral("Split File.htm")); });
    connect(helpButton, &QPushButton::clicked, help, &QAction::trigger);

    connect(m_source, &QLineEdit::textChanged, this, &Tsplit::sourceNameChanged);
    connect(m_target, &QLineEdit::textChanged, this, &Tsplit::updateButtons);
    connect(browseSource, &QPushButton::clicked, this, [this] { browse(m_source); });
    connect(browseTarget, &QPushButton::clicked, this, [this] { browse(m_target); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &Tsplit::selectionChanged);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_menu->popup(m_list->viewport()->mapToGlobal(p)); });
    connect(menuAdd, &QAction::triggered, this, &Tsplit::addPiece);
    connect(m_menuDelete, &QAction::triggered, this, &Tsplit::deletePiece);
    connect(m_add, &QPushButton::clicked, this, &Tsplit::addPiece);
    connect(m_delete, &QPushButton::clicked, this, &Tsplit::deletePiece);
    connect(m_begin, &QLineEdit::textChanged, this, [this] { boundEdited(true); });
    connect(m_end, &QLineEdit::textChanged, this, [this] { boundEdited(false); });
    connect(m_length, &QLineEdit::textChanged, this, &Tsplit::lengthEdited);
    for (QLineEdit* box : {m_begin, m_end, m_length}) {
        // Enter in a number box is for the box, never the Split button: with
        // the open file as target, Split replaces the document's data.
        box->installEventFilter(this);
        connect(box, &QLineEdit::editingFinished, this, [this, box] { commitBox(box); });
    }
    connect(m_split, &QPushButton::clicked, this, &Tsplit::splitClicked);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    drawStrips();
    selectionChanged();
}

void Tsplit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void Tsplit::prepare(const QString& dataFile) {
    if (!dataFile.isEmpty()) {
        m_source->setText(dataFile);
        m_target->setText(dataFile);
    }
    // The file may have changed since the name was put there.
    sourceNameChanged();
}

bool Tsplit::isOpenDataFile(const QString& name) const {
    const QString& data = m_doc.dataFileName();
    if (name.isEmpty() || data.isEmpty() || !m_doc.dataStream())
        return false;
    return name == data || vm::isSameFile(toNative(name), toNative(data));
}

void Tsplit::sourceNameChanged() {
    const QString name = m_source->text();
    // The open data file is read from its working copy, unsaved edits and all,
    // so its size is the working copy's.
    if (isOpenDataFile(name))
        m_sourceSize = m_doc.dataSize();
    else if (vm::fileExists(toNative(name)))
        m_sourceSize = std::max<std::int64_t>(0, vm::fileSize(toNative(name)));
    else
        m_sourceSize = 0;
    m_sourceLength->setText(QString::number(m_sourceSize));
    // The memos depend on the source's size.
    for (int i = 0; i < static_cast<int>(m_pieces.size()); ++i)
        refreshRow(i);
    drawStrips();
    updateButtons();
}

void Tsplit::updateButtons() {
    const bool selected = selectedRow() >= 0;
    m_split->setEnabled(!m_source->text().isEmpty() && !m_target->text().isEmpty() &&
                        m_sourceSize != 0 && !m_pieces.empty());
    m_delete->setEnabled(selected);
    m_menuDelete->setEnabled(selected);
    m_add->setEnabled(m_sourceSize >= 1);
}

int Tsplit::selectedRow() const {
    const QList<QTreeWidgetItem*> items = m_list->selectedItems();
    return items.isEmpty() ? -1 : m_list->indexOfTopLevelItem(items.first());
}

void Tsplit::selectionChanged() {
    const int row = selectedRow();
    for (QWidget* w : {static_cast<QWidget*>(m_begin), static_cast<QWidget*>(m_end),
                       static_cast<QWidget*>(m_length)})
        w->setEnabled(row >= 0);
    for (UpDownButtons* a : m_arrows)
        a->setEnabled(row >= 0);
    if (row >= 0) {
        const vm::SplitPiece& p = m_pieces[static_cast<std::size_t>(row)];
        m_busy = true;
        m_begin->setText(QString::number(p.begin));
        m_end->setText(QString::number(p.end));
        m_length->setText(QString::number(std::int64_t{p.end} - p.begin));
        m_busy = false;
    }
    m_note->clear();
    drawStrips();
    updateButtons();
}

void Tsplit::refreshRow(int row) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item)
        return;
    const vm::SplitPiece& p = m_pieces[static_cast<std::size_t>(row)];
    const std::string_view memo = vm::splitMemo(p, m_sourceSize);
    item->setText(IndexColumn, QString::number(row));
    item->setText(BeginColumn, QString::number(p.begin));
    item->setText(EndColumn, QString::number(p.end));
    item->setText(LengthColumn, QString::number(std::int64_t{p.end} - p.begin));
    item->setText(MemoColumn, QString::fromLatin1(memo.data(), static_cast<int>(memo.size())));
    drawStrips();
    updateButtons();
}

void Tsplit::drawStrips() {
    m_sImg.fill(kSourceBackground);
    m_tImg.fill(kCovered);
    const int selected = selectedRow();
    const vm::SplitTargetLayout target = vm::splitTargetLayout(m_pieces, m_sourceSize, selected);
    const std::int64_t S = m_sourceSize;
    if (S != 0) {
        // The scale is single precision, as the strips have always been drawn;
        // the products are not, so that the rounding up of an end stays below
        // the next column.
        const double r = static_cast<float>(kStripWidth) / static_cast<float>(S);
        const auto at = [r](std::int64_t offset) { return static_cast<double>(offset) * r; };
        const QRgb covered = kCovered.rgb();
        const QRgb overlap = kOverlap.rgb();
        for (const vm::SplitPiece& p : m_pieces) {
            if (p.begin >= p.end)
                continue;
            const int from = static_cast<int>(at(p.begin));
            const int to = static_cast<int>(at(std::min<std::int64_t>(p.end, S)) + 0.9999999);
            for (int x = std::max(from, 0); x < std::min(to, kStripWidth); ++x) {
                const QRgb seen = m_sImg.pixel(x, 2);
                const QRgb colour = seen == covered || seen == overlap ? overlap : covered;
                for (int y = 0; y < kStripHeight; ++y)
                    m_sImg.setPixel(x, y, colour);
            }
        }
        if (selected >= 0) {
            const vm::SplitPiece& p = m_pieces[static_cast<std::size_t>(selected)];
            if (p.begin < p.end)
                outline(m_sImg, static_cast<int>(at(p.begin)), static_cast<int>(at(p.end)));
        }
        if (target.length != 0 && selected >= 0) {
            const double q = static_cast<float>(kStripWidth) / static_cast<float>(target.length);
            const int x0 = static_cast<int>(static_cast<double>(target.selectedBegin) * q);
            const int x1 = std::min(static_cast<int>(static_cast<double>(target.selectedEnd) * q),
                                    kStripWidth - 1);
            outline(m_tImg, x0, x1);
        }
    }
    m_targetLength->setText(QString::number(target.length));
    m_sourceStripView->setPixmap(QPixmap::fromImage(m_sImg));
    m_targetStripView->setPixmap(QPixmap::fromImage(m_tImg));
}

void Tsplit::addPiece() {
    m_pieces.push_back({});
    auto* item = new QTreeWidgetItem(m_list);
    const int row = static_cast<int>(m_pieces.size()) - 1;
    refreshRow(row);
    m_list->setCurrentItem(item);
    refreshRow(row);
}

void Tsplit::deletePiece() {
    const int row = selectedRow();
    if (row < 0)
        return;
    m_pieces.erase(m_pieces.begin() + row);
    delete m_list->takeTopLevelItem(row);
    for (int i = row; i < static_cast<int>(m_pieces.size()); ++i)
        m_list->topLevelItem(i)->setText(IndexColumn, QString::number(i));
    // The row that took its place (or the new last one) is the one to go on with.
    if (!m_pieces.empty())
        m_list->setCurrentItem(
            m_list->topLevelItem(std::min(row, static_cast<int>(m_pieces.size()) - 1)));
    selectionChanged();
}

void Tsplit::boundEdited(bool begin) {
    const int row = selectedRow();
    if (m_busy || row < 0)
        return;
    QLineEdit* box = begin ? m_begin : m_end;
    const auto v = boxValue(box);
    if (!v) {
        refuse(box, QStringLiteral("not a whole number"));
        return;
    }
    if (begin && *v < 0) {
        refuse(box, QStringLiteral("a piece cannot begin before the start of the file"));
        return;
    }
    m_busy = true;
    m_note->clear();
    vm::SplitPiece& p = m_pieces[static_cast<std::size_t>(row)];
    (begin ? p.begin : p.end) = *v;
    m_length->setText(QString::number(std::int64_t{p.end} - p.begin));
    refreshRow(row);
    m_busy = false;
}

void Tsplit::lengthEdited() {
    const int row = selectedRow();
    if (m_busy || row < 0)
        return;
    const auto v = boxValue(m_length);
    if (!v) {
        refuse(m_length, QStringLiteral("not a whole number"));
        return;
    }
    vm::SplitPiece& p = m_pieces[static_cast<std::size_t>(row)];
    const std::int64_t end = std::int64_t{p.begin} + *v;
    if (end > std::numeric_limits<std::int32_t>::max() ||
        end < std::numeric_limits<std::int32_t>::min()) {
        refuse(m_length, QStringLiteral("the end would lie past the largest offset"));
        return;
    }
    m_busy = true;
    m_note->clear();
    if (m_length->text() != QString::number(*v))
        m_length->setText(QString::number(*v));
    p.end = static_cast<std::int32_t>(end);
    m_end->setText(QString::number(p.end));
    refreshRow(row);
    m_busy = false;
}

QString Tsplit::rowText(const QLineEdit* box, const vm::SplitPiece& p) const {
    if (box == m_begin)
        return QString::number(p.begin);
    if (box == m_end)
        return QString::number(p.end);
    return QString::number(std::int64_t{p.end} - p.begin);
}

void Tsplit::refuse(QLineEdit* box, const QString& why) {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString caption = box == m_begin ? QStringLiteral("Begin")
                            : box == m_end ? QStringLiteral("End")
                                           : QStringLiteral("Length");
    m_note->setText(caption + QStringLiteral(" stays ") +
                    rowText(box, m_pieces[static_cast<std::size_t>(row)]) + QStringLiteral(": ") +
                    why);
}

void Tsplit::commitBox(QLineEdit* box) {
    const int row = selectedRow();
    if (m_busy || row < 0)
        return;
    // The box shows what the piece holds once the user is done with it.
    m_busy = true;
    const QString held = rowText(box, m_pieces[static_cast<std::size_t>(row)]);
    if (box->text() != held)
        box->setText(held);
    m_note->clear();
    m_busy = false;
}

bool Tsplit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        (watched == m_begin || watched == m_end || watched == m_length)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            commitBox(static_cast<QLineEdit*>(watched));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tsplit::step(QLineEdit* box, int delta) {
    const auto v = vm::parseInt32(box->text().toStdString());
    if (!v)
        return;
    const std::int64_t next = std::int64_t{*v} + delta;
    if (next > 0 && next <= std::numeric_limits<std::int32_t>::max())
        box->setText(QString::number(next));
}

void Tsplit::browse(QLineEdit* box) {
    const QString name = prompter().openFileName(this, QStringLiteral("Open File"), QString());
    if (!name.isEmpty())
        box->setText(name);
}

void Tsplit::splitClicked() {
    const QString source = m_source->text();
    const QString target = m_target->text();
    const bool sourceIsDoc = isOpenDataFile(source);
    const bool targetIsDoc = isOpenDataFile(target);
    // Split into the open file rewrites its working copy, which must be complete.
    if (targetIsDoc && !requireWorkingCopy(m_doc))
        return;
    // Both the open data file is the one case where a file is its own source:
    // the working copy is read while a new one is written.
    if (!(sourceIsDoc && targetIsDoc)) {
        if (auto refusal = vm::checkSplitNames(toNative(source), toNative(target))) {
            prompter().error(this, fromNative(*refusal));
            return;
        }
    }
    if (!targetIsDoc && !m_append->isChecked() &&
        !prompter().mayReplace(this, target, QStringLiteral("Warning "),
                               QStringLiteral("Are You Sure  ") + target +
                                   QStringLiteral("  is exit replace it ?")))
        return;

    QString error;
    std::int64_t written = -1;
    {
        // Gone before any message, so that it takes no click meant for the box.
        ProgressWindow progress(this, QStringLiteral("Split File"));
        vm::FileResult r;
        if (targetIsDoc) {
            vm::FileStream other;
            if (!sourceIsDoc && !other.open(toNative(source), vm::FileStream::Mode::Read)) {
                r.error = other.lastError();
                error = QStringLiteral("Cannot read ") + source + QStringLiteral(": ") +
                        fromNative(r.error);
            } else {
                // The open data's working copy is rewritten, so the split is
                // one of the document's changes.
                m_doc.rewrite(
                    QStringLiteral("Split File"), progress.callback(),
                    [&](vm::WorkingFile& wf, vm::SegmentList&, const vm::Progress& p) {
                        const vm::FileResult fr = vm::splitIntoWorkingFile(
                            wf, sourceIsDoc ? nullptr : &other, m_pieces, m_append->isChecked(), p);
                        if (fr.ok)
                            written = fr.delta;
                        return Document::RewriteResult{fr.ok, fr.error};
                    },
                    &error);
            }
        } else {
            r = sourceIsDoc ? vm::splitToFile(*m_doc.dataStream(), toNative(target), m_pieces,
                                              m_append->isChecked(), progress.callback())
                            : vm::splitFiles(toNative(source), toNative(target), m_pieces,
                                             m_append->isChecked(), progress.callback());
            if (!r.ok)
                error = fromNative(r.error);
            else
                written = r.delta;
        }
    }
    if (!error.isEmpty())
        prompter().error(this, error);
    else if (written >= 0)
        emit m_doc.statusMessage(
            QStringLiteral("Split File: ") + QString::number(written) +
            (written == 1 ? QStringLiteral(" byte ") : QStringLiteral(" bytes ")) +
            (m_append->isChecked() ? QStringLiteral("appended to ")
                                   : QStringLiteral("written to ")) +
            (targetIsDoc ? target + QStringLiteral(" (its working copy; Save File stores it)")
                         : target));
    // The source may have been the target.
    sourceNameChanged();
}
