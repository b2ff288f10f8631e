#include "datahintwindow.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolButton>

#include "datahintsetup.h"
#include "docking.h"
#include "document.h"
#include "kindnames.h"
#include "platform.h"
#include "prompter.h"
#include "recordpane.h"
#include "toolwidgets.h"
#include "wheelguard.h"

namespace {

constexpr int kMaxWidth = 250;

QLabel* label(const QString& text, QWidget* parent, int x, int y, int w) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 15);
    return l;
}

} // namespace

TfcurShow::TfcurShow(Document& doc, const RecordPane& pane, QMainWindow& window)
    : QDockWidget(QStringLiteral("Data Hint"), &window), m_window(window), m_doc(doc) {
    setObjectName(QStringLiteral("TfcurShow"));
    auto* body = new QWidget;
    body->setMaximumWidth(kMaxWidth);
    body->setMinimumSize(200, 80 + 15 * kRows + 5);

    label(QStringLiteral("Position:"), body, 10, 6, 50);
    m_pos = label(QString(), body, 60, 6, 180);
    m_pos->setObjectName(QStringLiteral("pos"));
    toolwidgets::setTextColour(m_pos, Qt::blue);

    label(QStringLiteral("Value:"), body, 10, 30, 40);
    m_kind = new QComboBox(body);
    takeWheelOnlyWithFocus(m_kind);
    m_kind->setObjectName(QStringLiteral("Ckind"));
    addKindNames(m_kind);
    m_kind->setMaxVisibleItems(18);
    m_kind->setCurrentIndex(-1);
    m_kind->setGeometry(45, 27, 90, 21);
    m_value = new QLineEdit(body);
    m_value->setObjectName(QStringLiteral("Value"));
    m_value->setGeometry(140, 27, 100, 21);

    m_hexLabel = label(QStringLiteral("Hex Value"), body, 10, 55, 60);
    m_hexLabel->setObjectName(QStringLiteral("LabelHexS"));
    m_hex = new QLineEdit(body);
    m_hex->setObjectName(QStringLiteral("hexValue"));
    m_hex->setGeometry(70, 52, 145, 21);
    auto* setup = new QToolButton(body);
    setup->setObjectName(QStringLiteral("SpeedButton1"));
    setup->setText(QStringLiteral("..."));
    setup->setToolTip(QStringLiteral("Setup"));
    setup->setGeometry(220, 52, 21, 21);

    // Kind names get the room the screen's font needs; the values take the
    // rest of the width, which dates and doubles need.
    const int nameWidth =
        std::max(60, body->fontMetrics().horizontalAdvance(QStringLiteral("8BDateTime")) + 4);
    for (int i = 0; i < kRows; ++i) {
        m_names[i] = label(QString(), body, 10, 80 + 15 * i, nameWidth);
        m_names[i]->setObjectName(QStringLiteral("hintName%1").arg(i));
        m_names[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_values[i] =
            label(QString(), body, 20 + nameWidth, 80 + 15 * i, kMaxWidth - 25 - nameWidth);
        m_values[i]->setObjectName(QStringLiteral("hintValue%1").arg(i));
    }
    setWidget(body);

    auto* help = new QAction(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("AHelp"));
    help->setShortcut(Qt::Key_F1);
    help->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(help);
    connect(help, &QAction::triggered,
            [] { platform::openHelpTopic(QStringLiteral("Data Hint Window.htm")); });

    m_setup = new TfSetCurShow(&window);
    connect(m_setup, &TfSetCurShow::flagsChanged, this,
            [this] { m_doc.setDataHintFlags(m_setup->flags()); });
    connect(setup, &QToolButton::clicked, this, &TfcurShow::showSetup);
    connect(m_hex, &QLineEdit::textChanged, this, &TfcurShow::hexValueChange);
    connect(m_value, &QLineEdit::textChanged, this, &TfcurShow::valueChange);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &TfcurShow::valueChange);
    connect(&pane, &RecordPane::dataHovered, this, &TfcurShow::dataHovered);
    for (auto signal : {&Document::structureReplaced, &Document::dataHintChanged})
        connect(&m_doc, signal, this, &TfcurShow::refreshNames);

    dockLeft(window, this);
    hide();
    refreshNames();
}

void TfcurShow::setShown(bool shown) {
    if (!shown) {
        hide();
        return;
    }
    showDock(m_window, this);
}

void TfcurShow::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    emit closed();
}

void TfcurShow::dataHovered(qint64 position, int /*length*/, const QString& hexDump) {
    if (!isVisible())
        return;
    m_pos->setText(QString::number(position));
    // The byte count becomes the number of bytes in the dump when it is read.
    setHex(hexDump);
}

void TfcurShow::setHex(const QString& hex) {
    if (m_hex->text() == hex)
        hexValueChange();
    else
        m_hex->setText(hex);
    m_hex->setCursorPosition(0); // the first bytes matter most
}

void TfcurShow::hexValueChange() {
    const QString text = m_hex->text();
    // Characters outside Latin-1 become '?', which the parser rejects as well.
    const bool valid = vm::setHintHex(m_buf, text.toLatin1().toStdString());
    if (!valid) {
        m_hexLabel->setText(QStringLiteral("Input Erro"));
        toolwidgets::setTextColour(m_hexLabel, RecordPane::hitColour());
    } else if (m_hexLabel->text() != QStringLiteral("Hex Value")) {
        m_hexLabel->setText(QStringLiteral("Hex Value"));
        toolwidgets::setTextColour(m_hexLabel, Qt::black);
    }
    const auto readings = vm::hintReadings(m_buf, m_doc.dataHintFlags(), m_doc.locale());
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        const QString value =
            i < readings.size() ? RecordPane::toDisplay(readings[i].text) : QString();
        m_values[i]->setText(value);
        m_values[i]->setToolTip(value); // a long reading does not fit the window's width
    }
}

void TfcurShow::valueChange() {
    const int k = m_kind->currentIndex();
    const std::optional<std::string> text = RecordPane::fromDisplay(m_value->text());
    // A character single-byte text cannot hold is no value of any kind.
    const vm::HintValue v =
        vm::hintHexOfValue(text.value_or(std::string()),
                           k >= 0 && text ? std::optional<int>(k) : std::nullopt, m_doc.locale());
    setHex(QString::fromLatin1(v.hex));
}

void TfcurShow::refreshNames() {
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        m_names[i]->clear();
        m_values[i]->clear();
    }
    std::size_t row = 0;
    const vm::DataHintFlags& flags = m_doc.dataHintFlags();
    for (int k = 0; k < vm::kKindCount; ++k)
        if (flags[static_cast<std::size_t>(k)])
            m_names[row++]->setText(kindText(k));
}

void TfcurShow::showSetup() {
    m_setup->load(m_doc.dataHintFlags());
    prompter().runModal(*m_setup);
}
