#include "GalleryPage.h"

#include "GalleryPlan.h"
#include "HtmlText.h"
#include "PhotoTime.h"

#include <algorithm>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

// The pictures of the first row or so load at once, the first as the page's main picture; the
// rest wait until they come near the view.
constexpr int EagerTiles = 4;

// What stands for an image: files beside its copy, the first the one a browser takes without a
// choice, each with its size, widest last; the size the page gives it is the first's.
struct Tile
{
    QList<GalleryPicture::Preview> files;
};

QSize fitted(const QSize &size)
{
    if (size.width() <= GalleryPage::TileSize && size.height() <= GalleryPage::TileSize)
        return size;
    const QSize scaled = size.scaled(GalleryPage::TileSize, GalleryPage::TileSize, Qt::KeepAspectRatio);
    return {std::max(1, scaled.width()), std::max(1, scaled.height())};
}

// A srcset may not hold two files of one width: a small copy gives previews as wide as itself.
void addWider(QList<GalleryPicture::Preview> &files, const GalleryPicture::Preview &file)
{
    if (files.isEmpty() || file.size.width() > files.last().size.width())
        files.append(file);
}

std::optional<Tile> tileOf(const QString &entry, const QHash<QString, GalleryPicture> &pictures)
{
    const auto found = pictures.constFind(entry);
    if (found == pictures.cend())
        return std::nullopt;
    if (!found->previews.isEmpty()) {
        Tile tile;
        for (const GalleryPicture::Preview &preview : found->previews.first(OutputLayout::GridPreviews))
            addWider(tile.files, preview);
        return tile;
    }
    if (!found->thumbnail.isEmpty() && !found->thumbnailSize.isEmpty())
        return Tile{{{found->thumbnail, found->thumbnailSize}}};
    if (found->copySize.isEmpty())
        return std::nullopt;
    return Tile{{{OutputLayout::fileName(entry), fitted(found->copySize)}}};
}

QString number(int value)
{
    return QString::number(value);
}

// Only ever given a link prefix and escaped text, so nothing here needs escaping again. The
// files' own widths tell the browser which to take; sizes says how wide the page shows it.
QString img(const QString &prefix, const QList<GalleryPicture::Preview> &files, const QString &sizes,
            const QSize &shown, const QString &alt, const QString &attributes)
{
    QString html = u"<img src=\""_s + prefix + HtmlText::link(files.first().file) + u'"';
    if (files.size() > 1) {
        QStringList candidates;
        for (const GalleryPicture::Preview &file : files)
            candidates.append(prefix + HtmlText::link(file.file) + u' ' + number(file.size.width()) + u'w');
        html += u" srcset=\""_s + candidates.join(u", "_s) + u"\" sizes=\""_s + sizes + u'"';
    }
    return html + u" width=\""_s + number(shown.width()) + u"\" height=\""_s + number(shown.height()) +
           u"\" alt=\""_s + alt + u"\" "_s + attributes + u'>';
}

QString tileLoading(int index)
{
    if (index == 0)
        return u"fetchpriority=\"high\""_s;
    return index < EagerTiles ? u"loading=\"eager\""_s : u"loading=\"lazy\""_s;
}

// As wide as the grid's cells show a preview: two to a row on a phone, else at most its width.
const QString GridSizes = u"(max-width: 30rem) calc(50vw - 2.5rem), 15rem"_s;

QString up(int levels)
{
    return u"../"_s.repeated(levels);
}

QString photoCount(int count)
{
    return count == 1 ? u"1 photo"_s : number(count) + u" photos"_s;
}

// "Holiday / 2008 / June": the gallery's title and the folder's path.
QString albumTitle(const QString &folder, const QString &title)
{
    return folder.isEmpty() ? title : title + u" / "_s + folder.split(u'/').join(u" / "_s);
}

// The head of every page, with the address it is published at when the options give one.
QString head(const GalleryPlan &plan, int depth, const QString &pageTitle, const QString &description,
             const QString &pagePath, const QString &picturePath)
{
    QString html = u"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                   u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"_s +
                   HtmlText::escaped(pageTitle) + u"</title>\n<meta name=\"description\" content=\""_s +
                   HtmlText::escaped(description) +
                   // An icon of nothing: no browser asks the server for one.
                   u"\">\n<link rel=\"icon\" href=\"data:,\">\n"_s;
    const QString address = plan.options().webAddress;
    if (!address.isEmpty()) {
        const QString url = HtmlText::escaped(address + HtmlText::link(pagePath));
        html +=
            u"<link rel=\"canonical\" href=\""_s + url +
            u"\">\n<meta property=\"og:type\" content=\"website\">\n<meta property=\"og:title\" content=\""_s +
            HtmlText::escaped(pageTitle) + u"\">\n<meta property=\"og:description\" content=\""_s +
            HtmlText::escaped(description) + u"\">\n<meta property=\"og:url\" content=\""_s + url +
            u"\">\n"_s;
        if (!picturePath.isEmpty())
            html += u"<meta property=\"og:image\" content=\""_s +
                    HtmlText::escaped(address + HtmlText::link(picturePath)) + u"\">\n"_s;
    }
    return html + u"<link rel=\"stylesheet\" href=\""_s + up(depth) + HtmlText::link(plan.stylesheetPath()) +
           u"\">\n</head>\n"_s;
}

