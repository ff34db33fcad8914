#include "ScriptedFolderPicker.h"

ScriptedFolderPicker::ScriptedFolderPicker()
{
    FolderPicker::setInstance(this);
}

ScriptedFolderPicker::~ScriptedFolderPicker()
{
    FolderPicker::setInstance(nullptr);
}

QString ScriptedFolderPicker::pickFolder(QWidget *, const QString &title)
{
    titles.append(title);
    return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
}
