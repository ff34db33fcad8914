#pragma once

#include "MessageBoxService.h"

// The real message boxes, with QMessageBox.
class QtMessageBoxService : public MessageBoxService
{
public:
    Answer show(QWidget *owner, const QString &text, const QString &title, Icon icon,
                Buttons buttons) override;
};
