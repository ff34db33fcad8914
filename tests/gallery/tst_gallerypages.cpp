#include "GalleryPage.h"
#include "GalleryPlan.h"
#include "NaturalOrder.h"
#include "OutputLayout.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The a and img tags of a page, in order, with their attributes as written (still escaped).
struct Tag
{
    QString name;
    QHash<QString, QString> attributes;
};

QList<Tag> tags(const QByteArray &page)
{
    static const QRegularExpression tag(u"<(a|img|link|meta)\\s([^>]*)>"_s);
    static const QRegularExpression attribute(u"([a-z-]+)=\"([^\"]*)\""_s);
    QList<Tag> found;
    for (const QRegularExpressionMatch &match : tag.globalMatch(QString::fromUtf8(page))) {
        Tag each{match.captured(1), {}};
        for (const QRegularExpressionMatch &pair : attribute.globalMatch(match.captured(2)))
            each.attributes.insert(pair.captured(1), pair.captured(2));
        found.append(each);
    }
    return found;
}

QStringList values(const QList<Tag> &all, const QString &name, const QString &attribute)
{
    QStringList out;
    for (const Tag &each : all) {
        if (each.name == name)
            out.append(each.attributes.value(attribute));
    }
    return out;
}

} // namespace

// Gallery pages from data alone: which folders get one, what each lists in which order, and how
// names, captions and sizes reach the page.
class TestGalleryPages : public QObject
{
    Q_OBJECT

private slots:
    void plannedFoldersAreThoseWithImagesBelow();
    void pageListsCrumbsThenFoldersThenImagesInScanOrder();
    void hostileNamesAndCaptionsStayText();
    void withoutAThumbnailTheCopyIsScaledIntoTheTile();
    void photoPagesStepThroughTheFolderAndStopAtTheEnds();
    void picturesAndFoldersGoInTheChosenOrder_data();
    void picturesAndFoldersGoInTheChosenOrder();
    void naturalOrderComparesDigitRunsAsNumbers();
    void webAddressGivesEveryPageItsAddressAndPicture();

private:
    static GalleryPicture thumbnailed(const QString &entry, const QString &caption = QString());
    // As the scan's order was before there was a choice, photo pages off.
    static GalleryOptions scanOrder(const QString &pageName = u"index.html"_s);

    // Scan order on purpose not the names' order.
    const QStringList m_entries{u"/photos/z.jpg"_s,
                                u"/photos/2008/June/b.jpg"_s,
                                u"/photos/a.jpg"_s,
                                u"/photos/2008/June/a.jpg"_s,
                                u"/photos/2008/y.jpg"_s,
                                u"/photos/2008/july/c.png"_s,
                                u"/photos/2009/Deep/Er/e.gif"_s,
                                u"/photos/2008/x.jpg"_s};
    const OutputLayout m_layout{u"/photos/"_s, u"/web"_s, u"100x100"_s, u"tn_"_s};
};

GalleryPicture TestGalleryPages::thumbnailed(const QString &entry, const QString &caption)
{
    return {caption, QSize(400, 300), u"tn_"_s + OutputLayout::fileName(entry), QSize(100, 75), {}, {}};
}

GalleryOptions TestGalleryPages::scanOrder(const QString &pageName)
{
    GalleryOptions options;
    options.pageName = pageName;
    options.photoPages = false;
    options.order = GalleryOptions::Order::Scan;
    return options;
}

