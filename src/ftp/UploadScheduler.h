#pragma once

#include "ClockReading.h"
#include "FtpClient.h"
#include "FtpSettings.h"
#include "UploadLog.h"
#include "UploadPlan.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

class PublishMemory;
class RemoteFolders;
class UploadConnections;
class UploadProgress;
struct RunState;

// Runs the steps of an upload plan over the connections: hands each free connection the next
// step in the list's order (the files of a folder wait for its step, the pages for the files),
// decides from a folder's listing which of its files go, requeues a step whose connection went,
// and keeps the lines in the list's order. Its loop is the upload's clock: it collects what the
// connections finished, lets the window work and shows what is in flight, every 10 ms at most.
class UploadScheduler
{
public:
    // What became of the files, by their paths below the FTP root.
    struct Files
    {
        QStringList sent;
        QStringList skipped;
        QStringList failed;
    };

    UploadScheduler(const UploadPlan &plan, const FtpSettings &server, UploadConnections &connections,
                    RemoteFolders &folders, PublishMemory &memory, RunState &run, UploadProgress &progress,
                    UploadLog::Output line);

    // Until every step is done, Cancel, or no connection is left.
    void run();
    // No connection is left: the files not sent are counted as failed, and the user told.
    bool serverGone() const { return m_serverGone; }
    const Files &files() const { return m_files; }

private:
    struct StepRun;

    bool dispatchNext();
    void startFolder(int step, int connection);
    void startFiles(int step, int connection);
    bool prepare(int step);
    void finish(int connection);
    void finishFolder(int step, int connection);
    void finishFiles(int step, int connection);
    void judge(int connection, FtpClient::Failure failure);
    void requeue(int step);
    void sendProbe(int listingStep);
    void giveUp();
    void showInFlight();
    void countDone();
    QStringList localFilesIn(const QString &folder) const;
    QString folderOf(int step) const;

    QList<UploadStep> m_steps;
    QList<std::shared_ptr<StepRun>> m_runs;
    FtpSettings m_server;
    UploadConnections &m_connections;
    RemoteFolders &m_folders;
    PublishMemory &m_memory;
    RunState &m_run;
    UploadProgress &m_progress;
    UploadLog::Output m_line;
    UploadLog m_log;

    // Steps waiting for a connection, in the list's order; that order, as step numbers.
    QList<int> m_pending;
    QList<int> m_order;
    int m_toSend = 0;
    int m_done = 0;
    bool m_serverGone = false;
    Files m_files;
    ClockReading m_clock;
};
