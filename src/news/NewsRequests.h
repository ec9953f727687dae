#pragma once

#include "util/StringList.h"

#include <QByteArray>
#include <QString>

class THttpClient;

// The three requests to the publisher's news service. Each posts its form to the level's base
// URL (chosen by the product type from branding()) through the one HTTP client and reads the
// reply. On false the outputs are empty and the list is untouched.
//
// A request that the client refuses because another one is waiting shows busyNewsText() (List
// and Details); a request ended by the main window's close shows nothing.
namespace News {

bool GetNewsList(THttpClient& http, const QByteArray& publisherId, const QByteArray& branderCode,
                 const QByteArray& productType, const QByteArray& newsTarget, StringList& list);

// Never shows a message.
bool GetLatestNews(THttpClient& http, const QByteArray& publisherId, const QByteArray& branderCode,
                   const QByteArray& productType, const QByteArray& newsTarget, QByteArray& id, QByteArray& title);

bool GetNewsDetails(THttpClient& http, const QByteArray& publisherId, const QByteArray& branderCode,
                    const QByteArray& productType, const QByteArray& newsTarget, const QByteArray& newsId,
                    QByteArray& html);

// Shown when the user asks for something over the network while another request still waits.
QString busyNewsText();

} // namespace News
