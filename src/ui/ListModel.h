// The rows of a list dialog: cells kept as the bytes of the view text (code
// page 936) and decoded only for the rows on screen, so a list of a hundred
// thousand rows opens as fast as a short one.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <string>
#include <vector>

class CListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CListModel(QStringList headings, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces every row: `cells` holds the rows one after another.
    void SetRows(std::vector<std::string> cells);
    const std::string& Cell(int row, int column) const;
    void SetCell(int row, int column, std::string bytes);
    // index is clamped to the rows there are.
    void InsertRow(int index, std::vector<std::string> cells);
    void RemoveRow(int row);
    // The rows as view text: cells cut to maxBytes, "," between, CR LF after.
    std::string ListText(std::size_t maxBytes) const;

private:
    QStringList m_headings;
    std::vector<std::string> m_cells;
};
