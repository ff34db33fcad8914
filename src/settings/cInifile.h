#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// A window whose position an INI file can save and restore, in twips (1/1440 inch).
class FormWindow
{
public:
    enum State
    {
        Normal = 0,
        Minimised = 1,
        Maximised = 2
    };
    virtual ~FormWindow() = default;
    virtual State windowState() const = 0;
    virtual void setWindowState(State state) = 0;
    virtual int left() const = 0;
    virtual int top() const = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void move(int left, int top, int width, int height) = 0;
};

// The screen a window is placed on, in twips.
struct ScreenMetrics
{
    int width = 0;
    int height = 0;
    int twipsPerPixelX = 15;
    int twipsPerPixelY = 15;
};

// A small INI file class: an instance remembers a file path, a section, a key and a default,
// and each operation works on what it remembers. Every read and write goes to the file at
// once; nothing is cached. Section and key names match without regard to letter case, the
// file keeps the order in which sections and keys were first written, values are trimmed and
// lose one pair of enclosing quotes on reading. Files are UTF-8 text.
class cInifile
{
public:
    int32_t LastReturnCode() const { return m_lastReturnCode; }
    bool Success() const { return m_lastReturnCode != 0; }

    QString Default() const { return m_default; }
    void setDefault(const QString &value) { m_default = value; }
    QString Path() const { return m_path; }
    void setPath(const QString &value) { m_path = value; }
    QString Key() const { return m_key; }
    void setKey(const QString &value) { m_key = value; }
    QString Section() const { return m_section; }
    void setSection(const QString &value) { m_section = value; }

    // The value of key in section, or the default when the file, section or key is missing.
    QString Value() const;
    // Stores a value (NUL characters removed) under key in section, creating what is missing.
    // A value with a line break, or a name no line could hold, is refused: LastReturnCode 0.
    void setValue(const QString &value);

    void DeleteKey();
    void DeleteSection();

    // The names of all keys of section, each followed by one NUL character.
    QString INISection() const;
    // Removes the whole section; the text is ignored.
    void setINISection(const QString &text);
    // The names of all sections of the file, each followed by one NUL character.
    QString Sections() const;

    void EnumerateCurrentSection(QStringList &keys, int &count) const;
    void EnumerateAllSections(QStringList &sections, int &count) const;

    void SaveFormPosition(const FormWindow &window);
    void LoadFormPosition(FormWindow &window, const ScreenMetrics &screen, int minWidth = 3000,
                          int minHeight = 3000);

    // The text as a 32-bit integer (fractions rounded half to even), or the default when the
    // text is no number or out of range.
    static int32_t CLngDefault(const QString &text, int32_t defaultValue);

private:
    QString m_path;
    QString m_key;
    QString m_section;
    QString m_default;
    int32_t m_lastReturnCode = 0;
};
