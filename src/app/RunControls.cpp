#include "RunControls.h"

#include "MainControls.h"
#include "OutputLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
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

// Groups that several tables give back in the same order.
const Table TickButtons = {{TickAll, On}, {Invert, On}, {TickNone, On}};
const Table CatalogueOn = {{SetFolder, On}, {Scan, On}, {Images, On}, {Destination, On}};
const Table RulesOn = {{ResizePercent, On}, {ThumbnailSize, On}, {ThumbnailPrefix, ByThumbnailSize},
                       {UploadLimit, On},   {Mode, On},          {Recreate, On},
                       {Limit, On}};

const Table ScanEnd = CatalogueOn + Table{{FtpSetup, On}, {Upload, Off}};

const Table ResizeEnd = CatalogueOn + RulesOn + Table{{FtpSetup, On}};

const Table UploadEnd = TickButtons + CatalogueOn + Table{{FtpSetup, On}} + RulesOn + Table{{Upload, Off}};

const Table WhenReady = {{Resize, OnWhenReady}, {Upload, OnWhenReady}, {ResizeUpload, OnWhenReady}};

const Table TickingEnd =
    Table{{FtpSetup, On}, {Resize, ByDestination}, {Upload, ByDestination}, {ResizeUpload, ByDestination}} +
    CatalogueOn + RulesOn + TickButtons;

const Table ListCleared = {{Resize, Off}, {Upload, Off}, {ResizeUpload, Off}};

const Table RootChanged = ListCleared + Table{{TickAll, Off}, {Invert, Off}, {TickNone, Off}, {Images, Off}};

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
            control->setEnabled(controls.cmbTNSize->currentText() != OutputLayout::ThumbnailsDisabled);
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
