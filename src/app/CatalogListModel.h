#pragma once

#include "Catalog.h"

#include <QAbstractListModel>
#include <QFont>

#include <array>

// The image list's model: one row per entry of the catalogue, in scan order, its path as the
// text and its tick as the check box. The model holds the catalogue, so a tick given by mouse,
// keyboard or the accessibility bus lands in the catalogue the batches read, and every change
// made through the model is shown at once.
//
// Every row has the same size: as high as the delegate makes a row, as wide as the widest path
// the list has held beside its check box. That width never shrinks, not even when the list is
// emptied, so the horizontal scroll range only grows.
class CatalogListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum class Tick
    {
        Set,
        Clear,
        Invert
    };

    explicit CatalogListModel(QObject *parent = nullptr);

    const Catalog &catalog() const { return m_catalog; }

    // Replaces the whole catalogue; an empty one empties the list.
    void reset(const Catalog &catalog = Catalog());
    // Empties the list; the catalogue keeps its folders and whether it covers the whole tree.
    void clearEntries();
    void appendEntry(const QString &path);
    void appendFolder(const QString &path) { m_catalog.addFolder(path); }
    void setWholeTree(bool whole) { m_catalog.setWholeTree(whole); }
    void setTicked(int row, bool ticked);
    void tickAll(Tick tick);

    // The font the paths are measured in (the list's).
    void setFont(const QFont &font);
    // The widest path so far, with a leading space, in that font.
    int extent() const { return m_extent; }
    // What the list's delegate adds beside a path's text (the check box, the margins) and its
    // row height, measured once by the view on a row shown without this model's size.
    bool rowMetricsKnown() const { return m_rowHeight >= 0; }
    void setRowMetrics(int overhead, int height);
    // The width of a path with a leading space, as extent() counts it.
    int textWidth(const QString &path) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void widen(const QString &path);

    Catalog m_catalog;
    QFont m_font;
    // Advances of the ASCII characters in m_font: paths are almost always plain ASCII, and
    // shaping every path of a 30,000-entry scan would cost more than the walk itself.
    std::array<qreal, 128> m_advances{};
    qreal m_spaceWidth = 0;
    bool m_measured = false;
    int m_extent = 0;
    int m_overhead = 0;
    int m_rowHeight = -1;
};
