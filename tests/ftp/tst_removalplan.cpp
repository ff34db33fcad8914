#include "CatalogHelpers.h"
#include "RemovalPlan.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// What an upload offers to remove from a listing, with gallery pages on or off: the previews and
// photo pages go with their picture and never before it.
class TestRemovalPlan : public QObject
{
    Q_OBJECT

private slots:
    void galleryFilesGoWithTheirPicture_data();
    void galleryFilesGoWithTheirPicture();
};

void TestRemovalPlan::galleryFilesGoWithTheirPicture_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("listing");
    // Empty for pages off.
    QTest::addColumn<QString>("pageName");
    QTest::addColumn<QStringList>("pageFolders");
    QTest::addColumn<QStringList>("offered");

    const QStringList previews{u"a.jpg.300w.jpg"_s, u"a.jpg.600w.jpg"_s,    u"b.png.300w.png"_s,
                               u"gone.jpg"_s,       u"gone.jpg.300w.jpg"_s, u"gone.gif.600w.gif"_s};
    const QStringList previewsGone{u"gone.gif.600w.gif"_s, u"gone.jpg"_s, u"gone.jpg.300w.jpg"_s};
    QTest::newRow("previews, pages off")
        << QString() << previews << QString() << QStringList() << previewsGone;
    QTest::newRow("previews, pages on")
        << QString() << previews << u"index.html"_s << QStringList{QString()} << previewsGone;

    const QStringList pages{u"index.html"_s, u"a.jpg.index.html"_s, u"gone.jpg.index.html"_s,
                            u"gone.jpg.album.html"_s, u"notes.txt.index.html"_s};
    QTest::newRow("pages off: no page at all")
        << QString() << pages << QString() << QStringList() << QStringList();
    QTest::newRow("photo page of a picture gone")
        << QString() << pages << u"index.html"_s << QStringList{QString(), u"2008"_s}
        << QStringList{u"gone.jpg.index.html"_s};
    QTest::newRow("folder without a page any more")
        << QString() << pages << u"index.html"_s << QStringList{u"2008"_s}
        << QStringList{u"gone.jpg.index.html"_s, u"index.html"_s};
    QTest::newRow("in a folder, by that folder's pictures")
        << u"2008"_s
        << QStringList{u"c.jpg.index.html"_s, u"a.jpg.index.html"_s, u"c.jpg.300w.jpg"_s, u"a.jpg.300w.jpg"_s}
        << u"index.html"_s << QStringList{u"2008"_s}
        << QStringList{u"a.jpg.300w.jpg"_s, u"a.jpg.index.html"_s};
}

void TestRemovalPlan::galleryFilesGoWithTheirPicture()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, listing);
    QFETCH(QString, pageName);
    QFETCH(QStringList, pageFolders);
    QFETCH(QStringList, offered);
    const Catalog catalog = catalogOf({u"/img/a.jpg"_s, u"/img/b.png"_s, u"/img/2008/c.jpg"_s}, {},
                                      {u"/img"_s, u"/img/2008"_s}, true);
    RemovalPlan plan(OutputLayout(u"/img"_s, u"/web"_s, u"100"_s, u"tn_"_s), catalog);
    if (!pageName.isEmpty())
        plan.removePagesOutside(pageName, pageFolders);
    QList<RemoteEntry> entries;
    for (const QString &name : listing)
        entries.append(RemoteEntry{name});
    QCOMPARE(plan.candidates(folder, entries), offered);
}

QTEST_GUILESS_MAIN(TestRemovalPlan)
#include "tst_removalplan.moc"
