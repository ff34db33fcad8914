#pragma once

#include <QString>

// Opens web pages in the user's browser and mail links in the user's mail program. Tests
// install a recording double.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // Returns false when no browser took the address.
    virtual bool openUrl(const QString &address) = 0;
    // A mail link that no mail program takes is dropped silently.
    virtual void openMail(const QString &mailtoLink) = 0;

    // The opener the application installed at start; tests install doubles.
    static UrlOpener &instance();
    static void setInstance(UrlOpener *opener);
};
