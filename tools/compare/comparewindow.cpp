#include "comparewindow.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "codec.h"
#include "document.h"
#include "documentfiles.h"
#include "findmapstrip.h"
#include "prompter.h"
#include "recordpane.h"
#include "resultrows.h"
#include "scanrunner.h"
#include "toolwidgets.h"

namespace {

const QColor kMapBack(192, 192, 192);
const QColor kSame(0, 0, 255);

QString byteText(int b) {
    return QString::number(b, 16).toUpper();
}

} // namespace

Tcompf::Tcompf(Document& doc, RecordPane& pane, Locate locate, QWidget* parent)
    : QDockWidget(QStringLiteral("Compare"), parent), m_doc(doc), m_pane(pane),
      m_locate(std::move(locate)) {
    setObjectName(QStringLiteral("Tcompf"));
    m_runner = new ScanRunner(this);

    m_fileName = new QLineEdit;
    m_fileName->setObjectName(QStringLiteral("EfName"));
    m_choose = new QPushButton(QStringLiteral("..."));
    m_choose->setObjectName(QStringLiteral("Button3"));
    m_choose->setMaximumWidth(28);
    m_maxResult = new QLineEdit(QStringLiteral("500"));
    m_maxResult->setObjectName(QStringLiteral("EmaxResult"));
    m_resultCount = new QLineEdit(QStringLiteral("0"));
    m_resultCount->setObjectName(QStringLiteral("EresultCount"));
    m_resultCount->setReadOnly(true);
    m_note = toolwidgets::runNote();
    m_compare = new QPushButton(QStringLiteral("Compare"));
    m_compare->setObjectName(QStringLiteral("Bcompare"));
    m_compare->setDefault(true);
    m_compare->setEnabled(false);
    m_stop = new QPushButton(QStringLiteral("Stop"));
    m_stop->setObjectName(QStringLiteral("Button2"));

    m_resultModel = new ResultRows(
        {QStringLiteral("Index"), QStringLiteral("Source"), QStringLiteral("Target"),
         QStringLiteral("Position")},
        [this](int row, int column) { return resultText(row, column); }, this);
    m_lv = toolwidgets::resultView(QStringLiteral("lv"), m_resultModel,
                                   [this](int row) { lvDblClick(row); });
    // Indexes into the millions; the bytes need two digits.
    m_lv->setColumnWidth(0, m_lv->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    for (int c = 1; c < 3; ++c)
        m_lv->setColumnWidth(c, 50);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Compare File:")), 0, 0);
    top->addWidget(m_fileName, 0, 1, 1, 2);
    top->addWidget(m_choose, 0, 3);
    top->addWidget(new QLabel(QStringLiteral("MaxResult:")), 1, 0);
    top->addWidget(m_maxResult, 1, 1);
    top->addWidget(m_compare, 1, 2, 1, 2);
    top->addWidget(new QLabel(QStringLiteral("Result Count:")), 2, 0);
    top->addWidget(m_resultCount, 2, 1);
    top->addWidget(m_stop, 2, 2, 1, 2);
    top->addWidget(m_note, 3, 0, 1, 4);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    layout->addWidget(toolwidgets::resultGroup(m_lv), 1);
    setWidget(body);
    toolwidgets::addHelpAction(this, kHelpTopic);

    connect(m_fileName, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_compare->setEnabled(!text.isEmpty() && !comparing());
    });
    connect(m_choose, &QPushButton::clicked, this, &Tcompf::chooseFile);
    connect(m_compare, &QPushButton::clicked, this, &Tcompf::BcompareClick);
    connect(m_stop, &QPushButton::clicked, this, &Tcompf::stopCompare);
    toolwidgets::addRunKeys(
        this, m_lv,
        [this] {
            if (m_compare->isEnabled())
                BcompareClick();
        },
        [this] { stopCompare(); });
}

Tcompf::~Tcompf() {
    m_runner->stop();
    releaseCompareFile();
}

const vm::FileStream* Tcompf::compareFile() const {
    return m_file.get();
}

void Tcompf::releaseCompareFile() {
    // The grids let go of the file before it closes.
    m_pane.setCompareSource(nullptr);
    m_file.reset();
}

bool Tcompf::comparing() const {
    return m_runner->running();
}

void Tcompf::chooseFile() {
    if (comparing())
        return;
    const QString name = prompter().openFileName(this, QStringLiteral("Open File"), QString());
    if (name.isEmpty())
        return;
    m_fileName->setText(name);
    BcompareClick();
}

void Tcompf::BcompareClick() {
    if (comparing() || !requireData(m_doc, this))
        return;
    const QString name = m_fileName->text();
    const QFileInfo info(name);
    if (name.isEmpty() || !info.exists()) {
        prompter().inform(this, QStringLiteral("File ") + name + QStringLiteral(" Is Not Exit"));
        return;
    }
    releaseCompareFile();
    auto file = std::make_unique<vm::FileStream>();
    const bool opened = !info.isDir() && file->open(toNative(name), vm::FileStream::Mode::Read);
    if (!opened) {
        prompter().error(this, QStringLiteral("Can Not Open File ") + name);
        close();
        return;
    }
    m_file = std::move(file);
    m_pane.showCompare(m_file.get());
    byteCompare();
}

