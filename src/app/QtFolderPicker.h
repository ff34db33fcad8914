#pragma once

#include "FolderPicker.h"

// The real folder chooser, with QFileDialog.
class QtFolderPicker : public FolderPicker
{
public:
    QString pickFolder(QWidget *owner, const QString &title) override;
};
