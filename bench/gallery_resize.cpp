// The resize bench/page_check.py measures the pages of: a photo tree resized through the real main
// window (offscreen) with gallery pages on, as a user sets it up. Prints the time of the Resize,
// what the scan listed and the pages written; exits non-zero when the batch wrote no top page.
//
// Usage: gallery_resize ROOT DEST [--title TEXT] [--web-address URL] [--limit LIMIT] [--thumbnails SIZE]
//   --title TEXT        the top page's heading (default "Reference album")
//   --web-address URL   [web] web_address, the address DEST is published at (default none)
//   --limit LIMIT       the Exceed Limit to Limit rule's limit (default 1600H)
//   --thumbnails SIZE   the Thumbnail Size, such as 100x100 (default: what the window shows
//                       without stored settings)

#include "BenchSupport.h"

#include <QDir>
#include <QDirIterator>

using namespace Qt::Literals::StringLiterals;
using bench::figure;
using bench::say;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QStringList positional;
    QString title = u"Reference album"_s;
    QString webAddress;
    QString limit = u"1600H"_s;
    QString thumbnails;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!argument.startsWith(u"--"_s)) {
            positional.append(argument);
            continue;
        }
        if (i + 1 == arguments.size())
            qFatal("%s needs a value", qPrintable(argument));
        const QString &value = arguments[++i];
        if (argument == u"--title"_s)
            title = value;
        else if (argument == u"--web-address"_s)
            webAddress = value;
        else if (argument == u"--limit"_s)
            limit = value;
        else if (argument == u"--thumbnails"_s)
            thumbnails = value;
        else
            qFatal("unknown option %s", qPrintable(argument));
    }
    if (positional.size() != 2)
        qFatal("usage: gallery_resize ROOT DEST [--title TEXT] [--web-address URL] [--limit LIMIT] "
               "[--thumbnails SIZE]");
    const QString root = QDir(positional[0]).absolutePath();
    const QString out = QDir(positional[1]).absolutePath();

    // The upload limit is high enough that no copy is left out of the pages for its size.
    const bench::WindowResize run = bench::resizeInWindow(
        root, out, {u"Exceed Limit to Limit"_s, QString(), limit, thumbnails, u"100000"_s},
        {{u"web"_s, u"pages"_s, u"1"_s},
         {u"web"_s, u"title"_s, title},
         {u"web"_s, u"web_address"_s, webAddress}});
    for (const QString &notice : run.notices)
        say(u"  message: "_s + notice);

    QStringList pages;
    QDirIterator it(out, {u"*.html"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        pages.append(QDir(out).relativeFilePath(it.next()));
    figure(
        u"Resize with gallery pages (limit %1, thumbnails %2, web address \"%3\"): %4 images listed, %5 s, "
        u"%6 pages"_s
            .arg(limit, thumbnails.isEmpty() ? u"as the window shows them"_s : thumbnails, webAddress)
            .arg(run.listed.size())
            .arg(run.seconds, 0, 'f', 2)
            .arg(pages.size()));
    return pages.contains(u"index.html"_s) ? 0 : 1;
}
