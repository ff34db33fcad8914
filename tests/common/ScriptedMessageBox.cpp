#include "ScriptedMessageBox.h"

#include "AppInfo.h"

using namespace Qt::Literals::StringLiterals;

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
    const bool answered = !m_answers.isEmpty();
    m_shown.append({text, title.isEmpty() ? AppInfo::applicationTitle() : title, icon, buttons, answered});
    if (answered)
        return m_answers.takeFirst();
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

QStringList ScriptedMessageBox::take()
{
    QStringList result;
    for (qsizetype i = m_taken; i < m_shown.size(); ++i)
        result.append(m_shown.at(i).text);
    m_taken = m_shown.size();
    return result;
}

QStringList ScriptedMessageBox::leftovers() const
{
    QStringList result;
    for (qsizetype i = m_taken; i < m_shown.size(); ++i) {
        if (!m_shown.at(i).answered)
            result.append(u"unexpected box \"%1\" (%2)"_s.arg(m_shown.at(i).text, m_shown.at(i).title));
    }
    if (!m_answers.isEmpty())
        result.append(u"%1 queued box answer(s) never used"_s.arg(m_answers.size()));
    return result;
}
