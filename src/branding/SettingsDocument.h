#pragma once

#include "util/StringList.h"

#include <QByteArray>

#include <optional>

// The tagged settings document: the plain content of dbsettings.dat. Every setting stands
// between "<%%Name%%>" and "<%%/Name%%>"; markers match without regard to the case of a to z.

// File names in the application directory.
inline constexpr char kSettingsFileName[] = "dbsettings.dat";      // sealed
inline constexpr char kPlainSettingsFileName[] = "dbsettings.sim"; // plain, short-lived

inline constexpr char kLastNewsIdOpen[] = "<%%LastNewsId%%>";
inline constexpr char kLastNewsIdClose[] = "<%%/LastNewsId%%>";

// Finds the opening marker in working (ASCII letters compared without case) and returns the
// bytes up to the following closing marker. working is shortened: after a found tag it starts
// with that tag's closing marker; after an unclosed tag it starts right after the opening marker;
// when the opening marker is missing it stays as it was. Missing, empty and unclosed tags all
// give an empty value.
QByteArray ExtractTagValue(QByteArray& working, const QByteArray& open, const QByteArray& close);

// The opening and closing markers of a tag name, e.g. "Banner3" -> "<%%Banner3%%>", "<%%/Banner3%%>".
QByteArray openingMarker(const QByteArray& name);
QByteArray closingMarker(const QByteArray& name);

// Unseals dbsettings.dat into dbsettings.sim, loads it as lines, deletes dbsettings.sim and
// returns the lines joined, each followed by CR LF: the working text the tags are read from.
// std::nullopt when dbsettings.dat does not exist. Errors of the unseal and the load (AppError)
// reach the caller; dbsettings.sim is deleted in every case.
std::optional<QByteArray> LoadSettingsDocument();

// The value of LastNewsId, or empty (also when dbsettings.dat does not exist).
QByteArray ReadLastNewsId();

// The line edit of WriteLastNewsId: replaces the first line that contains "<%%LastNewsId%%>"
// (exact case, anywhere in the line; other text on it is dropped) by the tagged value, or
// appends the tagged value as a new last line. A value that is no valid news id
// (News::isValidNewsId) changes nothing and gives false.
bool SetLastNewsIdLine(StringList& lines, const QByteArray& value);

// Replaces the first line holding "<%%LastNewsId%%>" (exact case) by
// "<%%LastNewsId%%>" + value + "<%%/LastNewsId%%>", or appends that line, and seals the file
// again. Does nothing when value is no valid news id (an optional minus and decimal digits within
// 32 bits), when dbsettings.dat does not exist or when it fails the pass phrase check (it is then
// no settings file of ours, and is left as it is). AppError reaches the caller; dbsettings.dat
// then keeps its old content and dbsettings.sim is deleted in every case.
void WriteLastNewsId(const QByteArray& value);
