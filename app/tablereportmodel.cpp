#include "tablereportmodel.h"

#include <string>

#include <QFile>

#include "atomicfile.h"

TableReportModel::TableReportModel(QObject* parent, int shownRows)
    : QAbstractTableModel(parent), m_shownRows(shownRows) {}

void TableReportModel::add(const vm::TableValueReport& report) {
    if (!m_writeFailed && (m_all.isOpen() || m_all.open())) {
        std::string line;
        vm::appendTableReport(line, report);
        m_writeFailed = m_all.write(line.data(), static_cast<qint64>(line.size())) !=
                        static_cast<qint64>(line.size());
    } else {
        m_writeFailed = true;
    }
    const int hiddenLine = hiddenCount() > 0 ? 1 : 0;
    ++m_count;
    if (m_shown.size() < static_cast<std::size_t>(m_shownRows)) {
        const int row = static_cast<int>(m_shown.size());
        beginInsertRows({}, row, row);
        m_shown.push_back(report);
        endInsertRows();
    } else if (hiddenLine == 0) {
        beginInsertRows({}, m_shownRows, m_shownRows);
        endInsertRows();
    } else {
        emit dataChanged(index(m_shownRows, 0), index(m_shownRows, kColumns - 1));
    }
}

void TableReportModel::clear() {
    beginResetModel();
    m_shown.clear();
    m_count = 0;
    m_all.close();
    // Made only by the first report: an import that reported nothing has none.
    if (!m_all.fileName().isEmpty())
        m_all.remove();
    m_writeFailed = false;
    endResetModel();
}

bool TableReportModel::save(const QString& path, QString* error) const {
    auto failed = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_writeFailed)
        return failed(QStringLiteral("The list could not be kept in the temporary folder"));
    vm::ReplaceFile out;
    if (!out.begin(QFile::encodeName(path).toStdString()))
        return failed(QString::fromStdString(out.error()));
    if (m_all.isOpen()) {
        m_all.flush();
        QFile all(m_all.fileName());
        if (!all.open(QIODevice::ReadOnly))
            return failed(all.errorString());
        for (;;) {
            const QByteArray piece = all.read(qint64{1} << 20);
            if (piece.isEmpty())
                break;
            if (!out.append(
                    std::string_view(piece.constData(), static_cast<std::size_t>(piece.size()))))
                return failed(QString::fromStdString(out.error()));
        }
        if (all.error() != QFileDevice::NoError)
            return failed(all.errorString());
    }
    if (!out.commit())
        return failed(QString::fromStdString(out.error()));
    return true;
}

int TableReportModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_shown.size()) + (hiddenCount() > 0 ? 1 : 0);
}

int TableReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant TableReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= m_shown.size())
        return index.column() == 0
                   ? QVariant(
                         QStringLiteral("... and %1 more: Save lists them all").arg(hiddenCount()))
                   : QVariant();
    const vm::TableValueReport& r = m_shown[row];
    switch (index.column()) {
    case 0:
        return QVariant::fromValue(static_cast<qlonglong>(r.line));
    case 1:
        return QVariant::fromValue(static_cast<qlonglong>(r.record));
    case 2:
        return QString::fromStdString(r.column);
    case 3:
        return r.fit == vm::EncodeFit::Cut ? QStringLiteral("cut") : QStringLiteral("not written");
    case 4:
        return QString::fromStdString(r.text);
    case 5:
        return QString::fromStdString(r.reason);
    case 6:
        return QString::fromStdString(r.holds);
    default:
        return {};
    }
}

QVariant TableReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[kColumns] = {"Line",  "Record", "Column",     "Result",
                                                  "Value", "Why",    "Field holds"};
    return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}
