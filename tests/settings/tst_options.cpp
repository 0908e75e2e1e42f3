#include "options.h"

#include "childwidget.h"
#include "fakeportlist.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

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
    void warnsOfEqualMarkers();
    void formRangesAndLayout();
    void browse();
    void portMenu_data();
    void portMenu();
    void portMenuReadAtEveryOpening();
    void portActionFollowsTheField();
    void formUnchangedByThePortAction();

private:
    template <typename T> static T *widget(Options &d, const char *name) { return child<T>(&d, name); }
    static void press(Options &d, QDialogButtonBox::StandardButton which)
    {
        widget<QDialogButtonBox>(d, "buttonBox")->button(which)->click();
    }
    // Opens the device field's menu as a click on its arrow does.
    static QMenu *openPortMenu(Options &d)
    {
        auto *field = widget<QLineEdit>(d, "devicenameField");
        QToolButton *arrow = field->findChild<QToolButton *>();
        if (!arrow)
            arrow = missing<QToolButton>(field, QStringLiteral("the device field's arrow"));
        QTest::mouseClick(arrow, Qt::LeftButton);
        return widget<QMenu>(d, "portMenu");
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

    // Spin values are set to 170, 85, 255, 0 in every row: any byte.
    QTest::newRow("all on") << QList<bool>{true, true, true, true}
                            << std::vector<int>{17, 170, 85, 255, 0};
    QTest::newRow("all off") << QList<bool>{false, false, false, false}
                             << std::vector<int>{17, -1, -1, -1, -1};
    QTest::newRow("start byte 2 only") << QList<bool>{false, true, false, false}
                                       << std::vector<int>{17, -1, 85, -1, -1};
    QTest::newRow("end byte 1 off") << QList<bool>{false, false, false, true}
                                    << std::vector<int>{17, -1, -1, -1, 0};
}