void TestGalleryPages::plannedFoldersAreThoseWithImagesBelow()
{
    const GalleryPlan plan(m_layout, scanOrder(), m_entries);
    // Each folder before those in it; names compared without case first.
    QCOMPARE(plan.folders(), (QStringList{u""_s, u"2008"_s, u"2008/july"_s, u"2008/June"_s, u"2009"_s,
                                          u"2009/Deep"_s, u"2009/Deep/Er"_s}));
    QCOMPARE(plan.subfolders(u""_s), (QStringList{u"2008"_s, u"2009"_s}));
    QCOMPARE(plan.images(u""_s), (QStringList{u"/photos/z.jpg"_s, u"/photos/a.jpg"_s}));
    QCOMPARE(plan.images(u"2008/June"_s),
             (QStringList{u"/photos/2008/June/b.jpg"_s, u"/photos/2008/June/a.jpg"_s}));
    QCOMPARE(plan.imageCount(u""_s), 8);
    QCOMPARE(plan.imageCount(u"2008"_s), 5);
    QCOMPARE(plan.imageCount(u"2009/Deep"_s), 1);
    // A folder's cover is its first own image in the scan's order, else its first folder's.
    QCOMPARE(plan.cover(u"2008"_s), u"/photos/2008/y.jpg"_s);
    QCOMPARE(plan.cover(u"2008/June"_s), u"/photos/2008/June/b.jpg"_s);
    QCOMPARE(plan.cover(u"2009"_s), u"/photos/2009/Deep/Er/e.gif"_s);
    QVERIFY(!plan.hasPage(u"2010"_s));
    QVERIFY(plan.hasPage(u"2009/Deep"_s));

    // What the upload side sends: the stylesheet, then the pages with the top page last.
    QCOMPARE(plan.pagePath(u""_s), u"index.html"_s);
    QCOMPARE(plan.pagePath(u"2008/June"_s), u"2008/June/index.html"_s);
    QCOMPARE(plan.files(),
             (QStringList{u"pexa-gallery.css"_s, u"2009/Deep/Er/index.html"_s, u"2009/Deep/index.html"_s,
                          u"2009/index.html"_s, u"2008/June/index.html"_s, u"2008/july/index.html"_s,
                          u"2008/index.html"_s, u"index.html"_s}));
    // In groups that may go at once: the stylesheet alone, then each depth, deepest first.
    QCOMPARE(plan.waves(), (QList<QStringList>{{u"pexa-gallery.css"_s},
                                               {u"2009/Deep/Er/index.html"_s},
                                               {u"2008/july/index.html"_s, u"2008/June/index.html"_s,
                                                u"2009/Deep/index.html"_s},
                                               {u"2008/index.html"_s, u"2009/index.html"_s},
                                               {u"index.html"_s}}));

    // Only an image deep down: every folder on the way gets a page, the root too.
    const GalleryPlan deep(m_layout, scanOrder(u"album.htm"_s), {u"/photos/a/b/c.jpg"_s});
    QCOMPARE(deep.folders(), (QStringList{u""_s, u"a"_s, u"a/b"_s}));
    QCOMPARE(deep.files(),
             (QStringList{u"pexa-gallery.css"_s, u"a/b/album.htm"_s, u"a/album.htm"_s, u"album.htm"_s}));
    // No image, no page, no stylesheet.
    const GalleryPlan empty(m_layout, scanOrder(), {});
    QCOMPARE(empty.folders(), QStringList());
    QCOMPARE(empty.files(), QStringList());
    QCOMPARE(empty.waves(), QList<QStringList>());
    QVERIFY(!empty.hasPage(u""_s));
}

