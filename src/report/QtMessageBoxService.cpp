#include "QtMessageBoxService.h"

#include "AppInfo.h"

#include <QMessageBox>

MessageBoxService::Answer QtMessageBoxService::show(QWidget *owner, const QString &text, const QString &title,
                                                    Icon icon, Buttons buttons)
{
    QMessageBox box(owner);
    box.setText(text);
    box.setWindowTitle(title.isEmpty() ? AppInfo::applicationTitle() : title);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    if (buttons != Buttons::Ok) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(buttons == Buttons::YesNoDefaultNo ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}
