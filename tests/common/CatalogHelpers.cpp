#include "CatalogHelpers.h"

#include "CatalogActions.h"
#include "frmMain.h"

#include <QAbstractItemView>

Catalog catalogOf(const QStringList &entries, const QList<bool> &ticked, const QStringList &folders,
                  bool wholeTree)
{
    Catalog catalog;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        catalog.addEntry(entries.at(i));
        catalog.setTicked(i, ticked.value(i));
    }
    for (const QString &folder : folders)
        catalog.addFolder(folder);
    catalog.setWholeTree(wholeTree);
    return catalog;
}

void showCatalog(frmMain &form, const Catalog &catalog)
{
    form.catalogActions()->setCatalog(catalog);
}

const Catalog &catalogOf(const frmMain &form)
{
    return form.catalogActions()->catalog();
}

QList<bool> ticksOf(const Catalog &catalog)
{
    QList<bool> ticks;
    for (const CatalogEntry &entry : catalog.entries())
        ticks.append(entry.ticked);
    return ticks;
}

QStringList shownEntries(const QAbstractItemView *list)
{
    QStringList texts;
    const QAbstractItemModel *model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts.append(model->index(row, 0).data().toString());
    return texts;
}

QList<Qt::CheckState> shownTicks(const QAbstractItemView *list)
{
    QList<Qt::CheckState> states;
    const QAbstractItemModel *model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        states.append(static_cast<Qt::CheckState>(model->index(row, 0).data(Qt::CheckStateRole).toInt()));
    return states;
}

void tickRow(QAbstractItemView *list, int row, bool ticked)
{
    list->model()->setData(list->model()->index(row, 0), ticked ? Qt::Checked : Qt::Unchecked,
                           Qt::CheckStateRole);
}
