#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// A broken property aborts, so that libFuzzer keeps the input as a crash and the run fails.
[[noreturn]] inline void fuzzFailed(const char *what, const char *file, int line, const QString &detail)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? void(0) : fuzzFailed(#condition, __FILE__, __LINE__, QString()))
#define FUZZ_CHECK_DETAIL(condition, detail)                                                                 \
    ((condition) ? void(0) : fuzzFailed(#condition, __FILE__, __LINE__, (detail)))

// Texts shown in a failure: every character as its code, so that blanks and controls show.
inline QString codes(const QString &text)
{
    QString result;
    for (const QChar c : text)
        result += QString::number(c.unicode(), 16) + u' ';
    return result;
}

// A folder of this process for the files a fuzzer writes; removed when the process ends normally.
inline QString fuzzFolder()
{
    static QTemporaryDir folder;
    if (!folder.isValid())
        fuzzFailed("QTemporaryDir", __FILE__, __LINE__, folder.errorString());
    return folder.path();
}

inline void writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzzFailed("write", __FILE__, __LINE__, path + QStringLiteral(": ") + file.errorString());
}

inline QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fuzzFailed("read", __FILE__, __LINE__, path + QStringLiteral(": ") + file.errorString());
    return file.readAll();
}
