// quillet-brand as publishers run it: its three commands, their output files and exit codes.
#include "util/Sealing.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run brand(const QStringList& arguments)
{
    QProcess p;
    p.start(QStringLiteral(QUILLET_BRAND_PATH), arguments);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QByteArray kDocument("<%%ApplicationName%%>Quillet<%%/ApplicationName%%>\r\n"
                           "<%%BranderType%%>Gold<%%/BranderType%%>\r\n"
                           "<%%GoldNewsBaseURL%%>http://news.example/<%%/GoldNewsBaseURL%%>\r\n"
                           "<%%GoldPublID%%>P1<%%/GoldPublID%%>\r\n");

} // namespace

class TestQuilletBrand : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void help();
    void usageErrors_data();
    void usageErrors();
    void fileErrors_data();
    void fileErrors();
    void sealAndUnsealWithTheProgramsPassPhrase();
    void otherPassPhrases_data();
    void otherPassPhrases();
    void unsealWritesOnlyAuthenticData_data();
    void unsealWritesOnlyAuthenticData();
    void lint_data();
    void lint();
    void lintReadsADamagedFileAsTheProgramDoes();
    void lintChecksTheFilesBesideIt();

private:
    QString path(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestQuilletBrand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestQuilletBrand::help()
{
    const Run r = brand({QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains("quillet-brand seal PLAIN SEALED [--passphrase TEXT]"));
    QVERIFY(r.out.contains("quillet-brand unseal SEALED PLAIN [--passphrase TEXT]"));
    QVERIFY(r.out.contains("quillet-brand lint FILE"));
}

void TestQuilletBrand::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown command") << QStringList{"pack", "a", "b"};
    QTest::newRow("seal with one file") << QStringList{"seal", "a"};
    QTest::newRow("unseal with three files") << QStringList{"unseal", "a", "b", "c"};
    QTest::newRow("lint with two files") << QStringList{"lint", "a", "b"};
    QTest::newRow("pass phrase without value") << QStringList{"seal", "a", "b", "--passphrase"};
    QTest::newRow("pass phrase over 128 bytes") << QStringList{"seal", "a", "b", "--passphrase", QString(129, 'p')};
    QTest::newRow("unknown option") << QStringList{"seal", "a", "b", "--force"};
    QTest::newRow("the same file twice") << QStringList{"seal", "a", "a"};
}

void TestQuilletBrand::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run r = brand(arguments);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains("--help"));
}

void TestQuilletBrand::fileErrors_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("seal: no plain file") << "seal"
                                         << "missing"
                                         << "out.dat";
    QTest::newRow("unseal: no sealed file") << "unseal"
                                            << "missing"
                                            << "out.txt";
    QTest::newRow("lint: no file") << "lint"
                                   << "missing"
                                   << "";
    QTest::newRow("seal: destination folder missing") << "seal"
                                                      << "plain.txt"
                                                      << "no/such/out.dat";
    QTest::newRow("unseal: destination folder missing") << "unseal"
                                                        << "sealed.dat"
                                                        << "no/such/out.txt";
}

void TestQuilletBrand::fileErrors()
{
    QFETCH(QString, command);
    QFETCH(QString, first);
    QFETCH(QString, second);
    writeFile(path("plain.txt"), kDocument);
    UUtils::SealFile(path("plain.txt"), path("sealed.dat"));
    QStringList arguments{command, m_dir->filePath(first)};
    if (!second.isEmpty())
        arguments << m_dir->filePath(second);
    const Run r = brand(arguments);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(!r.err.isEmpty());
    if (!second.isEmpty())
        QVERIFY(!QFile::exists(m_dir->filePath(second)));
}

