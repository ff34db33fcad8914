#pragma once

#include <QString>

// The texts of an error report as its window shows them when the user submits it.
struct ErrorReportTexts
{
    QString version;
    QString form;
    QString function;
    QString number;
    QString description;
};

// The vendor's web site address that every address on the site starts with. Tests point it at a
// local server; an empty base restores the vendor's own.
QString webSiteBase();
void setWebSiteBase(const QString &base);

// The vendor's web site root, for the Help menu's "Software Home".
QString softwareHomeAddress();
// The mail link to the news-list subscription, without subject or body.
QString subscribeMailLink();
// The update check: the executable's name and its major, minor and build number.
QString updateCheckAddress();
// The comment page of the About box's "Contact Me".
QString commentPageAddress();
// The donation page for an amount as the About box shows it; its dollar signs are dropped.
QString donationAddress(const QString &amountText);
// A web search for an error description, its blanks written as "+".
QString webSearchAddress(const QString &description);
// The mail link that carries an error report to the vendor's error mailbox.
QString errorMailLink(const ErrorReportTexts &texts);
// The vendor's error submission page with the report in its query.
QString errorSubmissionAddress(const ErrorReportTexts &texts);

// Opens the address in a new browser window. When no browser takes it, the failure is reported
// as an error of "OpenURL" in "global" and the caller goes on.
void OpenURL(const QString &address);
