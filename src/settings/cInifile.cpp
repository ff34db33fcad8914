#include "cInifile.h"

#include "NumberText.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace {

// The file as lines of raw bytes, so that lines this class does not touch are written back
// byte for byte, whatever their encoding or layout.
struct IniText
{
    bool exists = false;
    QByteArray byteOrderMark;
    QByteArray lineEnd = "\n";
    QList<QByteArray> lines;
};

enum class LineKind
{
    Other,
    Header,
    Key
};

struct IniLine
{
    LineKind kind = LineKind::Other;
    QString name;
    QString value;
};

const QByteArray utf8Bom = "\xEF\xBB\xBF";

// Files are UTF-8; a line that is not (a file carried over from an 8-bit system) is read as
// Latin-1 rather than turned into replacement characters.
QString decodeLine(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

IniLine parseLine(const QByteArray &bytes)
{
    IniLine line;
    const QString text = decodeLine(bytes).trimmed();
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        line.kind = LineKind::Header;
        line.name = text.mid(1, close < 0 ? -1 : close - 1).trimmed();
        return line;
    }
    if (text.startsWith(u';'))
        return line;
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0)
        return line;
    line.kind = LineKind::Key;
    line.name = text.left(equals).trimmed();
    line.value = text.mid(equals + 1).trimmed();
    return line;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Reads the file; false only when it exists but cannot be read, so that a write never
// replaces a file it could not see.
bool loadIni(const QString &path, IniText &ini)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    ini.exists = true;
    if (content.startsWith(utf8Bom)) {
        ini.byteOrderMark = utf8Bom;
        content.remove(0, utf8Bom.size());
    }
    const qsizetype firstBreak = content.indexOf('\n');
    if (firstBreak > 0 && content.at(firstBreak - 1) == '\r')
        ini.lineEnd = "\r\n";
    ini.lines = content.split('\n');
    if (!ini.lines.isEmpty() && ini.lines.constLast().isEmpty())
        ini.lines.removeLast();
    for (QByteArray &line : ini.lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return true;
}

// Replaces the file through a temporary file in the same folder, so that a crash or a full
// disk leaves either the old file or the new one, never a half-written one. The temporary
// file takes the permissions of the file it replaces.
bool replaceIni(const QString &path, const IniText &ini)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray content = ini.byteOrderMark;
    for (const QByteArray &line : ini.lines)
        content += line + ini.lineEnd;
    // The last bytes reach the disk only at the flush, and a full disk shows only there; a
    // commit after that would put an empty file in place of the old one.
    if (file.write(content) != content.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A new file may come to hold a password, so it is made, empty, for its owner alone before
// anything is written; a failed write removes it again.
bool saveIni(const QString &path, const IniText &ini)
{
    QFile created(path);
    const bool isNew = !ini.exists && created.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                                                   QFile::ReadOwner | QFile::WriteOwner);
    created.close();
    const bool saved = replaceIni(path, ini);
    if (!saved && isNew)
        QFile::remove(path);
    return saved;
}

// Index of the header line of the first section of that name, or -1.
qsizetype findSection(const IniText &ini, const QString &section)
{
    for (qsizetype i = 0; i < ini.lines.size(); ++i) {
        const IniLine line = parseLine(ini.lines.at(i));
        if (line.kind == LineKind::Header && sameName(line.name, section))
            return i;
    }
    return -1;
}

// Index of the line after the last line of the section whose header is at headerIndex.
qsizetype sectionEnd(const IniText &ini, qsizetype headerIndex)
{
    qsizetype i = headerIndex + 1;
    while (i < ini.lines.size() && parseLine(ini.lines.at(i)).kind != LineKind::Header)
        ++i;
    return i;
}

QString unquoted(const QString &value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// Names that a line of the file could not hold, or that would read back as something else.
bool validSectionName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u']') && !name.contains(u'\n') && !name.contains(u'\r') &&
           !name.contains(QChar(0));
}

// Each line is read with a byte order mark at its start dropped, so no key can begin with one.
bool validKeyName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'=') && !name.contains(u'\n') && !name.contains(u'\r') &&
           !name.contains(QChar(0)) && !name.startsWith(u'[') && !name.startsWith(u';') &&
           !name.startsWith(QChar(0xFEFF));
}

std::optional<QString> readValue(const QString &path, const QString &section, const QString &key)
{
    IniText ini;
    if (!loadIni(path, ini))
        return std::nullopt;
    const qsizetype header = findSection(ini, section.trimmed());
    if (header < 0)
        return std::nullopt;
    const qsizetype end = sectionEnd(ini, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const IniLine line = parseLine(ini.lines.at(i));
        if (line.kind == LineKind::Key && sameName(line.name, key.trimmed()))
            return unquoted(line.value);
    }
    return std::nullopt;
}

