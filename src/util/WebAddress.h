#pragma once

#include <QByteArray>
#include <QUrl>

// Addresses from the settings file are handed to other programs: the default browser gets one as
// an argument, the desktop opens a sponsor link. Anyone can seal a settings file, so these rules
// keep such an address from being read as anything but an address.
namespace UUtils {

// True when a program given address as an argument would take it for an option: it begins with
// '-' once the blanks and control bytes before it are dropped (as a wrapper script that splits
// its arguments again would drop them).
bool readsAsOption(const QByteArray& address);

// The web address a sponsor link opens: an http: or https: address with a host, or an address
// without a scheme that the desktop takes for one ("www.example.com" becomes
// "http://www.example.com"). An invalid QUrl for anything else: a local path, file:, smb:,
// javascript: or any other scheme, an address that reads as an option, and the empty address.
QUrl sponsorLinkUrl(const QByteArray& address);

} // namespace UUtils
