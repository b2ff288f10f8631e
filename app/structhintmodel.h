#pragma once

#include <cstddef>

#include <QAbstractTableModel>
#include <QStringList>

#include "checks.h"

// The rows of one list of the structure message window, read from the check's
// message list only when the view asks for them. A hostile structure can give
// millions of findings (every pair of 5,000 identical segments overlaps), so at
// most kShownRows of them are listed, then one line saying how many more there
// are; the summary rows, which the check puts last, are always listed after
// that line so that every segment's field findings stay reachable.
class StructHintModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kShownRows = 10000;
    static constexpr int kColumns = 5;

    // The second column's title names what the list holds: "Error Segment"
    // or "Error Type".
    StructHintModel(const QString& secondTitle, QObject* parent = nullptr);

    // Replaces the rows; an empty list empties the model.
    void setMessages(vm::MessageList messages);
    const vm::MessageList& messages() const { return m_list; }
    bool hasErrors() const { return m_list.hasErrors; }

    // Index into the message list of a listed row; -1 for the line that stands
    // for the rows not listed.
    std::ptrdiff_t messageIndex(int row) const;
    // Row of the line that stands for them, -1 when there is none.
    int hiddenLineRow() const { return m_hidden ? m_head : -1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const vm::MessageRow& rowAt(std::size_t i) const;

    QStringList m_titles;
    vm::MessageList m_list;
    int m_head = 0;             // rows listed from the start of the list
    std::size_t m_hidden = 0;   // rows after those that are not listed
    std::size_t m_tailFrom = 0; // first of the summary rows listed at the end
    // Painting asks for several roles of each cell: build a row once.
    mutable std::ptrdiff_t m_cachedIndex = -1;
    mutable vm::MessageRow m_cached;
};
