#include "GalleryPage.h"
#include "GalleryPlan.h"
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
    static const QRegularExpression tag(u"<(a|img|link)\\s([^>]*)>"_s);
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

private:
    static GalleryPicture thumbnailed(const QString &entry, const QString &caption = QString());

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
    return {caption, QSize(400, 300), u"tn_"_s + OutputLayout::fileName(entry), QSize(100, 75)};
}

void TestGalleryPages::plannedFoldersAreThoseWithImagesBelow()
{
    const GalleryPlan plan(m_layout, u"index.html"_s, m_entries);
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
    const GalleryPlan deep(m_layout, u"album.htm"_s, {u"/photos/a/b/c.jpg"_s});
    QCOMPARE(deep.folders(), (QStringList{u""_s, u"a"_s, u"a/b"_s}));
    QCOMPARE(deep.files(),
             (QStringList{u"pexa-gallery.css"_s, u"a/b/album.htm"_s, u"a/album.htm"_s, u"album.htm"_s}));
    // No image, no page, no stylesheet.
    const GalleryPlan empty(m_layout, u"index.html"_s, {});
    QCOMPARE(empty.folders(), QStringList());
    QCOMPARE(empty.files(), QStringList());
    QCOMPARE(empty.waves(), QList<QStringList>());
    QVERIFY(!empty.hasPage(u""_s));
}

void TestGalleryPages::pageListsCrumbsThenFoldersThenImagesInScanOrder()
{
    const GalleryPlan plan(m_layout, u"index.html"_s, m_entries);
    QHash<QString, GalleryPicture> pictures;
    for (const QString &entry : m_entries)
        pictures.insert(entry, thumbnailed(entry));
    pictures[u"/photos/2008/x.jpg"_s].caption = u"Boats at dawn"_s;

    const QList<Tag> top = tags(GalleryPage::render(plan, u""_s, u"Holiday"_s, pictures));
    QCOMPARE(values(top, u"link"_s, u"href"_s), QStringList{u"pexa-gallery.css"_s});
    QCOMPARE(values(top, u"a"_s, u"href"_s),
             (QStringList{u"2008/index.html"_s, u"2009/index.html"_s, u"z.jpg"_s, u"a.jpg"_s}));
    QCOMPARE(values(top, u"img"_s, u"src"_s),
             (QStringList{u"2008/tn_y.jpg"_s, u"2009/Deep/Er/tn_e.gif"_s, u"tn_z.jpg"_s, u"tn_a.jpg"_s}));
    for (const Tag &img : top) {
        if (img.name != u"img"_s)
            continue;
        QCOMPARE(img.attributes.value(u"width"_s), u"100"_s);
        QCOMPARE(img.attributes.value(u"height"_s), u"75"_s);
        QCOMPARE(img.attributes.value(u"loading"_s), u"lazy"_s);
        QVERIFY(img.attributes.contains(u"alt"_s));
    }
    // Covers stand beside the folder's name; the images are named by their file names.
    QCOMPARE(values(top, u"img"_s, u"alt"_s), (QStringList{u""_s, u""_s, u"z.jpg"_s, u"a.jpg"_s}));

    const QByteArray page2008 = GalleryPage::render(plan, u"2008"_s, u"Holiday"_s, pictures);
    const QList<Tag> in2008 = tags(page2008);
    QCOMPARE(values(in2008, u"link"_s, u"href"_s), QStringList{u"../pexa-gallery.css"_s});
    QCOMPARE(values(in2008, u"a"_s, u"href"_s), (QStringList{u"../index.html"_s, u"july/index.html"_s,
                                                             u"June/index.html"_s, u"y.jpg"_s, u"x.jpg"_s}));
    QCOMPARE(values(in2008, u"img"_s, u"alt"_s), (QStringList{u""_s, u""_s, u"y.jpg"_s, u"Boats at dawn"_s}));
    QVERIFY(page2008.contains("<title>Holiday / 2008</title>"));
    QVERIFY(page2008.contains("<h1>2008</h1>"));
    QVERIFY(page2008.contains("<li aria-current=\"page\">2008</li>"));
    QVERIFY(page2008.contains("<figcaption>Boats at dawn</figcaption>"));
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
    QCOMPARE(values(tags(deep), u"link"_s, u"href"_s), QStringList{u"../../pexa-gallery.css"_s});
    QVERIFY(deep.contains(">Holiday</a>"));
    QVERIFY(deep.contains(">2009</a>"));
    QVERIFY(!deep.contains("id=\"images\""));
}

