#ifndef SERIALDIAGNOSTICS_H
#define SERIALDIAGNOSTICS_H

#include <QLoggingCategory>

// Where the serial side's diagnostics go; both are on by default. The lines
// written on every read (the count of bytes taken and the checks of the
// read) have a category of their own, so that a program started from the
// menu can leave them out of the session log with
// QT_LOGGING_RULES="imu.serial.reads.debug=false" and keep the rest.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)      // "imu.serial": opens, losses, dropped bytes
Q_DECLARE_LOGGING_CATEGORY(lcSerialReads) // "imu.serial.reads": each read

#endif // SERIALDIAGNOSTICS_H
