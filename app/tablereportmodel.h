#pragma once

#include <cstdint>
#include <vector>

#include <QAbstractTableModel>
#include <QTemporaryFile>

#include "tableimport.h"

// The values an import of a record table did not write as the table gives
// them. An import of millions of rows may report millions, so every report
// goes to a temporary file as it comes, and only the first shownRows (by
// default kShownRows) are kept to be listed, then one line saying how many
// more there are; save() writes them all.
class TableReportModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kShownRows = 10000;
    static constexpr int kColumns = 7;

    explicit TableReportModel(QObject* parent = nullptr, int shownRows = kShownRows);

    void add(const vm::TableValueReport& report);
    void clear();
    std::int64_t reportCount() const { return m_count; }
    // Reports held but not listed.
    std::int64_t hiddenCount() const { return m_count - static_cast<std::int64_t>(m_shown.size()); }

    // Writes every report to path, one line each as the command-line tool
    // lists them (see vm::appendTableReport); a file there is replaced only by
    // the complete list. False with the reason in error.
    bool save(const QString& path, QString* error) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int m_shownRows;
    std::vector<vm::TableValueReport> m_shown;
    std::int64_t m_count = 0;
    mutable QTemporaryFile m_all;
    bool m_writeFailed = false; // the temporary file could not take a report
};
