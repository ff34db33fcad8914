#pragma once

#include "FolderPicker.h"

#include <QList>
#include <QStringList>

// A folder-picker double: returns queued folders (an empty text is a cancel) and records the
// titles it was shown with.
class ScriptedFolderPicker : public FolderPicker
{
public:
    ScriptedFolderPicker();
    ~ScriptedFolderPicker() override;

    QString pickFolder(QWidget *owner, const QString &title) override;

    void setNextDirectory(const QString &folder) { m_answers.append(folder); }
    int pendingAnswers() const { return m_answers.size(); }
    QStringList titles;

private:
    QStringList m_answers;
};