void TestGalleryPages::pageListsCrumbsThenFoldersThenImagesInScanOrder()
{
    const GalleryPlan plan(m_layout, scanOrder(), m_entries);
    QHash<QString, GalleryPicture> pictures;
    for (const QString &entry : m_entries)
        pictures.insert(entry, thumbnailed(entry));
    pictures[u"/photos/2008/x.jpg"_s].caption = u"Boats at dawn"_s;

    const QList<Tag> top = tags(GalleryPage::render(plan, u""_s, u"Holiday"_s, pictures));
    QCOMPARE(values(top, u"link"_s, u"href"_s), (QStringList{u"data:,"_s, u"pexa-gallery.css"_s}));
    QCOMPARE(values(top, u"a"_s, u"href"_s),
             (QStringList{u"2008/index.html"_s, u"2009/index.html"_s, u"z.jpg"_s, u"a.jpg"_s}));
    QCOMPARE(values(top, u"img"_s, u"src"_s),
             (QStringList{u"2008/tn_y.jpg"_s, u"2009/Deep/Er/tn_e.gif"_s, u"tn_z.jpg"_s, u"tn_a.jpg"_s}));
    QCOMPARE(values(top, u"img"_s, u"width"_s), QStringList(4, u"100"_s));
    QCOMPARE(values(top, u"img"_s, u"height"_s), QStringList(4, u"75"_s));
    // The first row loads at once, the first tile first.
    QCOMPARE(values(top, u"img"_s, u"fetchpriority"_s), (QStringList{u"high"_s, {}, {}, {}}));
    QCOMPARE(values(top, u"img"_s, u"loading"_s), (QStringList{{}, u"eager"_s, u"eager"_s, u"eager"_s}));
    // Covers stand beside the folder's name; the images are named by their file names.
    QCOMPARE(values(top, u"img"_s, u"alt"_s), (QStringList{u""_s, u""_s, u"z.jpg"_s, u"a.jpg"_s}));

    const QByteArray page2008 = GalleryPage::render(plan, u"2008"_s, u"Holiday"_s, pictures);
    const QList<Tag> in2008 = tags(page2008);
    QCOMPARE(values(in2008, u"link"_s, u"href"_s), (QStringList{u"data:,"_s, u"../pexa-gallery.css"_s}));
    QCOMPARE(values(in2008, u"a"_s, u"href"_s), (QStringList{u"../index.html"_s, u"july/index.html"_s,
                                                             u"June/index.html"_s, u"y.jpg"_s, u"x.jpg"_s}));
    // A caption is the link's visible text, so the picture beside it says nothing more.
    QCOMPARE(values(in2008, u"img"_s, u"alt"_s), (QStringList{u""_s, u""_s, u"y.jpg"_s, u""_s}));
    QVERIFY(page2008.contains("<title>Holiday / 2008</title>"));
    QVERIFY(page2008.contains("<h1>2008</h1>"));
    QVERIFY(page2008.contains("<li aria-current=\"page\">2008</li>"));
    QVERIFY(page2008.contains("alt=\"\" loading=\"eager\"><span class=\"caption\">Boats at dawn</span></a>"));
    // Counts under the folders' names, in their order.
    const qsizetype july =
        page2008.indexOf("<span class=\"name\">july</span><span class=\"count\">1 image</span>");
    const qsizetype june =
        page2008.indexOf("<span class=\"name\">June</span><span class=\"count\">2 images</span>");
    QVERIFY(july > 0 && june > july);
    QVERIFY(page2008.indexOf("id=\"folders\"") < page2008.indexOf("id=\"images\""));

    // A folder holding only a folder: crumbs all the way up, no images section.
    const QByteArray deep = GalleryPage::render(plan, u"2009/Deep"_s, u"Holiday"_s, pictures);
    QCOMPARE(values(tags(deep), u"a"_s, u"href"_s),
             (QStringList{u"../../index.html"_s, u"../index.html"_s, u"Er/index.html"_s}));
    QCOMPARE(values(tags(deep), u"link"_s, u"href"_s),
             (QStringList{u"data:,"_s, u"../../pexa-gallery.css"_s}));
    QVERIFY(deep.contains(">Holiday</a>"));
    QVERIFY(deep.contains(">2009</a>"));
    QVERIFY(!deep.contains("id=\"images\""));
}

