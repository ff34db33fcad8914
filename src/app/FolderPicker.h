#pragma once

#include <QString>

class QWidget;

// The folder chooser behind Browse. Tests install a double that returns queued answers.
class FolderPicker
{
public:
    virtual ~FolderPicker() = default;
    // The chosen folder's full path, or empty text when the user cancels.
    virtual QString pickFolder(QWidget *owner, const QString &title) = 0;

    static FolderPicker &instance();
    // Installs a replacement (tests); nullptr restores the real chooser.
    static void setInstance(FolderPicker *picker);
};

// Asks the user for a folder; an empty title reads "Select a folder". Empty text on cancel.
QString Browse(QWidget *owner, const QString &title);
