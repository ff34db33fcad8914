#pragma once

#include "ServerIdentity.h"

#include <QString>

// What the progress window and the boxes say about a server whose identity a connect found
// wanting.
namespace IdentityMessages {

// The progress line: what was wrong, with the fingerprints.
QString line(const ServerIdentity &identity);
// For a certificate or a host key the user may choose to trust: the question, and its title.
QString question(const ServerIdentity &identity);
QString questionTitle(const ServerIdentity &identity);
// For an identity that changed: the warning, and its title.
QString warning(const ServerIdentity &identity);
QString warningTitle(const ServerIdentity &identity);
// The line after trusting a host key that known_hosts could not keep.
QString notKept();

} // namespace IdentityMessages
