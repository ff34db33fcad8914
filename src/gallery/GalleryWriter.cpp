#include "GalleryWriter.h"

#include "DestinationPath.h"
#include "ExifBlock.h"
#include "FileSystem.h"
#include "GalleryPage.h"
#include "ImageHeader.h"
#include "PhotoCaption.h"
#include "PhotoTime.h"
#include "RunTimeError.h"
#include "WebCopyEditor.h"

namespace {

// The size a browser shows a file at: its header's, turned as its orientation says.
QSize shownSize(const QString &path)
{
    QByteArray head;
    try {
        head = FileSystem::ReadFileHead(path, ImageHeader::BufferSize);
    } catch (const RunTimeError &) {
        return {};
    }
    ImageHeader header;
    header.parse(head);
    if (header.width() <= 0 || header.height() <= 0)
        return {};
    if (WebCopyEditor::swapsSides(ExifBlock::jpegOrientation(head)))
        return {header.height(), header.width()};
    return {header.width(), header.height()};
}

} // namespace

GalleryWriter::GalleryWriter(const GalleryPlan &plan, const QString &title) : m_plan(plan), m_title(title) {}

GalleryPicture GalleryWriter::measure(const QString &entry, const OutputLayout &layout)
{
    GalleryPicture picture;
    picture.caption = PhotoCaption::ofFile(entry);
    picture.taken = PhotoTime::ofFile(entry);
    picture.copySize = shownSize(layout.copyPath(entry));
    for (const int width : OutputLayout::PreviewWidths) {
        const QString preview = layout.previewPath(entry, width);
        const QSize size = shownSize(preview);
        if (size.isEmpty()) {
            // Half a pair would give the grid a tile unlike the others: the fallback instead.
            picture.previews.clear();
            break;
        }
        picture.previews.append({OutputLayout::fileName(preview), size});
    }
    const QString thumbnail = layout.thumbnailPath(entry);
    if (!thumbnail.isEmpty()) {
        picture.thumbnailSize = shownSize(thumbnail);
        if (!picture.thumbnailSize.isEmpty())
            picture.thumbnail = OutputLayout::fileName(thumbnail);
    }
    return picture;
}

int GalleryWriter::write(const Cancelled &cancelled)
{
    QHash<QString, GalleryPicture> pictures;
    for (const QString &folder : m_plan.folders()) {
        for (const QString &entry : m_plan.images(folder)) {
            if (cancelled && cancelled())
                return 0;
            pictures.insert(entry, measure(entry, m_plan.layout()));
        }
    }

    // The order of files(), without the previews.
    QList<std::pair<QString, std::function<QByteArray()>>> pages{
        {m_plan.stylesheetPath(), [] { return GalleryPage::stylesheet(); }}};
    if (m_plan.options().photoPages) {
        for (const QString &folder : m_plan.folders()) {
            for (const QString &entry : m_plan.images(folder))
                pages.append({m_plan.photoPagePath(entry), [&, entry] {
                                  return GalleryPage::renderPhoto(m_plan, entry, m_title, pictures);
                              }});
        }
    }
    for (auto folder = m_plan.folders().crbegin(); folder != m_plan.folders().crend(); ++folder)
        pages.append({m_plan.pagePath(*folder), [&, folder = *folder] {
                          return GalleryPage::render(m_plan, folder, m_title, pictures);
                      }});

    int written = 0;
    for (const auto &[file, content] : pages) {
        if (cancelled && cancelled())
            break;
        if (writeIfChanged(file, content()))
            ++written;
    }
    return written;
}

bool GalleryWriter::writeIfChanged(const QString &file, const QByteArray &content) const
{
    const QString path = DestinationPath::join(m_plan.layout().destinationRoot(), file);
    // One byte more than the page tells a longer file from an equal one.
    if (FileSystem::FileExists(path) && FileSystem::ReadFileHead(path, content.size() + 1) == content)
        return false;
    FileSystem::WriteFile(path, content);
    return true;
}
