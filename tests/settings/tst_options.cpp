#include "options.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

// Records what the dialog broadcasts, in arrival order, together with the
// flags as a receiver would see them at the first signal.
class Receiver : public QObject
{
    Q_OBJECT
public:
    explicit Receiver(Options *dialog) : dialog(dialog)
    {
        connect(dialog, &Options::SendOptions, this, [this, dialog](int *frame) {
            events << QStringLiteral("options");
            record.assign(frame, frame + 5);
            flagsAtFirstSignal = QList<bool>{dialog->drawPlots, dialog->plotAcceleration,
                                             dialog->plotGyroscope, dialog->testMode};
        });
        connect(dialog, &Options::SendFilename, this, [this](const QString &dir) {
            events << QStringLiteral("filename");
            directory = dir;
        });
        connect(dialog, &Options::SendDeviceName, this, [this](const QString &dev) {
            events << QStringLiteral("device");
            device = dev;
        });
        connect(dialog, &Options::SendNewfileIndex, this, [this](int lines) {
            events << QStringLiteral("lines");
            linesPerFile = lines;
        });
    }

    Options *dialog;
    QStringList events;
    std::vector<int> record;
    QList<bool> flagsAtFirstSignal;
    QString directory;
    QString device;
    int linesPerFile = -2;
};