void TestQuilletBrand::sealAndUnsealWithTheProgramsPassPhrase()
{
    writeFile(path("plain.txt"), kDocument);
    writeFile(path("dbsettings.dat"), "an older sealed file");
    Run r = brand({"seal", path("plain.txt"), path("dbsettings.dat")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(path("dbsettings.dat")).size(), kDocument.size() + 20);
    // The program opens what the tool sealed...
    UUtils::UnsealFile(path("dbsettings.dat"), path("dbsettings.sim"));
    QCOMPARE(readFile(path("dbsettings.sim")), kDocument);
    // ...and the tool opens what the program sealed.
    UUtils::SealFile(path("plain.txt"), path("program.dat"));
    r = brand({"unseal", path("program.dat"), path("back.txt")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(path("back.txt")), kDocument);
}

void TestQuilletBrand::otherPassPhrases_data()
{
    QTest::addColumn<QByteArray>("passPhrase");
    QTest::addColumn<int>("overhead"); // salt + 12
    QTest::newRow("short: AES-128") << QByteArray("secret") << 20;
    QTest::newRow("40 bytes: AES-192") << QByteArray(40, 'k') << 24;
    QTest::newRow("48 bytes: AES-256") << QByteArray(48, 'k') << 28;
}

void TestQuilletBrand::otherPassPhrases()
{
    QFETCH(QByteArray, passPhrase);
    QFETCH(int, overhead);
    const QString pass = QString::fromLatin1(passPhrase);
    writeFile(path("plain.txt"), kDocument);
    QCOMPARE(brand({"seal", path("plain.txt"), path("s.dat"), "--passphrase", pass}).exitCode, 0);
    QCOMPARE(readFile(path("s.dat")).size(), kDocument.size() + overhead);
    QCOMPARE(brand({"unseal", "--passphrase", pass, path("s.dat"), path("back.txt")}).exitCode, 0);
    QCOMPARE(readFile(path("back.txt")), kDocument);
    // The program's own pass phrase does not open it, and nothing is written.
    const Run r = brand({"unseal", path("s.dat"), path("wrong.txt")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("pass phrase") || r.err.contains("authentication code"), r.err.constData());
    QVERIFY(!QFile::exists(path("wrong.txt")));
}

void TestQuilletBrand::unsealWritesOnlyAuthenticData_data()
{
    QTest::addColumn<int>("changeFromEnd");
    QTest::addColumn<int>("cut");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("changed code byte") << 1 << 0 << QByteArray("authentication code");
    QTest::newRow("changed data byte") << 20 << 0 << QByteArray("authentication code");
    QTest::newRow("truncated") << 0 << 3 << QByteArray("authentication code");
    QTest::newRow("19 bytes left") << 0 << int(kDocument.size() + 1) << QByteArray("pass phrase check");
}

void TestQuilletBrand::unsealWritesOnlyAuthenticData()
{
    QFETCH(int, changeFromEnd);
    QFETCH(int, cut);
    QFETCH(QByteArray, reason);
    writeFile(path("plain.txt"), kDocument);
    UUtils::SealFile(path("plain.txt"), path("s.dat"));
    QByteArray sealed = readFile(path("s.dat"));
    if (changeFromEnd)
        sealed[sealed.size() - changeFromEnd] = char(sealed[sealed.size() - changeFromEnd] ^ 1);
    sealed.chop(cut);
    writeFile(path("s.dat"), sealed);
    writeFile(path("out.txt"), "kept");
    const Run r = brand({"unseal", path("s.dat"), path("out.txt")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(reason), r.err.constData());
    QCOMPARE(readFile(path("out.txt")), QByteArray("kept"));
}

void TestQuilletBrand::lint_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("sealIt");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("expectedLine");
    QTest::newRow("sealed, sound") << kDocument << true << 0 << QByteArray(": 0 warnings\n");
    QTest::newRow("sealed, with a fault") << QByteArray(kDocument).replace("Gold<%%/BranderType", "gold<%%/BranderType")
                                          << true << 0 << QByteArray(": warning: BranderType \"gold\" is none of");
    QTest::newRow("plain") << kDocument + "<%%Link2%%>a^b<%%/Link2%%>\r\n"
                           << false << 0 << QByteArray(": warning: tag Link2 is never read");
    QTest::newRow("random bytes") << QByteArray("\x13\x87\xfe\x01 not a settings file at all") << false << 1
                                  << QByteArray("fails the pass phrase check");
    QTest::newRow("empty") << QByteArray() << false << 1 << QByteArray("fails the pass phrase check");
}

void TestQuilletBrand::lint()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, sealIt);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, expectedLine);
    writeFile(path("doc.txt"), content);
    if (sealIt)
        UUtils::SealFile(path("doc.txt"), path("dbsettings.dat"));
    else
        writeFile(path("dbsettings.dat"), content);
    const Run r = brand({"lint", path("dbsettings.dat")});
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2((r.out + r.err).contains(expectedLine), (r.out + r.err).constData());
}

// The program does not check the authentication code: the tool says that it fails, and then lints
// what the program reads.
void TestQuilletBrand::lintReadsADamagedFileAsTheProgramDoes()
{
    writeFile(path("doc.txt"), QByteArray(kDocument).replace("Gold<%%/BranderType", "gold<%%/BranderType"));
    UUtils::SealFile(path("doc.txt"), path("dbsettings.dat"));
    QByteArray sealed = readFile(path("dbsettings.dat"));
    sealed[sealed.size() - 1] = char(sealed[sealed.size() - 1] ^ 1);
    writeFile(path("dbsettings.dat"), sealed);
    const Run r = brand({"lint", path("dbsettings.dat")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("fails its authentication code"), r.err.constData());
    QVERIFY2(r.out.contains("authentication code wrong, " + QByteArray::number(kDocument.size()) + " bytes"),
             r.out.constData());
    QVERIFY2(r.out.contains(": warning: BranderType \"gold\" is none of"), r.out.constData());
    QVERIFY2(r.out.contains(": 1 warning\n"), r.out.constData());
}

// A banner picture read by its header, as the program's image loading reads it.
void TestQuilletBrand::lintChecksTheFilesBesideIt()
{
    // A BMP header declaring 5000 x 10 pixels, without the pixels.
    QByteArray bmp("BM");
    auto le32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp += char((v >> (8 * i)) & 0xFF);
    };
    le32(54 + 16);
    le32(0);
    le32(54);
    le32(40);
    le32(5000);
    le32(10);
    bmp += QByteArray("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; ++i)
        le32(0);
    bmp += QByteArray(16, '\0');
    writeFile(path("dbsettings.dat"), kDocument + "<%%Banner1%%>big.bmp^http://b.example/<%%/Banner1%%>\r\n");
    writeFile(path("banner1.dat"), bmp);
    const Run r = brand({"lint", path("dbsettings.dat")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(": warning: banner1.dat (Banner1) is not shown: at 5000 x 10 pixels it is over the "
                            "4096 pixels a side may have"),
             r.out.constData());
}

QTEST_GUILESS_MAIN(TestQuilletBrand)
#include "tst_quilletbrand.moc"