void TestGalleryPages::hostileNamesAndCaptionsStayText()
{
    const QString hostile = u"/photos/x&y <z>/a&b \"c\" <d>#1 é.jpg"_s;
    const QString percent = u"/photos/x&y <z>/100% c:d?.jpg"_s;
    const QString bell = u"/photos/x&y <z>/bell\u0007.jpg"_s;
    const GalleryPlan plan(m_layout, scanOrder(), {hostile, percent, bell});
    QHash<QString, GalleryPicture> pictures{
        {hostile, thumbnailed(hostile, u"<script>alert(\"x\")</script>"_s)},
        {percent, thumbnailed(percent, u"odd \uFFFE and \xD800 halves"_s)},
        {bell, thumbnailed(bell)}};
    const QString title = u"Tom & Jerry's <b>"_s;

    const QByteArray top = GalleryPage::render(plan, u""_s, title, pictures);
    QCOMPARE(values(tags(top), u"a"_s, u"href"_s), QStringList{u"x%26y%20%3Cz%3E/index.html"_s});
    QCOMPARE(values(tags(top), u"img"_s, u"src"_s),
             QStringList{u"x%26y%20%3Cz%3E/tn_a%26b%20%22c%22%20%3Cd%3E%231%20%C3%A9.jpg"_s});
    QVERIFY(top.contains("<h1>Tom &amp; Jerry&#39;s &lt;b&gt;</h1>"));
    QVERIFY(top.contains("<span class=\"name\">x&amp;y &lt;z&gt;</span>"));

    const QByteArray page = GalleryPage::render(plan, u"x&y <z>"_s, title, pictures);
    const QList<Tag> found = tags(page);
    QCOMPARE(values(found, u"a"_s, u"href"_s),
             (QStringList{u"../index.html"_s, u"a%26b%20%22c%22%20%3Cd%3E%231%20%C3%A9.jpg"_s,
                          u"100%25%20c%3Ad%3F.jpg"_s, u"bell%07.jpg"_s}));
    QCOMPARE(values(found, u"img"_s, u"alt"_s), (QStringList{u""_s, u""_s, u"bell\uFFFD.jpg"_s}));
    QVERIFY(page.contains("<span class=\"caption\">odd \xEF\xBF\xBD and \xEF\xBF\xBD halves</span>"));
    QVERIFY(!page.contains("<script"));
    QVERIFY(
        page.contains("<span class=\"caption\">&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;</span>"));
    QVERIFY(page.contains("<title>Tom &amp; Jerry&#39;s &lt;b&gt; / x&amp;y &lt;z&gt;</title>"));
    QVERIFY(page.contains("<li aria-current=\"page\">x&amp;y &lt;z&gt;</li>"));
    // Nothing is loaded from another site, and nothing runs.
    QVERIFY(!page.contains("//"));
    QVERIFY(!GalleryPage::stylesheet().contains("url("));
    QVERIFY(!GalleryPage::stylesheet().contains("@import"));
}

void TestGalleryPages::withoutAThumbnailTheCopyIsScaledIntoTheTile()
{
    const OutputLayout layout(u"/photos"_s, u"/web"_s, OutputLayout::ThumbnailsDisabled, u"tn_"_s);
    const QStringList entries{u"/photos/wide.jpg"_s,   u"/photos/small.png"_s, u"/photos/tall.gif"_s,
                              u"/photos/broken.jpg"_s, u"/photos/lost.jpg"_s,  u"/photos/thin.png"_s};
    const GalleryPlan plan(layout, scanOrder(), entries);
    const QHash<QString, GalleryPicture> pictures{
        {entries[0], {u"Wide"_s, QSize(800, 600), {}, {}, {}, {}}},
        {entries[1], {{}, QSize(120, 90), {}, {}, {}, {}}},
        {entries[2], {{}, QSize(300, 1000), {}, {}, {}, {}}},
        // A copy whose header tells no size, and one never measured: a plain link each.
        {entries[3], {{}, QSize(), {}, {}, {}, {}}},
        {entries[5], {{}, QSize(5000, 10), {}, {}, {}, {}}}};
    const QByteArray page = GalleryPage::render(plan, u""_s, u"T"_s, pictures);
    const QList<Tag> found = tags(page);
    QCOMPARE(values(found, u"img"_s, u"src"_s),
             (QStringList{u"wide.jpg"_s, u"small.png"_s, u"tall.gif"_s, u"thin.png"_s}));
    QCOMPARE(values(found, u"img"_s, u"width"_s), (QStringList{u"200"_s, u"120"_s, u"60"_s, u"200"_s}));
    QCOMPARE(values(found, u"img"_s, u"height"_s), (QStringList{u"150"_s, u"90"_s, u"200"_s, u"1"_s}));
    QCOMPARE(values(found, u"img"_s, u"alt"_s),
             (QStringList{u""_s, u"small.png"_s, u"tall.gif"_s, u"thin.png"_s}));
    QCOMPARE(values(found, u"a"_s, u"href"_s), (QStringList{u"wide.jpg"_s, u"small.png"_s, u"tall.gif"_s,
                                                            u"broken.jpg"_s, u"lost.jpg"_s, u"thin.png"_s}));
    QVERIFY(page.contains("<a class=\"plain\" href=\"broken.jpg\">broken.jpg</a>"));

    // Thumbnails on, but this one was not written: its copy stands in, scaled.
    const GalleryPlan withThumbnails(m_layout, scanOrder(), {u"/photos/wide.jpg"_s});
    const QByteArray fallback = GalleryPage::render(
        withThumbnails, u""_s, u"T"_s, {{u"/photos/wide.jpg"_s, {{}, QSize(800, 600), {}, {}, {}, {}}}});
    QCOMPARE(values(tags(fallback), u"img"_s, u"src"_s), QStringList{u"wide.jpg"_s});
    QCOMPARE(values(tags(fallback), u"img"_s, u"width"_s), QStringList{u"200"_s});
}

