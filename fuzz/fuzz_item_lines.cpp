// Item lines (reading and building them, the descriptions' editor form) and the name rules of the
// category and item commands, over record lists taken from the input.

#include "FuzzSupport.h"

#include "records/ItemFind.h"
#include "records/RecordCommands.h"
#include "records/RecordFiles.h"
#include "util/Fields.h"
#include "util/TextCodec.h"

using namespace Records;

namespace {

constexpr char kSep = UUtils::kFieldSeparator;

QByteArray without(QByteArray text, char a, char b = kSep)
{
    text.replace(a, QByteArray());
    text.replace(b, QByteArray());
    return text;
}

bool belongsTo(const QByteArray& line, const QByteArray& name)
{
    return line.startsWith(name + kSep);
}

bool foldedEqual(const QByteArray& a, const QByteArray& b)
{
    return UUtils::upperAscii(a) == UUtils::upperAscii(b);
}

void checkReadLine(const QByteArray& line)
{
    const ItemFields fields = readItemLine(line);
    const StringList split = UUtils::SplitFields(kSep, line);
    for (int i = 0; i < fldDescription; ++i)
        FUZZ_CHECK(fields[i] == split.value(i));
    FUZZ_CHECK(itemCategory(line) == split.value(fldCategory));
    FUZZ_CHECK(itemTitle(line) == split.value(fldTitle));
    // The description holds its field 11 at least, decoded, unless it is the lone CR of a new line.
    const QByteArray field11 = UUtils::DecodeLineBreaks(split.value(fldDescription));
    FUZZ_CHECK(fields[fldDescription].startsWith(field11) || field11 == "\r");
    FUZZ_CHECK(fields[fldDescription].size() <= line.size());

    // The find field's text: the fields after the category, folded, no needle across a separator.
    const QByteArray findText = itemFindText(line);
    const qsizetype first = line.indexOf(kSep);
    FUZZ_CHECK(findText.size() == (first < 0 ? 0 : line.size() - first - 1));
    FUZZ_CHECK(!findText.contains(kSep) && foldForFind(findText) == findText);
    // Folding is the lower case of every letter the code page has in both cases.
    const QByteArray folded = foldForFind(line);
    FUZZ_CHECK(UUtils::ansiToString(folded) == UUtils::ansiToString(line).toLower());
    QByteArray needle;
    FUZZ_CHECK(findNeedle(UUtils::ansiToString(line), &needle) && needle == folded);
}

void checkBuildLine(FuzzedDataProvider& input)
{
    ItemFields fields;
    for (int i = 0; i < fldDescription; ++i)
        fields[i] = without(without(Fuzz::takeBytes(input, 32), '\r', '\n'), kSep);
    // Descriptions hold CR LF line breaks (descriptionFromEditor); the escape bytes themselves
    // are not kept apart from escaped breaks by the stored form.
    fields[fldDescription] = descriptionFromEditor(without(Fuzz::takeBytes(input, 128), UUtils::kLineFeedEscape, kSep));
    const QByteArray line = buildItemLine(fields);
    FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
    FUZZ_CHECK(line.endsWith(kSep));
    ItemFields expected = fields;
    if (expected[fldDescription] == "\r")
        expected[fldDescription].clear();
    FUZZ_CHECK(readItemLine(line) == expected);

    const ItemFields added = readItemLine(newItemLine(fields[fldCategory], fields[fldTitle]));
    for (int i = 0; i < kItemFieldCount; ++i)
        FUZZ_CHECK(added[i] == (i == fldCategory ? fields[i] : i == fldTitle ? fields[i] : QByteArray()));
}

void checkEditorText(const QByteArray& text)
{
    const QByteArray stored = descriptionFromEditor(text);
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r')
            FUZZ_CHECK(i + 1 < stored.size() && stored[i + 1] == '\n');
        if (stored[i] == '\n')
            FUZZ_CHECK(i > 0 && stored[i - 1] == '\r');
    }
    const QByteArray shown = descriptionToEditor(stored);
    FUZZ_CHECK(!shown.contains('\r'));
    FUZZ_CHECK(descriptionFromEditor(shown) == stored);
    FUZZ_CHECK(descriptionToEditor(text) == shown);
}

