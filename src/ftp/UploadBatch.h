#pragma once

#include "FtpClient.h"

#include <QString>
#include <memory>

class UploadHost;

// The upload: finds or creates below the FTP root every folder of the last scan, then sends
// every unticked image's counterpart and its thumbnail, writing each step into the progress
// window. Runs to its end on the calling thread.
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

    UploadBatch(UploadHost &host, std::unique_ptr<FtpClient> client);
    ~UploadBatch();

    // Everything from locking the main window to giving its controls back.
    Outcome run();
    // After an unexpected error: closes the connection and gives the controls back.
    void abandon();

    // Images and thumbnails of the last run that failed to upload or were missing.
    int failedFiles() const { return m_failedFiles; }
    // The closing line of a run with failures.
    static QString failureText(int failedFiles);

private:
    struct Settings
    {
        QString address;
        QString username;
        QString password;
        QString port;
        QString root;
    };

    Settings readSettings() const;
    Outcome transfer(const Settings &settings);
    bool locateRoot(const QString &root);
    bool folderPhase();
    Outcome filePhase();
    bool enterRemoteFolder(const QString &remoteFolder);
    void leaveLevels();
    void sendEntry(int index);
    bool put(const QString &localPath, const QString &remoteName);
    void fail(const QString &line, const QString &box);
    void line(const QString &text);
    void finish();

    UploadHost &m_host;
    std::unique_ptr<FtpClient> m_client;
    bool m_opened = false;
    QString m_currentFolder;
    int m_levels = 0;
    int m_failedFiles = 0;
};