void Tcompf::byteCompare() {
    FindMapStrip* strip = m_pane.findMapStrip();
    const vm::FileStream* data = m_doc.dataStream();
    strip->clear();
    m_rows.clear();
    m_resultModel->reset();
    m_resultCount->setText(QStringLiteral("0"));
    m_note->clear();
    const std::int64_t maxListed = vm::parseInt32(m_maxResult->text().toStdString()).value_or(0);
    m_maxListed = maxListed;
    const int width = strip->width() - 32;
    if (width < 2 || !data || !m_file) {
        // No room for a map: nothing is compared.
        m_compare->setEnabled(!m_fileName->text().isEmpty());
        return;
    }
    m_mapTop = 2;
    m_mapBottom = strip->height() - 4;
    {
        QPainter p(&strip->image());
        p.fillRect(QRect(16, m_mapTop, width, m_mapBottom - m_mapTop), kMapBack);
    }
    strip->update();
    m_compare->setEnabled(false);
    // The working file's name, not the stream's path: reading starts on the
    // data file itself while the working copy is made and carries on there.
    m_workingFile = m_doc.workingFileName();
    m_scan = std::make_unique<vm::CompareScan>(
        std::max<std::int64_t>(0, data->size()),
        std::min<std::int64_t>(maxListed, std::int64_t{ResultRows::kMaxRows} + 1), width);
    m_runner->start([this](const vm::Progress& progress) { return runSlice(progress); },
                    [this](bool completed) { compareEnded(completed); });
}

bool Tcompf::runSlice(const vm::Progress& progress) {
    const vm::FileStream* data = m_doc.dataStream();
    if (!data || m_doc.workingFileName() != m_workingFile || !m_file) {
        // The document was closed or replaced: nothing more is read.
        m_runner->stop();
        return false;
    }
    vm::CompareEvents events;
    events.listed = [this](std::int64_t, std::int64_t offset, std::uint8_t source,
                           std::optional<std::uint8_t> target) {
        m_rows.push_back({offset, source, static_cast<std::int16_t>(target ? *target : -1)});
    };
    QPainter painter(&m_pane.findMapStrip()->image());
    events.columns = [this, &painter](int from, int to, bool differs) {
        if (to > from)
            painter.fillRect(QRect(from + 16, m_mapTop, to - from, m_mapBottom - m_mapTop),
                             differs ? RecordPane::hitColour() : kSame);
    };
    const bool done = m_scan->run(*data, *m_file, events, progress);
    painter.end();
    m_resultModel->grow(static_cast<int>(m_rows.size()));
    m_resultCount->setText(QString::number(m_scan->differences()));
    m_pane.findMapStrip()->update();
    return done;
}

void Tcompf::compareEnded(bool completed) {
    toolwidgets::RunEnd end;
    if (m_scan) {
        m_resultCount->setText(QString::number(m_scan->differences()));
        end = toolwidgets::runEnd(completed, m_scan->readError(), m_scan->position(),
                                  m_doc.dataStream());
        // More were asked for than a list holds, and more were found.
        if (m_maxListed - 1 > ResultRows::kMaxRows && m_scan->differences() > ResultRows::kMaxRows)
            end.listCap = QStringLiteral("MaxResult is capped at %1: only the first %1 are listed")
                              .arg(ResultRows::kMaxRows);
    }
    m_note->setText(toolwidgets::runNoteText(end));
    m_resultModel->grow(static_cast<int>(m_rows.size()));
    m_scan.reset();
    m_compare->setEnabled(!m_fileName->text().isEmpty());
    m_pane.findMapStrip()->update();
}

void Tcompf::forgetResults() {
    stopCompare();
    m_rows.clear();
    m_resultModel->reset();
    m_resultCount->setText(QStringLiteral("0"));
    m_note->clear();
    // The compare grids showed the old data beside the compare file.
    if (m_pane.bottomPanel() == RecordPane::BottomPanel::Compare)
        m_pane.showNormal();
    releaseCompareFile();
    m_pane.findMapStrip()->clear();
}

void Tcompf::stopCompare() {
    m_runner->stop();
}

QString Tcompf::resultText(int row, int column) const {
    const Difference& d = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
    case 0:
        return QString::number(row + 1);
    case 1:
        return byteText(d.source);
    case 2:
        return d.target < 0 ? QString() : byteText(d.target);
    default:
        return QString::number(d.offset);
    }
}

void Tcompf::lvDblClick(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    m_locate(m_rows[static_cast<std::size_t>(row)].offset, true);
}

void Tcompf::closeEvent(QCloseEvent* event) {
    stopCompare();
    emit closed();
    m_pane.showNormal();
    QDockWidget::closeEvent(event);
}
