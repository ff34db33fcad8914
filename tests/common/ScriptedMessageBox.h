#pragma once

#include "MessageBoxService.h"

#include <QList>
#include <QString>
#include <QStringList>

// A message-box double: records every box shown and gives the queued answers in order; a box
// with no queued answer is answered Ok (or No for a question). Strict: a box is expected only
// when it took a queued answer or the test took it with take(), and a test's cleanup() fails on
// leftovers(): any other box, and any answer never used.
class ScriptedMessageBox : public MessageBoxService
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        bool answered = false;
    };

    ScriptedMessageBox();
    ~ScriptedMessageBox() override;

    Answer show(QWidget *owner, const QString &text, const QString &title, Icon icon,
                Buttons buttons) override;

    void setNextAnswer(Answer answer) { m_answers.append(answer); }
    int pendingAnswers() const { return m_answers.size(); }
    // Every box shown, taken or not.
    const QList<Shown> &shown() const { return m_shown; }
    // The texts of the boxes shown since the last take(); the test has seen them.
    QStringList take();
    // One line for each unexpected box and for the answers left; empty when all is well.
    QStringList leftovers() const;

private:
    QList<Answer> m_answers;
    QList<Shown> m_shown;
    qsizetype m_taken = 0;
};
