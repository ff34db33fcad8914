#pragma once

#include "ErrorReporter.h"

#include <new>
#include <utility>

// The error handler every procedure of the program has: runs the body, and on an unexpected
// error hands owner, procedure and error to the central reporter, then lets the caller go on.
// Returns true when the body ran to its end.
template <typename Body> bool guarded(const QString &owner, const QString &procedure, Body &&body)
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const RunTimeError &error) {
        ReportError(owner, procedure, error);
    } catch (const std::bad_alloc &) {
        ReportError(owner, procedure, RunTimeError(RunTimeError::OutOfMemory));
    } catch (const std::exception &error) {
        ReportError(owner, procedure,
                    RunTimeError(RunTimeError::InternalError, QString::fromLocal8Bit(error.what())));
    }
    return false;
}
