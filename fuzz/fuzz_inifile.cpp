// The settings file is text anyone can edit, copy from another system or truncate. Reads must
// cope with any bytes; a write must store what it was given, or refuse it for the documented
// reasons, and leave every other line of the file as it was.
#include "FuzzSupport.h"
#include "cInifile.h"

#include <QDir>
#include <QList>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace {

// No value read from the file can hold a line feed, so this default shows a missing key.
const QString missing = QStringLiteral("\n<missing>");

// At most this many sections and keys are compared around a write, to keep inputs fast.
constexpr qsizetype CheckedNames = 12;

QString text(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

cInifile fileAt(const QString &path, const QString &section = QString(), const QString &key = QString())
{
    cInifile ini;
    ini.setPath(path);
    ini.setSection(section);
    ini.setKey(key);
    ini.setDefault(missing);
    return ini;
}

QStringList sections(const QString &path)
{
    QStringList names;
    int count = -1;
    fileAt(path).EnumerateAllSections(names, count);
    FUZZ_CHECK(count == names.size());
    return names;
}

QStringList keys(const QString &path, const QString &section)
{
    QStringList names;
    int count = -1;
    fileAt(path, section).EnumerateCurrentSection(names, count);
    FUZZ_CHECK(count == names.size());
    return names;
}

QString value(const QString &path, const QString &section, const QString &key)
{
    return fileAt(path, section, key).Value();
}

// The lines of the file as the class sees them: split at LF, without the CRs that end them (a
// write ends every line as the first line ends, and reading trims them anyway). A leading BOM is
// dropped from every line, since the decoder skips it wherever a line starts with one.
struct Lines
{
    bool bom = false;
    QList<QByteArray> lines;
};

Lines linesOf(QByteArray content)
{
    static const QByteArray bom = QByteArrayLiteral("\xEF\xBB\xBF");
    Lines result;
    result.bom = content.startsWith(bom);
    if (result.bom)
        content.remove(0, bom.size());
    result.lines = content.split('\n');
    if (!result.lines.isEmpty() && result.lines.constLast().isEmpty())
        result.lines.removeLast();
    for (QByteArray &line : result.lines) {
        if (line.startsWith(bom))
            line.remove(0, bom.size());
        while (line.endsWith('\r'))
            line.chop(1);
    }
    return result;
}

// A write changes one line, inserts one, removes some or appends a header and a key line.
bool othersKept(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    if (after.size() == before.size()) {
        qsizetype changed = 0;
        for (qsizetype i = 0; i < before.size(); ++i)
            changed += before.at(i) != after.at(i);
        return changed <= 1;
    }
    if (after.size() == before.size() + 1) {
        for (qsizetype i = 0; i < after.size(); ++i) {
            QList<QByteArray> without = after;
            without.removeAt(i);
            if (without == before)
                return true;
        }
        return false;
    }
    if (after.size() == before.size() + 2)
        return after.first(before.size()) == before;
    return false;
}

// A key deletion removes lines and touches no other.
bool onlyRemoved(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    qsizetype kept = 0;
    for (qsizetype i = 0; i < before.size() && kept < after.size(); ++i)
        kept += before.at(i) == after.at(kept);
    return kept == after.size();
}

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

bool containsName(const QStringList &names, const QString &name)
{
    for (const QString &known : names) {
        if (sameName(known, name))
            return true;
    }
    return false;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\n') || s.contains(u'\r');
}

// The reasons the class gives for refusing a write: a line break in the value, or a name that
// a line could not hold or that would read back as something else.
bool refusable(const QString &section, const std::optional<QString> &key, const std::optional<QString> &value)
{
    const QString s = section.trimmed();
    if (s.isEmpty() || s.contains(u']') || hasLineBreak(s) || s.contains(QChar(0)))
        return true;
    if (key) {
        const QString k = key->trimmed();
        if (k.isEmpty() || k.contains(u'=') || hasLineBreak(k) || k.contains(QChar(0)) ||
            k.startsWith(u'[') || k.startsWith(u';') || k.startsWith(QChar(0xFEFF)))
            return true;
    }
    return value && hasLineBreak(*value);
}

// What reading gives back for a stored value: trimmed, one pair of enclosing quotes dropped.
QString asRead(QString stored)
{
    stored.remove(QChar(0));
    stored = stored.trimmed();
    if (stored.size() >= 2 && (stored.front() == u'"' || stored.front() == u'\'') &&
        stored.back() == stored.front())
        return stored.mid(1, stored.size() - 2);
    return stored;
}

using Pairs = QList<std::pair<std::pair<QString, QString>, QString>>;

// The values of the first sections and keys as the listings name them.
Pairs valuesOf(const QString &path, const QStringList &sectionNames)
{
    Pairs pairs;
    for (const QString &section : sectionNames.first(std::min(sectionNames.size(), CheckedNames))) {
        const QStringList keyNames = keys(path, section);
        for (const QString &key : keyNames.first(std::min(keyNames.size(), CheckedNames)))
            pairs.append({{section, key}, value(path, section, key)});
    }
    return pairs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    const uint8_t pickSection = input.ConsumeIntegral<uint8_t>();
    const uint8_t pickKey = input.ConsumeIntegral<uint8_t>();
    QString section = text(input.ConsumeRandomLengthString(64));
    QString key = text(input.ConsumeRandomLengthString(64));
    const QString newValue = text(input.ConsumeRandomLengthString(256));
    const std::string rest = input.ConsumeRemainingBytesAsString();
    // Without a file the reads find nothing and a write creates it.
    const bool fileExists = (mode & 1) == 0;
    const QByteArray content =
        fileExists ? QByteArray(rest.data(), static_cast<qsizetype>(rest.size())) : QByteArray();

    static const QString path = QDir(fuzzFolder()).filePath(QStringLiteral("settings.ini"));
    if (fileExists)
        writeWholeFile(path, content);
    else
        QFile::remove(path);

    // Reading: every listed section and key is found again, and nothing is written.
    const QStringList sectionsBefore = sections(path);
    const QString sectionText = fileAt(path).Sections();
    const bool nulInNames = content.contains('\0');
    if ((mode & 2) && !sectionsBefore.isEmpty())
        section = sectionsBefore.at(pickSection % sectionsBefore.size());
    const QStringList keysBefore = keys(path, section);
    const QString keyText = fileAt(path, section).INISection();
    if ((mode & 4) && !keysBefore.isEmpty())
        key = keysBefore.at(pickKey % keysBefore.size());
    const Pairs pairsBefore = valuesOf(path, sectionsBefore);
    if (!nulInNames) {
        for (const auto &[name, stored] : pairsBefore)
            FUZZ_CHECK_DETAIL(stored != missing, codes(name.first) + u'/' + codes(name.second));
    }
    if (fileExists)
        FUZZ_CHECK(readWholeFile(path) == content);
    else
        FUZZ_CHECK(!QFile::exists(path));

    // Writing: a value, a key deletion or a section deletion.
    const int operation = (mode >> 3) % 4;
    const bool deleteKey = operation == 2;
    const bool deleteSection = operation == 3;
    cInifile writer = fileAt(path, section, key);
    std::optional<QString> keyWritten = key;
    std::optional<QString> valueWritten;
    if (deleteSection) {
        keyWritten.reset();
        writer.DeleteSection();
    } else if (deleteKey) {
        writer.DeleteKey();
    } else {
        valueWritten = newValue;
        valueWritten->remove(QChar(0));
        writer.setValue(newValue);
    }
    const bool refused = !writer.Success();
    FUZZ_CHECK_DETAIL(refused == refusable(section, keyWritten, valueWritten),
                      QStringLiteral("refused %1 section %2 key %3 value %4")
                          .arg(refused)
                          .arg(codes(section), codes(key), codes(newValue)));

    const QByteArray contentAfter = QFile::exists(path) ? readWholeFile(path) : QByteArray();
    if (refused) {
        FUZZ_CHECK(contentAfter == content);
        FUZZ_CHECK(QFile::exists(path) == fileExists);
        return 0;
    }
    const Lines linesBefore = linesOf(content);
    const Lines linesAfter = linesOf(contentAfter);
    // The file's BOM stays. (A later line may start with one too and come first after a deletion.)
    if (!contentAfter.isEmpty() && linesBefore.bom)
        FUZZ_CHECK(linesAfter.bom);
    if (valueWritten)
        FUZZ_CHECK(othersKept(linesBefore.lines, linesAfter.lines));
    else
        FUZZ_CHECK(onlyRemoved(linesBefore.lines, linesAfter.lines));

    // The written value reads back; a deleted key or section is gone.
    const QString written = value(path, section, key);
    if (valueWritten)
        FUZZ_CHECK_DETAIL(written == asRead(*valueWritten),
                          codes(written) + QStringLiteral("against ") + codes(*valueWritten));
    else
        FUZZ_CHECK(written == missing);

    // The listings change only by the name written or deleted. They end every name with a NUL,
    // so a name holding one cannot be listed faithfully: such files are left out here.
    if (!nulInNames) {
        const QString sectionTextAfter = fileAt(path).Sections();
        if (valueWritten) {
            const bool newSection = !containsName(sectionsBefore, section);
            FUZZ_CHECK(sectionTextAfter ==
                       sectionText + (newSection ? section.trimmed() + QChar(0) : QString()));
            const bool newKey = !containsName(keysBefore, key);
            FUZZ_CHECK(fileAt(path, section).INISection() ==
                       keyText + (newKey ? key.trimmed() + QChar(0) : QString()));
        } else if (deleteKey) {
            FUZZ_CHECK(sectionTextAfter == sectionText);
            FUZZ_CHECK(!containsName(keys(path, section), key));
        } else {
            FUZZ_CHECK(!containsName(sections(path), section));
        }
    }

    // Every other value is as it was.
    for (const auto &[name, stored] : pairsBefore) {
        if (sameName(name.first, section) && (deleteSection || sameName(name.second, key)))
            continue;
        FUZZ_CHECK_DETAIL(value(path, name.first, name.second) == stored,
                          codes(name.first) + u'/' + codes(name.second));
    }
    return 0;
}