// Links up to each folder's page from a page in folder, from the top down to levels of them;
// then the current page's name.
QString breadcrumbs(const GalleryPlan &plan, const QString &folder, const QString &title, int levels,
                    const QString &current)
{
    const QStringList names = folder.split(u'/');
    const int depth = GalleryPlan::depth(folder);
    QString html = u"<nav aria-label=\"Breadcrumbs\"><ol class=\"crumbs\">\n"_s;
    for (int level = 0; level < levels; ++level) {
        const QString name = level == 0 ? title : names[level - 1];
        html += u"<li><a href=\""_s + up(depth - level) + HtmlText::link(plan.pageName()) + u"\">"_s +
                HtmlText::escaped(name) + u"</a></li>\n"_s;
    }
    html += u"<li aria-current=\"page\">"_s + HtmlText::escaped(current) + u"</li>\n</ol></nav>\n"_s;
    return html;
}

QString folderTile(const GalleryPlan &plan, const QString &folder, const QString &subfolder,
                   const QHash<QString, GalleryPicture> &pictures, int &index)
{
    const QString name = GalleryPlan::folderName(subfolder);
    QString html = u"<li><a href=\""_s + HtmlText::link(name + u'/' + plan.pageName()) + u"\">"_s;
    const QString cover = plan.cover(subfolder);
    if (const std::optional<Tile> tile = tileOf(cover, pictures)) {
        // The cover's folder from here: the sub-folder or one below it.
        const QString below =
            plan.layout().relativeFolder(cover).mid(folder.isEmpty() ? 0 : folder.size() + 1);
        // The folder's name says what the link is; the cover adds nothing to read out.
        html += img(HtmlText::link(below) + u'/', tile->files, GridSizes, tile->files.first().size, QString(),
                    tileLoading(index++));
    }
    const int count = plan.imageCount(subfolder);
    html += u"<span class=\"name\">"_s + HtmlText::escaped(name) + u"</span><span class=\"count\">"_s +
            (count == 1 ? u"1 image"_s : number(count) + u" images"_s) + u"</span></a></li>\n"_s;
    return html;
}

// Where a picture's tile or a step from another photo leads: its photo page, else the picture.
QString pictureLink(const GalleryPlan &plan, const QString &entry)
{
    const QString name = OutputLayout::fileName(entry);
    return HtmlText::link(plan.options().photoPages ? OutputLayout::photoPageName(name, plan.pageName())
                                                    : name);
}

QString imageTile(const GalleryPlan &plan, const QString &entry,
                  const QHash<QString, GalleryPicture> &pictures, int &index)
{
    const QString name = OutputLayout::fileName(entry);
    const QString href = pictureLink(plan, entry);
    const std::optional<Tile> tile = tileOf(entry, pictures);
    if (!tile)
        return u"<li><a class=\"plain\" href=\""_s + href + u"\">"_s + HtmlText::escaped(name) +
               u"</a></li>\n"_s;
    // A caption is the link's text, read once; without one the picture is named by its file.
    const QString caption = pictures.value(entry).caption;
    QString html = u"<li><a href=\""_s + href + u"\">"_s +
                   img(QString(), tile->files, GridSizes, tile->files.first().size,
                       caption.isEmpty() ? HtmlText::escaped(name) : QString(), tileLoading(index++));
    if (!caption.isEmpty())
        html += u"<span class=\"caption\">"_s + HtmlText::escaped(caption) + u"</span>"_s;
    return html + u"</a></li>\n"_s;
}

