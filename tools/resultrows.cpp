#include "resultrows.h"

ResultRows::ResultRows(QStringList headers, CellText text, QObject* parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers)), m_text(std::move(text)) {}

void ResultRows::grow(int count) {
    if (count <= m_count)
        return;
    beginInsertRows({}, m_count, count - 1);
    m_count = count;
    endInsertRows();
}

void ResultRows::reset() {
    beginResetModel();
    m_count = 0;
    endResetModel();
}

int ResultRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int ResultRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant ResultRows::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_count)
        return {};
    return m_text(index.row(), index.column());
}

QVariant ResultRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= m_headers.size())
        return {};
    return m_headers.at(section);
}
