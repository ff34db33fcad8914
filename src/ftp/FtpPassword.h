#pragma once

#include <QString>

// How the FTP password is kept in the settings file. The scrambled bytes are stored as they
// are whenever the file gives them back intact, as they always were. When it cannot (the
// scrambled form holds NUL, CR or LF, is no UTF-8 text, has blanks at an end or quotes around
// it) it is stored as base64 inside an extra pair of double quotes, so that it reads back as
// "<base64>" with the quotes kept. A raw form that reads back enclosed in quotes could never
// carry a password, since the file drops one pair of enclosing quotes, so the two forms
// never meet.
namespace FtpPassword {

// The text to write under the key "password"; empty for an empty password.
QString storedForm(const QString &password);

// The password from the text read back under the key "password"; empty for empty text.
QString fromStored(const QString &stored);

} // namespace FtpPassword
