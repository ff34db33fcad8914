#include "ErrorReporter.h"

#include <QtGlobal>

namespace {
ErrorReporter::Handler &installed()
{
    static ErrorReporter::Handler current;
    return current;
}
} // namespace

void ErrorReporter::report(const ErrorReport &report)
{
    if (installed()) {
        installed()(report);
        return;
    }
    // Nothing to show it in: at least it is not lost.
    qCritical("Error %d in %s.%s: %s", report.number, qUtf8Printable(report.owner),
              qUtf8Printable(report.procedure), qUtf8Printable(report.description));
}

void ErrorReporter::setHandler(Handler handler)
{
    installed() = std::move(handler);
}

void ErrorReporter::resetHandler()
{
    installed() = nullptr;
}

void ReportError(const QString &owner, const QString &procedure, const RunTimeError &error)
{
    ErrorReporter::report({owner, procedure, error.number(), error.description()});
}
