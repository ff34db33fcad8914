#pragma once

#include "MessageBoxService.h"

#include <QList>
#include <QString>

// A message-box double: records every box shown and gives the queued answers in order. A box
// with no queued answer is answered Ok (or No for a question) and counted as unexpected only
// when the test asked for strict answers.
class ScriptedMessageBox : public MessageBoxService
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    ScriptedMessageBox();
    ~ScriptedMessageBox() override;

    Answer show(QWidget *owner, const QString &text, const QString &title, Icon icon,
                Buttons buttons) override;

    void setNextAnswer(Answer answer) { m_answers.append(answer); }
    int pendingAnswers() const { return m_answers.size(); }
    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    void clear();

private:
    QList<Answer> m_answers;
    QList<Shown> m_shown;
};
