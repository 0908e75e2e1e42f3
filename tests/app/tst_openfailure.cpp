#include "openfailure.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

class tst_OpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void permissionNamesTheDevicesGroup_data();
    void permissionNamesTheDevicesGroup();
};

void tst_OpenFailure::permissionNamesTheDevicesGroup_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected"); // %1: the device's path

    QTest::newRow("USB adapter") << "dialout" << 0660 << "Permission denied: add yourself to the dialout group";
    QTest::newRow("other group") << "tty" << 0640 << "Permission denied: add yourself to the tty group";
    // A pseudo-terminal of another user: its group may only write.
    QTest::newRow("group cannot read") << "tty" << 0620 << "Permission denied: only root may read %1 (mode 0620)";
    QTest::newRow("no one can read") << "tty" << 0 << "Permission denied: no one but root may read %1 (mode 0000)";
}

// Joining dialout helps only with a device of that group.
void tst_OpenFailure::permissionNamesTheDevicesGroup()
{
    QFETCH(QString, group);
    QFETCH(int, mode);
    QFETCH(QString, expected);

    if (::geteuid() != 0)
        QSKIP("giving a file to root and another group needs root");
    const struct group *found = ::getgrnam(group.toLocal8Bit().constData());
    if (!found)
        QSKIP("this machine has no such group");
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QByteArray path = QFile::encodeName(device);
    QCOMPARE(::chown(path.constData(), 0, found->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);

    const QString text = openFailureText(OpenFailure::PermissionDenied, QStringLiteral("Permission denied"), device);
    QCOMPARE(text, expected.contains(QLatin1String("%1")) ? expected.arg(device) : expected);
}

QTEST_MAIN(tst_OpenFailure)
#include "tst_openfailure.moc"
