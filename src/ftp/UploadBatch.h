#pragma once

#include "FtpClient.h"
#include "FtpSettings.h"
#include "OutputLayout.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class UploadHost;
class UploadProgress;
struct RunState;

// What an upload reads when it starts: the server, the roots, the thumbnail rule, the folders
// and entries of the last scan with their ticks.
struct UploadInputs
{
    FtpSettings server;
    QString imageRoot;
    QString destinationRoot;
    QString thumbnailPrefix;
    QString thumbnailSize;
    // The hidden folder list, every entry whatever the ticks.
    QStringList folders;
    QStringList entries;
    QList<bool> ticked;

    OutputLayout layout() const;
};

// The upload: finds or creates below the FTP root every folder of the last scan, then sends
// every unticked image's counterpart and its thumbnail, writing each step into the progress
// window. Runs to its end on the calling thread, with the main window's controls locked.
class UploadBatch
{
public:
    enum class Outcome
    {
        // Stopped before the folders: a setting missing, no connection, no FTP root.
        Refused,
        Cancelled,
        Complete,
        CompleteWithErrors,
    };

    UploadBatch(const UploadInputs &inputs, RunState &run, UploadHost &host,
                std::unique_ptr<FtpClient> client);
    ~UploadBatch();

    // Everything from the settings check to giving the controls back.
    Outcome run();
    // After an unexpected error: closes the connection and gives the controls back.
    void abandon();

    // Images and thumbnails of the last run that failed to upload or were missing.
    int failedFiles() const { return m_failedFiles; }
    // The closing line of a run with failures.
    static QString failureText(int failedFiles);

private:
    Outcome transfer();
    bool connectToServer(uint16_t port);
    Outcome cancelledEarly();
    bool locateRoot(const QString &root);
    bool folderPhase();
    Outcome filePhase();
    bool enterRemoteFolder(const QString &remoteFolder);
    void sendEntry(int index);
    bool put(const QString &localPath, const QString &path);
    void fail(const QString &line, const QString &box);
    void line(const QString &text);
    void finish();

    UploadInputs m_inputs;
    RunState &m_run;
    UploadHost &m_host;
    UploadProgress *m_progress = nullptr;
    std::unique_ptr<FtpClient> m_client;
    bool m_opened = false;
    // The FTP root below the login folder, and the folder of the entries in hand below that, as
    // the lines name it and as a path.
    QString m_rootPath;
    QString m_currentFolder;
    QString m_currentPath;
    int m_failedFiles = 0;
};
