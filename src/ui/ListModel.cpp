#include "ui/ListModel.h"

#include <algorithm>

#include "edit/EditListText.h"
#include "ui/EditUi.h"

CListModel::CListModel(QStringList headings, QObject* parent)
    : QAbstractTableModel(parent), m_headings(std::move(headings)) {}

int CListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(m_cells.size() / static_cast<std::size_t>(m_headings.size()));
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headings.size());
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return CellText(Cell(index.row(), index.column()));
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headings.size()) return {};
    if (role == Qt::DisplayRole) return m_headings.at(section);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void CListModel::SetRows(std::vector<std::string> cells) {
    beginResetModel();
    m_cells = std::move(cells);
    m_cells.resize(m_cells.size() - m_cells.size() % static_cast<std::size_t>(m_headings.size()));
    endResetModel();
}

const std::string& CListModel::Cell(int row, int column) const {
    return m_cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(m_headings.size()) +
                   static_cast<std::size_t>(column)];
}

void CListModel::SetCell(int row, int column, std::string bytes) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    m_cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(m_headings.size()) +
            static_cast<std::size_t>(column)] = std::move(bytes);
    emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
}

void CListModel::InsertRow(int index, std::vector<std::string> cells) {
    index = std::clamp(index, 0, rowCount());
    cells.resize(static_cast<std::size_t>(m_headings.size()));
    beginInsertRows(QModelIndex(), index, index);
    const auto at = m_cells.begin() + static_cast<std::ptrdiff_t>(index) * m_headings.size();
    m_cells.insert(at, std::make_move_iterator(cells.begin()),
                   std::make_move_iterator(cells.end()));
    endInsertRows();
}

void CListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows(QModelIndex(), row, row);
    const auto at = m_cells.begin() + static_cast<std::ptrdiff_t>(row) * m_headings.size();
    m_cells.erase(at, at + m_headings.size());
    endRemoveRows();
}

std::string CListModel::ListText(std::size_t maxBytes) const {
    std::string text;
    text.reserve(m_cells.size() * 8);
    const auto columns = static_cast<std::size_t>(m_headings.size());
    std::vector<std::string> row(columns);
    for (std::size_t first = 0; first < m_cells.size(); first += columns) {
        std::copy_n(m_cells.begin() + static_cast<std::ptrdiff_t>(first), columns, row.begin());
        AppendListLine(text, row, maxBytes);
    }
    return text;
}
