#include "options.h"
#include "ui_options.h"

#include <QFileDialog>

Options::Options(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui_Options>())
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Options"));

    connect(this, &QDialog::accepted, this, &Options::CheckOptions);
    connect(ui->BrowseButton, &QPushButton::clicked, this, &Options::Browse);

    drawPlots = false;
    ui->devicenameField->setText(QStringLiteral("/dev/ttyUSB0"));

    chooseDirectory = [](QWidget *parent) {
        return QFileDialog::getExistingDirectory(parent, tr("Save directory"),
                                                 QStringLiteral("C:\\logs"),
                                                 QFileDialog::ShowDirsOnly);
    };
}

Options::~Options() = default;

void Options::setDirectoryChooser(DirectoryChooser chooser)
{
    chooseDirectory = std::move(chooser);
}

void Options::accept()
{
    // One sample takes twelve data bytes; a shorter frame would freeze the
    // readouts without a word.
    if (ui->DataBytes->value() < 12) {
        ui->layoutWarning->setText(tr("A frame needs at least 12 data bytes to carry a sample "
                                      "(six values of two bytes each)."));
        ui->DataBytes->setFocus();
        return;
    }
    ui->layoutWarning->clear();
    QDialog::accept();
}

void Options::CheckOptions()
{
    auto markerValue = [](const QGroupBox *group, const QSpinBox *value) {
        return group->isChecked() ? value->value() : -1;
    };
    // Lives only for the emission below: receivers copy the entries.
    int optionFrame[5] = {
        ui->DataBytes->value(),
        markerValue(ui->XSB1, ui->StartByte1),
        markerValue(ui->XSB2, ui->StartByte2),
        markerValue(ui->XEB1, ui->EndByte1),
        markerValue(ui->XEB2, ui->EndByte2),
    };

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
