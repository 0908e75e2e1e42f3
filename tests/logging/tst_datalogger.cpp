#include "datalogger.h"
#include "unprivileged.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray header = "indeksi,x-akseli1,y-akseli1,z-akseli1,x-akseli2,y-akseli2,z-akseli2\n";
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

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

const char scenarioFlag[] = "--log-scenario";
constexpr int cannotDropPrivileges = 3;
constexpr uid_t unprivileged = UnprivilegedId;

// Runs in a child process, in the directory it is to change, whose logger
// writes to "logs" with a clock starting at 01.03, 8.00.00. Prints the
// logger's messages at the end. The steps, separated by ';': "log <n>" logs the next n samples,
// "wait <ms>" advances the clock, "mkdir <dir>", "rm <dir or file>",
// "touch <file>", "mv <from> <to>", "cp <from> <to>" copies the files of a
// folder, "chmod <octal> <dir>", "fsize <bytes>" limits the size of every file.
int runScenario(const QString &script)
{
    // Root ignores file permissions, so the scenarios run as an ordinary user.
    if (!becomeUnprivileged())
        return cannotDropPrivileges;
    std::setlocale(LC_ALL, ""); // error texts as in the test process
    // SIGXFSZ is left as it comes: the logger itself must keep a size limit
    // from killing the program.

    Datalogger logger;
    QDateTime now(QDate(2024, 3, 1), QTime(8, 0, 0));
    logger.setClock([&now] { return now; });
    QSignalSpy messages(&logger, &Datalogger::NewFileCreated);
    if (!messages.isValid())
        return 5;
    logger.ReceiveFilename("logs");

    int sample = 0;
    for (const QString &step : script.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(' ', Qt::SkipEmptyParts);
        const QString verb = words.value(0), a = words.value(1), b = words.value(2);
        bool done = true;
        if (verb == "log") {
            for (int n = a.toInt(); n > 0; --n, ++sample)
                logger.Log(sample, -sample, 1000, 0, 7, -32768);
        } else if (verb == "wait") {
            now = now.addMSecs(a.toInt());
        } else if (verb == "mkdir") {
            done = QDir().mkdir(a);
        } else if (verb == "rm") {
            done = QFileInfo(a).isDir() ? QDir(a).removeRecursively() : QFile::remove(a);
        } else if (verb == "touch") {
            QFile file(a);
            done = file.open(QIODevice::WriteOnly);
        } else if (verb == "mv") {
            done = QDir().rename(a, b);
        } else if (verb == "cp") {
            for (const QString &name : QDir(a).entryList(QDir::Files))
                done = done && QFile::copy(a + '/' + name, b + '/' + name);
        } else if (verb == "chmod") {
            done = ::chmod(QFile::encodeName(b).constData(), a.toUInt(nullptr, 8)) == 0;
        } else if (verb == "fsize") {
            struct rlimit limit;
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = a.toULong();
            done = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        } else {
            done = false;
        }
        if (!done) {
            std::fprintf(stderr, "scenario step failed: %s\n", qPrintable(step));
            return 4;
        }
    }
    for (const QList<QVariant> &args : std::as_const(messages))
        std::printf("%s\n", qPrintable(args.at(0).toString()));
    return 0;
}

// The scenario's file begun at 8.00.<second>, as the logger names it.
QString logPath(int second, const QString &directory = "logs")
{
    return QStringLiteral("%1//01.03, 8.00.%2.txt").arg(directory).arg(second, 2, 10, QLatin1Char('0'));
}

// A file expected after a scenario: its path and the samples it holds, in
// the form "<path> <first>-<last>".
QString holding(int second, int first, int last, const QString &directory = "logs")
{
    return logPath(second, directory).replace("//", "/") + QStringLiteral(" %1-%2").arg(first).arg(last);
}

} // namespace

