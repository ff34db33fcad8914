#pragma once

#include <QString>
#include <exception>

// A run-time error as the error reporter shows it: a numbered error with a description.
// The numbers follow the classic BASIC run-time error table so that reports read the same
// as those users already know (5 invalid argument, 53 file not found, 429 component missing...).
class RunTimeError : public std::exception
{
public:
    enum Number : int
    {
        InvalidArgument = 5,
        Overflow = 6,
        OutOfMemory = 7,
        DivisionByZero = 11,
        TypeMismatch = 13,
        InternalError = 51,
        FileNotFound = 53,
        PermissionDenied = 70,
        PathFileAccessError = 75,
        PathNotFound = 76,
        FakeError = 400,
        CannotCreateComponent = 429,
    };

    explicit RunTimeError(int number, const QString &description = QString());

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override;

    // The standard description of an error number, used when a raise gives none.
    static QString standardDescription(int number);
    // Maps an errno value of a failed file operation to the matching run-time error.
    static RunTimeError fromErrno(int errnoValue, const QString &path);

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};
