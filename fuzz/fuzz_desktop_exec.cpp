// The Exec line of a desktop entry made into the command that opens an address in the desktop's
// browser: whatever the line says, the address is one whole argument, unchanged, and never the
// program.

#include "FuzzSupport.h"

#include "util/DesktopEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString address = QString::fromUtf8(Fuzz::takeBytes(input, 64));
    const QString exec = QString::fromUtf8(Fuzz::takeRest(input));

    const DesktopEntry::Command found = DesktopEntry::commandFromExec(exec, QString());
    const DesktopEntry::Command command = DesktopEntry::commandFromExec(exec, address);
    FUZZ_CHECK(command.program == found.program);
    if (address.isEmpty()) {
        FUZZ_CHECK(command.arguments == found.arguments);
        return 0;
    }
    // The browser the lookup found gets the address, once, as an argument of its own.
    FUZZ_CHECK(found.program.isEmpty() || command.arguments.count(address) == found.arguments.count(address) + 1);
    // Apart from it, the same arguments as without an address.
    bool same = found.program.isEmpty();
    for (qsizetype i = 0; i < command.arguments.size() && !same; ++i) {
        QStringList rest = command.arguments;
        rest.removeAt(i);
        same = command.arguments[i] == address && rest == found.arguments;
    }
    FUZZ_CHECK(same);
    return 0;
}
