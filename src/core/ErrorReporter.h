#pragma once

#include "RunTimeError.h"

#include <QString>
#include <functional>

// One unexpected error as it reaches the reporter: who failed, where, and what.
struct ErrorReport
{
    QString owner;
    QString procedure;
    int number = 0;
    QString description;
};

// The central reporter of unexpected run-time errors. The program installs the error window as
// its handler at start; tests install a handler of their own to record reports.
class ErrorReporter
{
public:
    using Handler = std::function<void(const ErrorReport &)>;

    static void report(const ErrorReport &report);
    static void setHandler(Handler handler);
    static void resetHandler();
};

// Shows the report of an unexpected error and returns when the user has closed it.
void ReportError(const QString &owner, const QString &procedure, const RunTimeError &error);
