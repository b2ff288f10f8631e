#include "structhintmodel.h"

#include <algorithm>

#include <QFont>

#include "cp1252.h"
#include "icons.h"

namespace {

QString text(const std::string& bytes) {
    return QString::fromStdString(vm::cp1252ToUtf8(bytes));
}

} // namespace

StructHintModel::StructHintModel(const QString& secondTitle, QObject* parent)
    : QAbstractTableModel(parent), m_titles{QStringLiteral("Error Kind"), secondTitle,
                                            QStringLiteral("Collide"), QStringLiteral("Message"),
                                            QStringLiteral("Explication")} {}

void StructHintModel::setMessages(vm::MessageList messages) {
    beginResetModel();
    m_list = std::move(messages);
    m_cachedIndex = -1;
    const std::size_t n = m_list.size();
    const auto shown = static_cast<std::size_t>(kShownRows);
    std::size_t from = n;
    if (n > shown)
        while (from > 0 && n - from < shown && m_list.row(from - 1).finding.expandable)
            --from;
    m_head = static_cast<int>(std::min(shown, from));
    m_hidden = from - static_cast<std::size_t>(m_head);
    m_tailFrom = from;
    endResetModel();
}

std::ptrdiff_t StructHintModel::messageIndex(int row) const {
    if (row < 0 || row >= rowCount())
        return -1;
    if (row < m_head)
        return row;
    if (m_hidden == 0)
        return static_cast<std::ptrdiff_t>(m_tailFrom) + (row - m_head);
    if (row == m_head)
        return -1;
    return static_cast<std::ptrdiff_t>(m_tailFrom) + (row - m_head - 1);
}

const vm::MessageRow& StructHintModel::rowAt(std::size_t i) const {
    if (m_cachedIndex != static_cast<std::ptrdiff_t>(i)) {
        m_cached = m_list.row(i);
        m_cachedIndex = static_cast<std::ptrdiff_t>(i);
    }
    return m_cached;
}

int StructHintModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return m_head + (m_hidden ? 1 : 0) + static_cast<int>(m_list.size() - m_tailFrom);
}

int StructHintModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant StructHintModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= kColumns)
        return {};
    const std::ptrdiff_t i = messageIndex(index.row());
    if (i < 0) {
        if (index.column() != 0)
            return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return QStringLiteral("%1 more findings are not listed.").arg(m_hidden);
        if (role == Qt::FontRole) {
            QFont f;
            f.setItalic(true);
            return f;
        }
        return {};
    }
    const vm::MessageRow& r = rowAt(static_cast<std::size_t>(i));
    if (role == Qt::DecorationRole && index.column() == 0)
        return r.image == 0 ? icons::errorIcon() : icons::warningIcon();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case 0:
        return text(r.caption);
    case 1:
        return text(r.firstName);
    case 2:
        return text(r.secondName);
    case 3:
        return text(r.collide);
    default:
        return text(r.message);
    }
}

QVariant StructHintModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_titles.size())
        return {};
    return m_titles[section];
}

Qt::ItemFlags StructHintModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (messageIndex(index.row()) < 0)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
