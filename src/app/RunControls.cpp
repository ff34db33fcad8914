#include "RunControls.h"

#include "MainControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace RunControls {

using enum Control;
using enum State;

const Table RunStart = {
    {TickAll, Off},       {Invert, Off},          {TickNone, Off},     {FtpSetup, Off},
    {Resize, Off},        {Upload, Off},          {ResizeUpload, Off}, {SetFolder, Off},
    {Scan, Off},          {Images, Off},          {Destination, Off},  {ResizePercent, Off},
    {ThumbnailSize, Off}, {ThumbnailPrefix, Off}, {UploadLimit, Off},  {Mode, Off},
    {Recreate, Off},      {Limit, Off},
};

const Table ScanStart = {
    {Resize, Off},   {Upload, Off},    {ResizeUpload, Off}, {FtpSetup, Off},    {TickAll, Off}, {Invert, Off},
    {TickNone, Off}, {SetFolder, Off}, {Scan, Off},         {Destination, Off}, {Images, Off},
};

const Table ScanEnd = {
    {SetFolder, On}, {Scan, On}, {Images, On}, {Destination, On}, {FtpSetup, On}, {Upload, Off},
};

const Table ResizeEnd = {
    {SetFolder, On},
    {Scan, On},
    {Destination, On},
    {Images, On},
    {ResizePercent, On},
    {ThumbnailSize, On},
    {ThumbnailPrefix, ByThumbnailSize},
    {UploadLimit, On},
    {Mode, On},
    {Recreate, On},
    {Limit, On},
    {FtpSetup, On},
};

const Table UploadEnd = {
    {TickAll, On},
    {Invert, On},
    {TickNone, On},
    {SetFolder, On},
    {Scan, On},
    {Images, On},
    {Destination, On},
    {FtpSetup, On},
    {ResizePercent, On},
    {ThumbnailSize, On},
    {ThumbnailPrefix, ByThumbnailSize},
    {UploadLimit, On},
    {Mode, On},
    {Recreate, On},
    {Limit, On},
    {Upload, Off},
};

const Table WhenReady = {{Resize, OnWhenReady}, {Upload, OnWhenReady}, {ResizeUpload, OnWhenReady}};

const Table TickingEnd = {
    {FtpSetup, On},
    {Resize, ByDestination},
    {Upload, ByDestination},
    {ResizeUpload, ByDestination},
    {SetFolder, On},
    {Scan, On},
    {Images, On},
    {Destination, On},
    {ResizePercent, On},
    {ThumbnailSize, On},
    {ThumbnailPrefix, ByThumbnailSize},
    {UploadLimit, On},
    {Mode, On},
    {Recreate, On},
    {Limit, On},
    {Invert, On},
    {TickAll, On},
    {TickNone, On},
};

const Table TickButtons = {{TickAll, On}, {Invert, On}, {TickNone, On}};

const Table RootChanged = {
    {Resize, Off}, {Upload, Off},   {ResizeUpload, Off}, {TickAll, Off},
    {Invert, Off}, {TickNone, Off}, {Images, Off},
};

const Table ListCleared = {{Resize, Off}, {Upload, Off}, {ResizeUpload, Off}};

QWidget *widget(const MainControls &c, Control control)
{
    switch (control) {
    case SetFolder:
        return c.cmdSetFolder;
    case Scan:
        return c.cmdScan;
    case Invert:
        return c.cmdINV;
    case TickAll:
        return c.cmdALL;
    case TickNone:
        return c.cmdNONE;
    case Images:
        return c.List1;
    case Destination:
        return c.cmdFDestin;
    case ResizePercent:
        return c.cmbResizePct;
    case Mode:
        return c.cmbMode;
    case Limit:
        return c.txtRSizeLimit;
    case UploadLimit:
        return c.cmbFTPSizeLimit;
    case FtpSetup:
        return c.cmdFTPSettings;
    case Recreate:
        return c.chkRecreate;
    case ThumbnailSize:
        return c.cmbTNSize;
    case ThumbnailPrefix:
        return c.txtTNPrefix;
    case Resize:
        return c.cmdResize;
    case Upload:
        return c.cmdUpload;
    case ResizeUpload:
        return c.cmdResize_Upload;
    }
    return nullptr;
}

void apply(const MainControls &controls, const Table &table, bool scanFoundImages)
{
    const bool haveDestination = !controls.txtFDestin->text().isEmpty();
    for (const Step &step : table) {
        QWidget *control = widget(controls, step.control);
        switch (step.state) {
        case Off:
            control->setEnabled(false);
            break;
        case On:
            control->setEnabled(true);
            break;
        case ByThumbnailSize:
            control->setEnabled(controls.cmbTNSize->currentText() != u"Disabled"_s);
            break;
        case ByDestination:
            control->setEnabled(haveDestination);
            break;
        case OnWhenReady:
            if (scanFoundImages && haveDestination)
                control->setEnabled(true);
            break;
        }
    }
}

} // namespace RunControls