void TestGalleryPages::photoPagesStepThroughTheFolderAndStopAtTheEnds()
{
    const QStringList entries{u"/photos/trip/c.png"_s, u"/photos/trip/a.jpg"_s, u"/photos/trip/b.jpg"_s};
    GalleryPlan plan(m_layout, GalleryOptions(), entries);
    // a and b have previews; b's copy is narrower than a preview, so both of its are as narrow.
    plan.setPreviewed({entries[1], entries[2]});
    QHash<QString, GalleryPicture> pictures{{entries[0], thumbnailed(entries[0])}};
    pictures[entries[1]] = {u"Dawn"_s,
                            QSize(2400, 1600),
                            {},
                            {},
                            {{u"a.jpg.300w.jpg"_s, {300, 200}},
                             {u"a.jpg.600w.jpg"_s, {600, 400}},
                             {u"a.jpg.1200w.jpg"_s, {1200, 800}}},
                            QDateTime(QDate(2008, 6, 14), QTime(18, 42, 5), Qt::UTC)};
    pictures[entries[2]] = {{},
                            QSize(250, 500),
                            {},
                            {},
                            {{u"b.jpg.300w.jpg"_s, {250, 500}},
                             {u"b.jpg.600w.jpg"_s, {250, 500}},
                             {u"b.jpg.1200w.jpg"_s, {250, 500}}},
                            {}};

    // Previews with the stylesheet, then the photo pages, then the folders' pages.
    const QList<QStringList> waves{
        {u"pexa-gallery.css"_s, u"trip/a.jpg.300w.jpg"_s, u"trip/a.jpg.600w.jpg"_s, u"trip/a.jpg.1200w.jpg"_s,
         u"trip/b.jpg.300w.jpg"_s, u"trip/b.jpg.600w.jpg"_s, u"trip/b.jpg.1200w.jpg"_s},
        {u"trip/a.jpg.index.html"_s, u"trip/b.jpg.index.html"_s, u"trip/c.png.index.html"_s},
        {u"trip/index.html"_s},
        {u"index.html"_s}};
    QCOMPARE(plan.waves(), waves);
    QCOMPARE(plan.files(), waves[0] + waves[1] + waves[2] + waves[3]);

    const QList<Tag> album = tags(GalleryPage::render(plan, u"trip"_s, u"Holiday"_s, pictures));
    QCOMPARE(values(album, u"a"_s, u"href"_s), (QStringList{u"../index.html"_s, u"a.jpg.index.html"_s,
                                                            u"b.jpg.index.html"_s, u"c.png.index.html"_s}));
    QCOMPARE(values(album, u"img"_s, u"src"_s),
             (QStringList{u"a.jpg.300w.jpg"_s, u"b.jpg.300w.jpg"_s, u"tn_c.png"_s}));
    // The previews' own widths, one file only where both are as wide; sized as the narrow one.
    QCOMPARE(values(album, u"img"_s, u"srcset"_s),
             (QStringList{u"a.jpg.300w.jpg 300w, a.jpg.600w.jpg 600w"_s, {}, {}}));
    QCOMPARE(values(album, u"img"_s, u"width"_s), (QStringList{u"300"_s, u"250"_s, u"100"_s}));
    QCOMPARE(values(album, u"img"_s, u"alt"_s), (QStringList{u""_s, u"b.jpg"_s, u"c.png"_s}));
    QCOMPARE(values(album, u"meta"_s, u"content"_s).last(), u"3 photos in Holiday / trip"_s);
    // The folder's cover on the page above shows the first picture's previews.
    QCOMPARE(values(tags(GalleryPage::render(plan, u""_s, u"Holiday"_s, pictures)), u"img"_s, u"srcset"_s),
             QStringList{u"trip/a.jpg.300w.jpg 300w, trip/a.jpg.600w.jpg 600w"_s});

    // First: no way back; the copy offered whole to large screens, loaded first; the caption once,
    // as the heading, so the picture says nothing more.
    const QByteArray first = GalleryPage::renderPhoto(plan, entries[1], u"Holiday"_s, pictures);
    const QList<Tag> firstTags = tags(first);
    QCOMPARE(values(firstTags, u"a"_s, u"href"_s),
             (QStringList{u"../index.html"_s, u"index.html"_s, u"index.html"_s, u"b.jpg.index.html"_s,
                          u"a.jpg"_s}));
    QCOMPARE(values(firstTags, u"a"_s, u"rel"_s), (QStringList{{}, {}, {}, u"next"_s, {}}));
    QHash<QString, QString> photo;
    for (const Tag &each : firstTags)
        photo = each.name == u"img"_s ? each.attributes : photo;
    QCOMPARE(photo.value(u"srcset"_s),
             u"a.jpg.300w.jpg 300w, a.jpg.600w.jpg 600w, a.jpg.1200w.jpg 1200w, a.jpg 2400w"_s);
    QCOMPARE(QStringList({photo[u"width"_s], photo[u"height"_s], photo[u"alt"_s], photo[u"fetchpriority"_s],
                          photo[u"loading"_s]}),
             (QStringList{u"2400"_s, u"1600"_s, {}, u"high"_s, {}}));
    QCOMPARE(first.count(">Dawn<"), 1);
    QVERIFY(first.contains("<h1>Dawn</h1>"));
    QVERIFY(first.contains("<time datetime=\"2008-06-14T18:42:05\">14 June 2008, 18:42</time>"));
    QCOMPARE(values(firstTags, u"meta"_s, u"content"_s).last(), u"Dawn"_s);
    QVERIFY(first.contains("<li aria-current=\"page\">a.jpg</li>"));
    const qsizetype script = first.indexOf("<script>");
    QVERIFY(script > 0 && first.indexOf("</script>") - script < 2048);

    const QList<Tag> middle = tags(GalleryPage::renderPhoto(plan, entries[2], u"Holiday"_s, pictures));
    QCOMPARE(values(middle, u"a"_s, u"rel"_s), (QStringList{{}, {}, u"prev"_s, {}, u"next"_s, {}}));
    QCOMPARE(values(middle, u"img"_s, u"alt"_s), QStringList{u"b.jpg"_s});
    QCOMPARE(values(middle, u"img"_s, u"srcset"_s), QStringList{QString()});

    // Last: no way on. Without previews the copy alone; without a time, none shown.
    const QByteArray last = GalleryPage::renderPhoto(plan, entries[0], u"Holiday"_s, pictures);
    QCOMPARE(values(tags(last), u"a"_s, u"rel"_s), (QStringList{{}, {}, u"prev"_s, {}, {}}));
    QCOMPARE(values(tags(last), u"img"_s, u"src"_s), QStringList{u"c.png"_s});
    QVERIFY(!last.contains("<time"));
    QCOMPARE(values(tags(last), u"meta"_s, u"content"_s).last(), u"Photo c.png in Holiday / trip"_s);

    // Photo pages off: none planned, and a tile leads to the picture itself.
    GalleryOptions without;
    without.photoPages = false;
    GalleryPlan plain(m_layout, without, entries);
    plain.setPreviewed({entries[1]});
    QCOMPARE(plain.waves(), (QList<QStringList>{{u"pexa-gallery.css"_s, u"trip/a.jpg.300w.jpg"_s,
                                                 u"trip/a.jpg.600w.jpg"_s, u"trip/a.jpg.1200w.jpg"_s},
                                                {u"trip/index.html"_s},
                                                {u"index.html"_s}}));
    QCOMPARE(values(tags(GalleryPage::render(plain, u"trip"_s, u"Holiday"_s, pictures)), u"a"_s, u"href"_s),
             (QStringList{u"../index.html"_s, u"a.jpg"_s, u"b.jpg"_s, u"c.png"_s}));
}

