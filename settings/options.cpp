#include "options.h"
#include "ui_options.h"

#include "framelayout.h"
#include "linerate.h"
#include "logformat.h"
#include "serialportlist.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace {

// What the adapter is, when udev says so.
QString adapterName(const PortEntry &port)
{
    QString what = port.description;
    if (!port.manufacturer.isEmpty())
        what = what.isEmpty() ? port.manufacturer : QStringLiteral("%1 (%2)").arg(what, port.manufacturer);
    return what;
}

// "FT232R USB UART (FTDI), /dev/serial/by-id/usb-FTDI_...": what the adapter
// is, then the path that choosing it puts in the field.
QString portEntryText(const PortEntry &port)
{
    const QString what = adapterName(port);
    QString text = what.isEmpty() ? port.stablePath() : QStringLiteral("%1, %2").arg(what, port.stablePath());
    // An ampersand in a name from udev is no keyboard shortcut.
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

// The device node (when asked for) and what else tells two alike adapters
// apart.
QString portEntryDetails(const PortEntry &port, bool withNode = true)
{
    QStringList details;
    if (withNode)
        details << port.systemLocation;
    else if (!adapterName(port).isEmpty())
        details << adapterName(port);
    if (!port.serialNumber.isEmpty())
        details << QStringLiteral("serial number %1").arg(port.serialNumber);
    if (port.vendorId >= 0 && port.productId >= 0)
        details << QStringLiteral("USB id %1:%2")
                       .arg(port.vendorId, 4, 16, QLatin1Char('0'))
                       .arg(port.productId, 4, 16, QLatin1Char('0'));
    return details.join(QStringLiteral(", "));
}

// The down arrow of the style's combo and spin boxes, which says "choose
// from a list" more plainly than any icon theme's arrow.
QIcon dropDownIcon(const QWidget *field)
{
    const int size = field->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, field);
    const qreal ratio = field->devicePixelRatioF();
    QPixmap arrow(QSize(size, size) * ratio);
    arrow.setDevicePixelRatio(ratio);
    arrow.fill(Qt::transparent);
    QPainter painter(&arrow);
    QStyleOption option;
    option.initFrom(field);
    // Drawn as on an enabled field: the icon greys itself while disabled.
    option.state |= QStyle::State_Enabled;
    option.palette.setCurrentColorGroup(QPalette::Active);
    option.rect = QRect(0, 0, size, size);
    field->style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &painter, field);
    painter.end();
    return QIcon(arrow);
}

} // namespace

Options::Options(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui_Options>())
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Options"));
    showLayout(FrameLayout::formDefault());

    connect(this, &QDialog::accepted, this, &Options::CheckOptions);
    connect(ui->BrowseButton, &QPushButton::clicked, this, &Options::Browse);

    drawPlots = false;
    ui->devicenameField->setText(QString::fromLatin1(DefaultSerialDevice));
    // The logger's own default, which the form does not repeat.
    ui->newfilelines->setValue(LogFormat::defaultLinesPerFile);

    // Inside the field, so that no widget of the form moves.
    ports = SerialPortList::system();
    portAction = ui->devicenameField->addAction(dropDownIcon(ui->devicenameField),
                                                QLineEdit::TrailingPosition);
    portAction->setObjectName(QStringLiteral("portAction"));
    portAction->setToolTip(tr("Serial ports present"));
    portAction->setEnabled(ui->devicenameField->isEnabled());
    connect(portAction, &QAction::triggered, this, &Options::showPortMenu);
    // The group box enables the field before it tells.
    connect(ui->groupBox_2, &QGroupBox::toggled, portAction,
            [this] { portAction->setEnabled(ui->devicenameField->isEnabled()); });

    // Markers of one value let a frame's data pass for its start or end, and
    // without any marker nothing is checked at all.
    for (const MarkerField &marker : markerFields()) {
        connect(marker.value, &QSpinBox::valueChanged, this, &Options::showMarkerWarning);
        connect(marker.group, &QGroupBox::toggled, this, &Options::showMarkerWarning);
    }
    showMarkerWarning();

    // A long /dev/serial/by-id/ path says what it leads to only on a hover.
    connect(ui->devicenameField, &QLineEdit::textChanged, this, &Options::describeDevice);
    describeDevice();

    // The chooser opens at the log directory chosen so far, else at home.
    chooseDirectory = [this](QWidget *parent) {
        const QString current = ui->filenameField->text();
        const QString start = !current.isEmpty() && QDir(current).exists() ? current : QDir::homePath();
        return QFileDialog::getExistingDirectory(parent, tr("Save directory"), start, QFileDialog::ShowDirsOnly);
    };
}

Options::~Options() = default;

std::array<Options::MarkerField, 4> Options::markerFields() const
{
    return {{{ui->XSB1, ui->StartByte1}, {ui->XSB2, ui->StartByte2},
             {ui->XEB1, ui->EndByte1}, {ui->XEB2, ui->EndByte2}}};
}