class tst_Datalogger : public QObject
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

    // What a power cut can cost: each file's lines are synced within a
    // second of being written and before the file is left for the next one,
    // and each new file's folder once, so that the file keeps its name.
    void syncsReachTheDisk()
    {
        struct Sync
        {
            LogSync::Target target;
            QString path;
        };
        QMutex mutex;
        QList<Sync> syncs;
        logger->syncer().setSyncCall([&](int fd, LogSync::Target target) {
            const QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
            QMutexLocker lock(&mutex);
            syncs.append({target, QFileInfo(path).fileName()});
            return 0;
        });
        auto taken = [&] {
            logger->syncer().waitForDone();
            QMutexLocker lock(&mutex);
            QStringList seen;
            for (const Sync &s : std::exchange(syncs, {}))
                seen << (s.target == LogSync::Target::File ? "file " : "folder ") + s.path;
            return seen;
        };

        logger->ReceiveNewfileIndex(2);
        logger->Log(1, 2, 3, 4, 5, 6);
        QCOMPARE(taken(), QStringList{"folder logs"});
        QElapsedTimer sinceLine;
        sinceLine.start();
        QTRY_VERIFY_WITH_TIMEOUT(!syncs.isEmpty(), 1500);
        QVERIFY2(sinceLine.elapsed() <= 1100, qPrintable(QString::number(sinceLine.elapsed())));
        QCOMPARE(taken(), QStringList{"file 06.12, 9.05.07.txt"});

        // The roll-over: the full file is synced before the next one begins.
        logger->Log(1, 2, 3, 4, 5, 6);
        logger->Log(1, 2, 3, 4, 5, 6);
        QCOMPARE(taken(), (QStringList{"file 06.12, 9.05.07.txt", "folder logs"}));

        // Stop: what is written is synced at once, and only once.
        logger->syncNow();
        logger->syncNow();
        QCOMPARE(taken(), QStringList{"file 06.12, 9.05.07-2.txt"});
        QTest::qWait(Datalogger::syncDelayMs + 200);
        QCOMPARE(taken(), QStringList{});
    }

    // A file keeps the columns it was begun with: the time column asked for
    // in the middle of a file comes with the next one, and goes the same
    // way. Within a file the times never go backwards.
    void timeColumnFromTheNextFile()
    {
        logger->ReceiveNewfileIndex(2);
        logger->Log(0, 0, 0, 0, 0, 0);
        logger->setTimeColumn(true);
        logger->Log(1, 1, 1, 1, 1, 1);
        now = now.addSecs(1);
        const qint64 arrived = now.toMSecsSinceEpoch() - 300;
        logger->logSample(ImuSample{2, 2, 2, 2, 2, 2}, arrived);
        logger->logSample(ImuSample{3, 3, 3, 3, 3, 3}, arrived - 40);
        logger->setTimeColumn(false);
        now = now.addSecs(1);
        logger->logSample(ImuSample{4, 4, 4, 4, 4, 4}, arrived + 1000);

        QCOMPARE(contents("logs//06.12, 9.05.07.txt"), header + "0,0,0,0,0,0,0\n1,1,1,1,1,1,1\n");
        const QByteArray time = LogFormat::timeText(arrived);
        QCOMPARE(contents("logs//06.12, 9.05.08.txt"),
                 header.chopped(1) + ",aika\n0,2,2,2,2,2,2," + time + "\n1,3,3,3,3,3,3," + time + "\n");
        QCOMPARE(contents("logs//06.12, 9.05.09.txt"), header + "0,4,4,4,4,4,4\n");
        // Without a time of its own, a sample is stamped with the clock's now.
        logger->setTimeColumn(true);
        logger->ReceiveNewfileIndex(1);
        logger->Log(5, 5, 5, 5, 5, 5);
        logger->Log(6, 6, 6, 6, 6, 6);
        QCOMPARE(contents("logs//06.12, 9.05.09-2.txt"),
                 header.chopped(1) + ",aika\n0,6,6,6,6,6,6," + LogFormat::timeText(now.toMSecsSinceEpoch()) + "\n");
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

    // Roll-overs within one second begin files of their own, each announced
    // once; the next second starts the numbering again.
    void sameSecondBeginsNewFile()
    {
        logger->ReceiveNewfileIndex(1);
        for (int i = 0; i < 11; ++i)
            logger->Log(i, -i, 1000, 0, 7, -32768);
        now = now.addSecs(1);
        logger->Log(11, -11, 1000, 0, 7, -32768);

        QStringList paths{"logs//06.12, 9.05.07.txt"};
        for (int n = 2; n <= 11; ++n)
            paths << QStringLiteral("logs//06.12, 9.05.07-%1.txt").arg(n);
        paths << "logs//06.12, 9.05.08.txt";
        QStringList announced;
        for (int i = 0; i < paths.size(); ++i) {
            announced << created + paths[i];
            QCOMPARE(contents(paths[i]), header + sampleLine(0, i));
        }
        QCOMPARE(takeMessages(), announced);
        QCOMPARE(QDir("logs").entryList(QDir::Files).size(), paths.size());
    }

    void takenNameIsPassedOver_data()
    {
        QTest::addColumn<QString>("taker");
        QTest::newRow("file of an earlier run") << "file";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("directory") << "directory";
        QTest::newRow("link to nowhere") << "link";
    }

    // Whatever holds the name, even a program that ran earlier in the same
    // second, is left as it is, and the file gets a name of its own.
    void takenNameIsPassedOver()
    {
        QFETCH(QString, taker);
        const QString taken = "logs/06.12, 9.05.07.txt";
        const QByteArray earlier = header + sampleLine(0, 0) + sampleLine(1, 1);
        if (taker == "directory") {
            QVERIFY(QDir().mkdir(taken));
        } else if (taker == "link") {
            QVERIFY(QFile::link("missing", taken));
        } else {
            QFile file(taken);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (taker == "file")
                QCOMPARE(file.write(earlier), earlier.size());
        }

        logger->Log(1, 2, 3, 4, 5, 6);
        QCOMPARE(takeMessages(), QStringList{created + "logs//06.12, 9.05.07-2.txt"});
        QCOMPARE(contents("logs/06.12, 9.05.07-2.txt"), header + "0,1,2,3,4,5,6\n");
        if (taker == "file")
            QCOMPARE(contents(taken), earlier);
        QVERIFY(QFileInfo(taken).isSymLink() || QFileInfo::exists(taken));
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

    // A corrected directory ends a run of failures at the next sample,
    // without waiting for the retry a second later. The dropped samples
    // neither take an index nor count towards the roll-over.
    void missingDirectory()
    {
        logger->ReceiveNewfileIndex(2);
        logger->ReceiveFilename("missing");
        for (int i = 0; i < 3; ++i)
            logger->Log(i, -i, 1000, 0, 7, -32768);
        QCOMPARE(takeMessages(), QStringList{"File could not be created! missing//06.12, 9.05.07.txt: "
                                             "No such file or directory"});
        QVERIFY(!QFileInfo::exists("missing"));

        logger->ReceiveFilename("logs");
        logger->Log(3, -3, 1000, 0, 7, -32768);
        const QString path = "logs//06.12, 9.05.07.txt";
        QCOMPARE(takeMessages(), QStringList({created + path, "Logging resumed: " + path,
                                              "3 samples were not logged"}));
        QCOMPARE(contents(path), header + sampleLine(0, 3));
    }

    void recovers_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expectedMessages");
        QTest::addColumn<QStringList>("expectedFiles");

        auto notCreated = [](int second, const QString &reason) {
            return "File could not be created! " + logPath(second) + ": " + reason;
        };
        auto notWritten = [](int second, const QString &reason) {
            return "Log file could not be written! " + logPath(second) + ": " + reason;
        };
        auto resumed = [](int second, const QString &lost) {
            return QStringList{created + logPath(second), "Logging resumed: " + logPath(second), lost};
        };

        // The lines written after the check at 8.00.01 went into the deleted
        // file and are counted; the retry waits a second after the failure
        // although the folder is back at once.
        QTest::newRow("folder deleted")
                << "mkdir logs; log 2; wait 1000; log 1; rm logs; log 2; wait 1000; log 1; mkdir logs;"
                   "log 1; wait 1000; log 1"
                << QStringList{created + logPath(0), notWritten(0, "the file was deleted")}
                                   + resumed(3, "5 samples were not logged")
                << QStringList{holding(3, 7, 7)};
        QTest::newRow("folder moved")
                << "mkdir logs; log 2; mv logs moved; wait 1000; log 1; mkdir logs; wait 1000; log 1"
                << QStringList{created + logPath(0), notWritten(0, "the file was moved away")}
                                   + resumed(2, "1 sample was not logged")
                << QStringList{holding(0, 0, 1, "moved"), holding(2, 3, 3)};
        QTest::newRow("folder replaced by a copy")
                << "mkdir logs; log 2; mv logs moved; mkdir logs; cp moved logs; log 1; wait 1000; log 1;"
                   "wait 1000; log 1"
                << QStringList{created + logPath(0), notWritten(0, "another file took its place")}
                                   + resumed(2, "1 sample was not logged")
                << QStringList{holding(0, 0, 1), holding(0, 0, 2, "moved"), holding(2, 4, 4)};
        // The folder's file went with it, before any check saw the two lines.
        QTest::newRow("folder replaced by a file")
                << "mkdir logs; log 2; rm logs; touch logs; wait 1000; log 1; wait 1000; log 1; rm logs;"
                   "mkdir logs; log 1; wait 1000; log 1"
                << QStringList{created + logPath(0), notWritten(0, "the folder logs was replaced by a file")}
                                   + resumed(3, "5 samples were not logged")
                << QStringList{holding(3, 5, 5)};
        QTest::newRow("missing then created")
                << "log 1; wait 1000; log 1; mkdir logs; log 1; wait 1000; log 1"
                << QStringList{notCreated(0, "No such file or directory")}
                                   + resumed(2, "3 samples were not logged")
                << QStringList{holding(2, 3, 3)};
        QTest::newRow("unwritable then fixed")
                << "mkdir logs; chmod 555 logs; log 1; wait 1000; log 1; chmod 755 logs; log 1; wait 1000;"
                   "log 2"
                << QStringList{notCreated(0, "Permission denied")} + resumed(2, "3 samples were not logged")
                << QStringList{holding(2, 3, 4)};
        // Files hold 200 bytes: the header (68 bytes) and five lines; the
        // sixth is cut short by the limit and taken back whole.
        QTest::newRow("disk full twice")
                << "mkdir logs; fsize 200; log 7; wait 1000; log 7; wait 1000; log 1"
                << QStringList{created + logPath(0), notWritten(0, systemError(EFBIG))}
                                   + resumed(1, "2 samples were not logged")
                                   + QStringList{notWritten(1, systemError(EFBIG))}
                                   + resumed(2, "2 samples were not logged")
                << QStringList{holding(0, 0, 4), holding(1, 7, 11), holding(2, 14, 14)};
        QTest::newRow("no room for the header")
                << "mkdir logs; fsize 50; log 1; wait 1000; log 1"
                << QStringList{notCreated(0, systemError(EFBIG))} << QStringList{};
    }

    // Each scenario runs in a child, as an unprivileged user when the tests run
    // as root. Every sample is either in the files, each file indexed from 0,
    // or among those reported as not logged.
    void recovers()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, expectedMessages);
        QFETCH(QStringList, expectedFiles);

        // Under /tmp and owned by the child's user, so that it can reach it.
        QTemporaryDir work(QStringLiteral("/tmp/tst_datalogger-XXXXXX"));
        QVERIFY(work.isValid());
        if (geteuid() == 0)
            QCOMPARE(::chown(QFile::encodeName(work.path()).constData(), unprivileged, unprivileged), 0);

        QProcess child;
        child.setWorkingDirectory(work.path());
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {scenarioFlag, script});
        QVERIFY(child.waitForFinished(60000));
        if (child.exitCode() == cannotDropPrivileges)
            QSKIP("Running as root, but setuid to 65534 failed; as root, permissions would not apply");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 expectedMessages);

        QStringList files;
        QDirIterator found(work.path(), QDir::Files, QDirIterator::Subdirectories);
        while (found.hasNext())
            files << QDir(work.path()).relativeFilePath(found.next());
        QStringList expectedPaths;
        for (const QString &file : std::as_const(expectedFiles))
            expectedPaths << file.section(' ', 0, -2);
        files.sort();
        expectedPaths.sort();
        QCOMPARE(files, expectedPaths);

        for (const QString &file : std::as_const(expectedFiles)) {
            const QStringList range = file.section(' ', -1).split('-');
            QByteArray expected = header;
            for (int sample = range[0].toInt(); sample <= range[1].toInt(); ++sample)
                expected += sampleLine(sample - range[0].toInt(), sample);
            QCOMPARE(contents(work.filePath(file.section(' ', 0, -2))), expected);
        }
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], scenarioFlag) == 0)
        return runScenario(QString::fromLocal8Bit(argv[2]));

    tst_Datalogger test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datalogger.moc"
