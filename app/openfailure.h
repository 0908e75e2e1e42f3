#ifndef OPENFAILURE_H
#define OPENFAILURE_H

#include "serialline.h"

#include <QString>

// Why the device at path could not be opened as a serial port, in words that
// say what to do. reason is the system's own text, used where the kind of
// failure says nothing more. A permission problem names the device's own
// group, read from its owner and mode: the dialout group helps only for a
// device of that group.
QString openFailureText(OpenFailure failure, const QString &reason, const QString &path);

#endif // OPENFAILURE_H
