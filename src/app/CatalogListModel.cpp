#include "CatalogListModel.h"

#include <QFontMetricsF>
#include <QSize>

#include <algorithm>

CatalogListModel::CatalogListModel(QObject *parent) : QAbstractListModel(parent) {}

void CatalogListModel::reset(const Catalog &catalog)
{
    beginResetModel();
    m_catalog = catalog;
    for (const CatalogEntry &entry : m_catalog.entries())
        widen(entry.path);
    endResetModel();
}

void CatalogListModel::clearEntries()
{
    beginResetModel();
    m_catalog.clearEntries();
    endResetModel();
}

void CatalogListModel::appendEntry(const QString &path)
{
    const int row = int(m_catalog.size());
    widen(path);
    beginInsertRows(QModelIndex(), row, row);
    m_catalog.addEntry(path);
    endInsertRows();
}

void CatalogListModel::setTicked(int row, bool ticked)
{
    if (m_catalog.entry(row).ticked == ticked)
        return;
    m_catalog.setTicked(row, ticked);
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void CatalogListModel::tickAll(Tick tick)
{
    const int rows = int(m_catalog.size());
    if (rows == 0)
        return;
    for (int row = 0; row < rows; ++row) {
        const bool was = m_catalog.entry(row).ticked;
        m_catalog.setTicked(row, tick == Tick::Set || (tick == Tick::Invert && !was));
    }
    emit dataChanged(index(0), index(rows - 1), {Qt::CheckStateRole});
}

void CatalogListModel::setFont(const QFont &font)
{
    if (m_measured && font == m_font)
        return;
    m_measured = true;
    m_font = font;
    const QFontMetricsF metrics(font);
    for (char16_t c = 0; c < m_advances.size(); ++c)
        m_advances[c] = metrics.horizontalAdvance(QChar(c));
    m_spaceWidth = m_advances[u' '];
}

void CatalogListModel::setRowMetrics(int overhead, int height)
{
    m_overhead = overhead;
    m_rowHeight = height;
    if (!m_catalog.isEmpty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::SizeHintRole});
}

int CatalogListModel::textWidth(const QString &path) const
{
    qreal width = m_spaceWidth;
    for (const QChar c : path) {
        if (c.unicode() >= m_advances.size())
            return qRound(m_spaceWidth + QFontMetricsF(m_font).horizontalAdvance(path));
        width += m_advances[c.unicode()];
    }
    return qRound(width);
}

void CatalogListModel::widen(const QString &path)
{
    m_extent = std::max(m_extent, textWidth(path));
}

int CatalogListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_catalog.size());
}

QVariant CatalogListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_catalog.size())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_catalog.entry(index.row()).path;
    case Qt::CheckStateRole:
        return m_catalog.entry(index.row()).ticked ? Qt::Checked : Qt::Unchecked;
    case Qt::SizeHintRole:
        if (rowMetricsKnown())
            return QSize(m_extent + m_overhead, m_rowHeight);
        return QVariant();
    default:
        return QVariant();
    }
}

bool CatalogListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= m_catalog.size())
        return false;
    const bool ticked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
    if (m_catalog.entry(index.row()).ticked != ticked) {
        m_catalog.setTicked(index.row(), ticked);
        emit dataChanged(index, index, {Qt::CheckStateRole});
    }
    return true;
}

Qt::ItemFlags CatalogListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}
