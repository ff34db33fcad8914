#include "ErrorReporter.h"

#include "frmError.h"

namespace {
ErrorReporter::Handler &handler()
{
    static ErrorReporter::Handler current;
    return current;
}
} // namespace

void ErrorReporter::report(const ErrorReport &report)
{
    if (handler()) {
        handler()(report);
        return;
    }
    frmError::showReport(report);
}

void ErrorReporter::setHandler(Handler newHandler)
{
    handler() = std::move(newHandler);
}

void ErrorReporter::resetHandler()
{
    handler() = nullptr;
}

void ReportError(const QString &owner, const QString &procedure, const RunTimeError &error)
{
    ErrorReporter::report({owner, procedure, error.number(), error.description()});
}
