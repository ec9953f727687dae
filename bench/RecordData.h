#pragma once

#include "records/RecordFiles.h"
#include "util/StringList.h"

#include <QRandomGenerator>

// Synthetic records with realistic field lengths, the same on every run.
namespace BenchData {

inline QByteArray word(QRandomGenerator& random, int minLength, int maxLength)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz";
    const int length = minLength + random.bounded(maxLength - minLength + 1);
    QByteArray out(length, Qt::Uninitialized);
    for (char& c : out)
        c = letters[random.bounded(26)];
    return out;
}

inline StringList categories(int count)
{
    QRandomGenerator random(1);
    StringList names;
    for (int i = 0; i < count; ++i)
        names.append(word(random, 4, 14) + ' ' + QByteArray::number(i));
    return names;
}

inline StringList items(const StringList& categories, int count)
{
    QRandomGenerator random(2);
    StringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        Records::ItemFields f;
        f[Records::fldCategory] = categories[random.bounded(int(categories.size()))];
        f[Records::fldTitle] = word(random, 6, 24) + ' ' + QByteArray::number(i);
        f[Records::fldProgram] = word(random, 8, 30) + " Affiliate Program";
        const QByteArray domain = "https://www." + word(random, 5, 16) + ".com";
        f[Records::fldWebsiteURL] = domain;
        f[Records::fldLoginURL] = domain + "/partners/login.php";
        f[Records::fldUsername] = word(random, 5, 12);
        f[Records::fldPassword] = word(random, 8, 16) + QByteArray::number(random.bounded(1000));
        f[Records::fldAffiliateURL] = domain + "/?ref=" + word(random, 5, 10);
        f[Records::fldCloakedURL] = "https://go.mysite.com/" + word(random, 4, 10);
        f[Records::fldPayout] = '$' + QByteArray::number(10 * (1 + random.bounded(20)));
        f[Records::fldPaymentDay] = "Net " + QByteArray::number(15 * (1 + random.bounded(4)));
        if (random.bounded(3) == 0)
            f[Records::fldDescription] = word(random, 20, 80) + "\r\n" + word(random, 10, 60);
        lines.append(Records::buildItemLine(f));
    }
    return lines;
}

} // namespace BenchData
