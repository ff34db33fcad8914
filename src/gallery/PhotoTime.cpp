#include "PhotoTime.h"

#include "ExifBlock.h"
#include "PhotoMetadata.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

QDateTime PhotoTime::read(QIODevice &file)
{
    const PhotoMetadata blocks = PhotoMetadata::read(file);
    if (blocks.exif.isEmpty())
        return {};
    const std::optional<ExifBlock::Fields> exif = ExifBlock::read(blocks.exif);
    return exif ? parsed(exif->dateTaken) : QDateTime();
}

QDateTime PhotoTime::ofFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return read(file);
}

QDateTime PhotoTime::parsed(QByteArrayView text)
{
    // Exactly 19 characters, digits where figures go; QDateTime checks the ranges.
    static constexpr char Pattern[] = "dddd:dd:dd dd:dd:dd";
    if (text.size() != qsizetype(sizeof(Pattern) - 1))
        return {};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (Pattern[i] == 'd' ? !digit : text[i] != Pattern[i])
            return {};
    }
    auto figures = [&](qsizetype at, qsizetype length) { return text.sliced(at, length).toInt(); };
    const QDate date(figures(0, 4), figures(5, 2), figures(8, 2));
    const QTime time(figures(11, 2), figures(14, 2), figures(17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QDateTime PhotoTime::sortKey(const QString &path)
{
    const QDateTime taken = ofFile(path);
    if (taken.isValid())
        return taken;
    const QDateTime modified = QFileInfo(path).lastModified().toLocalTime();
    if (!modified.isValid())
        return {};
    return QDateTime(modified.date(), modified.time(), Qt::UTC);
}

QString PhotoTime::shown(const QDateTime &taken)
{
    return QLocale(QLocale::English, QLocale::UnitedKingdom).toString(taken, u"d MMMM yyyy, HH:mm"_s);
}

QString PhotoTime::machineReadable(const QDateTime &taken)
{
    return taken.toString(u"yyyy-MM-ddTHH:mm:ss"_s);
}
