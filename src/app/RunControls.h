#pragma once

#include <QList>

struct MainControls;
class QWidget;

// The controls that runs lock and give back, as data: a table per kind of run, each step a
// control and the state it takes, applied in the table's order.
namespace RunControls {

enum class Control
{
    SetFolder,
    Scan,
    Invert,
    TickAll,
    TickNone,
    Images,
    Destination,
    ResizePercent,
    Mode,
    Limit,
    UploadLimit,
    FtpSetup,
    Recreate,
    ThumbnailSize,
    ThumbnailPrefix,
    Resize,
    Upload,
    ResizeUpload,
};

enum class State
{
    Off,
    On,
    // On unless the thumbnail size is OutputLayout::ThumbnailsDisabled.
    ByThumbnailSize,
    // On when there is a destination root.
    ByDestination,
    // On when the last scan found images and there is a destination root; else left as it is.
    OnWhenReady,
};

struct Step
{
    Control control;
    State state;
};
using Table = QList<Step>;

// What a scan, a resize or an upload, and bulk ticking, lock at their start (everything that
// could start another run or change the inputs).
extern const Table RunStart;
extern const Table ScanStart;
extern const Table ScanEnd;
extern const Table ResizeEnd;
extern const Table UploadEnd;
extern const Table TickingEnd;
// The batch buttons, after a run's end table: on when there is something to work on.
extern const Table WhenReady;
// The bulk tick buttons, given back last by a resize.
extern const Table TickButtons;
// A complete upload empties the list.
extern const Table ListCleared;
// A new image root empties the list.
extern const Table RootChanged;

QWidget *widget(const MainControls &controls, Control control);
// scanFoundImages tells whether the last scan listed any image.
void apply(const MainControls &controls, const Table &table, bool scanFoundImages);

} // namespace RunControls