// Arrow keys step to the previous or next photo and Escape goes back to the album, as the links
// do; so does a sideways swipe. Keys with a modifier, or typed into a field, are the browser's.
const QString PhotoScript = uR"(<script>
(() => {
  const go = (selector) => { const link = document.querySelector(selector); if (link) location.href = link.href; };
  const keys = { ArrowLeft: 'a[rel="prev"]', ArrowRight: 'a[rel="next"]', Escape: 'a.album' };
  addEventListener('keydown', (event) => {
    if (event.altKey || event.ctrlKey || event.metaKey || event.shiftKey || event.defaultPrevented) return;
    if (event.target.closest && event.target.closest('input, textarea, select, [contenteditable]')) return;
    if (!keys[event.key]) return;
    event.preventDefault();
    go(keys[event.key]);
  });
  let start = null;
  addEventListener('touchstart', (event) => {
    start = event.touches.length === 1 ? [event.touches[0].clientX, event.touches[0].clientY] : null;
  }, { passive: true });
  addEventListener('touchend', (event) => {
    if (!start) return;
    const touch = event.changedTouches[0];
    const dx = touch.clientX - start[0], dy = touch.clientY - start[1];
    start = null;
    if (Math.abs(dx) > 50 && Math.abs(dx) > 2 * Math.abs(dy)) go(dx < 0 ? 'a[rel="next"]' : 'a[rel="prev"]');
  }, { passive: true });
})();
</script>
)"_s;

} // namespace

QByteArray GalleryPage::render(const GalleryPlan &plan, const QString &folder, const QString &title,
                               const QHash<QString, GalleryPicture> &pictures)
{
    const bool top = folder.isEmpty();
    const QString heading = top ? title : GalleryPlan::folderName(folder);
    const QString pageTitle = albumTitle(folder, title);
    const QString description = photoCount(plan.imageCount(folder)) + u" in "_s + pageTitle;

    QString html = head(plan, GalleryPlan::depth(folder), pageTitle, description, plan.pagePath(folder),
                        plan.picturePath(plan.cover(folder))) +
                   u"<body>\n<header>\n"_s;
    if (!top)
        html += breadcrumbs(plan, folder, title, GalleryPlan::depth(folder), OutputLayout::fileName(folder));
    html += u"<h1>"_s + HtmlText::escaped(heading) + u"</h1>\n</header>\n<main>\n"_s;

    int index = 0;
    const QStringList subfolders = plan.subfolders(folder);
    if (!subfolders.isEmpty()) {
        html +=
            u"<section aria-labelledby=\"folders\">\n<h2 id=\"folders\">Folders</h2>\n<ul class=\"grid\">\n"_s;
        for (const QString &subfolder : subfolders)
            html += folderTile(plan, folder, subfolder, pictures, index);
        html += u"</ul>\n</section>\n"_s;
    }
    const QStringList images = plan.images(folder);
    if (!images.isEmpty()) {
        html +=
            u"<section aria-labelledby=\"images\">\n<h2 id=\"images\">Images</h2>\n<ul class=\"grid\">\n"_s;
        for (const QString &entry : images)
            html += imageTile(plan, entry, pictures, index);
        html += u"</ul>\n</section>\n"_s;
    }
    html += u"</main>\n</body>\n</html>\n"_s;
    return html.toUtf8();
}

QByteArray GalleryPage::renderPhoto(const GalleryPlan &plan, const QString &entry, const QString &title,
                                    const QHash<QString, GalleryPicture> &pictures)
{
    const QString folder = plan.layout().relativeFolder(entry);
    const QString name = OutputLayout::fileName(entry);
    const GalleryPicture picture = pictures.value(entry);
    const QString album = albumTitle(folder, title);
    const QString heading = picture.caption.isEmpty() ? name : picture.caption;
    const QString description =
        picture.caption.isEmpty() ? u"Photo "_s + name + u" in "_s + album : picture.caption;

    QString html = head(plan, GalleryPlan::depth(folder), heading + u" - "_s + album, description,
                        plan.photoPagePath(entry), plan.picturePath(entry)) +
                   u"<body>\n<header>\n"_s +
                   breadcrumbs(plan, folder, title, GalleryPlan::depth(folder) + 1, name) + u"<h1>"_s +
                   HtmlText::escaped(heading) + u"</h1>\n</header>\n<main>\n"_s;

    const QSize size = picture.copySize;
    if (!size.isEmpty()) {
        QList<GalleryPicture::Preview> files;
        for (const GalleryPicture::Preview &preview : picture.previews)
            addWider(files, preview);
        addWider(files, {name, size});
        // The copy's own size and shape: the page keeps its room before it loads, and fits it
        // to the window without making it larger than it is.
        const QString width = number(size.width());
        const QString sizes =
            u"(max-width: "_s + number(size.width() + 32) + u"px) calc(100vw - 2rem), "_s + width + u"px"_s;
        const QString image = img(QString(), files, sizes, size,
                                  picture.caption.isEmpty() ? HtmlText::escaped(name) : QString(),
                                  u"style=\"--width: "_s + width + u"px; --ratio: "_s + width + u" / "_s +
                                      number(size.height()) + u"\" fetchpriority=\"high\""_s);
        html += u"<figure class=\"photo\">"_s + image + u"</figure>\n"_s;
    }
    if (picture.taken.isValid())
        html += u"<p class=\"taken\">Taken <time datetime=\""_s + PhotoTime::machineReadable(picture.taken) +
                u"\">"_s + PhotoTime::shown(picture.taken) + u"</time></p>\n"_s;

    // No step past either end: the first photo has no previous, the last no next.
    const QStringList images = plan.images(folder);
    const qsizetype at = images.indexOf(entry);
    html += u"<nav class=\"steps\" aria-label=\"Photos\">\n"_s;
    if (at > 0)
        html += u"<a rel=\"prev\" href=\""_s + pictureLink(plan, images[at - 1]) + u"\">Previous</a>\n"_s;
    html += u"<a class=\"album\" href=\""_s + HtmlText::link(plan.pageName()) + u"\">Album</a>\n"_s;
    if (at >= 0 && at + 1 < images.size())
        html += u"<a rel=\"next\" href=\""_s + pictureLink(plan, images[at + 1]) + u"\">Next</a>\n"_s;
    html += u"<a href=\""_s + HtmlText::link(name) + u"\">Full size</a>\n</nav>\n</main>\n"_s + PhotoScript +
            u"</body>\n</html>\n"_s;
    return html.toUtf8();
}

