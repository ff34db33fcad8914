#include "GalleryPage.h"

#include "GalleryPlan.h"
#include "HtmlText.h"

#include <algorithm>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

// What stands for an image in a grid: a file beside its copy, at the size the page gives it.
struct Tile
{
    QString file;
    QSize size;
};

QSize fitted(const QSize &size)
{
    if (size.width() <= GalleryPage::TileSize && size.height() <= GalleryPage::TileSize)
        return size;
    const QSize scaled = size.scaled(GalleryPage::TileSize, GalleryPage::TileSize, Qt::KeepAspectRatio);
    return {std::max(1, scaled.width()), std::max(1, scaled.height())};
}

std::optional<Tile> tileOf(const QString &entry, const QHash<QString, GalleryPicture> &pictures)
{
    const auto found = pictures.constFind(entry);
    if (found == pictures.cend())
        return std::nullopt;
    if (!found->thumbnail.isEmpty() && !found->thumbnailSize.isEmpty())
        return Tile{found->thumbnail, found->thumbnailSize};
    if (found->copySize.isEmpty())
        return std::nullopt;
    return Tile{OutputLayout::fileName(entry), fitted(found->copySize)};
}

// Only ever given links and escaped text, so nothing here needs escaping again.
QString img(const QString &source, const QSize &size, const QString &alt)
{
    return u"<img src=\""_s + source + u"\" width=\""_s + QString::number(size.width()) + u"\" height=\""_s +
           QString::number(size.height()) + u"\" alt=\""_s + alt + u"\" loading=\"lazy\">"_s;
}

QString up(int levels)
{
    return u"../"_s.repeated(levels);
}

QString breadcrumbs(const GalleryPlan &plan, const QString &folder, const QString &title)
{
    const QStringList names = folder.split(u'/');
    const int depth = GalleryPlan::depth(folder);
    QString html = u"<nav aria-label=\"Breadcrumbs\"><ol class=\"crumbs\">\n"_s;
    for (int level = 0; level < depth; ++level) {
        const QString name = level == 0 ? title : names[level - 1];
        html += u"<li><a href=\""_s + up(depth - level) + HtmlText::link(plan.pageName()) + u"\">"_s +
                HtmlText::escaped(name) + u"</a></li>\n"_s;
    }
    html += u"<li aria-current=\"page\">"_s + HtmlText::escaped(names.last()) + u"</li>\n</ol></nav>\n"_s;
    return html;
}

QString folderTile(const GalleryPlan &plan, const QString &folder, const QString &subfolder,
                   const QHash<QString, GalleryPicture> &pictures)
{
    const QString name = GalleryPlan::folderName(subfolder);
    QString html = u"<li><a href=\""_s + HtmlText::link(name + u'/' + plan.pageName()) + u"\">"_s;
    const QString cover = plan.cover(subfolder);
    if (const std::optional<Tile> tile = tileOf(cover, pictures)) {
        // The cover's folder from here: the sub-folder or one below it.
        const QString below =
            plan.layout().relativeFolder(cover).mid(folder.isEmpty() ? 0 : folder.size() + 1);
        // The folder's name says what the link is; the cover adds nothing to read out.
        html += img(HtmlText::link(below + u'/' + tile->file), tile->size, QString());
    }
    const int count = plan.imageCount(subfolder);
    html += u"<span class=\"name\">"_s + HtmlText::escaped(name) + u"</span><span class=\"count\">"_s +
            (count == 1 ? u"1 image"_s : QString::number(count) + u" images"_s) + u"</span></a></li>\n"_s;
    return html;
}

QString imageTile(const QString &entry, const QHash<QString, GalleryPicture> &pictures)
{
    const QString name = OutputLayout::fileName(entry);
    const QString href = HtmlText::link(name);
    const std::optional<Tile> tile = tileOf(entry, pictures);
    if (!tile)
        return u"<li><a class=\"plain\" href=\""_s + href + u"\">"_s + HtmlText::escaped(name) +
               u"</a></li>\n"_s;
    const QString caption = pictures.value(entry).caption;
    QString html =
        u"<li><figure><a href=\""_s + href + u"\">"_s +
        img(HtmlText::link(tile->file), tile->size, HtmlText::escaped(caption.isEmpty() ? name : caption)) +
        u"</a>"_s;
    if (!caption.isEmpty())
        html += u"<figcaption>"_s + HtmlText::escaped(caption) + u"</figcaption>"_s;
    return html + u"</figure></li>\n"_s;
}

} // namespace

QByteArray GalleryPage::render(const GalleryPlan &plan, const QString &folder, const QString &title,
                               const QHash<QString, GalleryPicture> &pictures)
{
    const bool top = folder.isEmpty();
    const QString heading = top ? title : GalleryPlan::folderName(folder);
    QString pageTitle = title;
    if (!top)
        pageTitle += u" / "_s + folder.split(u'/').join(u" / "_s);

    QString html = u"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                   u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"_s +
                   HtmlText::escaped(pageTitle) + u"</title>\n<link rel=\"stylesheet\" href=\""_s +
                   up(GalleryPlan::depth(folder)) + HtmlText::link(plan.stylesheetPath()) +
                   u"\">\n</head>\n<body>\n<header>\n"_s;
    if (!top)
        html += breadcrumbs(plan, folder, title);
    html += u"<h1>"_s + HtmlText::escaped(heading) + u"</h1>\n</header>\n<main>\n"_s;

    const QStringList subfolders = plan.subfolders(folder);
    if (!subfolders.isEmpty()) {
        html +=
            u"<section aria-labelledby=\"folders\">\n<h2 id=\"folders\">Folders</h2>\n<ul class=\"grid\">\n"_s;
        for (const QString &subfolder : subfolders)
            html += folderTile(plan, folder, subfolder, pictures);
        html += u"</ul>\n</section>\n"_s;
    }
    const QStringList images = plan.images(folder);
    if (!images.isEmpty()) {
        html +=
            u"<section aria-labelledby=\"images\">\n<h2 id=\"images\">Images</h2>\n<ul class=\"grid\">\n"_s;
        for (const QString &entry : images)
            html += imageTile(entry, pictures);
        html += u"</ul>\n</section>\n"_s;
    }
    html += u"</main>\n</body>\n</html>\n"_s;
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
  grid-template-columns: repeat(auto-fill, minmax(11rem, 1fr));
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
.grid a { display: block; text-decoration: none; }
.grid img { display: block; margin: 0 auto; max-width: 100%; height: auto; }
figure { margin: 0; }
.name { display: block; margin-top: 0.5rem; font-weight: 600; }
.count, figcaption { display: block; margin-top: 0.25rem; color: var(--muted); font-size: 0.9rem; }
)");
}
