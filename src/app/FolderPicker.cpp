#include "FolderPicker.h"

#include "ErrorGuard.h"
#include "QtFolderPicker.h"

using namespace Qt::Literals::StringLiterals;

namespace {
FolderPicker *s_replacement = nullptr;
}

FolderPicker &FolderPicker::instance()
{
    static QtFolderPicker real;
    return s_replacement ? *s_replacement : real;
}

void FolderPicker::setInstance(FolderPicker *picker)
{
    s_replacement = picker;
}

QString Browse(QWidget *owner, const QString &title)
{
    QString chosen;
    guarded(u"global"_s, u"Browse"_s, [&] {
        chosen = FolderPicker::instance().pickFolder(owner, title.isEmpty() ? u"Select a folder"_s : title);
    });
    return chosen;
}
