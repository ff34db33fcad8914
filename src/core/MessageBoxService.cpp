#include "MessageBoxService.h"

#include <QtGlobal>

namespace {
MessageBoxService *s_service = nullptr;
}

MessageBoxService &MessageBoxService::instance()
{
    if (!s_service)
        qFatal("No message-box service is installed");
    return *s_service;
}

void MessageBoxService::setInstance(MessageBoxService *service)
{
    s_service = service;
}

void showMessage(QWidget *owner, const QString &text, const QString &title, MessageBoxService::Icon icon)
{
    MessageBoxService::instance().show(owner, text, title, icon, MessageBoxService::Buttons::Ok);
}