void TestGalleryPages::hostileNamesAndCaptionsStayText()
{
    const QString hostile = u"/photos/x&y <z>/a&b \"c\" <d>#1 é.jpg"_s;
    const QString percent = u"/photos/x&y <z>/100% c:d?.jpg"_s;
    const QString bell = u"/photos/x&y <z>/bell\u0007.jpg"_s;
    const GalleryPlan plan(m_layout, u"index.html"_s, {hostile, percent, bell});
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
    QCOMPARE(values(found, u"img"_s, u"alt"_s),
             (QStringList{u"&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"_s,
                          u"odd \uFFFD and \uFFFD halves"_s, u"bell\uFFFD.jpg"_s}));
    QVERIFY(!page.contains("<script"));
    QVERIFY(page.contains("<figcaption>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;</figcaption>"));
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
    const GalleryPlan plan(layout, u"index.html"_s, entries);
    const QHash<QString, GalleryPicture> pictures{
        {entries[0], {u"Wide"_s, QSize(800, 600), {}, {}}},
        {entries[1], {{}, QSize(120, 90), {}, {}}},
        {entries[2], {{}, QSize(300, 1000), {}, {}}},
        // A copy whose header tells no size, and one never measured: a plain link each.
        {entries[3], {{}, QSize(), {}, {}}},
        {entries[5], {{}, QSize(5000, 10), {}, {}}}};
    const QByteArray page = GalleryPage::render(plan, u""_s, u"T"_s, pictures);
    const QList<Tag> found = tags(page);
    QCOMPARE(values(found, u"img"_s, u"src"_s),
             (QStringList{u"wide.jpg"_s, u"small.png"_s, u"tall.gif"_s, u"thin.png"_s}));
    QCOMPARE(values(found, u"img"_s, u"width"_s), (QStringList{u"200"_s, u"120"_s, u"60"_s, u"200"_s}));
    QCOMPARE(values(found, u"img"_s, u"height"_s), (QStringList{u"150"_s, u"90"_s, u"200"_s, u"1"_s}));
    QCOMPARE(values(found, u"img"_s, u"alt"_s),
             (QStringList{u"Wide"_s, u"small.png"_s, u"tall.gif"_s, u"thin.png"_s}));
    QCOMPARE(values(found, u"a"_s, u"href"_s), (QStringList{u"wide.jpg"_s, u"small.png"_s, u"tall.gif"_s,
                                                            u"broken.jpg"_s, u"lost.jpg"_s, u"thin.png"_s}));
    QVERIFY(page.contains("<a class=\"plain\" href=\"broken.jpg\">broken.jpg</a>"));

    // Thumbnails on, but this one was not written: its copy stands in, scaled.
    const GalleryPlan withThumbnails(m_layout, u"index.html"_s, {u"/photos/wide.jpg"_s});
    const QByteArray fallback = GalleryPage::render(withThumbnails, u""_s, u"T"_s,
                                                    {{u"/photos/wide.jpg"_s, {{}, QSize(800, 600), {}, {}}}});
    QCOMPARE(values(tags(fallback), u"img"_s, u"src"_s), QStringList{u"wide.jpg"_s});
    QCOMPARE(values(tags(fallback), u"img"_s, u"width"_s), QStringList{u"200"_s});
}

QTEST_MAIN(TestGalleryPages)
#include "tst_gallerypages.moc"
