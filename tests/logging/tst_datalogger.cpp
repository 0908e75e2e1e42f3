#include "datalogger.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

const QByteArray header = "indeksi,x-akseli1,y-akseli1,z-akseli1,x-akseli2,y-akseli2,z-akseli2\n";
const char sizeLimitFlag[] = "--log-under-size-limit";
const QString created = QStringLiteral("New file created: ");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QString stamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("dd.MM, h.mm.ss"));
}

// Every logged sample i is (i, -i, 1000, 0, 7, -32768): the index and the
// values together show which sample landed where.
QByteArray sampleLine(int index, int i)
{
    return QByteArray::number(index) + ',' + QByteArray::number(i) + ',' + QByteArray::number(-i)
            + ",1000,0,7,-32768\n";
}

// Runs in a child process whose files may not grow beyond 200 bytes: logs two
// files of ten samples, one second apart, and prints every message it gets.
int logUnderSizeLimit(const QString &directory)
{
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 200;
    std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;

    Datalogger logger;
    QDateTime now(QDate(2024, 3, 1), QTime(8, 0, 0));
    logger.setClock([&now] { return now; });
    QObject::connect(&logger, &Datalogger::NewFileCreated, [](const QString &message) {
        std::printf("%s\n", qPrintable(message));
    });
    logger.ReceiveFilename(directory);
    logger.ReceiveNewfileIndex(10);
    for (int i = 0; i < 20; ++i) {
        logger.Log(1000, 1000, 1000, 1000, 1000, 1000);
        now = now.addSecs(1);
    }
    return 0;
}

} // namespace

class TestDatalogger : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Datalogger> logger;
    std::unique_ptr<QSignalSpy> messages;
    QString previousWorkingDirectory;
    QDateTime now;

    QStringList takeMessages()
    {
        QStringList taken;
        for (const QList<QVariant> &args : std::as_const(*messages))
            taken << args.at(0).toString();
        messages->clear();
        return taken;
    }

