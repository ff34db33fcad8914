#include "WebLinks.h"

#include "AppInfo.h"
#include "ErrorGuard.h"
#include "UrlOpener.h"
#include "VendorAddresses.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString &siteBase()
{
    static QString base = QString::fromUtf16(VendorAddresses::WebSite);
    return base;
}

// Values go into addresses as they are, blanks, quotes and apostrophes included. Only the
// characters that would end the value or change its meaning are escaped: a "#" in a file name
// would cut the rest of the report off as a fragment, an "&" would start a new field, and a
// "%" would be read as an escape. In a query for a web page "+" reads as a blank, so it is
// escaped there too.
QString keepDelimiters(const QString &value, bool plusIsBlank)
{
    QString result;
    result.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'%')
            result += u"%25"_s;
        else if (c == u'&')
            result += u"%26"_s;
        else if (c == u'#')
            result += u"%23"_s;
        else if (plusIsBlank && c == u'+')
            result += u"%2B"_s;
        else
            result += c;
    }
    return result;
}

QString pageValue(const QString &value)
{
    return keepDelimiters(value, true);
}

QString mailValue(const QString &value)
{
    return keepDelimiters(value, false);
}

} // namespace

QString webSiteBase()
{
    return siteBase();
}

void setWebSiteBase(const QString &base)
{
    siteBase() = base.isEmpty() ? QString::fromUtf16(VendorAddresses::WebSite) : base;
}

QString softwareHomeAddress()
{
    return webSiteBase() + u"/"_s;
}

QString subscribeMailLink()
{
    return u"mailto:"_s + QString::fromUtf16(VendorAddresses::NewsSubscription);
}

QString updateCheckAddress()
{
    return webSiteBase() + u"/update.php?sw="_s + AppInfo::executableName() + u"&major="_s +
           QString::number(AppInfo::major()) + u"&minor="_s + QString::number(AppInfo::minor()) +
           u"&build="_s + QString::number(AppInfo::revision());
}

QString commentPageAddress()
{
    return webSiteBase() + u"/comments.php?submitted="_s + AppInfo::executableName();
}

QString donationAddress(const QString &amountText)
{
    QString amount = amountText;
    amount.remove(u'$');
    return QString::fromUtf16(VendorAddresses::DonationService) + u"/xclick/business="_s +
           QString::fromUtf16(VendorAddresses::DonationAccount) + u"&item_name="_s +
           AppInfo::applicationTitle() + u" v"_s + QString::number(AppInfo::major()) + u"."_s +
           QString::number(AppInfo::minor()) + u" build "_s + QString::number(AppInfo::revision()) +
           u"&amount="_s + pageValue(amount) +
           u"&no_shipping=1&shipping=0&no_note=1&tax=0&currency_code=USD&lc=US"_s;
}

QString webSearchAddress(const QString &description)
{
    QString terms = pageValue(description);
    terms.replace(u' ', u'+');
    return QString::fromUtf16(VendorAddresses::WebSearch) + u"/search?hl=en&q="_s +
           QString::fromUtf16(VendorAddresses::WebSearchTerm) + u"+"_s + terms;
}

QString errorMailLink(const ErrorReportTexts &texts)
{
    const QString name = AppInfo::executableName();
    const QString subject = name + u" Error Number "_s + mailValue(texts.number);
    const QString body =
        name + u" v"_s + mailValue(texts.version) + u" has had an error.  Error is described as ''"_s +
        mailValue(texts.description) + u"''.  This error was generated on form "_s + mailValue(texts.form) +
        u" in function "_s + mailValue(texts.function) +
        u".  Please add any other comments you may have to this problem before sending this email."_s;
    return u"mailto:"_s + QString::fromUtf16(VendorAddresses::ErrorMailbox) + u"?subject="_s + subject +
           u"&body="_s + body;
}

QString errorSubmissionAddress(const ErrorReportTexts &texts)
{
    return webSiteBase() + u"/sw_errors.php?a="_s + AppInfo::executableName() + u"&v="_s +
           pageValue(texts.version) + u"&f="_s + pageValue(texts.form) + u"&s="_s +
           pageValue(texts.function) + u"&n="_s + pageValue(texts.number) + u"&d="_s +
           pageValue(texts.description);
}

void OpenURL(const QString &address)
{
    guarded(u"global"_s, u"OpenURL"_s, [&] {
        if (!UrlOpener::instance().openUrl(address))
            throw RunTimeError(RunTimeError::CannotCreateComponent,
                               u"No web browser could be started for "_s + address);
    });
}
