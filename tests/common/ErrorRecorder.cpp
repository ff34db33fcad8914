#include "ErrorRecorder.h"

using namespace Qt::Literals::StringLiterals;

namespace {
QString summaryOf(const ErrorReport &report)
{
    return u"%1/%2/%3"_s.arg(report.owner, report.procedure).arg(report.number);
}
} // namespace

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
        result.append(summaryOf(report));
    return result;
}

QStringList ErrorRecorder::take()
{
    QStringList result;
    for (qsizetype i = m_taken; i < reports.size(); ++i)
        result.append(summaryOf(reports.at(i)));
    m_taken = reports.size();
    return result;
}

QStringList ErrorRecorder::leftovers() const
{
    QStringList result;
    for (qsizetype i = m_taken; i < reports.size(); ++i)
        result.append(
            u"unexpected error report %1 \"%2\""_s.arg(summaryOf(reports.at(i)), reports.at(i).description));
    return result;
}