void tst_Options::markerGroups()
{
    QFETCH(QList<bool>, ticked);
    QFETCH(std::vector<int>, expected);

    Options dialog;
    Receiver rx(&dialog);
    const char *groups[] = {"XSB1", "XSB2", "XEB1", "XEB2"};
    const char *spins[] = {"StartByte1", "StartByte2", "EndByte1", "EndByte2"};
    const int values[] = {170, 85, 255, 0};
    widget<QSpinBox>(dialog, "DataBytes")->setValue(17);
    for (int i = 0; i < 4; ++i) {
        widget<QGroupBox>(dialog, groups[i])->setChecked(ticked[i]);
        widget<QSpinBox>(dialog, spins[i])->setValue(values[i]);
    }
    // Without any marker, nothing tells a frame from the bytes around it.
    QCOMPARE(widget<QLabel>(dialog, "uncheckedNote")->isVisibleTo(&dialog), !ticked.contains(true));
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

// Markers that share a value are warned of as they are set, and OK still
// takes the layout.
void tst_Options::warnsOfEqualMarkers()
{
    Options dialog;
    Receiver rx(&dialog);
    QTimer::singleShot(0, &dialog, [&] {
        auto *warning = widget<QLabel>(dialog, "layoutWarning");
        QVERIFY(warning->text().isEmpty());
        widget<QGroupBox>(dialog, "XSB1")->setChecked(true);
        widget<QSpinBox>(dialog, "StartByte1")->setValue(55);
        QVERIFY2(warning->text().contains("Two markers have the value 55"), qPrintable(warning->text()));
        // A marker switched off shares nothing.
        widget<QGroupBox>(dialog, "XEB1")->setChecked(false);
        QVERIFY(warning->text().isEmpty());
        widget<QGroupBox>(dialog, "XEB1")->setChecked(true);
        QVERIFY(!warning->text().isEmpty());
        press(dialog, QDialogButtonBox::Ok);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(rx.record, (std::vector<int>{12, 55, -1, 55, 1}));
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
    QCOMPARE(dialog.size(), QSize(596, 430));

    struct Range { const char *name; int max; int step; int value; };
    const Range ranges[] = {{"DataBytes", 99, 1, 12},   {"StartByte1", 255, 1, 0},
                            {"StartByte2", 255, 1, 0},  {"EndByte1", 255, 1, 55},
                            {"EndByte2", 255, 1, 1},    {"newfilelines", 1000000, 1000, 50000}};
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

    QCOMPARE(widget<QWidget>(dialog, "buttonBox")->geometry(), QRect(70, 385, 341, 32));
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
    QList<QWidget *> chooserParents;
    dialog.setDirectoryChooser([&](QWidget *parent) {
        ++chooserCalls;
        chooserParents << parent;
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
    // The chooser is the dialog's own, above it.
    QCOMPARE(chooserParents, (QList<QWidget *>{&dialog, &dialog}));

    dialog.accept();
    QCOMPARE(rx.directory, QStringLiteral("/srv/imu/logs"));
}

namespace {
const PortEntry ftdi = portEntry("/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                                 "FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001);
const PortEntry ch340 = portEntry("/dev/ttyUSB1", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0",
                                  "USB Serial", "1a86", {}, 0x1a86, 0x7523);
// A native UART: udev knows no name for it, and there is no by-id link.
const PortEntry uart = portEntry("/dev/ttyS0", {}, {}, {});
const PortEntry noLink = portEntry("/dev/ttyACM0", {}, "Uno R3 & co", "Arduino (www.arduino.cc)");

// True when the field shows its whole text at once: the cursor at the end
// lies a text's width from the cursor at the start, nothing scrolled away.
bool shownWhole(QLineEdit *field)
{
    field->setCursorPosition(0);
    field->repaint();
    const int start = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    field->end(false);
    field->repaint();
    const int end = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    return end - start >= QFontMetrics(field->font()).horizontalAdvance(field->text()) - 1;
}
} // namespace

void tst_Options::portMenu_data()
{
    QTest::addColumn<QList<PortEntry>>("present");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("paths"); // what choosing each entry fills in

    QTest::newRow("adapter with a by-id link")
        << QList<PortEntry>{ftdi}
        << QStringList{"FT232R USB UART (FTDI), /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}
        << QStringList{ftdi.byIdPath};
    QTest::newRow("ports without a link")
        << QList<PortEntry>{uart, noLink}
        << QStringList{"/dev/ttyS0", "Uno R3 && co (Arduino (www.arduino.cc)), /dev/ttyACM0"}
        << QStringList{"/dev/ttyS0", "/dev/ttyACM0"};
    QTest::newRow("two adapters")
        << QList<PortEntry>{ftdi, ch340}
        << QStringList{"FT232R USB UART (FTDI), " + ftdi.byIdPath, "USB Serial (1a86), " + ch340.byIdPath}
        << QStringList{ftdi.byIdPath, ch340.byIdPath};
    QTest::newRow("no port") << QList<PortEntry>{} << QStringList{"No serial port found"} << QStringList{};
}

void tst_Options::portMenu()
{
    QFETCH(QList<PortEntry>, present);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, paths);

    Options dialog;
    dialog.setPortList(std::make_unique<FakePortList>(present));
    Receiver rx(&dialog);
    widget<QGroupBox>(dialog, "groupBox_2")->setChecked(true);
    auto *field = widget<QLineEdit>(dialog, "devicenameField");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    for (int i = 0; i < entries.size(); ++i) {
        QMenu *menu = openPortMenu(dialog);
        QVERIFY(menu->isVisible());
        const QList<QAction *> actions = menu->actions();
        QStringList texts;
        for (const QAction *a : actions)
            texts << a->text();
        QCOMPARE(texts, entries);
        if (paths.isEmpty()) {
            // Nothing to choose: the entry only says so.
            QVERIFY(!actions[0]->isEnabled());
            actions[0]->trigger();
            QCOMPARE(field->text(), QStringLiteral("/dev/ttyUSB0"));
            break;
        }
        QVERIFY(actions[i]->isEnabled());
        QVERIFY(actions[i]->toolTip().startsWith(present[i].systemLocation));
        actions[i]->trigger();
        QCOMPARE(field->text(), paths[i]);
        // A by-id path can be read back whole, and says where it leads.
        QVERIFY2(shownWhole(field), qPrintable(field->text()));
        QVERIFY2(field->toolTip().contains(present[i].systemLocation), qPrintable(field->toolTip()));
    }
    // The chosen path is sent as if typed.
    dialog.accept();
    QCOMPARE(rx.device, paths.isEmpty() ? QStringLiteral("/dev/ttyUSB0") : paths.last());
}

void tst_Options::portMenuReadAtEveryOpening()
{
    Options dialog;
    auto list = std::make_unique<FakePortList>();
    const auto entries = list->entries;
    const auto reads = list->reads;
    dialog.setPortList(std::move(list));
    widget<QGroupBox>(dialog, "groupBox_2")->setChecked(true);
    QCOMPARE(*reads, 0);

    QCOMPARE(openPortMenu(dialog)->actions().first()->text(), QStringLiteral("No serial port found"));
    openPortMenu(dialog)->close();
    // An adapter plugged in while the dialog is open shows at the next opening.
    *entries << ch340;
    QMenu *menu = openPortMenu(dialog);
    QCOMPARE(menu->actions().size(), 1);
    QVERIFY(menu->actions().first()->text().endsWith(ch340.byIdPath));
    QCOMPARE(*reads, 3);
    QCOMPARE(dialog.findChildren<QMenu *>().size(), 1);
    // The dialog's list is the one the window names ports from.
    QCOMPARE(dialog.portList().ports(), QList<PortEntry>{ch340});
}

void tst_Options::portActionFollowsTheField()
{
    Options dialog;
    dialog.setPortList(std::make_unique<FakePortList>(QList<PortEntry>{ftdi}));
    auto *field = widget<QLineEdit>(dialog, "devicenameField");
    auto *group = widget<QGroupBox>(dialog, "groupBox_2");
    auto *action = widget<QAction>(dialog, "portAction");
    QCOMPARE(field->actions(), QList<QAction *>{action});

    QVERIFY(!field->isEnabled());
    QVERIFY(!action->isEnabled());
    // A disabled arrow opens nothing.
    action->trigger();
    QVERIFY(!dialog.findChild<QMenu *>("portMenu"));
    group->setChecked(true);
    QVERIFY(action->isEnabled());
    group->setChecked(false);
    QVERIFY(!action->isEnabled());
    group->setChecked(true);
    QVERIFY(action->isEnabled());

    // The arrow sits inside the field, at its trailing end.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QToolButton *arrow = field->findChild<QToolButton *>();
    QVERIFY(arrow && arrow->isVisible());
    QVERIFY(field->rect().contains(arrow->geometry()));
    QVERIFY(arrow->geometry().left() > field->width() / 2);
}

void tst_Options::formUnchangedByThePortAction()
{
    Options dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    struct Placed { const char *name; const char *parent; QRect geometry; };
    const Placed form[] = {
        {"buttonBox", "Options", {70, 385, 341, 32}},   {"frame", "Options", {10, 20, 571, 101}},
        {"label_2", "frame", {10, 10, 161, 17}},        {"label", "frame", {220, 30, 101, 20}},
        {"DataBytes", "frame", {219, 50, 91, 27}},      {"XSB1", "frame", {10, 30, 101, 51}},
        {"StartByte1", "XSB1", {10, 20, 61, 27}},       {"XSB2", "frame", {110, 30, 101, 51}},
        {"StartByte2", "XSB2", {10, 20, 61, 27}},       {"XEB1", "frame", {330, 30, 101, 51}},
        {"EndByte1", "XEB1", {10, 20, 61, 27}},         {"XEB2", "frame", {430, 30, 101, 51}},
        {"EndByte2", "XEB2", {10, 20, 61, 27}},         {"frame_2", "Options", {10, 120, 451, 91}},
        {"label_3", "frame_2", {10, 10, 171, 21}},      {"filenameField", "frame_2", {10, 40, 171, 27}},
        {"BrowseButton", "frame_2", {190, 40, 93, 27}}, {"groupBox", "frame_2", {290, 20, 161, 51}},
        {"label_12", "groupBox", {90, 30, 46, 20}},     {"newfilelines", "groupBox", {10, 27, 71, 22}},
        {"frame_3", "Options", {460, 120, 121, 91}},    {"checkBox_gyro", "frame_3", {10, 60, 101, 22}},
        {"checkBox", "frame_3", {10, 10, 111, 22}},     {"checkBox_acc", "frame_3", {10, 40, 111, 22}},
        {"frame_4", "Options", {10, 210, 576, 103}},    {"groupBox_2", "frame_4", {10, 3, 556, 96}},
        {"devicenameField", "groupBox_2", {10, 58, 536, 27}}, {"label_4", "groupBox_2", {10, 30, 62, 21}},
        {"label_5", "groupBox_2", {370, 25, 71, 31}},   {"comboBox", "groupBox_2", {450, 25, 89, 31}},
        {"frame_5", "Options", {10, 317, 151, 61}},     {"TestProgram", "frame_5", {10, 30, 121, 22}},
        {"RealProgram", "frame_5", {10, 10, 141, 22}},  {"layoutWarning", "Options", {170, 317, 411, 61}},
        {"uncheckedNote", "frame", {10, 81, 551, 18}},
    };
    QStringList expectedNames;
    for (const Placed &p : form) {
        auto *w = widget<QWidget>(dialog, p.name);
        QCOMPARE(w->parentWidget()->objectName(), QLatin1String(p.parent));
        QCOMPARE(w->geometry(), p.geometry);
        expectedNames << QLatin1String(p.name);
    }
    // The arrow adds no named widget; the form's widgets keep their names.
    QStringList names;
    for (const QWidget *w : dialog.findChildren<QWidget *>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            names << w->objectName();
    names.sort();
    expectedNames.sort();
    QCOMPARE(names, expectedNames);
    QCOMPARE(widget<QLineEdit>(dialog, "devicenameField")->font().pointSize(), 11);
}

QTEST_MAIN(tst_Options)
#include "tst_options.moc"

