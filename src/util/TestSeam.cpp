#include "util/TestSeam.h"

#include <QList>

namespace {

bool g_armed = false;

QList<std::function<void()>>& resets()
{
    static QList<std::function<void()>> list;
    return list;
}

} // namespace

namespace TestSeams {

void arm()
{
    g_armed = true;
}

bool armed()
{
    return g_armed;
}

void reset()
{
    for (const std::function<void()>& resetOne : std::as_const(resets()))
        resetOne();
}

void registerReset(std::function<void()> reset)
{
    resets().append(std::move(reset));
}

} // namespace TestSeams
