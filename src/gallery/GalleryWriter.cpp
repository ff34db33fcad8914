#include "GalleryWriter.h"

#include "DestinationPath.h"
#include "ExifBlock.h"
#include "FileSystem.h"
#include "GalleryPage.h"
#include "ImageHeader.h"
#include "PhotoCaption.h"
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
    picture.copySize = shownSize(layout.copyPath(entry));
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

    int written = 0;
    for (const QString &file : m_plan.files()) {
        if (cancelled && cancelled())
            break;
        const QByteArray content =
            file == m_plan.stylesheetPath()
                ? GalleryPage::stylesheet()
                : GalleryPage::render(m_plan, OutputLayout::folderOf(file), m_title, pictures);
        if (writeIfChanged(file, content))
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
