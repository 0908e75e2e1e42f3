// Takes the README's pictures of the real program: the settings dialog as it
// opens, and the main window in test mode with both plots after a few
// hundred samples, the time axes following the newest sample.
//
//   doc_screenshots <output directory>
//
// Meant for a real display (tools/screenshots.sh runs it under Xvfb).

#include "mainwindow.h"

#include "childwidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

bool save(QWidget *w, const QString &path)
{
    const bool ok = w->grab().save(path);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                 qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const int samples = 400;
    bool ok = true;

    QTemporaryDir logDir;
    // Give the dialog time to be mapped and painted before grabbing it, then
    // confirm its preselected choices: test mode with both plots.
    QTimer::singleShot(500, [&] {
        auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!d)
            qFatal("no settings dialog");
        ok &= save(d, out.filePath(QStringLiteral("settings-dialog.png")));
        child<QRadioButton>(d, "TestProgram")->setChecked(true);
        child<QCheckBox>(d, "checkBox")->setChecked(true);
        child<QLineEdit>(d, "filenameField")->setText(logDir.path());
        d->accept();
    });
    MainWindow window;
    window.show();

    child<QCheckBox>(&window, "Autoscale")->setCheckState(Qt::PartiallyChecked);
    child<QSpinBox>(&window, "TaajuusSBox")->setValue(5);
    int ticks = 0;
    QObject::connect(child<QTimer>(&window, "mainTimer"), &QTimer::timeout, &app, [&] {
        if (++ticks == samples) {
            ok &= save(&window, out.filePath(QStringLiteral("main-window.png")));
            app.quit();
        }
    });
    child<QAbstractButton>(&window, "Start_Button")->click();
    app.exec();
    return ok ? 0 : 1;
}
