#include "gotooffsetwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "codec.h"
#include "document.h"
#include "locate.h"
#include "recordpane.h"
#include "segment.h"
#include "toolwidgets.h"

namespace {

// 32-bit negative values show as their two's complement (FFFFFFFF for -1).
QString hexText(std::int64_t value) {
    if (value < 0)
        value = static_cast<std::uint32_t>(value);
    return QString::fromStdString(
        vm::stripLeadingZeros(QStringLiteral("%1")
                                  .arg(static_cast<qulonglong>(value), 12, 16, QLatin1Char('0'))
                                  .toUpper()
                                  .toStdString()));
}

// A whole number, or nothing.
std::optional<std::int64_t> numberIn(const QString& text) {
    const auto n = vm::parseInt32(text.toStdString());
    return n ? std::optional<std::int64_t>(*n) : std::nullopt;
}

} // namespace

TgotoOffsetf::TgotoOffsetf(const Document& doc, RecordPane& pane, Locate locate, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_pane(pane), m_locate(std::move(locate)) {
    setObjectName(QStringLiteral("TgotoOffsetf"));
    setWindowTitle(QStringLiteral("Goto OffSet"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);

    m_num = new QLineEdit;
    m_num->setObjectName(QStringLiteral("Enum"));
    m_hex = new QLineEdit;
    m_hex->setObjectName(QStringLiteral("Ehex"));
    m_index = new QLineEdit;
    m_index->setObjectName(QStringLiteral("Eindex"));
    m_utterly = new QCheckBox(QStringLiteral("Utterly"));
    m_utterly->setObjectName(QStringLiteral("utterly"));
    m_utterly->setChecked(true);
    m_immediately = new QCheckBox(QStringLiteral("Goto Pos Immediately"));
    m_immediately->setObjectName(QStringLiteral("CB"));
    m_immediately->setChecked(true);
    m_go = new QPushButton(QStringLiteral("Go"));
    m_go->setObjectName(QStringLiteral("Bgo"));
    m_go->setEnabled(false);
    m_close = new QPushButton(QStringLiteral("Close"));
    m_close->setObjectName(QStringLiteral("Bclose"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Goto By Num:")), 0, 0);
    grid->addWidget(m_num, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Goto by Hex:")), 1, 0);
    grid->addWidget(m_hex, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Goto by Index:")), 2, 0);
    grid->addWidget(m_index, 2, 1);
    grid->addWidget(m_utterly, 3, 0);
    grid->addWidget(m_immediately, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_go);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    toolwidgets::addHelpAction(this, kHelpTopic);

    connect(m_num, &QLineEdit::textChanged, this, [this] { EnumChange(false); });
    connect(m_hex, &QLineEdit::textChanged, this, [this] { EnumChange(true); });
    connect(m_index, &QLineEdit::textChanged, this, &TgotoOffsetf::EindexChange);
    connect(m_utterly, &QCheckBox::clicked, this, &TgotoOffsetf::utterlyClick);
    connect(m_immediately, &QCheckBox::toggled, this, [this](bool on) { m_go->setEnabled(!on); });
    connect(m_go, &QPushButton::clicked, this, &QDialog::close);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
}

std::int64_t TgotoOffsetf::base(const vm::Segment& seg) const {
    return m_utterly->isChecked() ? std::int64_t{seg.begin} : 0;
}

const vm::Segment* TgotoOffsetf::current() const {
    return m_doc.segments().current();
}

void TgotoOffsetf::setOffsetTexts(std::int64_t offset) {
    m_num->setText(QString::number(offset));
    m_hex->setText(hexText(offset));
}

void TgotoOffsetf::prepareAndShow() {
    if (const vm::Segment* seg = current()) {
        // The record (or field) in the grid's top visible row.
        const int top = m_pane.topRecord(seg);
        std::int64_t offset = -1;
        if (seg->anomaly) {
            if (top >= 0 && top < static_cast<int>(seg->entries.size()))
                offset = base(*seg) + seg->entries[static_cast<std::size_t>(top)].start;
        } else {
            offset = base(*seg) + std::int64_t{top} * seg->recordLength;
        }
        // A box whose text really changes moves the grid and fills the others.
        m_num->setText(QString::number(offset));
        m_hex->setText(hexText(offset));
    }
    show();
    raise();
    activateWindow();
}

void TgotoOffsetf::EnumChange(bool fromHex) {
    if (m_busy)
        return;
    m_busy = true;
    std::int64_t offset = 0;
    if (fromHex) {
        offset = numberIn(QStringLiteral("0x") + m_hex->text()).value_or(0);
        m_num->setText(QString::number(offset));
    } else {
        offset = numberIn(m_num->text()).value_or(0);
        m_hex->setText(hexText(offset));
    }
    // The index names a record of the segment the move goes to, found as the
    // move finds it; an offset no segment holds has none, and the current
    // segment stays as it was.
    QString index;
    const vm::FileStream* data = m_doc.dataStream();
    if (current() && data) {
        const bool absolute = m_utterly->isChecked();
        const vm::Location where = vm::locateOffset(m_doc.segments(), m_doc.segments().current(),
                                                    offset, data->size(), absolute);
        if (const auto i = vm::gotoIndex(where, offset, data->size(), absolute))
            index = QString::number(*i);
        m_locate(offset, absolute);
    }
    m_index->setText(index);
    m_busy = false;
}

void TgotoOffsetf::EindexChange() {
    const vm::Segment* seg = current();
    if (m_busy || !seg)
        return;
    m_busy = true;
    const std::int64_t index = numberIn(m_index->text()).value_or(0);
    std::optional<std::int64_t> offset;
    if (!seg->anomaly)
        offset = base(*seg) + index * seg->recordLength;
    else if (index >= 0 && index < static_cast<std::int64_t>(seg->entries.size()))
        offset = base(*seg) + seg->entries[static_cast<std::size_t>(index)].start;
    if (offset) {
        m_locate(*offset, m_utterly->isChecked());
        setOffsetTexts(*offset);
    } else {
        m_pane.setStatusText(QString::fromLatin1(kOutOfRange));
    }
    m_busy = false;
}

void TgotoOffsetf::utterlyClick() {
    const std::int64_t offset = numberIn(m_num->text()).value_or(-1);
    const vm::Segment* seg = current();
    if (offset == -1 || !seg)
        return;
    m_busy = true;
    setOffsetTexts(m_utterly->isChecked() ? offset + seg->begin : offset - seg->begin);
    m_busy = false;
}
