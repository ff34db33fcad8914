#pragma once

#include <QString>

class QWidget;

// Message boxes go through this service so that tests can answer them.
class MessageBoxService
{
public:
    enum class Icon
    {
        None,
        Critical,
        Information,
        Question,
        Exclamation
    };
    enum class Buttons
    {
        Ok,
        YesNo,
        // Yes and No, with No the default: for a question whose Yes cannot be undone.
        YesNoDefaultNo
    };
    enum class Answer
    {
        Ok,
        Yes,
        No
    };

    virtual ~MessageBoxService() = default;
    virtual Answer show(QWidget *owner, const QString &text, const QString &title, Icon icon,
                        Buttons buttons) = 0;

    // The service the application installed at start; tests install doubles.
    static MessageBoxService &instance();
    static void setInstance(MessageBoxService *service);
};

// Shorthand for the common case: text, title and icon with only an OK button. An empty title
// gives the application title.
void showMessage(QWidget *owner, const QString &text, const QString &title = QString(),
                 MessageBoxService::Icon icon = MessageBoxService::Icon::None);