private slots:
    // Each test runs in a fresh directory of its own, so relative log directories
    // and the working directory used for an empty one are both inside it.
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        previousWorkingDirectory = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
        QVERIFY(QDir().mkdir("logs"));

        now = QDateTime(QDate(2023, 12, 6), QTime(9, 5, 7));
        logger = std::make_unique<Datalogger>();
        logger->setClock([this] { return now; });
        logger->ReceiveFilename("logs");
        messages = std::make_unique<QSignalSpy>(logger.get(), &Datalogger::NewFileCreated);
        QVERIFY(messages->isValid());
    }

    void cleanup()
    {
        messages.reset();
        logger.reset();
        QDir::setCurrent(previousWorkingDirectory);
        dir.reset();
    }

    // Each line is read back by a reader of its own right after Log returns.
    void linesReachFileAtOnce()
    {
        const QString path = "logs//06.12, 9.05.07.txt";
        QByteArray expected = header;
        logger->Log(12, -3, 1024, 0, 7, -250);
        QCOMPARE(contents(path), expected += "0,12,-3,1024,0,7,-250\n");
        logger->Log(-32768, 32767, -1, 1, 0, -32768);
        QCOMPARE(contents(path), expected += "1,-32768,32767,-1,1,0,-32768\n");
        QCOMPARE(takeMessages(), QStringList{created + path});
    }

    void rollOver_data()
    {
        QTest::addColumn<int>("limit"); // -1: never sent, the logger's own default
        QTest::addColumn<int>("changeAfter");
        QTest::addColumn<int>("newLimit");
        QTest::addColumn<int>("samples");
        QTest::addColumn<QList<int>>("linesPerFile");

        QTest::newRow("3 per file") << 3 << -1 << 0 << 7 << QList<int>{3, 3, 1};
        QTest::newRow("1 per file") << 1 << -1 << 0 << 3 << QList<int>{1, 1, 1};
        QTest::newRow("0 never rolls over") << 0 << -1 << 0 << 7 << QList<int>{7};
        QTest::newRow("default 50000") << -1 << -1 << 0 << 50001 << QList<int>{50000, 1};
        QTest::newRow("raised mid-file") << 3 << 2 << 5 << 7 << QList<int>{5, 2};
        QTest::newRow("lowered mid-file") << 5 << 2 << 3 << 7 << QList<int>{3, 3, 1};
        QTest::newRow("lowered below lines written") << 10 << 4 << 2 << 9 << QList<int>{5, 2, 2};
        QTest::newRow("set to 0 mid-file") << 3 << 2 << 0 << 7 << QList<int>{7};
    }

    // The clock advances a second per sample, so each file's name tells which
    // call began it: the first call after the roll-over, not the roll-over itself.
    void rollOver()
    {
        QFETCH(int, limit);
        QFETCH(int, changeAfter);
        QFETCH(int, newLimit);
        QFETCH(int, samples);
        QFETCH(QList<int>, linesPerFile);

        if (limit >= 0)
            logger->ReceiveNewfileIndex(limit);
        const QDateTime start = now;
        for (int i = 0; i < samples; ++i) {
            if (i == changeAfter)
                logger->ReceiveNewfileIndex(newLimit);
            logger->Log(i, -i, 1000, 0, 7, -32768);
            now = now.addSecs(1);
        }

        const QStringList files = takeMessages();
        QCOMPARE(files.size(), linesPerFile.size());
        int sample = 0;
        for (int f = 0; f < files.size(); ++f) {
            const QString path = "logs//" + stamp(start.addSecs(sample)) + ".txt";
            QCOMPARE(files[f], created + path);
            QByteArray expected = header;
            for (int index = 0; index < linesPerFile[f]; ++index)
                expected += sampleLine(index, sample++);
            QCOMPARE(contents(path), expected);
        }
    }

    void path_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QString>("file");

        const QDateTime morning(QDate(2023, 12, 6), QTime(9, 5, 7));
        const QDateTime night(QDate(2024, 1, 1), QTime(23, 59, 1));
        QTest::newRow("relative") << "logs" << morning << "logs//06.12, 9.05.07.txt"
                                  << "logs/06.12, 9.05.07.txt";
        QTest::newRow("two-digit hour") << "logs" << night << "logs//01.01, 23.59.01.txt"
                                        << "logs/01.01, 23.59.01.txt";
        QTest::newRow("trailing separator kept") << "logs/" << morning << "logs///06.12, 9.05.07.txt"
                                                 << "logs/06.12, 9.05.07.txt";
        QTest::newRow("empty is working directory") << "" << morning << ".//06.12, 9.05.07.txt"
                                                    << "06.12, 9.05.07.txt";
    }

    void path()
    {
        QFETCH(QString, directory);
        QFETCH(QDateTime, time);
        QFETCH(QString, reported);
        QFETCH(QString, file);

        now = time;
        logger->ReceiveFilename(directory);
        logger->Log(1, 2, 3, 4, 5, 6);
        QCOMPARE(takeMessages(), QStringList{created + reported});
        QCOMPARE(contents(dir->filePath(file)), header + "0,1,2,3,4,5,6\n");
    }

    void sameSecondContinuesFile()
    {
        logger->ReceiveNewfileIndex(1);
        for (int i = 0; i < 3; ++i)
            logger->Log(i, -i, 1000, 0, 7, -32768);

        const QString path = "logs//06.12, 9.05.07.txt";
        QCOMPARE(takeMessages(), QStringList(3, created + path));
        QCOMPARE(contents(path), header + sampleLine(0, 0) + sampleLine(0, 1) + sampleLine(0, 2));
    }

    void directoryAppliesToNextFile()
    {
        QVERIFY(QDir().mkdir("other"));
        logger->ReceiveNewfileIndex(2);
        logger->Log(0, 0, 1000, 0, 7, -32768);
        logger->ReceiveFilename("other");
        logger->Log(1, -1, 1000, 0, 7, -32768);
        now = now.addSecs(1);
        logger->Log(2, -2, 1000, 0, 7, -32768);

        QCOMPARE(takeMessages(), QStringList({created + "logs//06.12, 9.05.07.txt",
                                              created + "other//06.12, 9.05.08.txt"}));
        QCOMPARE(contents("logs/06.12, 9.05.07.txt"), header + sampleLine(0, 0) + sampleLine(1, 1));
        QCOMPARE(contents("other/06.12, 9.05.08.txt"), header + sampleLine(0, 2));
    }

    // Lines logged without a file are counted, so a file is tried again after a
    // file's worth of them, or at once when a new directory arrives.
    void missingDirectory()
    {
        logger->ReceiveNewfileIndex(2);
        logger->ReceiveFilename("missing");
        for (int i = 0; i < 3; ++i)
            logger->Log(i, -i, 1000, 0, 7, -32768);
        QCOMPARE(takeMessages(), QStringList(2, "File could not be created!"));
        QVERIFY(!QFileInfo::exists("missing"));

        logger->ReceiveFilename("logs");
        logger->Log(3, -3, 1000, 0, 7, -32768);
        QCOMPARE(takeMessages(), QStringList{created + "logs//06.12, 9.05.07.txt"});
        QCOMPARE(contents("logs/06.12, 9.05.07.txt"), header + sampleLine(0, 3));
    }

    void nameTakenByDirectory()
    {
        QVERIFY(QDir().mkdir("logs/06.12, 9.05.07.txt"));
        logger->Log(1, 2, 3, 4, 5, 6);
        QCOMPARE(takeMessages(), QStringList{"File could not be created!"});
    }

    // Each file may hold 200 bytes: the header (68) and four 32-byte lines fit,
    // the fifth is cut short by the limit and must be taken back whole.
    void writeFailureReportedOncePerFile()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {sizeLimitFlag, dir->filePath("logs")});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        const QStringList paths = {dir->filePath("logs") + "//01.03, 8.00.00.txt",
                                   dir->filePath("logs") + "//01.03, 8.00.10.txt"};
        const QString failed = "Log file could not be written!";
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 QStringList({created + paths[0], failed, created + paths[1], failed}));
        QByteArray expected = header;
        for (int index = 0; index < 4; ++index)
            expected += QByteArray::number(index) + ",1000,1000,1000,1000,1000,1000\n";
        for (const QString &path : paths)
            QCOMPARE(contents(path), expected);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], sizeLimitFlag) == 0)
        return logUnderSizeLimit(QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    TestDatalogger test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datalogger.moc"
