#include "ErrorRecorder.h"

using namespace Qt::Literals::StringLiterals;

ErrorRecorder::ErrorRecorder()
{
    ErrorReporter::setHandler([this](const ErrorReport &report) { reports.append(report); });
}

ErrorRecorder::~ErrorRecorder()
{
    ErrorReporter::resetHandler();
}

QStringList ErrorRecorder::summary() const
{
    QStringList result;
    for (const ErrorReport &report : reports)
        result.append(u"%1/%2/%3"_s.arg(report.owner, report.procedure).arg(report.number));
    return result;
}
