#ifndef LOGOPATH_H
#define LOGOPATH_H

#include <QString>

// The picture for the About box: logo.png in workingDirectory when it holds
// a readable image (a run from a source tree, or a logo of the user's own),
// else installedLogo when that is readable; empty when neither is.
QString chooseLogo(const QString &workingDirectory, const QString &installedLogo);

// Where the installed logo lies: share/imu-monitor/logo.png beside the bin/
// folder the program runs from, so an installed copy finds it wherever the
// package put it, and a program in a build tree finds none.
QString installedLogoPath();

#endif // LOGOPATH_H