void checkCommands(const StringList& categories, StringList items, const QByteArray& name, const QByteArray& other)
{
    // Add Category and Edit Category.
    const qsizetype skip =
        categories.isEmpty() ? -1 : qsizetype(name.isEmpty() ? 0 : quint8(name[0])) % categories.size();
    for (const qsizetype s : {qsizetype(-1), skip}) {
        qsizetype expected = -1;
        for (qsizetype i = 0; i < categories.size() && expected < 0; ++i)
            if (i != s && foldedEqual(UUtils::trimControls(categories[i]), UUtils::trimControls(name)))
                expected = i;
        FUZZ_CHECK(findCategoryFoldedTrimmed(categories, name, s) == expected);
    }
    const qsizetype entry = categoryEntryOfNode(categories, skip, name);
    FUZZ_CHECK(entry == -1 || foldedEqual(categories[entry], name));
    FUZZ_CHECK(entry >= 0 || !categories.contains(name));

    // Add Item.
    bool exists = false;
    for (const QByteArray& line : items) {
        const StringList f = UUtils::SplitFields(kSep, line);
        exists = exists || (foldedEqual(f.value(0), name) && foldedEqual(f.value(1), other));
    }
    // A line "C" and a line "C¥" both have field 0 C and an empty field 1.
    FUZZ_CHECK(itemExistsFolded(items, name, other) == exists);

    // Tree placement.
    const QList<ItemPlacement> placed = placeItems(categories, items);
    qsizetype next = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const StringList f = UUtils::SplitFields(kSep, items[i]);
        const qsizetype category = f.size() < 2 ? -1 : categories.indexOf(f[0]);
        if (category < 0)
            continue;
        FUZZ_CHECK(next < placed.size());
        FUZZ_CHECK(placed[next].line == i && placed[next].category == category && placed[next].title == f[1]);
        ++next;
    }
    FUZZ_CHECK(next == placed.size());

    // Edit Category's own lines: in list order, each of the category and with one of the titles.
    const StringList titles = UUtils::SplitFields('^', other);
    const QList<qsizetype> own = ownItemLines(items, name, titles);
    FUZZ_CHECK(own.size() <= titles.size());
    for (qsizetype i = 0; i < own.size(); ++i) {
        FUZZ_CHECK(i == 0 || own[i - 1] < own[i]);
        FUZZ_CHECK(belongsTo(items[own[i]], name) && titles.contains(itemTitle(items[own[i]])));
    }

    // Edit Category, then Delete Category.
    const StringList before = items;
    const qsizetype renamed = renameCategoryItems(items, name, other);
    FUZZ_CHECK(renamed == std::count_if(before.begin(), before.end(), [&](auto& l) { return belongsTo(l, name); }));
    FUZZ_CHECK(items.size() == before.size());
    for (qsizetype i = 0; i < items.size(); ++i)
        FUZZ_CHECK(belongsTo(before[i], name) ? items[i] == other + before[i].mid(name.size()) : items[i] == before[i]);
    const StringList kept = items;
    const qsizetype removed = removeCategoryItems(items, other);
    StringList expected;
    for (const QByteArray& line : kept)
        if (!belongsTo(line, other))
            expected.append(line);
    FUZZ_CHECK(items == expected && removed == kept.size() - expected.size());
}

void checkStorable(const QString& text)
{
    for (const TextKind kind : {TextKind::SingleLine, TextKind::MultiLine}) {
        QByteArray bytes = "untouched";
        const QString message = checkStorableText(text, QStringLiteral("Title"), kind, &bytes);
        if (!message.isEmpty()) {
            FUZZ_CHECK(bytes == "untouched");
            continue;
        }
        FUZZ_CHECK(UUtils::ansiToString(bytes) == text);
        FUZZ_CHECK(!bytes.contains(kSep) && !bytes.contains('\0'));
        FUZZ_CHECK(kind == TextKind::MultiLine || (!bytes.contains('\r') && !bytes.contains('\n')));
    }
    // Plain letters and digits are always stored.
    bool plain = true;
    for (const QChar c : text)
        plain = plain && c.unicode() < 0x80 && c.isLetterOrNumber();
    QByteArray bytes;
    FUZZ_CHECK(!plain || checkStorableText(text, QStringLiteral("Title"), TextKind::SingleLine, &bytes).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        checkReadLine(Fuzz::takeRest(input));
        break;
    case 1:
        checkBuildLine(input);
        checkEditorText(Fuzz::takeRest(input));
        break;
    case 2: {
        const QByteArray name = Fuzz::takeBytes(input, 16);
        const QByteArray other = Fuzz::takeBytes(input, 16);
        const StringList categories = UUtils::parseLines(Fuzz::takeBytes(input, 256));
        const StringList items = UUtils::parseLines(Fuzz::takeRest(input));
        checkCommands(categories, items, name, other);
        break;
    }
    default:
        checkStorable(Fuzz::utf16(Fuzz::takeRest(input)));
        break;
    }
    return 0;
}
