#pragma once

#include "Catalog.h"

#include <QList>
#include <QStringList>

class QAbstractItemView;
class frmMain;

// The image list as a test sees it, through its model as a view or a screen reader does, and
// catalogues made without a scan.

// A catalogue as a scan would leave it: the entries in this order, each ticked where ticked says
// (unticked past its end), and the folders.
Catalog catalogOf(const QStringList &entries, const QList<bool> &ticked = {}, const QStringList &folders = {},
                  bool wholeTree = false);
// Shows a catalogue in the main window as a scan would have left it.
void showCatalog(frmMain &form, const Catalog &catalog);
// The main window's catalogue as the batches get it.
const Catalog &catalogOf(const frmMain &form);
QList<bool> ticksOf(const Catalog &catalog);

// A list's rows: their texts, their check boxes.
QStringList shownEntries(const QAbstractItemView *list);
QList<Qt::CheckState> shownTicks(const QAbstractItemView *list);
// Ticks or unticks a row as its check box does.
void tickRow(QAbstractItemView *list, int row, bool ticked = true);