void appendName(QStringList &names, const QString &name)
{
    for (const QString &known : std::as_const(names)) {
        if (sameName(known, name))
            return;
    }
    names.append(name);
}

QStringList keyNames(const QString &path, const QString &section)
{
    IniText ini;
    QStringList names;
    if (!loadIni(path, ini))
        return names;
    const qsizetype header = findSection(ini, section.trimmed());
    if (header < 0)
        return names;
    const qsizetype end = sectionEnd(ini, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const IniLine line = parseLine(ini.lines.at(i));
        if (line.kind == LineKind::Key)
            appendName(names, line.name);
    }
    return names;
}

QStringList sectionNames(const QString &path)
{
    IniText ini;
    QStringList names;
    if (!loadIni(path, ini))
        return names;
    for (const QByteArray &bytes : std::as_const(ini.lines)) {
        const IniLine line = parseLine(bytes);
        if (line.kind == LineKind::Header)
            appendName(names, line.name);
    }
    return names;
}

QString joinedWithNuls(const QStringList &names)
{
    QString result;
    for (const QString &name : names)
        result += name + QChar(0);
    return result;
}

QByteArray keyLine(const QString &key, const QString &value)
{
    return (key + u'=' + value).toUtf8();
}

void removeSection(IniText &ini, const QString &section)
{
    for (qsizetype header = findSection(ini, section); header >= 0; header = findSection(ini, section))
        ini.lines.remove(header, sectionEnd(ini, header) - header);
}

void removeKey(IniText &ini, const QString &section, const QString &key)
{
    const qsizetype header = findSection(ini, section);
    if (header < 0)
        return;
    qsizetype end = sectionEnd(ini, header);
    for (qsizetype i = header + 1; i < end;) {
        const IniLine line = parseLine(ini.lines.at(i));
        if (line.kind == LineKind::Key && sameName(line.name, key)) {
            ini.lines.removeAt(i);
            --end;
        } else {
            ++i;
        }
    }
}

void storeKey(IniText &ini, const QString &section, const QString &key, const QString &value)
{
    const qsizetype header = findSection(ini, section);
    if (header < 0) {
        ini.lines.append(u"[%1]"_s.arg(section).toUtf8());
        ini.lines.append(keyLine(key, value));
        return;
    }
    const qsizetype end = sectionEnd(ini, header);
    qsizetype insertAt = header + 1;
    for (qsizetype i = header + 1; i < end; ++i) {
        const IniLine line = parseLine(ini.lines.at(i));
        if (line.kind != LineKind::Key)
            continue;
        if (sameName(line.name, key)) {
            ini.lines[i] = keyLine(line.name, value);
            return;
        }
        insertAt = i + 1;
    }
    ini.lines.insert(insertAt, keyLine(key, value));
}

// The profile write: with a value, stores it; without one, deletes the key; without a key,
// deletes the whole section. True on success.
bool writeProfile(const QString &path, const QString &rawSection, const std::optional<QString> &rawKey,
                  const std::optional<QString> &value)
{
    const QString section = rawSection.trimmed();
    if (!validSectionName(section))
        return false;
    const std::optional<QString> key = rawKey ? std::optional(rawKey->trimmed()) : std::nullopt;
    if (key && !validKeyName(*key))
        return false;
    // A line break would end the value early and let the rest pass for lines of its own.
    if (value && (value->contains(u'\n') || value->contains(u'\r')))
        return false;
    IniText ini;
    if (!loadIni(path, ini))
        return false;
    const QList<QByteArray> before = ini.lines;
    if (!key)
        removeSection(ini, section);
    else if (!value)
        removeKey(ini, section, *key);
    else
        storeKey(ini, section, *key, *value);
    if (ini.lines == before && (ini.exists || !value))
        return true;
    return saveIni(path, ini);
}

// Window arithmetic in 32 bits, as the stored numbers are; a result beyond them is an error.
int32_t checked(qint64 value)
{
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw std::overflow_error("window position out of range");
    return static_cast<int32_t>(value);
}

} // namespace

QString cInifile::Value() const
{
    return readValue(m_path, m_section, m_key).value_or(m_default);
}

void cInifile::setValue(const QString &value)
{
    QString text = value;
    text.remove(QChar(0));
    m_lastReturnCode = writeProfile(m_path, m_section, m_key, text) ? 1 : 0;
}

