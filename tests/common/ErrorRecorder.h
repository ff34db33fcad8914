#pragma once

#include "ErrorReporter.h"

#include <QList>
#include <QStringList>

// Replaces the error window for a test: every report is recorded instead of shown. Strict: a
// report is expected only once the test took it with take(), and a test's cleanup() fails on
// leftovers(), the reports nobody took.
class ErrorRecorder
{
public:
    ErrorRecorder();
    ~ErrorRecorder();

    // Every report, taken or not.
    QList<ErrorReport> reports;
    // "owner/procedure/number" of every report, for compact comparisons.
    QStringList summary() const;
    // The same for the reports since the last take(); the test has seen them.
    QStringList take();
    // One line for each report nobody took; empty when there is none.
    QStringList leftovers() const;

private:
    qsizetype m_taken = 0;
};
