#include "RunTimeError.h"

#include <cerrno>

using namespace Qt::Literals::StringLiterals;

RunTimeError::RunTimeError(int number, const QString &description)
    : m_number(number), m_description(description.isEmpty() ? standardDescription(number) : description),
      m_what(m_description.toUtf8())
{}

const char *RunTimeError::what() const noexcept
{
    return m_what.constData();
}

QString RunTimeError::standardDescription(int number)
{
    switch (number) {
    case InvalidArgument:
        return u"Invalid procedure call or argument"_s;
    case Overflow:
        return u"Overflow"_s;
    case OutOfMemory:
        return u"Out of memory"_s;
    case DivisionByZero:
        return u"Division by zero"_s;
    case TypeMismatch:
        return u"Type mismatch"_s;
    case InternalError:
        return u"Internal error"_s;
    case FileNotFound:
        return u"File not found"_s;
    case PermissionDenied:
        return u"Permission denied"_s;
    case PathFileAccessError:
        return u"Path/File access error"_s;
    case PathNotFound:
        return u"Path not found"_s;
    case CannotCreateComponent:
        return u"ActiveX component can't create object"_s;
    default:
        return u"Application-defined or object-defined error"_s;
    }
}

RunTimeError RunTimeError::fromErrno(int errnoValue, const QString &path)
{
    const QString suffix = u": "_s + path;
    switch (errnoValue) {
    case ENOENT:
        return RunTimeError(FileNotFound, standardDescription(FileNotFound) + suffix);
    case ENOTDIR:
        return RunTimeError(PathNotFound, standardDescription(PathNotFound) + suffix);
    case EACCES:
    case EPERM:
    case EROFS:
        return RunTimeError(PermissionDenied, standardDescription(PermissionDenied) + suffix);
    default:
        return RunTimeError(PathFileAccessError, standardDescription(PathFileAccessError) + suffix);
    }
}
