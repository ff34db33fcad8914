#include "TemporaryName.h"

#include <QCoreApplication>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

QString TemporaryName::of(quint64 n)
{
    return u".pexa-%1-%2.part"_s.arg(QCoreApplication::applicationPid()).arg(n);
}

std::optional<qint64> TemporaryName::writer(const QString &name)
{
    static const QRegularExpression pattern(u"^\\.pexa-(\\d+)-\\d+\\.part$"_s);
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}
