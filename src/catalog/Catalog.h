#pragma once

#include "CatalogEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the last scan found: its images in walk order, each with its tick, and the folders it
// walked (each after its own subtree). The scan fills it; the list shows it and writes the ticks
// back; the resize, the upload and the gallery read it.
class Catalog
{
public:
    void clear();
    // The entries alone; the folders and wholeTree() stay.
    // A list emptied without a scan no longer tells what the tree holds, so nothing is offered
    // for removal on its strength.
    void clearEntries()
    {
        m_entries.clear();
        m_wholeTree = false;
    }

    void addEntry(const QString &path);
    void addFolder(const QString &path);
    void setTicked(qsizetype index, bool ticked);
    // The scan listed every image below the image root, so what it did not list is gone: it was
    // not cancelled, stopped at its limit or by an error, and read every name.
    void setWholeTree(bool whole) { m_wholeTree = whole; }

    const QList<CatalogEntry> &entries() const { return m_entries; }
    const CatalogEntry &entry(qsizetype index) const { return m_entries.at(index); }
    qsizetype size() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    const QStringList &folders() const { return m_folders; }
    bool wholeTree() const { return m_wholeTree; }

private:
    QList<CatalogEntry> m_entries;
    QStringList m_folders;
    bool m_wholeTree = false;
};