void TestGalleryPages::picturesAndFoldersGoInTheChosenOrder_data()
{
    QTest::addColumn<GalleryOptions::Order>("order");
    QTest::addColumn<QStringList>("images");
    QTest::addColumn<QStringList>("folders");
    // Taken: the earliest first, equal times by name, no time last.
    QTest::newRow("taken") << GalleryOptions::Order::Taken
                           << u"img10.jpg IMG2.jpg img2.jpg img1.jpg img3.jpg"_s.split(u' ')
                           << QStringList{u"f1"_s, u"F9"_s, u"f10"_s};
    QTest::newRow("name") << GalleryOptions::Order::Name
                          << u"img1.jpg IMG2.jpg img2.jpg img3.jpg img10.jpg"_s.split(u' ')
                          << QStringList{u"f1"_s, u"F9"_s, u"f10"_s};
    QTest::newRow("scan") << GalleryOptions::Order::Scan
                          << u"img3.jpg img10.jpg img2.jpg img1.jpg IMG2.jpg"_s.split(u' ')
                          << QStringList{u"f1"_s, u"f10"_s, u"F9"_s};
}

void TestGalleryPages::picturesAndFoldersGoInTheChosenOrder()
{
    QFETCH(GalleryOptions::Order, order);
    QFETCH(QStringList, images);
    QFETCH(QStringList, folders);
    // Scanned, taken and named each in another order.
    QStringList entries{u"/photos/f10/x.jpg"_s, u"/photos/F9/x.jpg"_s, u"/photos/f1/x.jpg"_s};
    for (const QString &name : u"img3.jpg img10.jpg img2.jpg img1.jpg IMG2.jpg"_s.split(u' '))
        entries.append(u"/photos/"_s + name);
    auto day = [](int d) { return QDateTime(QDate(2008, 1, d), QTime(12, 0), Qt::UTC); };
    GalleryOptions options;
    options.order = order;
    GalleryPlan plan(m_layout, options, entries);
    plan.orderByTime({{u"/photos/img10.jpg"_s, day(1)},
                      {u"/photos/img2.jpg"_s, day(2)},
                      {u"/photos/IMG2.jpg"_s, day(2)},
                      {u"/photos/img1.jpg"_s, day(3)}});
    QHash<QString, GalleryPicture> pictures;
    for (const QString &entry : entries)
        pictures.insert(entry, thumbnailed(entry));

    // The plan, the grid, the photo pages' steps and the upload follow the same order.
    QStringList shown, photoPages;
    for (const QString &entry : plan.images(u""_s))
        shown.append(OutputLayout::fileName(entry));
    for (const QString &name : images)
        photoPages.append(name + u".index.html"_s);
    QCOMPARE(shown, images);
    QCOMPARE(plan.subfolders(u""_s), folders);
    QCOMPARE(plan.cover(u""_s), u"/photos/"_s + images.first());
    QCOMPARE(values(tags(GalleryPage::render(plan, u""_s, u"T"_s, pictures)), u"a"_s, u"href"_s).mid(3),
             photoPages);
    const QList<Tag> second =
        tags(GalleryPage::renderPhoto(plan, u"/photos/"_s + images[1], u"T"_s, pictures));
    QCOMPARE(values(second, u"a"_s, u"href"_s).mid(1, 3),
             (QStringList{photoPages[0], u"index.html"_s, photoPages[2]}));
    QCOMPARE(plan.waves().at(1).mid(0, 5), photoPages);
}

