// Loading and saving record files through the store: plain files exactly as before, protected
// files sealed under the kept key, nothing written while locked, no protected file written in the
// clear by mistake.
#include "records/RecordStore.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/TestSeam.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Records::RecordStore;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
}

template <typename F> bool throwsAppError(F f)
{
    try {
        f();
    } catch (const AppError&) {
        return true;
    }
    return false;
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void plainIsAsBefore_data();
    void plainIsAsBefore();
    void protectedRoundTrip();
    void lockedReadsAndWritesNothing();
    void plainSaveNeverReplacesProtectedFile();
    void unlockKeys();
    void detect();

private:
    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
};

void TestRecordStore::init()
{
    TestSeams::reset();
    Records::setProtectWorkFactor(10);
    UUtils::setAppDir(m_dir.path());
    QFile::remove(path("categories.dat"));
    QFile::remove(path("items.dat"));
}

void TestRecordStore::plainIsAsBefore_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("lines") << QByteArray("Shopping\r\nTravel \xA5\xE9\r\n");
    QTest::newRow("mixed ends, no last end") << QByteArray("a\nb\rc\r\n\r\nd");
    QTest::newRow("bytes after a NUL") << QByteArray("a\r\nb\0tail\r\nmore", 16);
}

// A plain copy loads and saves exactly as the text-file helpers do.
void TestRecordStore::plainIsAsBefore()
{
    QFETCH(QByteArray, text);
    writeFile(path("items.dat"), text);
    RecordStore store;
    QByteArray unread;
    const StringList lines = store.load(path("items.dat"), &unread);
    QByteArray oldUnread;
    QCOMPARE(lines, UUtils::loadStringList(path("items.dat"), &oldUnread));
    QCOMPARE(unread, oldUnread);

    store.save(path("items.dat"), lines, unread);
    const QByteArray ours = readFile(path("items.dat"));
    UUtils::saveStringList(path("items.dat"), lines, unread);
    QCOMPARE(ours, readFile(path("items.dat")));
    QVERIFY(!ours.startsWith("age"));
}

void TestRecordStore::protectedRoundTrip()
{
    RecordStore store;
    const Age::Key key = Age::newKey("pass", Records::protectWorkFactor());
    store.protect(key);
    const StringList lines{"Shopping", "Travel \xE9"};
    const QByteArray tail("\0after", 6);
    store.save(path("categories.dat"), lines, tail);
    store.save(path("items.dat"), {"x"}, {});

    // Each file is an age file of exactly the plain bytes; both share one header (one scrypt).
    const QByteArray file = readFile(path("categories.dat"));
    QVERIFY(file.startsWith(key.header));
    QVERIFY(readFile(path("items.dat")).startsWith(key.header));
    QByteArray plain;
    QCOMPARE(int(Age::decrypt(file, "pass", &plain)), int(Age::Status::Ok));
    QCOMPARE(plain, QByteArray("Shopping\r\nTravel \xE9\r\n") + tail);

    QByteArray unread;
    QCOMPARE(store.load(path("categories.dat"), &unread), lines);
    QCOMPARE(unread, tail);
    // Each save writes a fresh nonce under the same header.
    store.save(path("categories.dat"), lines, tail);
    QVERIFY(readFile(path("categories.dat")) != file);

    // Removing the protection writes the files plain again.
    store.removeProtection();
    store.save(path("categories.dat"), lines, tail);
    QCOMPARE(readFile(path("categories.dat")), QByteArray("Shopping\r\nTravel \xE9\r\n") + tail);
}

void TestRecordStore::lockedReadsAndWritesNothing()
{
    RecordStore store;
    store.protect(Age::newKey("pass", Records::protectWorkFactor()));
    store.save(path("items.dat"), {"a"}, {});
    const QByteArray before = readFile(path("items.dat"));
    store.lock();
    QVERIFY(store.isProtected());
    QByteArray unread;
    QVERIFY(throwsAppError([&] { store.load(path("items.dat"), &unread); }));
    QVERIFY(throwsAppError([&] { store.save(path("items.dat"), {"b"}, {}); }));
    QVERIFY(throwsAppError([&] { store.save(path("categories.dat"), {"b"}, {}); }));
    QCOMPARE(readFile(path("items.dat")), before);
    QVERIFY(!QFile::exists(path("categories.dat")));
}

// A store that believes the records plain (another program protected a file meanwhile) refuses to
// replace the protected file; loading it without a key names the reason.
void TestRecordStore::plainSaveNeverReplacesProtectedFile()
{
    const QByteArray locked = Age::encrypt("a\r\n", Age::newKey("pass", 10));
    writeFile(path("items.dat"), locked);
    RecordStore store;
    QVERIFY(throwsAppError([&] { store.save(path("items.dat"), {"b"}, {}); }));
    QByteArray unread;
    QVERIFY(throwsAppError([&] { store.load(path("items.dat"), &unread); }));
    QCOMPARE(readFile(path("items.dat")), locked);
}

void TestRecordStore::unlockKeys()
{
    const Age::Key shared = Age::newKey("pass", 10);
    const QByteArray a = Age::encrypt("a\r\n", shared);
    const QByteArray b = Age::encrypt("b\r\n", shared);
    const QByteArray other = Age::encrypt("c\r\n", Age::newKey("pass", 10)); // as `age -p` writes each file

    QCOMPARE(int(Records::unlockKeys({a, b}, "wrong").status), int(Age::Status::WrongPassPhrase));
    Records::UnlockResult result = Records::unlockKeys({a, b}, "pass");
    QCOMPARE(int(result.status), int(Age::Status::Ok));
    QCOMPARE(result.keys.size(), 1); // one header, one scrypt
    result = Records::unlockKeys({a, other, "not age"}, "pass");
    QCOMPARE(result.keys.size(), 2);

    writeFile(path("categories.dat"), a);
    writeFile(path("items.dat"), other);
    RecordStore store;
    store.unlock(result.keys);
    QByteArray unread;
    QCOMPARE(store.load(path("categories.dat"), &unread), StringList{"a"});
    QCOMPARE(store.load(path("items.dat"), &unread), StringList{"c"});
}

void TestRecordStore::detect()
{
    RecordStore store;
    QList<QPair<QString, Age::Status>> bad;
    store.detect({"categories.dat", "items.dat"}, &bad);
    QCOMPARE(store.mode(), RecordStore::Mode::Plain);

    writeFile(path("categories.dat"), "plain\r\n");
    writeFile(path("items.dat"),
              "age-encryption.org/v1\n-> scrypt AAAAAAAAAAAAAAAAAAAAAA 23\nAAAA\n--- " + QByteArray(43, 'A') + "\n");
    store.detect({"categories.dat", "items.dat"}, &bad);
    QCOMPARE(store.mode(), RecordStore::Mode::Plain);
    QCOMPARE(bad.size(), 1);
    QCOMPARE(bad.first().first, QStringLiteral("items.dat"));
    QCOMPARE(int(bad.first().second), int(Age::Status::WorkFactorTooHigh));

    bad.clear();
    writeFile(path("items.dat"), Age::encrypt("x\r\n", Age::newKey("pass", 10)));
    store.detect({"categories.dat", "items.dat"}, &bad);
    QCOMPARE(store.mode(), RecordStore::Mode::Locked);
    QVERIFY(bad.isEmpty());
}

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