QByteArray GalleryPage::stylesheet()
{
    return QByteArrayLiteral(R"(:root {
  color-scheme: light dark;
  --page: #f7f7f8;
  --text: #1c1c1f;
  --muted: #5b5b66;
  --tile: #ffffff;
  --line: #d8d8de;
  --link: #0a58ca;
  --focus: #0a58ca;
}
@media (prefers-color-scheme: dark) {
  :root {
    --page: #131316;
    --text: #ececf1;
    --muted: #a9a9b6;
    --tile: #1f1f24;
    --line: #3a3a43;
    --link: #8ab4f8;
    --focus: #ffd166;
  }
}
* { box-sizing: border-box; }
body {
  margin: 0 auto;
  max-width: 80rem;
  padding: 1rem;
  background: var(--page);
  color: var(--text);
  font: 1rem/1.4 system-ui, sans-serif;
}
a { color: var(--link); }
a:focus-visible {
  outline: 3px solid var(--focus);
  outline-offset: 3px;
  border-radius: 2px;
}
h1 { margin: 0.25rem 0 1rem; font-size: 1.6rem; overflow-wrap: anywhere; }
h2 { margin: 1.5rem 0 0.75rem; font-size: 1.1rem; color: var(--muted); }
.crumbs { display: flex; flex-wrap: wrap; gap: 0.25rem; margin: 0; padding: 0; list-style: none; }
.crumbs li { overflow-wrap: anywhere; }
.crumbs li + li::before { content: "/"; margin-right: 0.25rem; color: var(--muted); }
.grid {
  display: grid;
  grid-template-columns: repeat(auto-fill, minmax(13rem, 1fr));
  gap: 1rem;
  margin: 0;
  padding: 0;
  list-style: none;
}
.grid > li {
  padding: 0.5rem;
  background: var(--tile);
  border: 1px solid var(--line);
  border-radius: 0.5rem;
  text-align: center;
  overflow-wrap: anywhere;
}
@media (max-width: 30rem) {
  .grid { grid-template-columns: repeat(2, 1fr); gap: 0.5rem; }
}
.grid a { display: block; text-decoration: none; }
/* Never wider than its width attribute: the narrow preview's, half the wide one's. */
.grid img { display: block; margin: 0 auto; max-width: 100%; height: auto; }
.name { display: block; margin-top: 0.5rem; font-weight: 600; }
.count, .caption { display: block; margin-top: 0.25rem; color: var(--muted); font-size: 0.9rem; }
.photo { margin: 0; }
/* The room the photo takes is known before it loads; it fits the window and is never enlarged. */
.photo img {
  display: block;
  margin: 0 auto;
  width: min(100%, var(--width), calc((100vh - 12rem) * var(--ratio)));
  height: auto;
  aspect-ratio: var(--ratio);
}
.taken { margin: 0.5rem 0 0; text-align: center; color: var(--muted); }
.steps { display: flex; flex-wrap: wrap; justify-content: center; gap: 0.5rem 1.5rem; margin: 1rem 0; }
)");
}