void TestGalleryPages::naturalOrderComparesDigitRunsAsNumbers()
{
    // Each before every later one: digit runs by value however long, then without case, then
    // exactly (leading zeros too).
    const QStringList sorted = u"1a|a|A.jpg|a.jpg|a99999999999999999999999|a100000000000000000000000|B.jpg|"
                               u"file 9 b|file 10 a|img|img02|img2|img10"_s.split(u'|');
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        QCOMPARE(NaturalOrder::compare(sorted[i], sorted[i]), 0);
        for (qsizetype j = i + 1; j < sorted.size(); ++j)
            QVERIFY2(NaturalOrder::compare(sorted[i], sorted[j]) < 0 &&
                         NaturalOrder::compare(sorted[j], sorted[i]) > 0,
                     qPrintable(sorted[i] + u" / "_s + sorted[j]));
    }
}

void TestGalleryPages::webAddressGivesEveryPageItsAddressAndPicture()
{
    const QStringList entries{u"/photos/trip/c&d.jpg"_s, u"/photos/a b.jpg"_s};
    QHash<QString, GalleryPicture> pictures;
    for (const QString &entry : entries)
        pictures.insert(entry, thumbnailed(entry, u"Seen"_s));
    GalleryOptions options;
    options.webAddress = u"https://example.org/our%20pics/"_s;
    const GalleryPlan plan(m_layout, options, entries);

    // The address of the page itself, canonical and shared; the picture shared is the cover or the photo.
    const QString site = u"https://example.org/our%20pics/"_s;
    const QList<Tag> top = tags(GalleryPage::render(plan, u""_s, u"Holiday"_s, pictures));
    QCOMPARE(values(top, u"link"_s, u"href"_s),
             (QStringList{u"data:,"_s, site + u"index.html"_s, u"pexa-gallery.css"_s}));
    QCOMPARE(
        values(top, u"meta"_s, u"content"_s).mid(1),
        (QStringList{u"width=device-width, initial-scale=1"_s, u"2 photos in Holiday"_s, u"website"_s,
                     u"Holiday"_s, u"2 photos in Holiday"_s, site + u"index.html"_s, site + u"a%20b.jpg"_s}));
    const QList<Tag> photo = tags(GalleryPage::renderPhoto(plan, entries[0], u"Holiday"_s, pictures));
    QCOMPARE(values(photo, u"link"_s, u"href"_s).at(1), site + u"trip/c%26d.jpg.index.html"_s);
    QCOMPARE(values(photo, u"meta"_s, u"content"_s).mid(5),
             (QStringList{u"Seen"_s, site + u"trip/c%26d.jpg.index.html"_s, site + u"trip/c%26d.jpg"_s}));

    // No address: nothing absolute anywhere.
    const GalleryPlan local(m_layout, GalleryOptions(), entries);
    for (const QByteArray &page : {GalleryPage::render(local, u""_s, u"Holiday"_s, pictures),
                                   GalleryPage::renderPhoto(local, entries[0], u"Holiday"_s, pictures)}) {
        QVERIFY(!page.contains("canonical"));
        QVERIFY(!page.contains("og:"));
        QVERIFY(!page.contains("://"));
    }
}

QTEST_MAIN(TestGalleryPages)
#include "tst_gallerypages.moc"
