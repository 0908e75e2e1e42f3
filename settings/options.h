#ifndef OPTIONS_H
#define OPTIONS_H

#include "serialportlist.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QMenu;
class QSpinBox;
class Ui_Options;
struct FrameLayout;

// The settings dialog. On OK it stores the four public flags and then
// broadcasts the message frame layout, the log directory, the serial device
// path and the lines per log file, in that order. Cancel stores and sends
// nothing; the form keeps what the user typed for the next opening.
class Options : public QDialog
{
    Q_OBJECT

public:
    explicit Options(QWidget *parent = nullptr);
    ~Options() override;

    // Returns the directory the user picked, or an empty string when the
    // chooser was cancelled. Replaceable so that Browse() can run without a
    // native dialog.
    using DirectoryChooser = std::function<QString(QWidget *parent)>;
    void setDirectoryChooser(DirectoryChooser chooser);

    // The ports offered by the device field's menu; this machine's unless
    // replaced. Never null.
    const SerialPortList &portList() const { return *ports; }
    void setPortList(std::unique_ptr<SerialPortList> list);

private:
    QString saveDirectory;
    QString deviceName;

public:
    // Choices of the last confirmed run; read directly by the main window and
    // the plot layout. Before the first OK: no plots, sensor mode, both plots
    // selected.
    bool drawPlots = false;
    bool testMode = false;
    bool plotAcceleration = true;
    bool plotGyroscope = true;

private:
    std::unique_ptr<Ui_Options> ui;
    DirectoryChooser chooseDirectory;
    std::unique_ptr<SerialPortList> ports;
    // Opens the menu of the ports present, at the trailing end of the device
    // field; enabled with the field.
    QAction *portAction = nullptr;
    // The menu last opened; made anew at every opening.
    QMenu *portMenu = nullptr;
    // The ports present when the dialog or its menu last opened.
    QList<PortEntry> knownPorts;

    // A marker byte's group, ticked while the marker is on, and its value.
    struct MarkerField
    {
        QGroupBox *group;
        QSpinBox *value;
    };
    // In the order of the option record: start 1, start 2, end 1, end 2.
    std::array<MarkerField, 4> markerFields() const;
    // Sets the message frame panel to layout.
    void showLayout(const FrameLayout &layout);

    void showPortMenu();
    // Warns, in the layout warning, of switched-on markers that share a
    // value, and beside the markers when none is on.
    void showMarkerWarning();
    // The device field's tool tip: the port its path leads to, when it is
    // one of the ports present.
    void describeDevice();

protected:
    void showEvent(QShowEvent *event) override;

private:
public slots:
    // OK: refuses, with the reason in the dialog, a frame layout that cannot
    // carry a sample; otherwise closes the dialog, which broadcasts.
    void accept() override;
    void CheckOptions();
    void Browse();

signals:
    // optionFrame points to five ints that live only during the emission:
    // data byte count, start byte 1, start byte 2, end byte 1, end byte 2;
    // -1 marks a marker byte that is switched off. Receivers copy them.
    void SendOptions(int *optionFrame);
    void SendFilename(QString filename);
    void SendDeviceName(QString devicename);
    void SendNewfileIndex(int newfileIndex);
};

#endif // OPTIONS_H
