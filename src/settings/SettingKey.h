#pragma once

#include "OutputLayout.h"

#include <QString>

// One key of the settings file: its section, its name, and the text its readers put in place
// of an empty read (a missing key and an empty value read alike).
struct SettingKey
{
    QString section;
    QString name;
    QString fallback;
    // A value only the user may read: writing one makes the file the owner's alone.
    bool secret = false;
};

// Every key the program keeps. The image root's fallback is worked out at run time (see
// frmMain), so its entry has none.
namespace SettingKeys {
using namespace Qt::Literals::StringLiterals;

inline const SettingKey ThumbnailSize{u"main"_s, u"tn_size"_s, OutputLayout::ThumbnailsDisabled};
inline const SettingKey ThumbnailPrefix{u"main"_s, u"tn_prefix"_s, u"tn_"_s};
inline const SettingKey ResizeMode{u"main"_s, u"resize_mode"_s, u"Exceed Limit to Pct"_s};
inline const SettingKey ResizeLimit{u"main"_s, u"resize_limit"_s, u"600W"_s};
inline const SettingKey ResizePercent{u"main"_s, u"resize_pct"_s, u"25"_s};
inline const SettingKey DestinationRoot{u"main"_s, u"dest_path"_s, QString()};
inline const SettingKey ImageRoot{u"main"_s, u"root_path"_s, QString()};
inline const SettingKey UploadSizeLimit{u"ftp"_s, u"ul_size_limit"_s, u"500"_s};
inline const SettingKey FtpAddress{u"ftp"_s, u"address"_s, QString()};
inline const SettingKey FtpUsername{u"ftp"_s, u"username"_s, QString()};
inline const SettingKey FtpPassword{u"ftp"_s, u"password"_s, QString(), true};
inline const SettingKey FtpPort{u"ftp"_s, u"port"_s, u"21"_s};
inline const SettingKey FtpRoot{u"ftp"_s, u"root"_s, QString()};
// "ftp", "ftps" or "sftp"; anything else is plain FTP.
inline const SettingKey FtpSecurity{u"ftp"_s, u"security"_s, QString()};
// "host:port sha256//…", the certificate key the user chose to trust for that server.
inline const SettingKey FtpTlsPin{u"ftp"_s, u"tls_pin"_s, QString()};
// How many connections an upload may use at once, 1 to 8.
inline const SettingKey FtpConnections{u"ftp"_s, u"connections"_s, u"1"_s};
// "1": files the server already has, same size and not older, are not sent again.
inline const SettingKey FtpOnlyChanged{u"ftp"_s, u"only_changed"_s, u"0"_s};
// "1": images that are no longer in the image root are offered for removal from the server.
inline const SettingKey FtpRemoveMissing{u"ftp"_s, u"remove_missing"_s, u"0"_s};
// Web copies: "1" turns a choice on, anything else leaves it off.
inline const SettingKey WebStripPrivate{u"web"_s, u"strip_private"_s, u"0"_s};
inline const SettingKey WebAutoOrient{u"web"_s, u"auto_orient"_s, u"0"_s};
inline const SettingKey WebSrgb{u"web"_s, u"srgb"_s, u"0"_s};
inline const SettingKey WebFastDecode{u"web"_s, u"fast_decode"_s, u"0"_s};
// Gallery pages: "1" writes them; an empty title means the image root's folder name.
inline const SettingKey WebPages{u"web"_s, u"pages"_s, u"0"_s};
inline const SettingKey WebTitle{u"web"_s, u"title"_s, QString()};
inline const SettingKey WebPageName{u"web"_s, u"page_name"_s, u"index.html"_s};
// With pages on: "1" (or no value) gives each shown picture a page of its own.
inline const SettingKey WebPhotoPages{u"web"_s, u"photo_pages"_s, u"1"_s};
// The order a page shows its pictures in: "taken", "name" or "scan".
inline const SettingKey WebOrder{u"web"_s, u"order"_s, u"taken"_s};
// The address the gallery's top folder is published at, such as "https://example.org/photos/";
// empty for none.
inline const SettingKey WebAddress{u"web"_s, u"web_address"_s, QString()};

} // namespace SettingKeys
