#include "WindowTestEnvironment.h"

#include "Settings.h"

using namespace Qt::Literals::StringLiterals;

WindowTestEnvironment::WindowTestEnvironment()
{
    SettingsLocation::setFolderOverride(settings.path());
}

WindowTestEnvironment::~WindowTestEnvironment()
{
    SettingsLocation::setFolderOverride(QString());
}

QStringList WindowTestEnvironment::leftovers() const
{
    QStringList result = boxes.leftovers() + errors.leftovers();
    if (picker.pendingAnswers() > 0)
        result.append(u"%1 queued folder answer(s) never used"_s.arg(picker.pendingAnswers()));
    return result;
}
