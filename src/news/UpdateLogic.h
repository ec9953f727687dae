#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The parts of the live update check that need no window: addresses, the descriptor's version,
// the comparison and the texts.
namespace Update {

inline constexpr char kDescriptorName[] = "mainappupdate.inf";

// The ceiling of the descriptor download. The descriptor is an INI file of a few hundred bytes
// with one value the program reads; 64 KiB leaves a publisher room for comments and keys of
// their own, and bounds what a server (or anyone on the plain-HTTP path) can make the program
// write into its directory and scan. A larger descriptor fails like a missing one.
inline constexpr qint64 kMaxDescriptorSize = 64 * 1024;

// UpdateBaseURL: the folder of the descriptor on the publisher's update server, built in at
// configure time (QUILLET_UPDATE_BASE_URL), ending with "/liveupdate/quillet/".
QByteArray updateBaseUrl();

// Test seam (util/TestSeam.h): makes updateBaseUrl() answer url instead; an empty url restores the
// built-in one. Inert unless armed.
void setUpdateBaseUrl(const QByteArray& url);

// updateBaseUrl() + "mainappupdate.inf".
QByteArray descriptorUrl();

// A version text as a 32-bit float, read with a decimal point whatever the locale: optional
// sign, digits, optionally a point and more digits. Anything else, the empty text included, is 0.
float versionNumber(const QByteArray& text);

// True when the descriptor's version is greater than the program's.
bool isNewerVersion(const QByteArray& descriptorVersion, const QByteArray& appVersion);

// The first question, with the version text exactly as the descriptor gives it.
QString updateOfferText(const QByteArray& version);

// The second question (its line break is LF then CR).
QString updateCloseText();

QString noUpdateText();
QString updaterMissingText();

// The updater's file name beside the executable: "Updater.exe" on Windows, "Updater" elsewhere.
QString updaterFileName();

// The updater's three arguments: UpdateBaseURL, AppVersion and "A".
QStringList updaterArguments();

} // namespace Update
