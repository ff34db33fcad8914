#include "FTPStatus.h"

#include "ErrorGuard.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {
constexpr int BarSteps = 1000;
}

FTPStatus::FTPStatus(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"FTPStatus"_s);
    setWindowTitle(u"FTP Status"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(480, 360);

    FTPStatusMsgs = new QListWidget(this);
    FTPStatusMsgs->setObjectName(u"FTPStatusMsgs"_s);
    FTPStatusMsgs->setGeometry(8, 8, 464, 220);
    lblProcessing = new QLabel(u"Processing file:"_s, this);
    lblProcessing->setGeometry(8, 234, 464, 18);
    txtFIPG = new QLineEdit(this);
    txtFIPG->setObjectName(u"txtFIPG"_s);
    txtFIPG->setReadOnly(true);
    txtFIPG->setGeometry(8, 254, 464, 24);
    lblProcessing->setBuddy(txtFIPG);
    prgFileBytes = new QProgressBar(this);
    prgFileBytes->setObjectName(u"prgFileBytes"_s);
    prgFileBytes->setRange(0, BarSteps);
    prgFileBytes->setValue(0);
    prgFileBytes->setGeometry(8, 284, 340, 20);
    prgFileBytes->setAccessibleName(u"Bytes sent of the file in hand"_s);
    lblFileCount = new QLabel(this);
    lblFileCount->setObjectName(u"lblFileCount"_s);
    lblFileCount->setGeometry(356, 284, 116, 20);
    lblFileCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblWarning = new QLabel(u"Pressing 'Cancel' will cancel the entire operation!!"_s, this);
    lblWarning->setGeometry(8, 322, 360, 24);
    cmdCancel = new QPushButton(u"Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdCancel->setGeometry(380, 318, 92, 30);

    connect(cmdCancel, &QPushButton::clicked, this, &FTPStatus::cmdCancel_Click);
    Form_Load();
}

void FTPStatus::Form_Load()
{
    guarded(u"FTPStatus"_s, u"Form_Load"_s, [&] { FTPStatusMsgs->clear(); });
}

void FTPStatus::startRun()
{
    FTPStatusMsgs->clear();
    txtFIPG->clear();
    cmdCancel->setText(u"Cancel"_s);
    m_barValue = 0;
    prgFileBytes->setValue(0);
    lblFileCount->clear();
}

void FTPStatus::addLine(const QString &line)
{
    FTPStatusMsgs->addItem(line);
}

void FTPStatus::setFileInProgress(const QString &text)
{
    txtFIPG->setText(text);
}

void FTPStatus::repaintNow()
{
    // The list places new lines only when laid out, so lay it out before painting.
    FTPStatusMsgs->doItemsLayout();
    repaint();
}

void FTPStatus::finishRun()
{
    cmdCancel->setText(u"Exit"_s);
}

// The bar repaints itself at once on every change of its value, which a transfer reports
// many times a millisecond; so it takes the latest value only when the event loop next runs.
void FTPStatus::showTransfer(qint64 sent, qint64 total)
{
    m_barValue = total > 0 ? static_cast<int>(sent * BarSteps / total) : 0;
    if (m_barUpdatePending)
        return;
    m_barUpdatePending = true;
    QTimer::singleShot(0, this, &FTPStatus::applyTransfer);
}

void FTPStatus::applyTransfer()
{
    m_barUpdatePending = false;
    prgFileBytes->setValue(m_barValue);
}

void FTPStatus::showFileCount(int done, int total)
{
    lblFileCount->setText(u"%1 of %2 files"_s.arg(done).arg(total));
}

void FTPStatus::cmdCancel_Click()
{
    guarded(u"FTPStatus"_s, u"cmdCancel_Click"_s, [&] {
        const QString caption = cmdCancel->text();
        if (caption == u"Cancel"_s)
            emit cancelClicked();
        else if (caption == u"Exit"_s)
            close();
    });
}

// The close box during a run is Cancel: the window stays so that the run's last lines show.
void FTPStatus::closeEvent(QCloseEvent *event)
{
    if (cmdCancel->text() == u"Cancel"_s) {
        emit cancelClicked();
        event->ignore();
        return;
    }
    event->accept();
}
