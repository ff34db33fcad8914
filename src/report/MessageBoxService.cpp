#include "MessageBoxService.h"

#include "QtMessageBoxService.h"

namespace {
MessageBoxService *s_replacement = nullptr;
}

MessageBoxService &MessageBoxService::instance()
{
    static QtMessageBoxService real;
    return s_replacement ? *s_replacement : real;
}

void MessageBoxService::setInstance(MessageBoxService *service)
{
    s_replacement = service;
}

void showMessage(QWidget *owner, const QString &text, const QString &title, MessageBoxService::Icon icon)
{
    MessageBoxService::instance().show(owner, text, title, icon, MessageBoxService::Buttons::Ok);
}