void cInifile::DeleteKey()
{
    m_lastReturnCode = writeProfile(m_path, m_section, m_key, std::nullopt) ? 1 : 0;
}

void cInifile::DeleteSection()
{
    m_lastReturnCode = writeProfile(m_path, m_section, std::nullopt, std::nullopt) ? 1 : 0;
}

QString cInifile::INISection() const
{
    return joinedWithNuls(keyNames(m_path, m_section));
}

void cInifile::setINISection(const QString &text)
{
    Q_UNUSED(text);
    DeleteSection();
}

QString cInifile::Sections() const
{
    return joinedWithNuls(sectionNames(m_path));
}

void cInifile::EnumerateCurrentSection(QStringList &keys, int &count) const
{
    keys.clear();
    count = 0;
    const QString list = INISection();
    qsizetype position = 0;
    for (qsizetype nul = list.indexOf(QChar(0)); nul >= 0; nul = list.indexOf(QChar(0), position)) {
        keys.append(list.mid(position, nul - position));
        ++count;
        position = nul + 1;
    }
}

void cInifile::EnumerateAllSections(QStringList &sections, int &count) const
{
    sections.clear();
    count = 0;
    const QString list = Sections();
    qsizetype position = 0;
    for (qsizetype nul = list.indexOf(QChar(0)); nul >= 0; nul = list.indexOf(QChar(0), position)) {
        if (nul > position) {
            sections.append(list.mid(position, nul - position));
            ++count;
        }
        position = nul + 1;
    }
}

void cInifile::SaveFormPosition(const FormWindow &window)
{
    const QString savedKey = m_key;
    try {
        const FormWindow::State state = window.windowState();
        // One failed write fails the whole save, even when later ones succeed.
        bool allWritten = true;
        const auto write = [this, &allWritten](const QString &key, const QString &value) {
            m_key = key;
            setValue(value);
            allWritten = allWritten && Success();
        };
        if (state != FormWindow::Minimised)
            write(u"Maximised"_s, state == FormWindow::Maximised ? u"1"_s : u"0"_s);
        if (state == FormWindow::Normal) {
            write(u"Left"_s, QString::number(window.left()));
            write(u"Top"_s, QString::number(window.top()));
            write(u"Width"_s, QString::number(window.width()));
            write(u"Height"_s, QString::number(window.height()));
        }
        if (!allWritten)
            m_lastReturnCode = 0;
        m_key = savedKey;
    } catch (const std::exception &) {
        m_key = savedKey;
        m_lastReturnCode = 0;
    }
}

void cInifile::LoadFormPosition(FormWindow &window, const ScreenMetrics &screen, int minWidth, int minHeight)
{
    const QString savedKey = m_key;
    const QString savedDefault = m_default;
    try {
        m_default = u"FAIL"_s;
        const auto stored = [this](const QString &key, int32_t current) -> qint64 {
            m_key = key;
            return CLngDefault(Value(), current);
        };
        qint64 left = stored(u"Left"_s, window.left());
        qint64 top = stored(u"Top"_s, window.top());
        qint64 width = stored(u"Width"_s, window.width());
        qint64 height = stored(u"Height"_s, window.height());
        width = std::max<qint64>(width, minWidth);
        height = std::max<qint64>(height, minHeight);
        const qint64 mx = checked(4LL * screen.twipsPerPixelX);
        const qint64 my = checked(4LL * screen.twipsPerPixelY);
        left = std::max(left, mx);
        top = std::max(top, my);
        const qint64 rightLimit = checked(screen.width - mx);
        if (checked(left + width) > rightLimit) {
            left = std::max<qint64>(checked(rightLimit - width), mx);
            if (checked(left + width) > rightLimit)
                width = checked(screen.width - left - mx);
        }
        const qint64 bottomLimit = checked(screen.height - my);
        if (checked(top + height) > bottomLimit) {
            top = std::max<qint64>(checked(bottomLimit - height), my);
            if (checked(top + height) > bottomLimit)
                height = checked(screen.height - top - my);
        }
        if (width >= minWidth && height >= minHeight)
            window.move(checked(left), checked(top), checked(width), checked(height));
        m_key = u"Maximised"_s;
        if (CLngDefault(Value(), 0) != 0)
            window.setWindowState(FormWindow::Maximised);
        m_key = savedKey;
        m_default = savedDefault;
    } catch (const std::exception &) {
        m_key = savedKey;
        m_default = savedDefault;
        m_lastReturnCode = 0;
    }
}

int32_t cInifile::CLngDefault(const QString &text, int32_t defaultValue)
{
    return NumberText::roundedInteger(text).value_or(defaultValue);
}
