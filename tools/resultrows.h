#pragma once

#include <functional>

#include <QAbstractTableModel>
#include <QStringList>

// The rows of a result list (find hits, compare differences) for a QTreeView.
// The window keeps its rows compactly and says what each cell shows; the
// model only counts them, so lists of a million rows stay cheap.
class ResultRows : public QAbstractTableModel {
    Q_OBJECT
public:
    using CellText = std::function<QString(int row, int column)>;

    ResultRows(QStringList headers, CellText text, QObject* parent = nullptr);

    // The window's rows now number `count` (more than before, or after reset() none).
    void grow(int count);
    void reset();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // A result list shows no more rows than this; the counts go on.
    static constexpr int kMaxRows = 1000000;

private:
    QStringList m_headers;
    CellText m_text;
    int m_count = 0;
};
