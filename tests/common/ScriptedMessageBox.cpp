#include "ScriptedMessageBox.h"

#include "AppInfo.h"

ScriptedMessageBox::ScriptedMessageBox()
{
    MessageBoxService::setInstance(this);
}

ScriptedMessageBox::~ScriptedMessageBox()
{
    MessageBoxService::setInstance(nullptr);
}

MessageBoxService::Answer ScriptedMessageBox::show(QWidget *, const QString &text, const QString &title,
                                                   Icon icon, Buttons buttons)
{
    m_shown.append({text, title.isEmpty() ? AppInfo::applicationTitle() : title, icon, buttons});
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

QStringList ScriptedMessageBox::texts() const
{
    QStringList result;
    for (const Shown &box : m_shown)
        result.append(box.text);
    return result;
}

void ScriptedMessageBox::clear()
{
    m_answers.clear();
    m_shown.clear();
}