void Options::showLayout(const FrameLayout &layout)
{
    ui->DataBytes->setValue(layout.dataByteCount);
    const int values[] = {layout.startByte1, layout.startByte2, layout.endByte1, layout.endByte2};
    const auto fields = markerFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool on = values[i] != FrameLayout::Off;
        fields[i].group->setChecked(on);
        // A marker switched off keeps the value its box shows.
        if (on)
            fields[i].value->setValue(values[i]);
    }
}

void Options::setDirectoryChooser(DirectoryChooser chooser)
{
    chooseDirectory = std::move(chooser);
}

void Options::setPortList(std::unique_ptr<SerialPortList> list)
{
    ports = list ? std::move(list) : SerialPortList::system();
}

void Options::showEvent(QShowEvent *event)
{
    // Adapters come and go between two openings of the dialog.
    knownPorts = ports->ports();
    describeDevice();
    QDialog::showEvent(event);
}

void Options::describeDevice()
{
    const QString path = ui->devicenameField->text();
    const QString node = QFileInfo(path).canonicalFilePath();
    for (const PortEntry &port : std::as_const(knownPorts)) {
        if (path == port.systemLocation || path == port.byIdPath || (!node.isEmpty() && node == port.systemLocation)) {
            ui->devicenameField->setToolTip(tr("Leads to %1: %2").arg(port.systemLocation, portEntryDetails(port, false)));
            return;
        }
    }
    ui->devicenameField->setToolTip(tr("The serial device to read. The arrow lists the ports present."));
}

void Options::showPortMenu()
{
    // Listed at every opening: adapters come and go while the dialog is open.
    delete portMenu;
    portMenu = new QMenu(this);
    portMenu->setObjectName(QStringLiteral("portMenu"));
    portMenu->setToolTipsVisible(true);
    const QList<PortEntry> present = ports->ports();
    knownPorts = present;
    describeDevice();
    for (const PortEntry &port : present) {
        QAction *entry = portMenu->addAction(portEntryText(port));
        entry->setToolTip(portEntryDetails(port));
        const QString path = port.stablePath();
        connect(entry, &QAction::triggered, this, [this, path] { ui->devicenameField->setText(path); });
    }
    if (present.isEmpty())
        portMenu->addAction(tr("No serial port found"))->setEnabled(false);
    QLineEdit *field = ui->devicenameField;
    portMenu->popup(field->mapToGlobal(QPoint(0, field->height())));
}

void Options::accept()
{
    // A shorter frame than one sample would freeze the readouts without a
    // word.
    if (ui->DataBytes->value() < FrameLayout::SampleBytes) {
        ui->layoutWarning->setText(tr("A frame needs at least %1 data bytes to carry a sample "
                                      "(six values of two bytes each).").arg(FrameLayout::SampleBytes));
        ui->DataBytes->setFocus();
        return;
    }
    showMarkerWarning();
    QDialog::accept();
}

void Options::showMarkerWarning()
{
    const auto fields = markerFields();
    ui->uncheckedNote->setVisible(std::none_of(fields.begin(), fields.end(), [](const MarkerField &marker) {
        return marker.group->isChecked();
    }));
    QList<int> values;
    for (const MarkerField &marker : markerFields()) {
        if (!marker.group->isChecked())
            continue;
        if (values.contains(marker.value->value())) {
            ui->layoutWarning->setText(tr("Two markers have the value %1: a frame's data can then "
                                          "pass for its markers, and samples may be found that "
                                          "were never sent.").arg(marker.value->value()));
            return;
        }
        values << marker.value->value();
    }
    ui->layoutWarning->clear();
}

void Options::CheckOptions()
{
    // Lives only for the emission below: receivers copy the entries.
    int optionFrame[5] = {ui->DataBytes->value()};
    const auto fields = markerFields();
    for (size_t i = 0; i < fields.size(); ++i)
        optionFrame[i + 1] = fields[i].group->isChecked() ? fields[i].value->value() : FrameLayout::Off;

    saveDirectory = ui->filenameField->text();
    deviceName = ui->devicenameField->text();

    // The flags are stored before the first emission: receivers read them.
    drawPlots = ui->checkBox->isChecked();
    plotAcceleration = ui->checkBox_acc->isChecked();
    plotGyroscope = ui->checkBox_gyro->isChecked();
    testMode = ui->TestProgram->isChecked();

    emit SendOptions(optionFrame);
    emit SendFilename(saveDirectory);
    emit SendDeviceName(deviceName);
    emit SendNewfileIndex(ui->newfilelines->value());
}

void Options::Browse()
{
    const QString chosen = chooseDirectory(this);
    // A cancelled chooser keeps the directory the user had: an empty one
    // would send every log file somewhere the user never chose.
    if (chosen.isEmpty())
        return;
    saveDirectory = chosen;
    ui->filenameField->setText(saveDirectory);
}

#include "moc_options.cpp"
