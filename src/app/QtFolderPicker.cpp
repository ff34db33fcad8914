#include "QtFolderPicker.h"

#include <QFileDialog>

QString QtFolderPicker::pickFolder(QWidget *owner, const QString &title)
{
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}
