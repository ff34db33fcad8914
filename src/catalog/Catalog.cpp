#include "Catalog.h"

void Catalog::clear()
{
    m_entries.clear();
    m_folders.clear();
    m_wholeTree = false;
}

void Catalog::addEntry(const QString &path)
{
    CatalogEntry entry;
    entry.path = path;
    m_entries.append(std::move(entry));
}

void Catalog::addFolder(const QString &path)
{
    m_folders.append(path);
}

void Catalog::setTicked(qsizetype index, bool ticked)
{
    m_entries[index].ticked = ticked;
}
