#pragma once

// Shared pieces of the news window and main window tests.

#include "branding/Branding.h"
#include "branding/SettingsDocument.h"
#include "platform/MessageBox.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include "support/ScriptedHttpServer.h"

#include <QFile>
#include <QStringList>

namespace NewsTest {

// The value of one form field of a multipart request, as the scripted server received it: up to
// the next part's boundary, line breaks in the value included.
inline QByteArray formField(const ScriptedRequest& request, const QByteArray& name)
{
    const QByteArray key = "name=\"" + name + "\"\r\n\r\n";
    const qsizetype at = request.body.indexOf(key);
    if (at < 0)
        return {};
    const qsizetype start = at + key.size();
    return request.body.mid(start, request.body.indexOf("\r\n--", start) - start);
}

// A sealed settings file in the application directory holding the given LastNewsId line.
inline void writeSettings(const QByteArray& lastNewsId)
{
    const QString plain = UUtils::appFile(QStringLiteral("plain.tmp"));
    QFile file(plain);
    file.open(QIODevice::WriteOnly);
    file.write("<%%ApplicationName%%>Quillet test<%%/ApplicationName%%>\r\n<%%LastNewsId%%>" + lastNewsId +
               "<%%/LastNewsId%%>\r\n");
    file.close();
    UUtils::SealFile(plain, UUtils::appFile(QString::fromLatin1(kSettingsFileName)));
    QFile::remove(plain);
}

inline void useMasterLevel(const QByteArray& baseUrl)
{
    branding() = Branding();
    branding().BranderType = "Master";
    branding().BranderCode = "CODE";
    branding().MasterPublID = "PUB";
    branding().MasterNewsBaseURL = baseUrl;
}

inline QStringList shownTexts()
{
    QStringList texts;
    for (const TMessageBox::Shown& shown : TMessageBox::shownMessages())
        texts << shown.text;
    return texts;
}

// Clears the record of boxes and answers the next ones with OK, so none waits for a user.
inline void answerBoxes(int count = 5)
{
    TMessageBox::clearTestState();
    for (int i = 0; i < count; ++i)
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
}

} // namespace NewsTest