class tst_Options : public QObject
{
    Q_OBJECT

private slots:
    void okOnUntouchedFormBroadcastsDefaults();
    void markerGroups_data();
    void markerGroups();
    void cancelSendsNothingButKeepsEdits();
    void refusesFrameWithoutSample();
    void formRangesAndLayout();
    void browse();

private:
    template <typename T> static T *widget(Options &d, const char *name)
    {
        auto *w = d.findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    static void press(Options &d, QDialogButtonBox::StandardButton which)
    {
        widget<QDialogButtonBox>(d, "buttonBox")->button(which)->click();
    }
};

void tst_Options::okOnUntouchedFormBroadcastsDefaults()
{
    Options dialog;
    QCOMPARE(dialog.drawPlots, false);
    QCOMPARE(dialog.testMode, false);
    Receiver rx(&dialog);

    // Run it modally, as the program does, and confirm from inside the run.
    QTimer::singleShot(0, &dialog, [&] { press(dialog, QDialogButtonBox::Ok); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    QCOMPARE(rx.events, (QStringList{"options", "filename", "device", "lines"}));
    QCOMPARE(rx.record, (std::vector<int>{12, -1, -1, 55, 1}));
    QCOMPARE(rx.directory, QStringLiteral("logs"));
    QCOMPARE(rx.device, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(rx.linesPerFile, 50000);
    QCOMPARE(rx.flagsAtFirstSignal, (QList<bool>{true, true, true, true}));
}

void tst_Options::markerGroups_data()
{
    QTest::addColumn<QList<bool>>("ticked");  // XSB1, XSB2, XEB1, XEB2
    QTest::addColumn<std::vector<int>>("expected");

    // Spin values are set to 11, 22, 33, 44 in every row.
    QTest::newRow("all on") << QList<bool>{true, true, true, true}
                            << std::vector<int>{17, 11, 22, 33, 44};
    QTest::newRow("all off") << QList<bool>{false, false, false, false}
                             << std::vector<int>{17, -1, -1, -1, -1};
    QTest::newRow("start byte 2 only") << QList<bool>{false, true, false, false}
                                       << std::vector<int>{17, -1, 22, -1, -1};
    QTest::newRow("end byte 1 off") << QList<bool>{false, false, false, true}
                                    << std::vector<int>{17, -1, -1, -1, 44};
}

void tst_Options::markerGroups()
{
    QFETCH(QList<bool>, ticked);
    QFETCH(std::vector<int>, expected);

    Options dialog;
    Receiver rx(&dialog);
    const char *groups[] = {"XSB1", "XSB2", "XEB1", "XEB2"};
    const char *spins[] = {"StartByte1", "StartByte2", "EndByte1", "EndByte2"};
    widget<QSpinBox>(dialog, "DataBytes")->setValue(17);
    for (int i = 0; i < 4; ++i) {
        widget<QGroupBox>(dialog, groups[i])->setChecked(ticked[i]);
        widget<QSpinBox>(dialog, spins[i])->setValue(11 * (i + 1));
    }
    dialog.accept();
    QCOMPARE(rx.record, expected);
}

void tst_Options::cancelSendsNothingButKeepsEdits()
{
    Options dialog;
    Receiver rx(&dialog);

    // Edits in disabled groups, then Cancel.
    QVERIFY(!widget<QLineEdit>(dialog, "devicenameField")->isEnabled());
    widget<QLineEdit>(dialog, "devicenameField")->setText("/dev/ttyACM3");
    widget<QGroupBox>(dialog, "groupBox")->setChecked(false);
    widget<QSpinBox>(dialog, "newfilelines")->setValue(1234);
    QVERIFY(!widget<QSpinBox>(dialog, "newfilelines")->isEnabled());
    widget<QRadioButton>(dialog, "RealProgram")->setChecked(true);
    widget<QCheckBox>(dialog, "checkBox")->setChecked(false);

    QTimer::singleShot(0, &dialog, [&] { press(dialog, QDialogButtonBox::Cancel); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(rx.events.isEmpty());
    QCOMPARE(dialog.drawPlots, false);
    QCOMPARE(dialog.testMode, false);

    // The next OK sends what the user left in the form, disabled or not.
    QTimer::singleShot(0, &dialog, [&] { press(dialog, QDialogButtonBox::Ok); });
    dialog.exec();
    QCOMPARE(rx.device, QStringLiteral("/dev/ttyACM3"));
    QCOMPARE(rx.linesPerFile, 1234);
    QCOMPARE(dialog.testMode, false);
    QCOMPARE(dialog.drawPlots, false);
    QCOMPARE(dialog.plotAcceleration, true);
}

// Fewer than twelve data bytes cannot carry a sample: OK keeps the dialog
// open, says why, and sends nothing until the layout can.
void tst_Options::refusesFrameWithoutSample()
{
    Options dialog;
    Receiver rx(&dialog);
    QTimer::singleShot(0, &dialog, [&] {
        widget<QSpinBox>(dialog, "DataBytes")->setValue(11);
        press(dialog, QDialogButtonBox::Ok);
        QVERIFY(dialog.isVisible());
        QVERIFY(rx.events.isEmpty());
        QVERIFY(widget<QLabel>(dialog, "layoutWarning")->text().contains("at least 12 data bytes"));

        widget<QSpinBox>(dialog, "DataBytes")->setValue(12);
        press(dialog, QDialogButtonBox::Ok);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(rx.record, (std::vector<int>{12, -1, -1, 55, 1}));
    QVERIFY(widget<QLabel>(dialog, "layoutWarning")->text().isEmpty());
}

void tst_Options::formRangesAndLayout()
{
    Options dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(dialog.size(), QSize(596, 407));

    struct Range { const char *name; int max; int step; int value; };
    const Range ranges[] = {{"DataBytes", 99, 1, 12},   {"StartByte1", 99, 1, 0},
                            {"StartByte2", 99, 1, 0},   {"EndByte1", 255, 1, 55},
                            {"EndByte2", 99, 1, 1},     {"newfilelines", 1000000, 1000, 50000}};
    for (const Range &r : ranges) {
        auto *box = widget<QSpinBox>(dialog, r.name);
        QCOMPARE(box->minimum(), 0);
        QCOMPARE(box->maximum(), r.max);
        QCOMPARE(box->singleStep(), r.step);
        QCOMPARE(box->value(), r.value);
        box->setValue(r.max + 1);
        QCOMPARE(box->value(), r.max);
        box->setValue(-1);
        QCOMPARE(box->value(), 0);
    }
    // The line count steps by 1000 but takes any typed value.
    auto *lines = widget<QSpinBox>(dialog, "newfilelines");
    lines->setValue(50000);
    lines->stepUp();
    QCOMPARE(lines->value(), 51000);
    QTest::keyClick(lines, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(lines, "1234");
    QTest::keyClick(lines, Qt::Key_Return);
    QCOMPARE(lines->value(), 1234);

    // Exactly one mode is selected.
    auto *test = widget<QRadioButton>(dialog, "TestProgram");
    auto *real = widget<QRadioButton>(dialog, "RealProgram");
    QVERIFY(test->isChecked() && !real->isChecked());
    real->click();
    QVERIFY(!test->isChecked() && real->isChecked());

    // Ticking "Serial port setup" unlocks the device field.
    auto *serialGroup = widget<QGroupBox>(dialog, "groupBox_2");
    QCOMPARE(serialGroup->title(), QStringLiteral("Serial port setup"));
    QVERIFY(!widget<QLineEdit>(dialog, "devicenameField")->isEnabled());
    serialGroup->setChecked(true);
    QVERIFY(widget<QLineEdit>(dialog, "devicenameField")->isEnabled());

    QCOMPARE(widget<QWidget>(dialog, "buttonBox")->geometry(), QRect(70, 360, 341, 32));
    QCOMPARE(widget<QWidget>(dialog, "DataBytes")->geometry(), QRect(219, 50, 91, 27));
    QCOMPARE(widget<QWidget>(dialog, "EndByte1")->parentWidget()->objectName(),
             QStringLiteral("XEB1"));
    QCOMPARE(widget<QWidget>(dialog, "TestProgram")->geometry(), QRect(10, 30, 121, 22));
    QCOMPARE(widget<QWidget>(dialog, "label_2")->font().family(),
             QStringLiteral("Bitstream Charter"));
    QCOMPARE(widget<QWidget>(dialog, "frame_5")->toolTip(),
             QStringLiteral("This is used to determine wether to use the real wireless sensor "
                            "program\nor test mode, in which the sensor input is simulated by "
                            "sine waves.\nIt is useful for program development."));
    // The form places everything itself: resizing moves nothing.
    dialog.resize(900, 700);
    QCOMPARE(widget<QWidget>(dialog, "DataBytes")->geometry(), QRect(219, 50, 91, 27));
}

void tst_Options::browse()
{
    Options dialog;
    Receiver rx(&dialog);
    QString nextChoice = QStringLiteral("/srv/imu/logs");
    int chooserCalls = 0;
    dialog.setDirectoryChooser([&](QWidget *parent) {
        ++chooserCalls;
        Q_ASSERT(parent == &dialog);
        return nextChoice;
    });
    auto *field = widget<QLineEdit>(dialog, "filenameField");

    widget<QPushButton>(dialog, "BrowseButton")->click();
    QCOMPARE(chooserCalls, 1);
    QCOMPARE(field->text(), nextChoice);
    QVERIFY(rx.events.isEmpty());

    // A cancelled chooser leaves the chosen directory in place.
    nextChoice.clear();
    widget<QPushButton>(dialog, "BrowseButton")->click();
    QCOMPARE(chooserCalls, 2);
    QCOMPARE(field->text(), QStringLiteral("/srv/imu/logs"));

    dialog.accept();
    QCOMPARE(rx.directory, QStringLiteral("/srv/imu/logs"));
}

QTEST_MAIN(tst_Options)
#include "tst_options.moc"
