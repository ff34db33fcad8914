#pragma once

#include "ErrorReporter.h"

#include <QList>

// Replaces the error window for a test: every report is recorded instead of shown.
class ErrorRecorder
{
public:
    ErrorRecorder();
    ~ErrorRecorder();

    QList<ErrorReport> reports;
    // "owner/procedure/number" of every report, for compact comparisons.
    QStringList summary() const;
};
